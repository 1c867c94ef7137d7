// flash --all: the devices listed at the start are taken, each on its own view of the port
// with its own connection monitor; their bootloaders are waited for in one loop, as the
// window's serial timer ticks; the image is the file, or one download per variant present;
// then every device is written on a thread of its own, and a summary ends the run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "cli/CommandContext.h"
#include "device/DevicePort.h"

namespace qor::cli {

// The devices of a run and their rows.
struct TBench;

class TFlashAllCommand {
public:
    explicit TFlashAllCommand(TCommandContext& context) : Context(context) {}

    // Writes every device and reports each one's result and the summary; returns the exit
    // code of the run.
    int Run();

private:
    // Its devices: those listed when the run starts (with --wait, once there is one, or with
    // --expect N once there are N, or every --serial is there), in port order.
    TStep<std::vector<TPortEntry>> TakeDevices();
    // The devices the options choose, once there are enough or the wait is over.
    TStep<std::vector<TPortEntry>> WaitForDevices();
    // Its steps: each device's bootloader waited for, in one loop as the window's timer
    // ticks; one download per variant present; every device written on a thread of its own.
    void ConnectAll(TBench& bench);
    void DownloadForAll(TBench& bench, std::uint8_t language);
    void WriteAll(TBench& bench, std::uint8_t language);
    // Ends a row with its result; StopRow does it when the user asked to stop.
    void FailRow(TBench& bench, std::size_t row, int exit, TEvent event);
    bool StopRow(TBench& bench, std::size_t row);

    TCommandContext& Context;
};

} // namespace qor::cli
