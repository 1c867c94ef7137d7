#include "sim/socket-device/SocketDeviceOptions.h"

#include "base/ArgumentReader.h"
#include "device/Protocol.h"

namespace qor {
namespace {

std::optional<std::uint8_t> ParseCode(const std::string& text) {
    const auto code = WholeNumber(text, LastGoodReplyCode);
    return code ? std::optional(static_cast<std::uint8_t>(*code)) : std::nullopt;
}

std::vector<TOptionRule> Rules(TSocketDeviceOptions& options) {
    TBootloaderConfig& config = options.Config;
    return {
        HelpOption(options.Help),
        FlagOption("--no-application", config.NoApplication),
        FlagOption("--swap-query-replies", config.SwapQueryReplies),
        FlagOption("--data-acknowledgements", config.DataAcknowledgements),
        TextOption("--socket", options.SocketPath),
        ValueOption("--variant",
                    [&config](const std::string& value) -> TResult<void> {
                        if (value != "a" && value != "b") {
                            return Fail(WrongValue("--variant", "a or b", value));
                        }
                        const TBootloaderConfig geometry = value == "a"
                                                               ? TBootloaderConfig::VariantA()
                                                               : TBootloaderConfig::VariantB();
                        config.PageSizeCode = geometry.PageSizeCode;
                        config.PageCount = geometry.PageCount;
                        return {};
                    }),
        ValueOption("--ack-code",
                    [&config](const std::string& value) -> TResult<void> {
                        const auto code = ParseCode(value);
                        if (!code ||
                            (*code != AckWithRequestCode && *code < FirstAcknowledgementCode)) {
                            return Fail(WrongValue("--ack-code", "0 or 5 to 12", value));
                        }
                        config.AckCode = *code;
                        return {};
                    }),
        ValueOption("--version-reply-code",
                    [&config](const std::string& value) -> TResult<void> {
                        const auto code = ParseCode(value);
                        if (!code) {
                            return Fail(WrongValue("--version-reply-code", "0 to 12", value));
                        }
                        config.VersionReplyCode = *code;
                        return {};
                    }),
        TextOption("--flash-out", options.FlashOut),
        TextOption("--trace", options.TraceOut),
    };
}

} // namespace

TResult<TSocketDeviceOptions> ParseSocketDeviceOptions(const std::vector<std::string>& args) {
    TSocketDeviceOptions options;
    if (const auto read = ReadArguments(args, Rules(options)); !read) {
        return Fail(read.Error());
    }
    if (!options.Help && options.SocketPath.empty()) {
        return Fail(TError{"--socket PATH is missing"});
    }
    return options;
}

} // namespace qor
