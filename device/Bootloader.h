// Exchanges with the device's bootloader: one request, one reply, checked and decoded into
// the device values; and the two query sequences the connection monitor runs.
#pragma once

#include "device/DeviceLink.h"
#include "device/Reply.h"
#include "device/Requests.h"

namespace qor {

class TBootloader {
public:
    explicit TBootloader(TDeviceLink& link);

    // One complete exchange: true only when a reply arrived whole, passed CheckReply and was
    // accepted by DecodeReply. The request is not modified, so it can be reused. Fails at once
    // without a handle, and for a request whose length field does not fit its buffer.
    bool TransferFrame(const TRequestBuffer& request);
    // A request without payload (length 3), sent from the bootloader's own request buffer.
    bool SendSimpleRequest(std::uint8_t code);
    // The full query: version, page size, page count, checksums, firmware version. Sets
    // BootloaderReady to whether all five succeeded.
    bool QueryBootloader();
    // The keep-alive version request with the time-outs in force; its result is not used.
    void PollBootloader();

    TDeviceValues Values;
    bool BootloaderReady = false;

private:
    TDeviceLink& Link;
    TRequestBuffer Request{};
};

} // namespace qor
