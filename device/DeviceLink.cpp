#include "device/DeviceLink.h"

#include <cstring>
#include <string_view>
#include <vector>

#include "device/Protocol.h"

namespace qor {
namespace {

// The description as a whole string; a record without a terminator is cut at its field.
std::string_view DescriptionOf(const FT_DEVICE_LIST_INFO_NODE& node) {
    return {node.Description, strnlen(node.Description, sizeof node.Description)};
}

} // namespace

TDeviceLink::TDeviceLink(IFtPort& port) : FPort(port) {
}

bool TDeviceLink::FindDevice() {
    std::uint32_t count = 0;
    FPort.CreateDeviceInfoList(&count);
    if (count == 0) {
        DeviceIndex = -1;
        return false;
    }
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(count);
    std::uint32_t filled = count;
    if (FPort.GetDeviceInfoList(nodes.data(), &filled) != FT_OK) {
        DeviceIndex = -1;
        return false;
    }
    // The port may report fewer records than announced, never more than we made room for.
    const std::uint32_t usable = filled < count ? filled : count;
    for (std::uint32_t i = 0; i < usable; ++i) {
        if (DescriptionOf(nodes[i]) == DeviceDescription) {
            DeviceIndex = static_cast<std::int32_t>(i);
            return true;
        }
    }
    DeviceIndex = -1;
    return false;
}

bool TDeviceLink::OpenDevice() {
    if (DeviceIndex == -1) {
        return false;
    }
    const FT_STATUS status = FPort.Open(DeviceIndex, &FtHandle);
    if (status != FT_OK) {
        OpenError = FPort.LastOpenError();
        if (OpenError.empty()) {
            OpenError = "The device was found but could not be opened (driver status " +
                        std::to_string(status) + ").";
        }
        return false;
    }
    OpenError.clear();
    ++OpenCount;
    FPort.SetBaudRate(FtHandle, DeviceBaudRate);
    FPort.SetTimeouts(FtHandle, OpenReadTimeoutMs, WriteTimeoutMs);
    return true;
}

void TDeviceLink::Upkeep() {
    if (!FindDevice()) {
        FPort.Close(FtHandle); // also with handle 0, as the port expects it every tick
        FtHandle = 0;
        OpenError.clear();
        return;
    }
    if (FtHandle == 0 && !OpenDevice()) {
        FtHandle = 0;
    }
}

void TDeviceLink::SetTimeouts(std::uint32_t readMs, std::uint32_t writeMs) {
    FPort.SetTimeouts(FtHandle, readMs, writeMs);
}

} // namespace qor
