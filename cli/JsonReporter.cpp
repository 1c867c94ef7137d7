#include "cli/Reporter.h"

namespace qor::cli {
namespace {

class TJsonReporter : public IReporter {
public:
    explicit TJsonReporter(std::ostream& out) : Out(out) {}

    void Event(const TEvent& event) override {
        std::string message;
        for (const std::string& line : event.Lines) {
            message += (message.empty() ? "" : "\n") + line;
        }
        Write(event.Name, event.Fields, message);
    }

    void Progress(const TProgress& progress) override {
        TJsonObject object;
        object.Add("event", "progress").Add("phase", progress.Phase);
        object.Add("done", static_cast<std::int64_t>(progress.Done));
        if (progress.Total) {
            object.Add("total", static_cast<std::int64_t>(*progress.Total));
        } else {
            object.AddNull("total");
        }
        object.Add("unit", progress.Unit);
        object.Merge(progress.Fields);
        Out << object.Text() << '\n' << std::flush;
    }

private:
    void Write(const std::string& name, const TJsonObject& fields, const std::string& message) {
        TJsonObject object;
        object.Add("event", name).Merge(fields).Add("message", message);
        Out << object.Text() << '\n' << std::flush;
    }

    std::ostream& Out;
};

} // namespace

std::unique_ptr<IReporter> MakeJsonReporter(std::ostream& out) {
    return std::make_unique<TJsonReporter>(out);
}

} // namespace qor::cli
