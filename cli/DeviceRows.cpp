#include "cli/DeviceRows.h"

#include <algorithm>

#include "cli/DeviceTags.h"
#include "cli/ExitCodes.h"
#include "firmware/DeviceVariant.h"
#include "flow/DeviceSummary.h"

namespace qor::cli {
namespace {

constexpr std::size_t BarWidth = 20;
// Between two lines of one event, on a row's one line.
constexpr const char* LineJoint = " - ";

std::string ShownSerial(const TDeviceRow& row) {
    return row.Serial.empty() ? NoSerialText : row.Serial;
}

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
            withPort.Fields = DeviceTags(row.Port, row.Serial).Merge(event.Fields);
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
            withPort.Fields = DeviceTags(row.Port, row.Serial).Merge(progress.Fields);
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

TDeviceRows::TDeviceRows(const std::vector<TPortEntry>& ports, const std::string& waiting,
                         IRowDisplay& display, IReporter* events, IClock& clock)
    : Display(display), Events(events), Clock(clock), Start(clock.Now()) {
    for (const TPortEntry& port : ports) {
        TDeviceRow row;
        row.Port = port.Name;
        row.Serial = port.Serial;
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

void TDeviceRows::Finish(std::size_t row, const TDeviceUpdateEnd& end) {
    {
        const std::lock_guard<std::mutex> hold(Lock);
        TDeviceRow& finished = Table[row];
        finished.Exit = end.Exit;
        finished.FirmwareAfter = end.FirmwareAfter;
        finished.Current = end.Current;
        finished.Attempts = end.Attempts;
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

TRowWidths RowWidths(const std::vector<TDeviceRow>& rows) {
    TRowWidths widths;
    for (const TDeviceRow& row : rows) {
        widths.Port = std::max(widths.Port, Columns(row.Port));
        widths.Serial = std::max(widths.Serial, Columns(ShownSerial(row)));
    }
    return widths;
}

std::string RowLine(const TDeviceRow& row, const TRowWidths& widths, bool bar) {
    std::string line = Padded(row.Port, widths.Port) + "  " +
                       Padded(ShownSerial(row), widths.Serial) + "  " +
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

const char* RowOutcome(const TDeviceRow& row) {
    return row.Current ? CurrentOutcome : OutcomeName(row.Exit);
}

namespace {

// The summary's table: a header and a line per row, the numbers right-aligned; the attempts
// only when a device took more than one.
std::vector<std::string> SummaryTable(const std::vector<TDeviceRow>& rows) {
    const bool retried = std::any_of(rows.begin(), rows.end(),
                                     [](const TDeviceRow& row) { return row.Attempts > 1; });
    std::vector<std::string> header{"port", "serial",  "variant", "firmware",
                                    "exit", "outcome", "seconds"};
    std::vector<bool> alignRight{false, false, false, false, true, false, true};
    if (retried) {
        header.emplace_back("attempts");
        alignRight.push_back(true);
    }
    std::vector<std::vector<std::string>> table{header};
    for (const TDeviceRow& row : rows) {
        table.push_back({row.Port, ShownSerial(row), row.Variant.empty() ? "-" : row.Variant,
                         row.FirmwareBefore + " \u2192 " + row.FirmwareAfter,
                         std::to_string(row.Exit), RowOutcome(row), Seconds(row.Took)});
        if (retried) {
            table.back().push_back(std::to_string(row.Attempts));
        }
    }
    std::vector<std::size_t> widths(header.size());
    for (const auto& cells : table) {
        for (std::size_t i = 0; i < cells.size(); ++i) {
            widths[i] = std::max(widths[i], Columns(cells[i]));
        }
    }
    std::vector<std::string> lines;
    for (const auto& cells : table) {
        std::string line;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            line += (i == 0 ? "" : "  ") + (alignRight[i] ? RightAligned(cells[i], widths[i])
                                                          : Padded(cells[i], widths[i]));
        }
        lines.push_back(line);
    }
    return lines;
}

TJsonObject SummaryDevice(const TDeviceRow& row) {
    TJsonObject device = DeviceTags(row.Port, row.Serial);
    if (row.Variant.empty()) {
        device.AddNull("variant");
    } else {
        device.Add("variant", row.Variant);
    }
    device.Add("firmware_before", row.FirmwareBefore).Add("firmware_after", row.FirmwareAfter);
    device.Add("exit", row.Exit).Add("outcome", RowOutcome(row));
    device.Add("attempts", row.Attempts);
    device.AddFixed("seconds", static_cast<double>(row.Took.count()) / 1000.0, 1);
    return device;
}

} // namespace

TSummary Summarise(const std::vector<TDeviceRow>& rows) {
    TSummary summary;
    summary.Lines = SummaryTable(rows);
    std::vector<int> exits;
    std::vector<TJsonObject> devices;
    std::size_t updated = 0;
    std::size_t current = 0;
    const TDeviceRow* firstFailed = nullptr;
    for (const TDeviceRow& row : rows) {
        exits.push_back(row.Exit);
        if (row.Current) {
            ++current;
        } else if (row.Exit == ExitCode(TExit::Success)) {
            ++updated;
        } else if (firstFailed == nullptr) {
            firstFailed = &row;
        }
        devices.push_back(SummaryDevice(row));
    }
    summary.Exit = SeveralDevicesExit(exits);
    std::string last =
        std::to_string(updated) + " of " + std::to_string(rows.size()) + " devices updated";
    if (current > 0) {
        last += ", " + std::to_string(current) + " already current";
    }
    last += "; exit " + std::to_string(summary.Exit);
    if (firstFailed != nullptr) {
        last += ", the code of " + firstFailed->Port + ", the first device that failed";
    }
    summary.Lines.push_back(last);
    summary.Fields.Add("devices", devices);
    summary.Fields.Add("updated", static_cast<std::int64_t>(updated));
    summary.Fields.Add("current", static_cast<std::int64_t>(current));
    summary.Fields.Add("failed", static_cast<std::int64_t>(rows.size() - updated - current));
    return summary;
}

} // namespace qor::cli
