#include "cli/RowDisplays.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace qor::cli {
namespace {

constexpr int LineSteps = 10; // plain lines: one per tenth

// The first `columns` characters of a UTF-8 line.
std::string Cut(const std::string& line, std::size_t columns) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if ((static_cast<unsigned char>(line[i]) & 0xC0) != 0x80 && seen++ == columns) {
            return line.substr(0, i);
        }
    }
    return line;
}

class TInPlaceLines : public IRowDisplay {
public:
    TInPlaceLines(std::ostream& out, std::size_t columns)
        : Out(out), Width(columns > 1 ? columns - 1 : 1) {}

    void Changed(const std::vector<TDeviceRow>& /*rows*/, std::size_t /*row*/) override {
        Dirty = true;
    }

    void Refresh(const std::vector<TDeviceRow>& rows) override {
        if (Drawn && !Dirty) {
            return;
        }
        std::string text;
        if (Drawn) {
            text += "\x1b["; // up to the first row
            text += std::to_string(rows.size());
            text += 'A';
        }
        const TRowWidths widths = RowWidths(rows);
        for (const TDeviceRow& row : rows) {
            text += '\r';
            text += Cut(RowLine(row, widths, true), Width);
            text += "\x1b[K\n";
        }
        Out << text << std::flush;
        Drawn = true;
        Dirty = false;
    }

    void Detach() override {
        Drawn = false;
        Dirty = true;
    }

private:
    std::ostream& Out;
    std::size_t Width;
    bool Drawn = false;
    bool Dirty = true;
};

class TLogLines : public IRowDisplay {
public:
    explicit TLogLines(std::ostream& out) : Out(out) {}

    void Changed(const std::vector<TDeviceRow>& rows, std::size_t row) override {
        const TDeviceRow& changed = rows[row];
        if (Steps.size() < rows.size()) {
            Steps.resize(rows.size());
        }
        if (!changed.Finished && changed.Total != 0) {
            const int step = static_cast<int>(std::min(changed.Done, changed.Total) * 100 /
                                              changed.Total / LineSteps);
            if (Steps[row] == step) {
                return;
            }
            Steps[row] = step;
        }
        Out << RowLine(changed, RowWidths(rows), false) << '\n' << std::flush;
    }

private:
    std::ostream& Out;
    std::vector<std::optional<int>> Steps; // the last tenth shown of each row
};

class TNoLines : public IRowDisplay {
public:
    void Changed(const std::vector<TDeviceRow>& /*rows*/, std::size_t /*row*/) override {}
};

} // namespace

std::unique_ptr<IRowDisplay> MakeInPlaceLines(std::ostream& out, std::size_t columns) {
    return std::make_unique<TInPlaceLines>(out, columns);
}

std::unique_ptr<IRowDisplay> MakeLogLines(std::ostream& out) {
    return std::make_unique<TLogLines>(out);
}

std::unique_ptr<IRowDisplay> MakeNoLines() {
    return std::make_unique<TNoLines>();
}

} // namespace qor::cli
