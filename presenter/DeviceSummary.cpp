#include "presenter/DeviceSummary.h"

#include "base/Windows1252.h"
#include "presenter/MainView.h"

namespace qor {

TDeviceSummary SummariseDevice(const TDeviceInfo& info) {
    TDeviceSummary summary{std::to_string(info.BootVersionMajor) + '.' +
                               std::to_string(info.BootVersionMinor),
                           TDeviceVariant::FromGeometry(info.PageSize, info.PageCount),
                           info.ChecksumValid(), UnknownValue};
    if (const auto letter = summary.Variant.Letter()) {
        summary.BootloaderVersion += *letter;
    }
    if (summary.ChecksumValid) {
        summary.FirmwareVersion = Windows1252ToUtf8(info.DeviceFWVersion);
    }
    return summary;
}

} // namespace qor
