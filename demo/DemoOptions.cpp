#include "demo/DemoOptions.h"

#include <charconv>

#include "platform/TempDir.h"
#include "platform/UserServices.h"

namespace qor {
namespace {

constexpr const char* DemoFolder = "qor7316-updater-demo";
constexpr const char* DemoTempFolder = "qor7316-updater-demo/";
constexpr const char* LoopbackHost = "127.0.0.1";

} // namespace

std::optional<std::string> ParseDemoCommandLine(const std::vector<std::string>& args,
                                                TDemoCommandLine& line) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "--help") {
            line.Help = true;
        } else if (arg == "--no-wire-timing") {
            line.Rig.WireTiming = false;
        } else if (arg == "--system-port") {
            line.SystemPort = true;
        } else if (arg == "--turnaround-ms") {
            if (i + 1 == args.size()) {
                return "--turnaround-ms needs a value";
            }
            const std::string& value = args[++i];
            std::uint32_t ms = 0;
            const char* end = value.data() + value.size();
            const auto [at, error] = std::from_chars(value.data(), end, ms);
            if (value.empty() || error != std::errc() || at != end ||
                ms > TDemoOptions::MaxTurnaroundMs) {
                return "--turnaround-ms is 0 to " + std::to_string(TDemoOptions::MaxTurnaroundMs) +
                       ", not \"" + value + "\"";
            }
            line.Rig.TurnaroundMs = ms;
        } else {
            return "unknown option \"" + arg + "\"";
        }
    }
    return std::nullopt;
}

std::optional<std::string> DemoConfigDirectory() {
    const auto config = UserConfigDirectory();
    if (!config) {
        return std::nullopt;
    }
    return *config + "/" + DemoFolder;
}

TServiceLog DemoServiceLog() {
    return UserServiceLog(DemoFolder);
}

TDownloadFiles DemoDownloadFiles() {
    TDownloadFiles files = PlatformDownloadFiles();
    files.TempDirectory = [temp = files.TempDirectory]() -> TResult<std::string> {
        TResult<std::string> directory = temp();
        if (!directory) {
            return directory;
        }
        const std::string folder = *directory + DemoTempFolder;
        if (const auto made = EnsurePrivateDirectory(folder.substr(0, folder.size() - 1)); !made) {
            return Fail(made.Error());
        }
        return folder;
    };
    return files;
}

TDownloadServer DemoDownloadServer(std::uint16_t port) {
    return {LoopbackHost, port};
}

} // namespace qor
