#include "cli/CommandContext.h"

#include "cli/DeviceChoice.h"
#include "cli/Format.h"
#include "cli/ResultEvent.h"
#include "device/DeviceLink.h"
#include "device/Protocol.h"
#include "flow/ServiceRecord.h"
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

TCommandContext::TCommandContext(const TCliOptions& options, TCliServices& services,
                                 IReporter& report)
    : Options(options), Services(services), Report(Tagged), Tagged(report),
      DeviceConnector(services.Port, services.Clock, services.Interrupted) {
}

const TSettings& TCommandContext::StoredSettings() {
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

std::uint8_t TCommandContext::Language() {
    return Options.Language ? *Options.Language : StoredSettings().CfgLanguage;
}

const char* TCommandContext::Text(TTextId id) {
    return Txt(id, Language());
}

int TCommandContext::Finish(TExit exit, TEvent event) {
    return Finish(ExitCode(exit), std::move(event));
}

int TCommandContext::Finish(int exit, TEvent event) {
    return ReportResult(Report, exit, std::move(event));
}

TStep<std::vector<TPortEntry>> TCommandContext::AwaitChosenDevices(
    std::size_t wanted, const std::function<TEvent(const std::vector<TPortEntry>&)>& waiting) {
    const TMs deadline = Services.Clock.Now() + Options.Wait;
    bool toldWaiting = false;
    for (;;) {
        std::vector<TPortEntry> devices = ChosenDevices(Options, Services.Port);
        const bool enough = devices.size() >= wanted && MissingSerials(Options, devices).empty();
        if (enough || Services.Clock.Now() >= deadline) {
            return devices;
        }
        if (Services.Interrupted && Services.Interrupted()) {
            return Fail(
                TReported{Finish(TExit::Interrupted, TEvent{"", {Text(TxtCancelled)}, {}, true})});
        }
        if (!toldWaiting) {
            Report.Event(waiting(devices));
            toldWaiting = true;
        }
        Services.Clock.Sleep(MonitorTickInterval);
    }
}

TStep<void> TCommandContext::ConnectDevice() {
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
        DeviceConnector.Monitor().Link().ChooseSerials(Options.Serials);
    }
    const auto connected = DeviceConnector.Connect(Options.Port, Options.Wait, waiting);
    if (connected) {
        const TDeviceLink& link = DeviceConnector.Monitor().Link();
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

std::string TCommandContext::NotConnectedReason(const TConnectError& error) {
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

void TCommandContext::ReportDevice() {
    const TDeviceLink& link = DeviceConnector.Monitor().Link();
    Report.Event(TEvent{"device",
                        {std::string(Text(TxtConnected)) + " (" +
                         DescribePort(link.PortName(), link.PortSerial()) + ")"},
                        {},
                        false});
}

} // namespace qor::cli
