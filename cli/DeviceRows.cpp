#include "cli/DeviceRows.h"

#include <algorithm>
#include <array>

#include "cli/ExitCodes.h"
#include "firmware/DeviceVariant.h"
#include "presenter/DeviceSummary.h"
#include "presenter/MainView.h"

namespace qor::cli {
namespace {

constexpr std::size_t BarWidth = 20;
// Between two lines of one event, on a row's one line.
constexpr const char* LineJoint = " - ";

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += (text.empty() ? "" : LineJoint) + line;
    }
    return text;
}

// Columns on a terminal: every character of UTF-8 takes one.
std::size_t Columns(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string Padded(std::string text, std::size_t width) {
    const std::size_t columns = Columns(text);
    if (columns < width) {
        text.append(width - columns, ' ');
    }
    return text;
}

std::string RightAligned(const std::string& text, std::size_t width) {
    const std::size_t columns = Columns(text);
    return (columns < width ? std::string(width - columns, ' ') : std::string()) + text;
}

int Percent(const TDeviceRow& row) {
    return row.Total == 0 ? 0 : static_cast<int>(std::min(row.Done, row.Total) * 100 / row.Total);
}

// "2.9": tenths, rounded.
std::string Seconds(TMs took) {
    const long long tenths = (took.count() + 50) / 100;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

} // namespace

// A row's events: on to the JSON stream with the port, and into the row.
class TRowReporter : public IReporter {
public:
    TRowReporter(TDeviceRows& rows, std::size_t row) : Rows(rows), Row(row) {}

    void Event(const TEvent& event) override {
        const std::lock_guard<std::mutex> hold(Rows.Lock);
        TDeviceRow& row = Rows.Table[Row];
        if (Rows.Events != nullptr) {
            TEvent withPort = event;
            withPort.Fields = TJsonObject().Add("port", row.Port).Merge(event.Fields);
            Rows.Events->Event(withPort);
        }
        // Of the row's events only its result changes what its line says; a problem told
        // before it (a record not kept) stays on the line beside it.
        if (event.Name == "result") {
            row.Status = Joined(event.Lines) + row.Problems;
        } else if (event.Problem) {
            row.Problems += LineJoint + Joined(event.Lines);
        }
    }

    void Progress(const TProgress& progress) override {
        const std::lock_guard<std::mutex> hold(Rows.Lock);
        TDeviceRow& row = Rows.Table[Row];
        if (Rows.Events != nullptr) {
            TProgress withPort = progress;
            withPort.Fields = TJsonObject().Add("port", row.Port).Merge(progress.Fields);
            Rows.Events->Progress(withPort);
        }
        row.Label = progress.Label;
        row.Done = progress.Done;
        row.Total = progress.Total.value_or(0);
        Rows.Display.Changed(Rows.Table, Row);
    }

private:
    TDeviceRows& Rows;
    std::size_t Row;
};

TDeviceRows::TDeviceRows(const std::vector<std::string>& ports, const std::string& waiting,
                         IRowDisplay& display, IReporter* events, IClock& clock)
    : Display(display), Events(events), Clock(clock), Start(clock.Now()) {
    for (const std::string& port : ports) {
        TDeviceRow row;
        row.Port = port;
        row.Status = waiting;
        row.FirmwareBefore = UnknownValue;
        row.FirmwareAfter = UnknownValue;
        Table.push_back(std::move(row));
    }
}

std::unique_ptr<IReporter> TDeviceRows::Reporter(std::size_t row) {
    return std::make_unique<TRowReporter>(*this, row);
}

void TDeviceRows::Connected(std::size_t row, const TDeviceInfo& info, std::string status) {
    const TDeviceSummary summary = SummariseDevice(info);
    const std::lock_guard<std::mutex> hold(Lock);
    TDeviceRow& changed = Table[row];
    changed.Variant = summary.VariantName;
    changed.FirmwareBefore = summary.FirmwareVersion;
    changed.Status = std::move(status);
    Display.Changed(Table, row);
}

void TDeviceRows::Finish(std::size_t row, int exit, std::string firmwareAfter) {
    {
        const std::lock_guard<std::mutex> hold(Lock);
        TDeviceRow& finished = Table[row];
        finished.Exit = exit;
        finished.FirmwareAfter = std::move(firmwareAfter);
        finished.Finished = true;
        finished.Took = Clock.Now() - Start;
        Display.Changed(Table, row);
    }
    AllFinished.notify_all();
}

bool TDeviceRows::Finished(std::size_t row) const {
    const std::lock_guard<std::mutex> hold(Lock);
    return Table[row].Finished;
}

void TDeviceRows::WaitForAll(std::chrono::milliseconds period) {
    std::unique_lock<std::mutex> hold(Lock);
    const auto allDone = [this] {
        return std::all_of(Table.begin(), Table.end(),
                           [](const TDeviceRow& row) { return row.Finished; });
    };
    while (!allDone()) {
        Display.Refresh(Table);
        AllFinished.wait_for(hold, period, allDone);
    }
    Display.Refresh(Table);
}

void TDeviceRows::Refresh() {
    const std::lock_guard<std::mutex> hold(Lock);
    Display.Refresh(Table);
}

void TDeviceRows::Detach() {
    const std::lock_guard<std::mutex> hold(Lock);
    Display.Refresh(Table);
    Display.Detach();
}

std::vector<TDeviceRow> TDeviceRows::Rows() const {
    const std::lock_guard<std::mutex> hold(Lock);
    return Table;
}

std::string RowLine(const TDeviceRow& row, std::size_t portWidth, bool bar) {
    std::string line = Padded(row.Port, portWidth) + "  " +
                       Padded(row.Variant.empty() ? "-" : row.Variant, 1) + "  ";
    if (row.Finished || row.Total == 0) {
        return line + row.Status;
    }
    const int percent = Percent(row);
    // Appended piece by piece: "(" + std::to_string(...) sets off a false -Wrestrict in GCC 12.
    std::string count(1, '(');
    count.append(std::to_string(row.Done)).append(1, '/').append(std::to_string(row.Total));
    count.append(" blocks)");
    if (!bar) {
        return line + row.Label + " " + std::to_string(percent) + "% " + count;
    }
    const auto filled = static_cast<std::size_t>(percent) * BarWidth / 100;
    std::string shown = std::to_string(percent) + "%";
    return line + row.Label + " [" + std::string(filled, '#') +
           std::string(BarWidth - filled, '-') + "] " + Padded(shown, 4) + " " + count;
}

TSummary Summarise(const std::vector<TDeviceRow>& rows) {
    // Port, variant, firmware, exit, outcome, seconds; the numbers right-aligned.
    using TCells = std::array<std::string, 6>;
    constexpr std::array<bool, 6> AlignRight{false, false, false, true, false, true};
    std::vector<TCells> table{{"port", "variant", "firmware", "exit", "outcome", "seconds"}};
    TSummary summary;
    std::vector<int> exits;
    std::vector<TJsonObject> devices;
    std::size_t updated = 0;
    const TDeviceRow* firstFailed = nullptr;
    for (const TDeviceRow& row : rows) {
        const std::string outcome = OutcomeName(row.Exit);
        table.push_back({row.Port, row.Variant.empty() ? "-" : row.Variant,
                         row.FirmwareBefore + " \u2192 " + row.FirmwareAfter,
                         std::to_string(row.Exit), outcome, Seconds(row.Took)});
        exits.push_back(row.Exit);
        if (row.Exit == ExitCode(TExit::Success)) {
            ++updated;
        } else if (firstFailed == nullptr) {
            firstFailed = &row;
        }
        TJsonObject device;
        device.Add("port", row.Port);
        if (row.Variant.empty()) {
            device.AddNull("variant");
        } else {
            device.Add("variant", row.Variant);
        }
        device.Add("firmware_before", row.FirmwareBefore).Add("firmware_after", row.FirmwareAfter);
        device.Add("exit", row.Exit).Add("outcome", outcome);
        device.AddFixed("seconds", static_cast<double>(row.Took.count()) / 1000.0, 1);
        devices.push_back(std::move(device));
    }
    std::array<std::size_t, 6> widths{};
    for (const TCells& cells : table) {
        for (std::size_t i = 0; i < cells.size(); ++i) {
            widths[i] = std::max(widths[i], Columns(cells[i]));
        }
    }
    for (const TCells& cells : table) {
        std::string line;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            line += (i == 0 ? "" : "  ") + (AlignRight[i] ? RightAligned(cells[i], widths[i])
                                                          : Padded(cells[i], widths[i]));
        }
        summary.Lines.push_back(line);
    }
    summary.Exit = SeveralDevicesExit(exits);
    std::string last = std::to_string(updated) + " of " + std::to_string(rows.size()) +
                       " devices updated; exit " + std::to_string(summary.Exit);
    if (firstFailed != nullptr) {
        last += ", the code of " + firstFailed->Port + ", the first device that failed";
    }
    summary.Lines.push_back(last);
    summary.Fields.Add("devices", devices);
    summary.Fields.Add("updated", static_cast<std::int64_t>(updated));
    summary.Fields.Add("failed", static_cast<std::int64_t>(rows.size() - updated));
    return summary;
}

} // namespace qor::cli
