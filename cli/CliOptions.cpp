#include "cli/CliOptions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <sstream>
#include <vector>

#include "base/ArgumentReader.h"
#include "base/TextTable.h"
#include "cli/ExitCodes.h"

namespace qor::cli {
namespace {

// Longer than any bench waits for a device, short enough not to overflow a clock.
constexpr double MaxWaitSeconds = 7 * 24 * 3600;
// The most devices one USB bus holds.
constexpr std::uint32_t MaxExpected = 127;
// More attempts than this would hide a device that needs a technician's look.
constexpr std::uint32_t MaxRetries = 5;
constexpr std::size_t HelpWidth = 80;
// Where --help starts the text of a command or an option.
constexpr std::size_t HelpColumn = 26;

// What the arguments have said so far.
struct TParsed {
    TCliOptions Options;
    bool Help = false;
    std::optional<TCommand> Command;
    std::vector<std::string> Operands;
    std::vector<std::string> Given; // options in the order given, for the command check
};

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

// A whole number from `lowest` to `highest`.
std::optional<std::uint32_t> NumberOf(const std::string& text, std::uint32_t lowest,
                                      std::uint32_t highest) {
    const std::optional<std::uint64_t> number = WholeNumber(text, highest);
    if (!number || *number < lowest) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(*number);
}

// A serial number given once more is the same choice.
bool AddSerial(TCliOptions& options, const std::string& serial) {
    if (std::find(options.Serials.begin(), options.Serials.end(), serial) ==
        options.Serials.end()) {
        options.Serials.push_back(serial);
    }
    return !serial.empty();
}

// The proxy "host:port" names, with a port of 1 to 65535; no user yet.
TResult<TProxyChoice> ParseProxy(const std::string& text) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        return Fail(TError{"'" + text + "' is not HOST:PORT"});
    }
    const std::string port = text.substr(colon + 1);
    const std::optional<std::uint32_t> number = NumberOf(port, 1, 65535);
    if (!number) {
        return Fail(TError{"the proxy's port is 1 to 65535, not '" + port + "'"});
    }
    TProxyChoice proxy;
    proxy.Mode = TProxyChoice::TMode::Given;
    proxy.Server = text.substr(0, colon);
    proxy.Port = static_cast<int>(*number);
    return proxy;
}

// The commands, in the order --help lists them ("help" is not listed), with its text: lines
// separated by '\n'.
struct TCommandEntry {
    const char* Name;
    TCommand Command;
    const char* Synopsis;
    const char* Help;
};

// clang-format off
constexpr TCommandEntry CommandTable[] = {
    {"list", TCommand::List, "list", "the attached devices (port, serial number, description)"},
    {"info", TCommand::Info, "info", "bootloader version and variant, firmware version,\nchecksum state"},
    {"flash", TCommand::Flash, "flash FILE", "check FILE, write it into the device, verify the checksums"},
    {"download", TCommand::Download, "download", "download the image for the device's variant"},
    {"power-off", TCommand::PowerOff, "power-off", "switch the device off"},
    {"help", TCommand::Help, nullptr, nullptr},
};
// clang-format on

// Which commands take an option; --help lists an option of one command under it, the others
// with the common options.
enum class TTakenBy { Any, Flash, Download, DownloadAndFlash };

// An option, in the order --help lists it: its value's name (none for a flag), its text and
// what it does with its value; false for a value it does not take, and then Refusal is the
// usage error, or without one the option "is not used that way".
struct TOptionEntry {
    const char* Name;
    const char* Alias;
    const char* Value;
    TTakenBy TakenBy;
    std::string Help;
    bool (*Apply)(TParsed& parsed, const std::string& value);
    const char* Refusal = nullptr;
};

