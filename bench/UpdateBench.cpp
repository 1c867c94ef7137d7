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

#include "app/MainPresenter.h"
#include "base/MessageBox.h"
#include "base/Settings.h"
#include "base/TextTable.h"
#include "device/Protocol.h"
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
TRun RunUpdate(std::uint32_t turnaroundUs, bool steadyClock) {
    TVirtualBus bus = steadyClock ? TVirtualBus(std::make_unique<TSteadyClock>()) : TVirtualBus();
    bus.SetWireTiming(true, turnaroundUs);
    TVirtualDevice& device = bus.AddDevice(DeviceDescription, TBootloaderConfig::VariantA());
    device.RecordFrames = false;
    TCountingPort port(bus);
    TNoMessages messages;
    TSettings settings;
    settings.CfgLanguage = LangEnglish;
    TMainPresenter presenter(port, messages, settings);
    for (int tick = 0; tick < 10 && !presenter.BootloaderReady(); ++tick) {
        presenter.SerialTick();
    }
    presenter.AcceptDownload(true, "qor-7316.bin", MakeFirmwareImage(124 * 512, "102a"), "bench");

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
