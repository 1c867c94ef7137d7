#include "cli/InfoCommand.h"

#include "flow/DeviceSummary.h"
#include "flow/ServiceRecord.h"

namespace qor::cli {

int TInfoCommand::Run() {
    if (const auto connected = Context.ConnectDevice(); !connected) {
        return connected.Error().Exit;
    }
    const TDeviceInfo& info = Context.Connector().Monitor().Info();
    const TDeviceSummary summary = SummariseDevice(info);
    TEvent event{
        "info",
        {std::string(Context.Text(TxtBootloaderVersion)) + ": " + summary.BootloaderVersion,
         std::string(Context.Text(TxtFirmwareVersion)) + ": " + summary.FirmwareVersion,
         std::string(Context.Text(TxtChecksum)) + ": " +
             Context.Text(summary.ChecksumValid ? TxtValid : TxtInvalid)},
        {},
        false};
    // What the device did not report is said, not hidden behind the unknown values.
    if (!summary.Unreported.empty()) {
        event.Lines.push_back("The device did not report " + summary.Unreported);
    }
    // JSON null for every value the device did not report.
    TJsonObject& fields = event.Fields;
    const auto text = [&fields](const char* name, const std::optional<std::string>& value) {
        value ? fields.Add(name, *value) : fields.AddNull(name);
    };
    const auto number = [&fields](const char* name, const std::optional<std::uint32_t>& value) {
        value ? fields.Add(name, *value) : fields.AddNull(name);
    };
    const std::optional<char> letter = summary.Variant ? summary.Variant->Letter() : std::nullopt;
    const std::optional<TChecksums>& sums = info.DeviceChecksums;
    fields.Add("port", Context.Connector().Monitor().Link().PortName());
    text("bootloader_version",
         info.BootVersion ? std::optional(summary.BootloaderVersion) : std::nullopt);
    text("variant", letter ? std::optional(std::string(1, *letter)) : std::nullopt);
    number("page_size", info.PageSize);
    number("page_count", info.PageCount);
    text("firmware_version", summary.ChecksumValid && info.DeviceFWVersion
                                 ? std::optional(summary.FirmwareVersion)
                                 : std::nullopt);
    fields.Add("checksum_valid", summary.ChecksumValid);
    text("checksum1", sums ? std::optional(Hex32(sums->First)) : std::nullopt);
    text("checksum2", sums ? std::optional(Hex32(sums->Second)) : std::nullopt);
    Context.Report.Event(event);
    return Context.Finish(TExit::Success, TEvent{});
}

} // namespace qor::cli
