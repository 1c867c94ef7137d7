#include "flow/ServiceRecord.h"

#include <cstdio>

#include "base/ProgramVersion.h"
#include "base/Windows1252.h"
#include "device/DevicePort.h"
#include "firmware/DeviceVariant.h"
#include "flow/DeviceSummary.h"

namespace qor {
namespace {

constexpr const char* NotReported = "not reported";

// "valid (0x1234ABCD / 0x1234ABCD)".
std::string ChecksumText(const TDeviceInfo& info) {
    if (!info.DeviceChecksums) {
        return NotReported;
    }
    return std::string(info.ChecksumValid() ? "valid" : "invalid") + " (" +
           Hex32(info.DeviceChecksums->First) + " / " + Hex32(info.DeviceChecksums->Second) + ")";
}

} // namespace

const TDeviceInfo* DeviceAfter(const TServiceRecord& record) {
    if (record.Current) {
        return &record.Before;
    }
    const TUpdateOutcome& outcome = record.Outcome;
    switch (outcome.Result) {
    case TUpdateResult::Succeeded:
    case TUpdateResult::ChecksumsDiffer:
        return &record.After;
    case TUpdateResult::Refused:
        return &record.Before;
    case TUpdateResult::Failed:
        return outcome.Failure->Step >= TUpdateStep::GetChecksums ? &record.After : nullptr;
    case TUpdateResult::Stopped:
        break;
    }
    return nullptr;
}

std::string DescribeFirmware(const TDeviceInfo& info) {
    return "firmware " +
           (info.DeviceFWVersion ? Windows1252ToUtf8(*info.DeviceFWVersion) : NotReported) +
           ", checksum " + ChecksumText(info);
}

namespace {

constexpr const char* NothingSent = "unchanged, nothing was sent";

std::string AfterLine(const TServiceRecord& record) {
    if (record.Current || record.Outcome.Result == TUpdateResult::Refused) {
        return NothingSent;
    }
    if (const TDeviceInfo* after = DeviceAfter(record)) {
        return DescribeFirmware(*after);
    }
    return record.Outcome.Result == TUpdateResult::Stopped
               ? "not read (the update was stopped; the flash may hold part of the image)"
               : "not read (the update did not finish; the flash may hold part of the image)";
}

void Line(std::string& text, const char* label, const std::string& value) {
    text += "  ";
    text += label;
    text.append(std::string::size_type(10) - std::char_traits<char>::length(label), ' ');
    text += value;
    text += '\n';
}

} // namespace

std::string DescribeDevice(const TDeviceInfo& info) {
    const auto known = [](const std::optional<std::uint32_t>& value) {
        return value ? std::to_string(*value) : std::string("?");
    };
    return "variant " + SummariseDevice(info).VariantName + " (" + known(info.PageSize) + " x " +
           known(info.PageCount) + "), bootloader " +
           (info.BootVersion ? std::to_string(info.BootVersion->Major) + "." +
                                   std::to_string(info.BootVersion->Minor)
                             : std::string(NotReported));
}

std::string Hex32(std::uint32_t value) {
    char text[11];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

std::string FormatUtc(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto day = floor<days>(time);
    const year_month_day date{day};
    const hh_mm_ss clock{floor<seconds>(time - day)};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(clock.hours().count()),
                  static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
    return text;
}

std::string DescribeOutcome(const TUpdateOutcome& outcome) {
    switch (outcome.Result) {
    case TUpdateResult::Succeeded:
        return "succeeded";
    case TUpdateResult::ChecksumsDiffer:
        return "written, but the device's checksums differ";
    case TUpdateResult::Failed:
        return "failed at " + outcome.Failure->ExitText() + " (" +
               outcome.Failure->Error.Describe() + ")";
    case TUpdateResult::Stopped:
        return "stopped by the user after " + std::to_string(outcome.BlocksWritten) + " blocks";
    case TUpdateResult::Refused:
        return "refused, nothing sent (" +
               (outcome.Refusal.empty() ? std::string("the image does not fit the device")
                                        : outcome.Refusal) +
               ")";
    }
    return "unknown";
}

std::string DescribePort(const std::string& port, const std::string& serial) {
    return "port " + port + ", serial " + (serial.empty() ? NoSerialText : serial);
}

std::string DescribeRecordOutcome(const TServiceRecord& record) {
    return record.Current ? "already current, nothing sent" : DescribeOutcome(record.Outcome);
}

std::string FormatServiceRecord(const TServiceRecord& record) {
    std::string text = FormatUtc(record.Time) + "  " + ProgramName + " " + ProgramVersion + "\n";
    Line(text, "device",
         DescribeDevice(record.Before) + ", " + DescribePort(record.Port, record.Serial));
    Line(text, "before", DescribeFirmware(record.Before));
    Line(text, "image",
         record.ImageName + ", version " + Windows1252ToUtf8(record.ImageVersion) + ", " +
             std::to_string(record.ImageSize) + " bytes, CRC " + Hex32(record.ImageCrc));
    Line(text, "from", record.ImageSource);
    Line(text, "outcome", DescribeRecordOutcome(record) + ", exit " + std::to_string(record.Exit));
    if (record.Attempts > 1) {
        Line(text, "attempt",
             std::to_string(record.Attempt) + " of " + std::to_string(record.Attempts));
    }
    Line(text, "after", AfterLine(record));
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.2f s",
                  static_cast<double>(record.Duration.count()) / 1000.0);
    Line(text, "duration", duration);
    text += '\n';
    return text;
}

} // namespace qor
