// The devices of flash --all as rows: what each is, how far its update has come and how it
// ended, for the lines a person reads, the summary and the exit code. Each row's events come
// through a reporter of its own, from the thread that serves its device; the rows, the lines
// they are shown as and the JSON stream are changed under one lock.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/Json.h"
#include "cli/Clock.h"
#include "cli/DeviceUpdate.h"
#include "cli/Reporter.h"
#include "device/DeviceInfo.h"
#include "device/DevicePort.h"

namespace qor::cli {

struct TDeviceRow {
    std::string Port;
    std::string Serial;  // empty: its bridge has none
    std::string Variant; // "a", "b", "other"; empty until the bootloader answered
    std::string FirmwareBefore;
    std::string FirmwareAfter;
    std::string Status;   // its last word for a person: connected, then the outcome
    std::string Problems; // told before its outcome, shown after it
    std::string Label;    // of its progress: "Updating"
    std::uint64_t Done = 0;
    std::uint64_t Total = 0; // blocks; 0 until the update has begun
    bool Finished = false;
    int Exit = 0;
    bool Current = false; // nothing written: it already ran the image
    std::uint32_t Attempts = 0;
    TMs Took{0}; // from the start of the run to its end
};

// How the rows are shown to a person; called under the rows' lock.
class IRowDisplay {
public:
    virtual ~IRowDisplay() = default;
    // Row `row` has started, moved on or finished.
    virtual void Changed(const std::vector<TDeviceRow>& rows, std::size_t row) = 0;
    // Shows what changed since the last call, for a display that redraws.
    virtual void Refresh(const std::vector<TDeviceRow>& /*rows*/) {}
    // What the program writes next goes below the rows; a later refresh draws them anew.
    virtual void Detach() {}
};

class TDeviceRows {
public:
    // `events`, when given, gets every row's events with its port (the JSON stream); `waiting`
    // is what a row says until its device's bootloader has answered.
    TDeviceRows(const std::vector<TPortEntry>& ports, const std::string& waiting,
                IRowDisplay& display, IReporter* events, IClock& clock);

    // The reporter of row `row`, for the thread that serves its device.
    std::unique_ptr<IReporter> Reporter(std::size_t row);
    // The device's bootloader has answered: its variant and firmware, and `status` to show.
    void Connected(std::size_t row, const TDeviceInfo& info, std::string status);
    // The row's result has been reported: how its update ended.
    void Finish(std::size_t row, const TDeviceUpdateEnd& end);

    bool Finished(std::size_t row) const;
    // Until every row has finished, refreshes the display every `period`.
    void WaitForAll(std::chrono::milliseconds period);
    void Refresh();
    void Detach();

    // The rows as they stand, in port order.
    std::vector<TDeviceRow> Rows() const;

private:
    friend class TRowReporter;

    mutable std::mutex Lock;
    std::condition_variable AllFinished;
    std::vector<TDeviceRow> Table;
    IRowDisplay& Display;
    IReporter* Events;
    IClock& Clock;
    TMs Start;
};

// How wide the rows' port and serial columns are, for lines that line up.
struct TRowWidths {
    std::size_t Port = 0;
    std::size_t Serial = 0;
};
TRowWidths RowWidths(const std::vector<TDeviceRow>& rows);

// The row as a person reads it on one line: port, serial, variant, then its status or
// progress. `bar`: progress drawn as a bar (for a terminal), else as a plain count.
std::string RowLine(const TDeviceRow& row, const TRowWidths& widths, bool bar);

// The outcome's name of a finished row: its exit code's, or "current".
const char* RowOutcome(const TDeviceRow& row);

// The summary that ends flash --all: a line per device (port, serial, variant, firmware
// before and after, exit code, outcome, seconds, and the attempts when any took more than
// one) and the exit code of the run by SeveralDevicesExit.
struct TSummary {
    std::vector<std::string> Lines;
    TJsonObject Fields; // "devices": an object per row, then the counts
    int Exit = 0;
};
TSummary Summarise(const std::vector<TDeviceRow>& rows);

} // namespace qor::cli
