// The command line: one command and its options, in any order; "--name value" or
// "--name=value"; "--" ends the options.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/Result.h"

namespace qor::cli {

enum class TCommand { Help, List, Info, Flash, Download, PowerOff };

// How the download reaches the server.
struct TProxyChoice {
    enum class TMode {
        Stored, // the stored proxy settings and the stored protected password
        None,   // --no-proxy: directly
        Given,  // --proxy HOST:PORT, with --proxy-user's credentials if given
    };
    TMode Mode = TMode::Stored;
    std::string Server;
    std::int32_t Port = 0;
    std::optional<std::string> User; // its password comes from ProxyPasswordVariable
};

// The environment variable that holds the password for --proxy-user; a password on the
// command line would show in every process list.
inline constexpr const char* ProxyPasswordVariable = "QOR7316_PROXY_PASSWORD";

struct TCliOptions {
    TCommand Command = TCommand::Help;
    std::string File;                    // flash: the image file
    bool Download = false;               // flash --download
    bool PowerOffAfter = false;          // flash --power-off
    bool All = false;                    // flash --all: every device attached, at the same time
    std::optional<std::uint32_t> Expect; // flash --all --expect N
    std::optional<std::string> Out;
    std::optional<char> Variant; // download --variant a|b
    bool SkipCurrent = false;    // flash --skip-current
    std::uint32_t Retries = 0;   // flash --retries N: more attempts after a failed one
    std::chrono::milliseconds Wait{0};
    std::optional<std::string> Port;
    std::vector<std::string> Serials; // --serial, each once, in the order given
    bool Json = false;
    std::optional<std::uint8_t> Language;
    TProxyChoice Proxy;
};

struct TUsageError {
    std::string Message;
};

TResult<TCliOptions, TUsageError> ParseCommandLine(std::span<const std::string> args);

// Whether the arguments ask for JSON, so that even a usage error is reported as JSON.
bool AsksForJson(std::span<const std::string> args);

// The --help text with the exit codes.
std::string HelpText(const std::string& program);

} // namespace qor::cli