// clang-format off
const std::vector<TOptionEntry>& OptionTable() {
    using P = TParsed&;
    using V = const std::string&;
    static const std::vector<TOptionEntry> options{
        {"--download", nullptr, nullptr, TTakenBy::Flash, "download the image for the device's variant instead\n(with --all one download per variant present)",
         [](P p, V) { return p.Options.Download = true; }},
        {"--power-off", nullptr, nullptr, TTakenBy::Flash, "switch each device off after its successful update",
         [](P p, V) { return p.Options.PowerOffAfter = true; }},
        {"--all", nullptr, nullptr, TTakenBy::Flash,
         "write every device attached at the start, all at the\nsame time, each on its own port; then a summary",
         [](P p, V) { return p.Options.All = true; }},
        {"--expect", nullptr, "N", TTakenBy::Flash,
         "with --all: fail before anything is written unless\nexactly N devices are found (after --wait)",
         [](P p, V v) { p.Options.Expect = NumberOf(v, 1, MaxExpected); return p.Options.Expect.has_value(); },
         "--expect needs a number of devices from 1 to 127"},
        {"--skip-current", nullptr, nullptr, TTakenBy::Flash,
         "leave a device that already runs the image as it is\n(its firmware version is the image's, its checksums\nagree): outcome current",
         [](P p, V) { return p.Options.SkipCurrent = true; }},
        {"--retries", nullptr, "N", TTakenBy::Flash,
         "start an update that failed in an exchange or whose\nchecksums differ again, up to N more times (0 to 5,\ndefault 0), while the device is there",
         [](P p, V v) { const auto n = NumberOf(v, 0, MaxRetries); p.Options.Retries = n.value_or(0); return n.has_value(); },
         "--retries needs a number from 0 to 5"},
        {"--variant", nullptr, "a|b", TTakenBy::Download, "for this variant instead; no device needed",
         [](P p, V v) { p.Options.Variant = v.empty() ? '\0' : v[0]; return v == "a" || v == "b"; },
         "--variant takes a or b"},
        {"--out", nullptr, "FILE", TTakenBy::Download,
         "save it as FILE (default: its name on the server, in the\ncurrent folder)",
         [](P p, V v) { p.Options.Out = v; return !v.empty(); }},
        {"--wait", nullptr, "SECONDS", TTakenBy::Any, "wait this long for a device to appear (default 0)",
         [](P p, V v) { const auto wait = SecondsOf(v); p.Options.Wait = wait.value_or(p.Options.Wait); return wait.has_value(); },
         "--wait needs a number of seconds from 0 to 604800"},
        {"--port", nullptr, "NAME", TTakenBy::Any, "use the device on this port only (as list shows it)",
         [](P p, V v) { p.Options.Port = v; return !v.empty(); }},
        {"--serial", nullptr, "SERIAL", TTakenBy::Any,
         "use only the device whose USB bridge has this serial\nnumber (as list shows it); list and flash --all take\nseveral, each after its own --serial",
         [](P p, V v) { return AddSerial(p.Options, v); }, "--serial needs a serial number"},
        {"--json", nullptr, nullptr, TTakenBy::Any, "one JSON object per line for each event, then a result",
         [](P p, V) { return p.Options.Json = true; }},
        {"--lang", nullptr, "de|en|fr|es", TTakenBy::Any, "language of the messages (default: the stored language)",
         [](P p, V v) { p.Options.Language = LanguageOf(v); return p.Options.Language.has_value(); },
         "--lang takes de, en, fr or es"},
        {"--no-proxy", nullptr, nullptr, TTakenBy::DownloadAndFlash, "download directly, whatever the stored proxy settings say",
         [](P p, V) { p.Options.Proxy.Mode = TProxyChoice::TMode::None; return true; }},
        {"--proxy", nullptr, "HOST:PORT", TTakenBy::DownloadAndFlash, "download through this proxy instead of the stored one",
         [](P p, V v) {
             auto given = ParseProxy(v);
             if (given) {
                 given->User = std::move(p.Options.Proxy.User); // --proxy-user may come first
                 p.Options.Proxy = std::move(*given);
             }
             return given.Ok();
         }, "--proxy takes HOST:PORT"},
        {"--proxy-user", nullptr, "NAME", TTakenBy::DownloadAndFlash,
         std::string("its user; the password is taken from the environment\nvariable ") + ProxyPasswordVariable,
         [](P p, V v) { p.Options.Proxy.User = v; return true; }},
        {"--help", "-h", nullptr, TTakenBy::Any, "this text", [](P p, V) { return p.Help = true; }},
    };
    return options;
}
// clang-format on

const TOptionEntry* FindOption(const std::string& name) {
    for (const TOptionEntry& entry : OptionTable()) {
        if (name == entry.Name || (entry.Alias != nullptr && name == entry.Alias)) {
            return &entry;
        }
    }
    return nullptr;
}

bool Allowed(TCommand command, const std::string& option) {
    switch (FindOption(option)->TakenBy) {
    case TTakenBy::Any:
        return true;
    case TTakenBy::Flash:
        return command == TCommand::Flash;
    case TTakenBy::Download:
        return command == TCommand::Download;
    case TTakenBy::DownloadAndFlash:
        return command == TCommand::Download || command == TCommand::Flash;
    }
    return false;
}

