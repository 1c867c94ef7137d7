// A whole variant-a update over the virtual device with wire timing on the steady clock: the
// bus makes every byte take its 20 us at 500000 baud, so the update's wall time is the wire
// time of its frames plus the device's turnaround plus the host's own work. Prints the ratio
// of the total to the wire time; the target is at most 1.03.
//   update_bench [runs] [turnaround_us]
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "base/MessageBox.h"
#include "base/TextTable.h"
#include "device/ConnectionMonitor.h"
#include "device/DisplayRefresh.h"
#include "device/Protocol.h"
#include "device/UpdateProcedure.h"
#include "firmware/FirmwareImage.h"
#include "sim/SimFrames.h"
#include "sim/VirtualBus.h"

using namespace qor;

namespace {

constexpr std::uint32_t BitsPerByte = 10; // start, 8 data, stop

// Counts the bytes that cross the wire in both directions.
class TCountingPort : public IFtPort {
public:
    explicit TCountingPort(IFtPort& inner) : Inner(inner) {}

    FT_STATUS CreateDeviceInfoList(std::uint32_t* count) override {
        return Inner.CreateDeviceInfoList(count);
    }
    FT_STATUS GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, std::uint32_t* count) override {
        return Inner.GetDeviceInfoList(nodes, count);
    }
    FT_STATUS Open(int index, FT_HANDLE* handle) override { return Inner.Open(index, handle); }
    FT_STATUS SetBaudRate(FT_HANDLE handle, std::uint32_t baud) override {
        return Inner.SetBaudRate(handle, baud);
    }
    FT_STATUS SetTimeouts(FT_HANDLE handle, std::uint32_t readMs, std::uint32_t writeMs) override {
        return Inner.SetTimeouts(handle, readMs, writeMs);
    }
    FT_STATUS Purge(FT_HANDLE handle, std::uint32_t mask) override {
        return Inner.Purge(handle, mask);
    }
    FT_STATUS Write(FT_HANDLE handle, const void* data, std::uint32_t size,
                    std::uint32_t* written) override {
        const FT_STATUS status = Inner.Write(handle, data, size, written);
        Bytes += *written;
        ++Exchanges;
        return status;
    }
    FT_STATUS Read(FT_HANDLE handle, void* data, std::uint32_t size, std::uint32_t* got) override {
        const FT_STATUS status = Inner.Read(handle, data, size, got);
        Bytes += *got;
        return status;
    }
    FT_STATUS Close(FT_HANDLE handle) override { return Inner.Close(handle); }

    std::uint64_t Bytes = 0;
    std::uint64_t Exchanges = 0;

private:
    IFtPort& Inner;
};

// The window's pause between blocks: the display refresh runs, nothing else is pending.
class TBenchHost : public IUpdateHost {
public:
    explicit TBenchHost(TMainState& state) : State(state) {}
    void ProcessMessages() override { DisplayTimerTick(State, true, LangEnglish); }

private:
    TMainState& State;
};

class TNoMessages : public IMessageBox {
public:
    void ShowMessage(const std::string& text, const std::string& caption) override {
        std::fprintf(stderr, "unexpected message: %s (%s)\n", text.c_str(), caption.c_str());
    }
    bool AskYesNo(const std::string& /*text*/, const std::string& /*caption*/) override {
        return false;
    }
};

struct TRun {
    double TotalMs = 0;
    double WireMs = 0;
    double TurnaroundMs = 0;
    std::uint64_t Bytes = 0;
    std::uint64_t Exchanges = 0;
    bool Succeeded = false;
};

// On the steady clock the bus really waits for each byte; on the virtual clock it does not,
// and the wall time is the work of the host and the simulator alone.
TRun RunUpdate(std::uint32_t turnaroundUs, bool steadyClock) {
    TVirtualBus bus = steadyClock ? TVirtualBus(std::make_unique<TSteadyClock>()) : TVirtualBus();
    bus.SetWireTiming(true, turnaroundUs);
    TVirtualDevice& device = bus.AddDevice(DeviceDescription, TBootloaderConfig::VariantA());
    device.RecordFrames = false;
    TCountingPort port(bus);
    TDeviceLink link(port);
    TBootloader boot(link);
    TMainState state;
    for (int tick = 0; tick < 10 && !boot.BootloaderReady; ++tick) {
        SerialTimerTick(state, link, boot, LangEnglish);
    }
    const TFirmwareFile file{std::make_shared<const std::vector<std::uint8_t>>(
                                 MakeFirmwareImage(VariantAPageCount * VariantAPageSize, "102a")),
                             TFirmwareFileError::None, 0};
    LoadFirmwareFile(file, state);

    TBenchHost host(state);
    TNoMessages messages;
    port.Bytes = 0;
    port.Exchanges = 0;
    const auto start = std::chrono::steady_clock::now();
    const TUpdateOutcome outcome = BFlashClick(state, link, boot, host, messages);
    const auto end = std::chrono::steady_clock::now();

    TRun run;
    run.TotalMs = std::chrono::duration<double, std::milli>(end - start).count();
    run.Bytes = port.Bytes;
    run.Exchanges = port.Exchanges;
    run.WireMs = static_cast<double>(port.Bytes) * BitsPerByte * 1000.0 / DeviceBaudRate;
    run.TurnaroundMs = static_cast<double>(port.Exchanges) * turnaroundUs / 1000.0;
    run.Succeeded = outcome == TUpdateOutcome::Succeeded;
    return run;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const auto turnaroundUs = static_cast<std::uint32_t>(argc > 2 ? std::atoi(argv[2]) : 100);
    std::vector<double> ratios;
    for (int i = 0; i < runs; ++i) {
        const TRun run = RunUpdate(turnaroundUs, true);
        if (!run.Succeeded) {
            std::fprintf(stderr, "run %d: the update did not succeed\n", i + 1);
            return 1;
        }
        const double ratio = run.TotalMs / run.WireMs;
        const double overheadUs = (run.TotalMs - run.WireMs - run.TurnaroundMs) * 1000.0 /
                                  static_cast<double>(run.Exchanges);
        ratios.push_back(ratio);
        std::printf("run %d: %llu bytes in %llu exchanges, wire %.1f ms, turnaround %.1f ms, "
                    "total %.1f ms, total/wire %.4f, host overhead %.1f us per exchange\n",
                    i + 1, static_cast<unsigned long long>(run.Bytes),
                    static_cast<unsigned long long>(run.Exchanges), run.WireMs, run.TurnaroundMs,
                    run.TotalMs, ratio, overheadUs);
    }
    const TRun work = RunUpdate(turnaroundUs, false);
    std::printf("without waiting for the wire: %.1f ms of host and simulator work, %.1f us per "
                "exchange\n",
                work.TotalMs, work.TotalMs * 1000.0 / static_cast<double>(work.Exchanges));
    std::sort(ratios.begin(), ratios.end());
    const double median = ratios[ratios.size() / 2];
    std::printf("median total/wire %.4f (target <= 1.03): %s\n", median,
                median <= 1.03 ? "met" : "missed");
    return median <= 1.03 ? 0 : 2;
}
