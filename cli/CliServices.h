// What the command line gets from the system it runs on. The product hands it the real
// port, clock, settings and HTTP client; the tests and the test build hand it virtual ones.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "cli/Clock.h"
#include "cli/FirmwareFetch.h"
#include "device/DevicePort.h"
#include "flow/ServiceRecord.h"
#include "platform/ProgramInput.h"
#include "settings/RegistryStore.h"

namespace qor::cli {

struct TCliServices {
    IDevicePort& Port;
    IClock& Clock;
    IRegistryStore& Registry; // the stored settings: language and proxy
    IFirmwareFetch& Fetch;
    IServiceRecorder& Record;
    // True once the user asked the program to stop (Ctrl+C, SIGTERM).
    std::function<bool()> Interrupted;
    // An environment variable's value; none when it is not set.
    std::function<std::optional<std::string>(const char* name)> Environment;
    std::ostream& Out;
    std::ostream& Err;
    bool Terminal = false; // standard output is a terminal: progress as a bar
    std::string ProgramName = "qor7316-update";
    // The terminal also moves its cursor up and clears lines (ANSI), so that flash --all
    // redraws a line per device in place; its size in characters.
    bool InPlaceLines = false;
    std::size_t TerminalColumns = 80;
    std::size_t TerminalRows = 24;
};

// The process's own environment, for TCliServices::Environment.
inline std::optional<std::string> ProcessEnvironment(const char* name) {
    return EnvironmentValue(name);
}

} // namespace qor::cli
