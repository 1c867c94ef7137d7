#include "device/ConnectionMonitor.h"

#include "device/Protocol.h"

namespace qor {

TConnectionMonitor::TConnectionMonitor(IDevicePort& port) : DeviceLink(port), Client(DeviceLink) {
}

TDeviceStatus TConnectionMonitor::Tick(bool updateRunning) {
    const TResult<void> kept = DeviceLink.Upkeep();
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
    // A short first wait: with nothing answering, the attempt costs one 100 ms time-out.
    DeviceLink.SetTimeouts(QueryFirstReadTimeoutMs, WriteTimeoutMs);
    const auto version = Client.QueryVersion();
    if (!version) {
        return false;
    }
    StoreReplyValue(Values, *version);
    DeviceLink.SetTimeouts(QueryReadTimeoutMs, WriteTimeoutMs);

    // The rest in this order; each value is stored as its reply's code says.
    const auto pageSize = Client.QueryPageSize();
    if (!pageSize) {
        return false;
    }
    StoreReplyValue(Values, TPageSize{*pageSize});
    const auto pageCount = Client.QueryPageCount();
    if (!pageCount) {
        return false;
    }
    StoreReplyValue(Values, TPageCount{*pageCount});
    const auto checksums = Client.QueryChecksums();
    if (!checksums) {
        return false;
    }
    StoreReplyValue(Values, *checksums);
    const auto firmware = Client.QueryFirmwareVersion();
    if (!firmware) {
        return false;
    }
    StoreReplyValue(Values, TFirmwareVersion{*firmware});
    Ready = true;
    return true;
}

void TConnectionMonitor::PollBootloader() {
    if (const auto version = Client.QueryVersion()) {
        StoreReplyValue(Values, *version);
    }
}

} // namespace qor
