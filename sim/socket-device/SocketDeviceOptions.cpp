#include "sim/socket-device/SocketDeviceOptions.h"

#include <charconv>

#include "device/Protocol.h"

namespace qor {
namespace {

std::optional<std::uint8_t> ParseCode(const std::string& text) {
    unsigned value = 0;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || at != end || value > LastGoodReplyCode) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(value);
}

} // namespace

std::optional<std::string> ParseSocketDeviceOptions(const std::vector<std::string>& args,
                                                    TSocketDeviceOptions& options) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "--help") {
            options.Help = true;
            return std::nullopt;
        }
        if (arg == "--no-application") {
            options.Config.NoApplication = true;
            continue;
        }
        if (arg == "--swap-query-replies") {
            options.Config.SwapQueryReplies = true;
            continue;
        }
        if (arg == "--data-acknowledgements") {
            options.Config.DataAcknowledgements = true;
            continue;
        }
        if (arg != "--socket" && arg != "--variant" && arg != "--ack-code" &&
            arg != "--version-reply-code" && arg != "--flash-out" && arg != "--trace") {
            return "unknown option \"" + arg + "\"";
        }
        if (i + 1 == args.size()) {
            return arg + " needs a value";
        }
        const std::string& value = args[++i];
        if (arg == "--socket") {
            options.SocketPath = value;
        } else if (arg == "--variant") {
            if (value != "a" && value != "b") {
                return "--variant is a or b, not \"" + value + "\"";
            }
            const TBootloaderConfig geometry =
                value == "a" ? TBootloaderConfig::VariantA() : TBootloaderConfig::VariantB();
            options.Config.PageSizeCode = geometry.PageSizeCode;
            options.Config.PageCount = geometry.PageCount;
        } else if (arg == "--ack-code") {
            const auto code = ParseCode(value);
            if (!code || (*code != AckWithRequestCode && *code < FirstAcknowledgementCode)) {
                return "--ack-code is 0 or 5 to 12, not \"" + value + "\"";
            }
            options.Config.AckCode = *code;
        } else if (arg == "--version-reply-code") {
            const auto code = ParseCode(value);
            if (!code) {
                return "--version-reply-code is 0 to 12, not \"" + value + "\"";
            }
            options.Config.VersionReplyCode = *code;
        } else if (arg == "--flash-out") {
            options.FlashOut = value;
        } else {
            options.TraceOut = value;
        }
    }
    if (options.SocketPath.empty()) {
        return "--socket PATH is missing";
    }
    return std::nullopt;
}

} // namespace qor
