#include <algorithm>

#include "cli/Reporter.h"

namespace qor::cli {
namespace {

constexpr int BarWidth = 30;
constexpr int LineSteps = 10; // plain lines: one per tenth
// Without a known total, a plain line per this many units.
constexpr std::uint64_t UnknownTotalStep = std::uint64_t{256} * 1024;

class TTextReporter : public IReporter {
public:
    TTextReporter(std::ostream& out, std::ostream& err, bool terminal)
        : Out(out), Err(err), Terminal(terminal) {}

    ~TTextReporter() override { EndBar(); }
    TTextReporter(const TTextReporter&) = delete;
    TTextReporter& operator=(const TTextReporter&) = delete;

    void Event(const TEvent& event) override {
        EndBar();
        std::ostream& to = event.Problem ? Err : Out;
        for (const std::string& line : event.Lines) {
            to << line << '\n';
        }
        to.flush();
        LastStep.reset();
    }

    void Progress(const TProgress& progress) override {
        if (Terminal) {
            DrawBar(progress);
        } else {
            PlainLine(progress);
        }
    }

private:
    static int Percent(const TProgress& progress) {
        if (!progress.Total || *progress.Total == 0) {
            return 0;
        }
        return static_cast<int>(std::min<std::uint64_t>(progress.Done, *progress.Total) * 100 /
                                *progress.Total);
    }

    static std::string Count(const TProgress& progress) {
        std::string text = std::to_string(progress.Done);
        if (progress.Total) {
            text += '/' + std::to_string(*progress.Total);
        }
        return text + ' ' + progress.Unit;
    }

    void DrawBar(const TProgress& progress) {
        std::string line = "\r" + progress.Label + " [";
        if (progress.Total) {
            const int filled = Percent(progress) * BarWidth / 100;
            line.append(static_cast<std::size_t>(filled), '#');
            line.append(static_cast<std::size_t>(BarWidth - filled), '-');
            line += "] " + std::to_string(Percent(progress)) + "% (" + Count(progress) + ")";
        } else {
            line += Count(progress) + "]";
        }
        // Blanks over what a longer line drew before.
        const std::size_t shown = line.size();
        if (shown < BarLength) {
            line.append(BarLength - shown, ' ');
        }
        BarLength = shown;
        Out << line << std::flush;
        BarOpen = true;
    }

    void PlainLine(const TProgress& progress) {
        std::uint64_t step = 0;
        if (progress.Total) {
            step = static_cast<std::uint64_t>(Percent(progress) / LineSteps);
        } else {
            step = progress.Done / UnknownTotalStep;
        }
        if (LastStep && *LastStep == step && LastPhase == progress.Phase) {
            return;
        }
        LastStep = step;
        LastPhase = progress.Phase;
        Out << progress.Label << ' ';
        if (progress.Total) {
            Out << Percent(progress) << "% (" << Count(progress) << ")\n";
        } else {
            Out << Count(progress) << '\n';
        }
        Out.flush();
    }

    void EndBar() {
        if (BarOpen) {
            Out << '\n' << std::flush;
            BarOpen = false;
            BarLength = 0;
        }
    }

    std::ostream& Out;
    std::ostream& Err;
    bool Terminal;
    bool BarOpen = false;
    std::size_t BarLength = 0;
    std::optional<std::uint64_t> LastStep;
    std::string LastPhase;
};

} // namespace

std::unique_ptr<IReporter> MakeTextReporter(std::ostream& out, std::ostream& err, bool terminal) {
    return std::make_unique<TTextReporter>(out, err, terminal);
}

} // namespace qor::cli
