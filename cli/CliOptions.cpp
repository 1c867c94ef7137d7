#include "cli/CliOptions.h"

#include <charconv>
#include <cmath>
#include <map>
#include <sstream>
#include <vector>

#include "base/TextTable.h"
#include "cli/ExitCodes.h"

namespace qor::cli {
namespace {

// Longer than any bench waits for a device, short enough not to overflow a clock.
constexpr double MaxWaitSeconds = 7 * 24 * 3600;
constexpr std::size_t HelpWidth = 80;

const std::map<std::string, TCommand>& Commands() {
    static const std::map<std::string, TCommand> commands{
        {"list", TCommand::List},          {"info", TCommand::Info},
        {"flash", TCommand::Flash},        {"download", TCommand::Download},
        {"power-off", TCommand::PowerOff}, {"help", TCommand::Help},
    };
    return commands;
}

TFailure<TUsageError> Usage(std::string message) {
    return Fail(TUsageError{std::move(message)});
}

std::optional<std::uint8_t> LanguageOf(const std::string& code) {
    static const std::map<std::string, std::uint8_t> codes{
        {"de", LangGerman}, {"en", LangEnglish}, {"fr", LangFrench}, {"es", LangSpanish}};
    const auto it = codes.find(code);
    return it == codes.end() ? std::nullopt : std::optional(it->second);
}

std::optional<std::chrono::milliseconds> SecondsOf(const std::string& text) {
    double seconds = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, seconds);
    if (text.empty() || error != std::errc() || stop != end || !std::isfinite(seconds) ||
        seconds < 0 || seconds > MaxWaitSeconds) {
        return std::nullopt;
    }
    return std::chrono::milliseconds(static_cast<std::int64_t>(std::llround(seconds * 1000)));
}

// "host:port" with a port of 1 to 65535.
bool ParseProxy(const std::string& text, TProxyChoice& proxy) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        return false;
    }
    const std::string port = text.substr(colon + 1);
    int number = 0;
    const auto [stop, error] = std::from_chars(port.data(), port.data() + port.size(), number);
    if (port.empty() || error != std::errc() || stop != port.data() + port.size() || number < 1 ||
        number > 65535) {
        return false;
    }
    proxy.Mode = TProxyChoice::TMode::Given;
    proxy.Server = text.substr(0, colon);
    proxy.Port = number;
    return true;
}

// Which options each command takes, besides the common ones.
bool Allowed(TCommand command, const std::string& option) {
    if (option == "--power-off" || option == "--download") {
        return command == TCommand::Flash;
    }
    if (option == "--out" || option == "--variant") {
        return command == TCommand::Download;
    }
    if (option == "--proxy" || option == "--no-proxy" || option == "--proxy-user") {
        return command == TCommand::Download || command == TCommand::Flash;
    }
    return true;
}

// The text broken at blanks into lines of at most `width` characters, the lines after the
// first indented by `indent`.
std::string Wrapped(const std::string& text, std::size_t width, std::size_t indent) {
    std::string out;
    std::size_t lineStart = 0;
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t end = text.find(' ', from);
        if (end == std::string::npos) {
            end = text.size();
        }
        if (end - lineStart > width && from > lineStart) {
            out.back() = '\n';
            out.append(indent, ' ');
            lineStart = from;
        }
        out.append(text, from, end - from);
        if (end < text.size()) {
            out += ' ';
        }
        from = end + 1;
    }
    return out;
}

} // namespace

bool AsksForJson(std::span<const std::string> args) {
    for (const std::string& arg : args) {
        if (arg == "--") {
            break;
        }
        if (arg == "--json") {
            return true;
        }
    }
    return false;
}

