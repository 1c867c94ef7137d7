// Times a 1,400,000-byte firmware download over libcurl from a server on loopback, the way
// the download dialog runs it: 512-byte reads, the observer asked after each and while waiting.
// Reports wall time, the downloading thread's CPU time and the longest gap between two
// questions, which is how long the GUI's event loop would go unserved.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "base/Settings.h"
#include "download/CurlHttpSession.h"
#include "download/DownloadFiles.h"
#include "download/DownloadTransfer.h"
#include "qortest/FakeDataProtection.h"
#include "qortest/PatternBytes.h"
#include "sim/FirmwareServer.h"

using namespace qor;
using namespace qor::test;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::size_t ImageSize = 1'400'000;
constexpr int Runs = 20;

double ThreadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct TRun {
    bool Ok = false;
    double WallMs = 0;
    double CpuMs = 0;
    double LongestStallMs = 0;
    long Pumps = 0;
};

// Where the dialog would serve its events: the gaps between the questions.
class TStallWatch : public IDownloadObserver {
public:
    TStallWatch(TRun& run, Clock::time_point& lastPump) : Run(run), LastPump(lastPump) {}

    void Received(std::uint32_t bytes, std::optional<std::uint32_t> /*total*/) override {
        Bytes = bytes;
    }
    bool CancelRequested() override {
        const Clock::time_point now = Clock::now();
        Run.LongestStallMs = std::max(Run.LongestStallMs, Ms(now - LastPump));
        LastPump = now;
        ++Run.Pumps;
        return false;
    }

    std::uint32_t Bytes = 0;

private:
    TRun& Run;
    Clock::time_point& LastPump;
};

TRun DownloadOnce(TFirmwareServer& server, const std::string& directory) {
    TSettings settings;
    TFakeDataProtection protection;
    // The product's own atomic write, into a directory of the bench's choosing.
    TDownloadFiles files = PlatformDownloadFiles();
    files.TempDirectory = [&directory]() -> TResult<std::string> {
        return directory;
    };
    TDownloadTransfer transfer(protection, CurlHttpSessions(), files);
    const TDownloadRequest request{TVariantKind::A, settings, std::nullopt,
                                   TDownloadServer{"127.0.0.1", server.Port()}};

    TRun run;
    const Clock::time_point start = Clock::now();
    Clock::time_point lastPump = start;
    TStallWatch watch(run, lastPump);
    const double cpuStart = ThreadCpuMs();
    const TDownloadResult outcome = transfer.DownloadFirmware(request, watch);
    const Clock::time_point end = Clock::now();
    run.CpuMs = ThreadCpuMs() - cpuStart;
    run.WallMs = Ms(end - start);
    run.LongestStallMs = std::max(run.LongestStallMs, Ms(end - lastPump));
    run.Ok = outcome.Ok() && watch.Bytes == ImageSize;
    if (!run.Ok) {
        std::fprintf(stderr, "download failed: %s\n",
                     outcome.Ok() ? "short" : outcome.Error().Detail.c_str());
    }
    return run;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

bool Report(const char* name, TFirmwareServer& server, const std::string& directory) {
    std::vector<double> wall;
    std::vector<double> cpu;
    std::vector<double> stall;
    long pumps = 0;
    for (int i = 0; i < Runs; ++i) {
        const TRun run = DownloadOnce(server, directory);
        if (!run.Ok) {
            return false;
        }
        wall.push_back(run.WallMs);
        cpu.push_back(run.CpuMs);
        stall.push_back(run.LongestStallMs);
        pumps = run.Pumps;
    }
    std::printf("%-28s wall %8.2f ms (max %8.2f)  cpu %7.2f ms  longest stall %6.2f ms "
                "(max %6.2f)  pumps %ld\n",
                name, Median(wall), *std::max_element(wall.begin(), wall.end()), Median(cpu),
                Median(stall), *std::max_element(stall.begin(), stall.end()), pumps);
    return true;
}

} // namespace

int main() {
    const std::string directory = "/tmp/";
    std::printf("%d runs of a %zu-byte download each; medians, and the worst run in brackets\n",
                Runs, ImageSize);
    bool ok = true;
    TFirmwareServer server;
    if (const auto started = server.Start(); !started) {
        std::fprintf(stderr, "no server: %s\n", started.Error().Reason.c_str());
        return 1;
    }
    server.Serve("/qor-7316-a.bin", TServedFile::Of(PatternBytes(ImageSize)));
    ok = Report("loopback, full speed", server, directory) && ok;
    // About 1 MB/s: the pump keeps running while the session waits for data.
    server.Serve(
        "/qor-7316-a.bin",
        TServedFile::Of(PatternBytes(ImageSize)).Slowly(16'384, std::chrono::milliseconds(15)));
    ok = Report("loopback, ~1 MB/s", server, directory) && ok;
    // The response comes 400 ms late: the connect phase is pumped too.
    server.Serve(
        "/qor-7316-a.bin",
        TServedFile::Of(PatternBytes(ImageSize)).AnsweredAfter(std::chrono::milliseconds(400)));
    ok = Report("loopback, answer after 400 ms", server, directory) && ok;
    std::remove((directory + DownloadFileName).c_str());
    return ok ? 0 : 1;
}
