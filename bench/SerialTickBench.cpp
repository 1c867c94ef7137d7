// CPU time of one serial-timer tick of the connection monitor: with nothing attached, with
// foreign bridges only, while a device is connected (a keep-alive every tenth tick), and
// with the real tty back-end over this machine's sysfs. The virtual bus runs on its virtual
// clock, so time-outs cost no wall time and the figures are the host's own work.
#include <benchmark/benchmark.h>

#include <algorithm>

#include "base/TextTable.h"
#include "device/ConnectionMonitor.h"
#include "device/Protocol.h"
#include "device/TtyPort.h"
#include "presenter/DevicePanel.h"
#include "sim/SampleImage.h"
#include "sim/VirtualBus.h"

using namespace qor;

namespace {

// The display timer's share of the counters, as it runs between two serial ticks.
void DisplayStep(TMainModel& state) {
    if (state.BlinkCountdown > 0) {
        --state.BlinkCountdown;
    }
    state.AnimCounter = (state.AnimCounter + 1) % 40;
}

void RunTicks(benchmark::State& bench, IDevicePort& port, int warmUpTicks) {
    TConnectionMonitor monitor(port);
    TMainModel state;
    for (int i = 0; i < warmUpTicks; ++i) {
        DisplayStep(state);
        ShowDeviceStatus(state, monitor.Tick(false), LangEnglish);
    }
    for (auto _ : bench) {
        DisplayStep(state);
        ShowDeviceStatus(state, monitor.Tick(false), LangEnglish);
    }
    benchmark::DoNotOptimize(state.View);
    bench.counters["connected"] = monitor.BootloaderReady() ? 1 : 0;
}

void BM_TickNoDevice(benchmark::State& bench) {
    TVirtualBus bus;
    RunTicks(bench, bus, 0);
}

void BM_TickForeignBridgesOnly(benchmark::State& bench) {
    TVirtualBus bus;
    for (const char* name : {"FT232R USB UART", "USB <-> Serial", "qor 7316"}) {
        bus.AddDevice(name).SwitchOn(TDeviceMode::Application);
    }
    RunTicks(bench, bus, 0);
}

void BM_TickConnected(benchmark::State& bench) {
    TVirtualBus bus;
    bus.AddDevice("QOR 7316", TBootloaderConfig::VariantA()).RecordFrames = false;
    RunTicks(bench, bus, 5);
}

void BM_TickConnectingToAnApplication(benchmark::State& bench) {
    TVirtualBus bus;
    TVirtualDevice& device = bus.AddDevice("QOR 7316");
    device.SwitchOn(TDeviceMode::Application);
    device.RecordFrames = false;
    RunTicks(bench, bus, 0);
}

void BM_TickTtyBackEndThisMachine(benchmark::State& bench) {
    TTtyPort port;
    RunTicks(bench, port, 0);
}

// One write request and its acknowledgement over the virtual device with wire timing on the
// virtual clock: the CPU the host and the simulator spend per block, next to the 10.6 ms the
// block takes on the wire.
void BM_WriteBlockExchange(benchmark::State& bench) {
    TVirtualBus bus;
    bus.SetWireTiming(true, 100);
    bus.AddDevice("QOR 7316", TBootloaderConfig::VariantA()).RecordFrames = false;
    TDeviceLink link(bus);
    TBootloaderClient client(link);
    (void)link.Upkeep();
    link.SetTimeouts(UpdateReadTimeoutMs, WriteTimeoutMs);
    (void)client.BeginUpdate();
    (void)client.PrepareRange(124);
    const TByteVector image = MakeFirmwareImage(124 * 512, "1.0a");
    const std::span<const std::uint8_t> bytes(image);
    std::uint32_t block = 0;
    std::int64_t failed = 0;
    const std::uint64_t start = bus.Clock().NowUs();
    for (auto _ : bench) {
        failed += client.WriteBlock(block * BlockSize, bytes.subspan(block * BlockSize, BlockSize))
                      ? 0
                      : 1;
        block = (block + 1) % 124;
    }
    const double wireUs = static_cast<double>(bus.Clock().NowUs() - start);
    bench.counters["failed"] = static_cast<double>(failed);
    bench.counters["wire_ms_per_block"] =
        wireUs / 1000.0 / static_cast<double>(std::max<std::int64_t>(bench.iterations(), 1));
}

} // namespace

BENCHMARK(BM_WriteBlockExchange)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TickNoDevice)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TickForeignBridgesOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TickConnected)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TickConnectingToAnApplication)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TickTtyBackEndThisMachine)->Unit(benchmark::kMicrosecond);
