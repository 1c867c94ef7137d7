// Whole updates over the virtual device with wire timing on the steady clock: the bus makes
// every byte take its 20 us at 500000 baud, so the update's wall time is the wire time of its
// frames plus the device's turnaround plus the host's own work, and with the USB bridge's
// latency timer modelled, the wait for its ticks. Prints the ratio of the total to the wire
// time for both variants: without the bridge (target 1.03), with the bridge at its 16 ms
// default (as found on a system nobody tuned), and with the program's own setting (target
// 1.08).
//   update_bench [runs] [turnaround_us]
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "base/MessageBox.h"
#include "base/Settings.h"
#include "base/TextTable.h"
#include "device/Protocol.h"
#include "presenter/MainPresenter.h"
#include "sim/SampleImage.h"
#include "sim/VirtualBus.h"

using namespace qor;

namespace {

constexpr std::uint32_t BitsPerByte = 10; // start, 8 data, stop

// Counts the bytes that cross the wire in both directions.
class TCountingPort : public IDevicePort {
public:
    explicit TCountingPort(IDevicePort& inner) : Inner(inner) {}

    std::vector<TPortEntry> List() override { return Inner.List(); }
    TResult<std::unique_ptr<IPortConnection>> Open(std::size_t index, std::uint32_t baud) override {
        auto opened = Inner.Open(index, baud);
        if (!opened) {
            return opened;
        }
        return std::unique_ptr<IPortConnection>(
            std::make_unique<TCounting>(std::move(opened.Value()), *this));
    }

    std::uint64_t Bytes = 0;
    std::uint64_t Exchanges = 0;

private:
    class TCounting : public IPortConnection {
    public:
        TCounting(std::unique_ptr<IPortConnection> inner, TCountingPort& port)
            : Inner(std::move(inner)), Port(port) {}
        TPortIo Write(std::span<const std::uint8_t> bytes, TMilliseconds timeout) override {
            TPortIo io = Inner->Write(bytes, timeout);
            Port.Bytes += io.Count;
            ++Port.Exchanges;
            return io;
        }
        TPortIo Read(std::span<std::uint8_t> bytes, TMilliseconds timeout) override {
            TPortIo io = Inner->Read(bytes, timeout);
            Port.Bytes += io.Count;
            return io;
        }
        TPortIo Purge() override { return Inner->Purge(); }

    private:
        std::unique_ptr<IPortConnection> Inner;
        TCountingPort& Port;
    };

    IDevicePort& Inner;
};

// The window's pause between blocks: the display refresh runs, nothing else is pending.
class TBenchHost : public IUpdateHost {
public:
    explicit TBenchHost(TMainPresenter& presenter) : Presenter(presenter) {}
    void ProcessMessages() override { Presenter.DisplayTick(); }

private:
    TMainPresenter& Presenter;
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
enum class TBridge { None, Default, ProgramsSetting };

struct TCase {
    const char* Name;
    char Variant;
    TBridge Bridge;
    double Target; // 0: reported only
};

TRun RunUpdate(std::uint32_t turnaroundUs, bool steadyClock, char variant = 'a',
               TBridge bridge = TBridge::None) {
    TVirtualBus bus = steadyClock ? TVirtualBus(std::make_unique<TSteadyClock>()) : TVirtualBus();
    bus.SetWireTiming(true, turnaroundUs);
    if (bridge != TBridge::None) {
        bus.SetBridgeLatency(true, TVirtualBus::DefaultLatencyMs,
                             bridge == TBridge::ProgramsSetting);
    }
    const bool a = variant == 'a';
    TVirtualDevice& device = bus.AddDevice(DeviceDescription, a ? TBootloaderConfig::VariantA()
                                                                : TBootloaderConfig::VariantB());
    device.RecordFrames = false;
    TCountingPort port(bus);
    TNoMessages messages;
    TSettings settings;
    settings.CfgLanguage = LangEnglish;
    TMainPresenter presenter(port, messages, settings);
    for (int tick = 0; tick < 10 && !presenter.BootloaderReady(); ++tick) {
        presenter.SerialTick();
    }
    presenter.AcceptDownload(
        TDownloadedImage{a ? MakeFirmwareImage(std::size_t{124} * 512, "102a")
                           : MakeFirmwareImage(std::size_t{126} * 1024, "102b"),
                         "bench", "qor-7316.bin"});

    TBenchHost host(presenter);
    port.Bytes = 0;
    port.Exchanges = 0;
    const auto start = std::chrono::steady_clock::now();
    const TUpdateOutcome outcome = presenter.Update(host);
    const auto end = std::chrono::steady_clock::now();

    TRun run;
    run.TotalMs = std::chrono::duration<double, std::milli>(end - start).count();
    run.Bytes = port.Bytes;
    run.Exchanges = port.Exchanges;
    run.WireMs = static_cast<double>(port.Bytes) * BitsPerByte * 1000.0 / DeviceBaudRate;
    run.TurnaroundMs = static_cast<double>(port.Exchanges) * turnaroundUs / 1000.0;
    run.Succeeded = outcome.Result == TUpdateResult::Succeeded;
    return run;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const auto turnaroundUs = static_cast<std::uint32_t>(argc > 2 ? std::atoi(argv[2]) : 100);
    const TCase cases[] = {
        {"variant a, no bridge model", 'a', TBridge::None, 1.03},
        {"variant a, bridge at its 16 ms default", 'a', TBridge::Default, 0},
        {"variant a, bridge at the program's setting", 'a', TBridge::ProgramsSetting, 1.08},
        {"variant b, bridge at its 16 ms default", 'b', TBridge::Default, 0},
        {"variant b, bridge at the program's setting", 'b', TBridge::ProgramsSetting, 1.08},
    };
    bool allMet = true;
    for (const TCase& c : cases) {
        std::vector<double> ratios;
        double totalMs = 0;
        double wireMs = 0;
        for (int i = 0; i < runs; ++i) {
            const TRun run = RunUpdate(turnaroundUs, true, c.Variant, c.Bridge);
            if (!run.Succeeded) {
                std::fprintf(stderr, "%s, run %d: the update did not succeed\n", c.Name, i + 1);
                return 1;
            }
            ratios.push_back(run.TotalMs / run.WireMs);
            totalMs = run.TotalMs;
            wireMs = run.WireMs;
        }
        std::sort(ratios.begin(), ratios.end());
        const double median = ratios[ratios.size() / 2];
        const bool met = c.Target == 0 || median <= c.Target;
        allMet = allMet && met;
        std::printf("%-44s wire %7.1f ms, total %7.1f ms (last run), median total/wire %.4f%s\n",
                    c.Name, wireMs, totalMs, median,
                    c.Target == 0 ? "" : (met ? "  (target met)" : "  (target MISSED)"));
    }
    const TRun work = RunUpdate(turnaroundUs, false);
    std::printf("without waiting for the wire: %.1f ms of host and simulator work, %.1f us per "
                "exchange\n",
                work.TotalMs, work.TotalMs * 1000.0 / static_cast<double>(work.Exchanges));
    return allMet ? 0 : 2;
}