// The section of --help an option is listed in: its one command's, or none for the common ones.
std::optional<TCommand> ListedUnder(const TOptionEntry& entry) {
    return entry.TakenBy == TTakenBy::Flash      ? std::optional(TCommand::Flash)
           : entry.TakenBy == TTakenBy::Download ? std::optional(TCommand::Download)
                                                 : std::nullopt;
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

// A word that is no option: the command, then its operands.
TResult<void, TUsageError> TakeWord(TParsed& parsed, const std::string& arg) {
    if (parsed.Command) {
        parsed.Operands.push_back(arg);
        return {};
    }
    for (const TCommandEntry& entry : CommandTable) {
        if (arg == entry.Name) {
            parsed.Command = entry.Command;
            return {};
        }
    }
    return Usage("unknown command '" + arg + "'");
}

// An option, "--name value" or "--name=value"; how many of the following arguments it took.
TResult<std::size_t, TUsageError> TakeOption(TParsed& parsed, std::string arg,
                                             const std::string* next) {
    std::optional<std::string> inlineValue;
    if (const std::size_t equals = arg.find('='); equals != std::string::npos) {
        inlineValue = arg.substr(equals + 1);
        arg.resize(equals);
    }
    const TOptionEntry* entry = FindOption(arg);
    if (entry == nullptr) {
        return Usage("unknown option '" + arg + "'");
    }
    const std::string refusal =
        entry->Refusal != nullptr ? entry->Refusal : "option '" + arg + "' is not used that way";
    std::size_t used = 0;
    std::string value;
    if (entry->Value == nullptr) {
        if (inlineValue) {
            return Usage("option '" + arg + "' is not used that way");
        }
    } else if (inlineValue) {
        value = *inlineValue;
    } else if (next != nullptr) {
        value = *next;
        used = 1;
    } else {
        return Usage(refusal);
    }
    if (!entry->Apply(parsed, value)) {
        return Usage(refusal);
    }
    parsed.Given.push_back(arg);
    return used;
}

// The options and operands held against the command they were given with.
TResult<TCliOptions, TUsageError> CheckedForCommand(TParsed parsed) {
    TCliOptions& options = parsed.Options;
    if (parsed.Help || !parsed.Command || *parsed.Command == TCommand::Help) {
        options.Command = TCommand::Help;
        return options;
    }
    options.Command = *parsed.Command;
    for (const std::string& option : parsed.Given) {
        if (!Allowed(options.Command, option)) {
            return Usage("option '" + option + "' does not go with this command");
        }
    }
    if (options.Proxy.User && options.Proxy.Mode != TProxyChoice::TMode::Given) {
        return Usage("--proxy-user goes with --proxy");
    }
    if (!options.Serials.empty() && options.Port) {
        return Usage("--serial and --port do not go together");
    }
    const bool severalDevices = options.Command == TCommand::List || options.All;
    if (options.Serials.size() > 1 && !severalDevices) {
        return Usage("several --serial go with list and flash --all; this command uses one "
                     "device");
    }
    const std::vector<std::string>& operands = parsed.Operands;
    if (options.Command == TCommand::Flash) {
        if (options.Download == !operands.empty() || operands.size() > 1) {
            return Usage("flash takes one image FILE, or --download instead of it");
        }
        if (!operands.empty()) {
            options.File = operands.front();
        }
        if (options.All && options.Port) {
            return Usage("--all and --port do not go together");
        }
        if (options.Expect && !options.All) {
            return Usage("--expect goes with --all");
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

// A command or an option as --help lists it: the synopsis, then its text from HelpColumn on.
std::string HelpEntry(const std::string& synopsis, const std::string& help) {
    std::string entry = synopsis;
    entry.append(HelpColumn > entry.size() ? HelpColumn - entry.size() : 1, ' ');
    for (const char c : help) {
        entry += c;
        if (c == '\n') {
            entry.append(HelpColumn, ' ');
        }
    }
    return entry + "\n";
}

std::string OptionSynopsis(const TOptionEntry& entry) {
    std::string synopsis = entry.Alias != nullptr ? std::string(entry.Alias) + ", " : "";
    synopsis += entry.Name;
    if (entry.Value != nullptr) {
        synopsis += std::string(" ") + entry.Value;
    }
    return synopsis;
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
    TParsed parsed;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            if (auto taken = TakeWord(parsed, arg); !taken) {
                return Fail(taken.Error());
            }
        } else if (arg == "--") {
            optionsEnded = true;
        } else {
            auto taken = TakeOption(parsed, arg, i + 1 < args.size() ? &args[i + 1] : nullptr);
            if (!taken) {
                return Fail(taken.Error());
            }
            i += *taken;
        }
    }
    return CheckedForCommand(std::move(parsed));
}

std::string HelpText(const std::string& program) {
    std::ostringstream text;
    text << "Usage: " << program << " COMMAND [OPTIONS]\n"
         << "\n"
         << "Updates the firmware of QOR 7316 devices without a window, with the same checks\n"
         << "and exchanges as the updater's window.\n"
         << "\n"
         << "Commands:\n";
    for (const TCommandEntry& command : CommandTable) {
        if (command.Synopsis == nullptr) {
            continue;
        }
        text << HelpEntry(std::string("  ") + command.Synopsis, command.Help);
        for (const TOptionEntry& option : OptionTable()) {
            if (ListedUnder(option) == command.Command) {
                text << HelpEntry("      " + OptionSynopsis(option), option.Help);
            }
        }
    }
    text << "\nOptions:\n";
    for (const TOptionEntry& option : OptionTable()) {
        if (!ListedUnder(option)) {
            text << HelpEntry("  " + OptionSynopsis(option), option.Help);
        }
    }
    text << "\nExit codes:\n";
    for (const TExitDoc& doc : ExitCodeTable()) {
        text << "  " << (doc.Code < 10 ? " " : "") << doc.Code << "  "
             << Wrapped(doc.Meaning, HelpWidth - 6, 6) << "\n";
    }
    text << "\n" << Wrapped(SeveralDevicesExitRule, HelpWidth, 0) << "\n";
    return text.str();
}

} // namespace qor::cli
