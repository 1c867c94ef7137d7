#include "cli/CommandRun.h"

#include "base/FixedTexts.h"
#include "base/TextTable.h"
#include "base/Windows1252.h"
#include "cli/Format.h"
#include "cli/ResultEvent.h"
#include "device/DeviceLink.h"
#include "device/Protocol.h"
#include "presenter/DeviceSummary.h"
#include "presenter/ServiceRecord.h"
#include "settings/SettingsSession.h"
#include "settings/StoreTexts.h"

namespace qor::cli {
namespace {

void ReportSettingsNotice(IReporter& report, const std::string& text) {
    TEvent event{"notice", {text}, {}, true};
    event.Fields.Add("source", "settings");
    report.Event(event);
}

// The store's notices as events; a store another program holds locked is not read again.
class TStoreNoticeEvents : public IStoreNotices {
public:
    TStoreNoticeEvents(IReporter& report, std::uint8_t language)
        : Report(report), Language(language) {}
    bool Tell(const TStoreNotice& notice) override {
        ReportSettingsNotice(Report, StoreNoticeText(notice, Language));
        return false;
    }
    void ReadAgain(const TResult<void, TStoreError>&) override {}

private:
    IReporter& Report;
    std::uint8_t Language;
};

} // namespace

TCommandRun::TCommandRun(const TCliOptions& options, TCliServices& services, IReporter& report)
    : Options(options), Services(services), Tagged(report), Report(Tagged),
      Connector(services.Port, services.Clock, services.Interrupted) {
}

int TCommandRun::Run() {
    switch (Options.Command) {
    case TCommand::List:
        return List();
    case TCommand::Info:
        return Info();
    case TCommand::Flash:
        return Flash();
    case TCommand::Download:
        return Download();
    case TCommand::PowerOff:
        return PowerOff();
    case TCommand::Help:
        break;
    }
    return ExitCode(TExit::Usage);
}

const TSettings& TCommandRun::StoredSettings() {
    if (Settings) {
        return *Settings;
    }
    Settings.emplace();
    TSettingsSession session(Services.Registry, *Settings);
    std::optional<std::string> failure;
    if (const auto loaded = session.Load(); !loaded) {
        // Said in the language the store had read. Nothing read is trusted; the run goes on
        // with the defaults.
        failure = StoreErrorText(loaded.Error(), Settings->CfgLanguage);
        *Settings = TSettings{};
        Settings->CfgLanguage = LangEnglish;
    }
    TStoreNoticeEvents notices(Report, Options.Language.value_or(Settings->CfgLanguage));
    session.TellNotices(notices);
    if (failure) {
        ReportSettingsNotice(Report, *failure);
    }
    return *Settings;
}

std::uint8_t TCommandRun::Language() {
    return Options.Language ? *Options.Language : StoredSettings().CfgLanguage;
}

const char* TCommandRun::Text(TTextId id) {
    return Txt(id, Language());
}

int TCommandRun::Finish(TExit exit, TEvent event) {
    return Finish(ExitCode(exit), std::move(event));
}

int TCommandRun::Finish(int exit, TEvent event) {
    return ReportResult(Report, exit, std::move(event));
}

TStep<void> TCommandRun::ConnectDevice() {
    const auto waiting = [this] {
        TEvent event{
            "waiting",
            {std::string(Text(TxtNotConnected)) + " - waiting " + SecondsText(Options.Wait)},
            {},
            false};
        event.Fields.Add("seconds", static_cast<std::int64_t>(Options.Wait.count() / 1000));
        Report.Event(event);
    };
    if (!Options.Serials.empty()) {
        Connector.Monitor().Link().ChooseSerials(Options.Serials);
    }
    const auto connected = Connector.Connect(Options.Port, Options.Wait, waiting);
    if (connected) {
        const TDeviceLink& link = Connector.Monitor().Link();
        Tagged.Tag(link.PortName(), link.PortSerial());
        ReportDevice();
        return {};
    }
    const TConnectError& error = connected.Error();
    if (error.Fault == TConnectFault::Interrupted) {
        return Fail(
            TReported{Finish(TExit::Interrupted, TEvent{"", {Text(TxtCancelled)}, {}, true})});
    }
    const bool serialMissing = error.Fault == TConnectFault::NotFound && !Options.Serials.empty() &&
                               Services.Port.Unavailable().empty();
    const std::string reason =
        serialMissing ? MissingSerialsReason(Options.Serials) : NotConnectedReason(error);
    TEvent event{"", {Text(TxtNotConnected), reason}, {}, true};
    event.Fields.Add("reason", reason);
    return Fail(TReported{Finish(TExit::NoDevice, std::move(event))});
}

std::string TCommandRun::NotConnectedReason(const TConnectError& error) {
    std::string reason;
    switch (error.Fault) {
    case TConnectFault::NotFound:
        reason = Services.Port.Unavailable();
        if (reason.empty()) {
            reason = std::string("no device with the description \"") + DeviceDescription + "\"";
            if (Options.Port) {
                reason += " on port " + *Options.Port;
            }
        }
        break;
    case TConnectFault::CannotOpen:
        reason = error.Detail;
        break;
    case TConnectFault::Silent:
        reason = error.Detail.empty()
                     ? "the device is there but its bootloader does not answer: switch it on "
                       "with F2 + F4 held"
                     : "the device is there and its bootloader answered, but " + error.Detail;
        break;
    case TConnectFault::Interrupted:
        reason = Text(TxtCancelled);
        break;
    }
    return reason;
}

void TCommandRun::ReportDevice() {
    const TDeviceLink& link = Connector.Monitor().Link();
    Report.Event(TEvent{"device",
                        {std::string(Text(TxtConnected)) + " (" +
                         DescribePort(link.PortName(), link.PortSerial()) + ")"},
                        {},
                        false});
}

TFailed TCommandRun::InvalidImage(const std::string& reason) {
    TEvent event{"", {InvalidFirmwareFileText, reason}, {}, true};
    event.Fields.Add("reason", reason);
    return TFailed{ExitCode(TExit::InvalidImage), std::move(event)};
}

int TCommandRun::DoesNotFit(const TFirmwareImage& image, const TImageRejection& refusal,
                            const TConnectedVariant& device) {
    return ReportDoesNotFit(Report, Language(), image, refusal, device);
}

int TCommandRun::List() {
    const TMs deadline = Services.Clock.Now() + Options.Wait;
    std::vector<TPortEntry> devices;
    bool toldWaiting = false;
    for (;;) {
        devices = ChosenDevices();
        // With --serial the wait is for every one of them.
        const bool enough =
            Options.Serials.empty() ? !devices.empty() : MissingSerials(devices).empty();
        if (enough || Services.Clock.Now() >= deadline) {
            break;
        }
        if (Services.Interrupted && Services.Interrupted()) {
            return Finish(TExit::Interrupted, TEvent{"", {Text(TxtCancelled)}, {}, true});
        }
        if (!toldWaiting) {
            Report.Event(TEvent{"waiting", {WaitingText(devices)}, {}, false});
            toldWaiting = true;
        }
        Services.Clock.Sleep(MonitorTickInterval);
    }
    for (const TPortEntry& entry : devices) {
        TEvent event{"device",
                     {entry.Name + "\t" + ShownSerial(entry) + "\t" + entry.Description},
                     DeviceTags(entry.Name, entry.Serial),
                     false};
        event.Fields.Add("description", entry.Description);
        Report.Event(event);
    }
    const auto missing = MissingSerials(devices);
    if (devices.empty() || !missing.empty()) {
        TEvent event{"", {}, {}, true};
        if (devices.empty()) {
            event.Lines.push_back(Text(TxtNotConnected));
        }
        // A port that cannot list at all says what to install.
        std::string reason = Services.Port.Unavailable();
        if (reason.empty() && !missing.empty()) {
            reason = MissingSerialsReason(missing);
        }
        if (!reason.empty()) {
            event.Lines.push_back(reason);
            event.Fields.Add("reason", reason);
        }
        return Finish(TExit::NoDevice, std::move(event));
    }
    TEvent result;
    result.Fields.Add("count", static_cast<std::int64_t>(devices.size()));
    return Finish(TExit::Success, std::move(result));
}

int TCommandRun::Info() {
    if (const auto connected = ConnectDevice(); !connected) {
        return connected.Error().Exit;
    }
    const TDeviceInfo& info = Connector.Monitor().Info();
    const TDeviceSummary summary = SummariseDevice(info);
    TEvent event{"info",
                 {std::string(Text(TxtBootloaderVersion)) + ": " + summary.BootloaderVersion,
                  std::string(Text(TxtFirmwareVersion)) + ": " + summary.FirmwareVersion,
                  std::string(Text(TxtChecksum)) + ": " +
                      Text(summary.ChecksumValid ? TxtValid : TxtInvalid)},
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
    fields.Add("port", Connector.Monitor().Link().PortName());
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
    Report.Event(event);
    return Finish(TExit::Success, TEvent{});
}

int TCommandRun::PowerOff() {
    if (const auto connected = ConnectDevice(); !connected) {
        return connected.Error().Exit;
    }
    // As the window's button: one request; the device goes either way, or stays listed.
    const bool acknowledged = Connector.Monitor().Bootloader().PowerOff().Ok();
    TEvent event{"", {Text(TxtPowerOff)}, {}, false};
    event.Fields.Add("acknowledged", acknowledged);
    return Finish(TExit::Success, std::move(event));
}

} // namespace qor::cli