TResult<TCliOptions, TUsageError> ParseCommandLine(std::span<const std::string> args) {
    TCliOptions options;
    std::optional<TCommand> command;
    std::vector<std::string> operands;
    std::vector<std::string> given; // options in the order given, for the command check
    bool help = false;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            if (!command) {
                const auto it = Commands().find(arg);
                if (it == Commands().end()) {
                    return Usage("unknown command '" + arg + "'");
                }
                command = it->second;
            } else {
                operands.push_back(arg);
            }
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::optional<std::string> inlineValue;
        if (const std::size_t equals = arg.find('='); equals != std::string::npos) {
            inlineValue = arg.substr(equals + 1);
            arg.resize(equals);
        }
        const auto value = [&]() -> std::optional<std::string> {
            if (inlineValue) {
                return inlineValue;
            }
            if (i + 1 < args.size()) {
                return args[++i];
            }
            return std::nullopt;
        };
        const auto flag = [&](bool& target) -> bool {
            target = true;
            return !inlineValue;
        };
        bool ok = true;
        if (arg == "--help" || arg == "-h") {
            ok = flag(help);
        } else if (arg == "--json") {
            ok = flag(options.Json);
        } else if (arg == "--power-off") {
            ok = flag(options.PowerOffAfter);
        } else if (arg == "--download") {
            ok = flag(options.Download);
        } else if (arg == "--no-proxy") {
            bool none = false;
            ok = flag(none);
            options.Proxy.Mode = TProxyChoice::TMode::None;
        } else if (arg == "--wait") {
            const auto text = value();
            const auto wait = text ? SecondsOf(*text) : std::nullopt;
            if (!wait) {
                return Usage("--wait needs a number of seconds from 0 to 604800");
            }
            options.Wait = *wait;
        } else if (arg == "--port") {
            options.Port = value();
            ok = options.Port && !options.Port->empty();
        } else if (arg == "--out") {
            options.Out = value();
            ok = options.Out && !options.Out->empty();
        } else if (arg == "--variant") {
            const auto text = value();
            if (!text || (*text != "a" && *text != "b")) {
                return Usage("--variant takes a or b");
            }
            options.Variant = (*text)[0];
        } else if (arg == "--lang") {
            const auto text = value();
            options.Language = text ? LanguageOf(*text) : std::nullopt;
            if (!options.Language) {
                return Usage("--lang takes de, en, fr or es");
            }
        } else if (arg == "--proxy") {
            const auto text = value();
            if (!text || !ParseProxy(*text, options.Proxy)) {
                return Usage("--proxy takes HOST:PORT");
            }
        } else if (arg == "--proxy-user") {
            options.Proxy.User = value();
            ok = options.Proxy.User.has_value();
        } else {
            return Usage("unknown option '" + arg + "'");
        }
        if (!ok) {
            return Usage("option '" + arg + "' is not used that way");
        }
        given.push_back(arg);
    }

    if (help || !command || *command == TCommand::Help) {
        options.Command = TCommand::Help;
        return options;
    }
    options.Command = *command;
    for (const std::string& option : given) {
        if (!Allowed(options.Command, option)) {
            return Usage("option '" + option + "' does not go with this command");
        }
    }
    if (options.Proxy.User && options.Proxy.Mode != TProxyChoice::TMode::Given) {
        return Usage("--proxy-user goes with --proxy");
    }
    if (options.Command == TCommand::Flash) {
        if (options.Download == !operands.empty() || operands.size() > 1) {
            return Usage("flash takes one image FILE, or --download instead of it");
        }
        if (!operands.empty()) {
            options.File = operands.front();
        }
        const bool proxyOptions = options.Proxy.Mode != TProxyChoice::TMode::Stored;
        if (proxyOptions && !options.Download) {
            return Usage("the proxy options go with --download");
        }
        return options;
    }
    if (!operands.empty()) {
        return Usage("unexpected argument '" + operands.front() + "'");
    }
    return options;
}

std::string HelpText(const std::string& program) {
    std::ostringstream text;
    text << "Usage: " << program << " COMMAND [OPTIONS]\n"
         << "\n"
         << "Updates the firmware of QOR 7316 devices without a window, with the same checks\n"
         << "and exchanges as the updater's window.\n"
         << "\n"
         << "Commands:\n"
         << "  list                    the attached devices (port, description)\n"
         << "  info                    bootloader version and variant, firmware version,\n"
         << "                          checksum state\n"
         << "  flash FILE              check FILE, write it into the device, verify the checksums\n"
         << "      --download          download the image for the device's variant instead\n"
         << "      --power-off         switch the device off after a successful update\n"
         << "  download                download the image for the device's variant\n"
         << "      --variant a|b       for this variant instead; no device needed\n"
         << "      --out FILE          save it as FILE (default: its name on the server, in the\n"
         << "                          current folder)\n"
         << "  power-off               switch the device off\n"
         << "\n"
         << "Options:\n"
         << "  --wait SECONDS          wait this long for a device to appear (default 0)\n"
         << "  --port NAME             use the device on this port only (as list shows it)\n"
         << "  --json                  one JSON object per line for each event, then a result\n"
         << "  --lang de|en|fr|es      language of the messages (default: the stored language)\n"
         << "  --no-proxy              download directly, whatever the stored proxy settings say\n"
         << "  --proxy HOST:PORT       download through this proxy instead of the stored one\n"
         << "  --proxy-user NAME       its user; the password is taken from the environment\n"
         << "                          variable " << ProxyPasswordVariable << "\n"
         << "  -h, --help              this text\n"
         << "\n"
         << "Exit codes:\n";
    for (const TExitDoc& doc : ExitCodeTable()) {
        text << "  " << (doc.Code < 10 ? " " : "") << doc.Code << "  "
             << Wrapped(doc.Meaning, HelpWidth - 6, 6) << "\n";
    }
    return text.str();
}

} // namespace qor::cli
