#include "device/ConnectionMonitor.h"

namespace qor {
namespace {

const char* RequestName(std::uint8_t request) {
    switch (request) {
    case CmdGetBootVersion:
        return "the version request";
    case CmdGetPageCount:
        return "the page-count request";
    case CmdGetPageSize:
        return "the page-size request";
    case CmdGetChecksums:
        return "the checksum request";
    case CmdGetFirmwareVersion:
        return "the firmware-version request";
    default:
        return "a request";
    }
}

} // namespace

bool TQueryFailure::Answered() const {
    return Request != CmdGetBootVersion || Error.Fault != TExchangeFault::BadReply ||
           Error.Frame.Fault != TFrameFault::NoReply;
}

std::string TQueryFailure::Describe() const {
    return std::string(RequestName(Request)) + " failed: " + Error.Describe();
}

TConnectionMonitor::TConnectionMonitor(IDevicePort& port)
    : DeviceLink(port), Client(DeviceLink, Values) {
}

void TConnectionMonitor::ForgetGoneDevice() {
    if (DeviceLink.DeviceIndex() == -1 || DeviceLink.OpenCount() != ValuesOpenCount) {
        Values = {};
        LastFailure.reset();
        ValuesOpenCount = DeviceLink.OpenCount();
    }
}

TDeviceStatus TConnectionMonitor::Tick(bool updateRunning) {
    const TResult<void> kept = DeviceLink.Upkeep();
    ForgetGoneDevice();
    TDeviceStatus status;
    status.OpenError = kept.Error().Reason;
    if (DeviceLink.DeviceIndex() == -1) {
        Ready = false;
        status.State = TDeviceState::NotFound;
        return status;
    }
    if (!Ready) {
        status.State = TDeviceState::Connecting;
        if (QueryCountdown > 0) {
            --QueryCountdown;
            if (QueryCountdown == 0) {
                QueryBootloader();
                QueryCountdown = QueryReload;
            }
        }
        status.QueryFailure = LastFailure;
        PollCountdown = PollReload;
        return status;
    }
    status.State = TDeviceState::Connected;
    status.Info = Values;
    // The keep-alive stays off the wire while an update is writing.
    if (PollCountdown > 0) {
        --PollCountdown;
    }
    if (!updateRunning && PollCountdown == 0) {
        PollBootloader();
        PollCountdown = PollReload;
    }
    return status;
}

bool TConnectionMonitor::QueryBootloader() {
    Ready = false;
    // An update waiting for its reply keeps the client, and the time-outs it set, to itself.
    if (Client.InExchange()) {
        return false;
    }
    ForgetGoneDevice();
    // A short first wait: with nothing answering, the attempt costs one 100 ms time-out.
    DeviceLink.SetTimeouts(QueryFirstReadTimeoutMs, WriteTimeoutMs);
    using TQuery = TReply (TBootloaderClient::*)();
    static constexpr struct {
        std::uint8_t Request;
        TQuery Ask;
    } Order[] = {{CmdGetBootVersion, &TBootloaderClient::QueryVersion},
                 {CmdGetPageSize, &TBootloaderClient::QueryPageSize},
                 {CmdGetPageCount, &TBootloaderClient::QueryPageCount},
                 {CmdGetChecksums, &TBootloaderClient::QueryChecksums},
                 {CmdGetFirmwareVersion, &TBootloaderClient::QueryFirmwareVersion}};
    for (const auto& query : Order) {
        // Whatever good reply comes is stored by its own code as it arrives.
        const TReply reply = (Client.*query.Ask)();
        if (!reply) {
            LastFailure = TQueryFailure{query.Request, reply.Error()};
            return false;
        }
        if (query.Request == CmdGetBootVersion) {
            DeviceLink.SetTimeouts(QueryReadTimeoutMs, WriteTimeoutMs);
        }
    }
    LastFailure.reset();
    Ready = true;
    return true;
}

void TConnectionMonitor::PollBootloader() {
    (void)Client.QueryVersion();
}

} // namespace qor
