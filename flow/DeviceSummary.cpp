#include "flow/DeviceSummary.h"

#include "base/Windows1252.h"

namespace qor {

TDeviceSummary SummariseDevice(const TDeviceInfo& info) {
    TDeviceSummary summary{UnknownValue,         std::nullopt, "unknown",
                           info.ChecksumValid(), UnknownValue, UnreportedValues(info)};
    if (auto variant = ReportedVariant(info)) {
        summary.Variant = *variant;
        const std::optional<char> letter = variant->Letter();
        summary.VariantName = letter ? std::string(1, *letter) : std::string("other");
    }
    if (info.BootVersion) {
        summary.BootloaderVersion =
            std::to_string(info.BootVersion->Major) + '.' + std::to_string(info.BootVersion->Minor);
        if (const auto letter = summary.Variant ? summary.Variant->Letter() : std::nullopt) {
            summary.BootloaderVersion += *letter;
        }
    }
    if (summary.ChecksumValid && info.DeviceFWVersion) {
        summary.FirmwareVersion = Windows1252ToUtf8(*info.DeviceFWVersion);
    }
    return summary;
}

} // namespace qor
