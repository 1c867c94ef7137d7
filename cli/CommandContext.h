// What the commands of one run share: the options, the system's services, the reporter, the
// stored settings read once with the language they give, the one device a command connects,
// and the result event that ends a command. Each command is a class of its own that uses it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/Result.h"
#include "base/Settings.h"
#include "base/TextTable.h"
#include "cli/CliOptions.h"
#include "cli/CliServices.h"
#include "cli/DeviceConnect.h"
#include "cli/DeviceTags.h"
#include "cli/ExitCodes.h"
#include "cli/Reporter.h"

namespace qor::cli {

// A step of a command that failed and has been reported: what is left of it is the exit code.
struct TReported {
    int Exit = 0;
};
template <typename T> using TStep = TResult<T, TReported>;

// A step that failed and is not reported yet: its exit code and the result event that tells
// it, for the one device or for each device it concerns.
struct TFailed {
    int Exit = 0;
    TEvent Event;
};

class TCommandContext {
public:
    TCommandContext(const TCliOptions& options, TCliServices& services, IReporter& report);
    // The reporter and the connector are its own; the commands hold it by reference.
    TCommandContext(const TCommandContext&) = delete;
    TCommandContext& operator=(const TCommandContext&) = delete;

    const TCliOptions& Options;
    TCliServices& Services;
    // Once the one device of a command answers, every event names it.
    IReporter& Report;

    // The stored settings, read once; an unreadable store leaves the defaults, in English.
    const TSettings& StoredSettings();
    // --lang, else the stored language.
    std::uint8_t Language();
    const char* Text(TTextId id);

    // Reports the result event with the exit code and its outcome's name.
    int Finish(TExit exit, TEvent event);
    int Finish(int exit, TEvent event);

    // The devices the options choose, listed again every tick until there are `wanted` of
    // them and every --serial is among them, or the wait is over. The first time it waits it
    // reports what `waiting` makes of the devices found so far; a stop is reported and ends it.
    TStep<std::vector<TPortEntry>>
    AwaitChosenDevices(std::size_t wanted,
                       const std::function<TEvent(const std::vector<TPortEntry>&)>& waiting);

    // Waits for the one device as the options say; fails after reporting why it is not there.
    TStep<void> ConnectDevice();
    TDeviceConnector& Connector() { return DeviceConnector; }
    // The reason no device answers, for a failed connection.
    std::string NotConnectedReason(const TConnectError& error);

private:
    void ReportDevice();

    TTaggedReporter Tagged;
    TDeviceConnector DeviceConnector;
    std::optional<TSettings> Settings;
};

} // namespace qor::cli
