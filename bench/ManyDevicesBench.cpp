// A bench of devices written at once: the command line's flash --all over 32 virtual
// devices, side by side with flash over one device alone, both on the virtual bus with wire
// timing on the steady clock and the USB bridge's latency timer at the program's setting. The
// runs alternate, so that whatever else the machine does falls on both alike. Prints the wall
// time of whole runs (finding the devices included) and the host's CPU time per device, with
// the targets: all of them within 1.15x the wall time of one, and no more CPU per device.
// Every run keeps its service records, as on a line, in a log that grows over the runs.
//   many_devices_bench [runs] [devices]
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "device/Protocol.h"
#include "firmware/DeviceVariant.h"
#include "flow/ServiceLog.h"
#include "flow/ServiceLogRecorder.h"
#include "settings/UserRegistryStore.h"
#include "sim/SampleImage.h"
#include "sim/VirtualBus.h"

using namespace qor;

namespace {

constexpr std::uint32_t TurnaroundUs = 100;
constexpr double WallTarget = 1.15;

// The bench never downloads.
class TNoFetch : public cli::IFirmwareFetch {
public:
    TDownloadResult Fetch(const cli::TFetchRequest& /*request*/,
                          IDownloadObserver& /*observer*/) override {
        return DownloadFailure(TDownloadFailure::ServerFailed, "no download in the bench");
    }
};

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct TRun {
    double WallMs = 0;
    double CpuMsPerDevice = 0;
};

// One run of the program over `devices` fresh devices; `all`: flash --all, else flash.
TRun RunFlash(const std::string& image, std::size_t devices, bool all) {
    TVirtualBus bus(std::make_unique<TSteadyClock>());
    bus.SetWireTiming(true, TurnaroundUs);
    bus.SetBridgeLatency(true, TVirtualBus::DefaultLatencyMs, true);
    for (std::size_t i = 0; i < devices; ++i) {
        bus.AddDevice(DeviceDescription, TBootloaderConfig::VariantA()).RecordFrames = false;
    }
    const auto clock = cli::MakeSteadyClock();
    const auto registry = MakeUserRegistryStore();
    TNoFetch fetch;
    TServiceLogRecorder record(UserServiceLog());
    std::ostringstream out;
    std::ostringstream err;
    cli::TCliServices services{bus, *clock, *registry, fetch, record, {}, {}, out, err, false};
    std::vector<std::string> args{"flash", image, "--lang", "en"};
    if (all) {
        args.emplace_back("--all");
    }

    const double cpuStart = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    const int exit = cli::RunCommandLine(args, services);
    const auto end = std::chrono::steady_clock::now();
    const double cpu = CpuSeconds() - cpuStart;
    if (exit != 0) {
        std::fprintf(stderr, "flash%s over %zu devices exited %d:\n%s%s\n", all ? " --all" : "",
                     devices, exit, out.str().c_str(), err.str().c_str());
        std::exit(1);
    }
    TRun run;
    run.WallMs = std::chrono::duration<double, std::milli>(end - start).count();
    run.CpuMsPerDevice = cpu * 1000.0 / static_cast<double>(devices);
    return run;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const auto many = static_cast<std::size_t>(argc > 2 ? std::max(2, std::atoi(argv[2])) : 32);

    // The settings and the service log of the runs live in a folder of their own.
    const std::filesystem::path work =
        std::filesystem::temp_directory_path() / ("qor-many-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(work);
    ::setenv("XDG_CONFIG_HOME", (work / "config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (work / "state").c_str(), 1);
    const std::string image = (work / "qor-7316-a.bin").string();
    const TByteVector bytes =
        MakeFirmwareImage(std::size_t{VariantAPageSize} * VariantAPageCount, "102a");
    std::ofstream(image, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));

    std::vector<double> oneWall, oneCpu, manyWall, manyCpu;
    for (int i = 0; i < runs; ++i) {
        const TRun one = RunFlash(image, 1, false);
        const TRun all = RunFlash(image, many, true);
        oneWall.push_back(one.WallMs);
        oneCpu.push_back(one.CpuMsPerDevice);
        manyWall.push_back(all.WallMs);
        manyCpu.push_back(all.CpuMsPerDevice);
    }
    std::filesystem::remove_all(work);

    const double wallRatio = Median(manyWall) / Median(oneWall);
    const double cpuRatio = Median(manyCpu) / Median(oneCpu);
    const bool wallMet = wallRatio <= WallTarget;
    const bool cpuMet = cpuRatio <= 1.0;
    std::printf("medians of %d runs each, alternating; variant a, wire timing, bridge latency "
                "timer at the program's setting\n",
                runs);
    std::printf("%-30s wall %7.1f ms   host CPU %6.1f ms per device\n", "one device, flash",
                Median(oneWall), Median(oneCpu));
    std::printf("%-30s wall %7.1f ms   host CPU %6.1f ms per device\n",
                (std::to_string(many) + " devices, flash --all").c_str(), Median(manyWall),
                Median(manyCpu));
    std::printf("wall %.3fx of one alone (target %.2fx: %s), CPU per device %.3fx (target 1.00x: "
                "%s)\n",
                wallRatio, WallTarget, wallMet ? "met" : "MISSED", cpuRatio,
                cpuMet ? "met" : "MISSED");
    return wallMet && cpuMet ? 0 : 2;
}
