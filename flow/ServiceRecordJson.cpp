// The service record as a JSON line: the text record's facts as values a collector reads
// without parsing sentences. What is not known is null, never a placeholder.
#include "base/Json.h"
#include "base/ProgramVersion.h"
#include "base/Windows1252.h"
#include "flow/DeviceSummary.h"
#include "flow/ServiceRecord.h"

namespace qor {
namespace {

void AddOrNull(TJsonObject& object, std::string_view key, const std::optional<std::string>& value) {
    if (value) {
        object.Add(key, *value);
    } else {
        object.AddNull(key);
    }
}

// The firmware and its checksum state: "1.0a" and "valid".
struct TFirmwareState {
    std::optional<std::string> Version;
    std::optional<std::string> Checksums;
};

// What the device reported; none for what it did not.
TFirmwareState StateOf(const TDeviceInfo& info) {
    TFirmwareState state;
    if (info.DeviceFWVersion) {
        state.Version = Windows1252ToUtf8(*info.DeviceFWVersion);
    }
    if (info.DeviceChecksums) {
        state.Checksums = info.ChecksumValid() ? "valid" : "invalid";
    }
    return state;
}

} // namespace

std::string FormatServiceRecordJson(const TServiceRecord& record) {
    const TDeviceInfo& before = record.Before;
    const TDeviceSummary device = SummariseDevice(before);
    TJsonObject json;
    json.Add("time", FormatUtc(record.Time)).Add("program_version", ProgramVersion);
    json.Add("port", record.Port);
    AddOrNull(json, "serial", record.Serial.empty() ? std::nullopt : std::optional(record.Serial));
    AddOrNull(json, "variant", device.Variant ? std::optional(device.VariantName) : std::nullopt);
    std::optional<std::string> bootloader;
    if (before.BootVersion) {
        bootloader = std::to_string(before.BootVersion->Major) + "." +
                     std::to_string(before.BootVersion->Minor);
    }
    AddOrNull(json, "bootloader_version", bootloader);
    const TFirmwareState was = StateOf(before);
    const TDeviceInfo* after = DeviceAfter(record);
    const TFirmwareState now = after != nullptr ? StateOf(*after) : TFirmwareState{};
    AddOrNull(json, "firmware_before", was.Version);
    AddOrNull(json, "checksums_before", was.Checksums);
    AddOrNull(json, "firmware_after", now.Version);
    AddOrNull(json, "checksums_after", now.Checksums);
    json.Add("image", record.ImageName);
    json.Add("image_version", Windows1252ToUtf8(record.ImageVersion));
    json.Add("image_size", static_cast<std::int64_t>(record.ImageSize));
    json.Add("image_crc", Hex32(record.ImageCrc)).Add("source", record.ImageSource);
    json.Add("outcome", DescribeRecordOutcome(record)).Add("exit", record.Exit);
    json.Add("attempt", record.Attempt).Add("attempts", record.Attempts);
    json.AddFixed("seconds", static_cast<double>(record.Duration.count()) / 1000.0, 2);
    return json.Text() + "\n";
}

} // namespace qor
