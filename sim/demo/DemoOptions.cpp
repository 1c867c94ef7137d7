#include "sim/demo/DemoOptions.h"

#include <charconv>

#include "platform/UserServices.h"

namespace qor {
namespace {

constexpr std::uint32_t MaxTurnaroundMs = 200;
constexpr const char* DemoFolder = "/qor7316-updater-demo";

} // namespace

std::optional<std::string> ParseDemoCommandLine(const std::vector<std::string>& args,
                                                TDemoCommandLine& line) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "--help") {
            line.Help = true;
        } else if (arg == "--no-wire-timing") {
            line.Rig.WireTiming = false;
        } else if (arg == "--turnaround-ms") {
            if (i + 1 == args.size()) {
                return "--turnaround-ms needs a value";
            }
            const std::string& value = args[++i];
            std::uint32_t ms = 0;
            const char* end = value.data() + value.size();
            const auto [at, error] = std::from_chars(value.data(), end, ms);
            if (value.empty() || error != std::errc() || at != end || ms > MaxTurnaroundMs) {
                return "--turnaround-ms is 0 to " + std::to_string(MaxTurnaroundMs) + ", not \"" +
                       value + "\"";
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
    return *config + DemoFolder;
}

} // namespace qor
