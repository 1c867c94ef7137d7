#include "demo/DemoOptions.h"

#include "base/ArgumentReader.h"
#include "platform/TempDir.h"
#include "platform/UserServices.h"

namespace qor {
namespace {

constexpr const char* DemoFolder = "qor7316-updater-demo";
constexpr const char* DemoTempFolder = "qor7316-updater-demo/";
constexpr const char* LoopbackHost = "127.0.0.1";

} // namespace

TResult<TDemoCommandLine> ParseDemoCommandLine(const std::vector<std::string>& args) {
    TDemoCommandLine line;
    TOptionRule help = HelpOption(line.Help);
    // The demo reads on after --help: a wrong word after it is still refused.
    help.EndsReading = false;
    const TOptionRule rules[] = {
        help,
        FlagOption("--no-wire-timing", line.Rig.WireTiming, false),
        FlagOption("--system-port", line.SystemPort),
        ValueOption("--turnaround-ms",
                    [&line](const std::string& value) -> TResult<void> {
                        constexpr std::uint32_t Max = TDemoOptions::MaxTurnaroundMs;
                        const auto ms = WholeNumber(value, Max);
                        if (!ms) {
                            return Fail(WrongValue("--turnaround-ms", "0 to " + std::to_string(Max),
                                                   value));
                        }
                        line.Rig.TurnaroundMs = static_cast<std::uint32_t>(*ms);
                        return {};
                    }),
    };
    if (const auto read = ReadArguments(args, rules); !read) {
        return Fail(read.Error());
    }
    return line;
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
