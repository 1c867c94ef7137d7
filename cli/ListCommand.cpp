#include "cli/ListCommand.h"

#include "cli/DeviceChoice.h"
#include "cli/Format.h"

namespace qor::cli {

int TListCommand::Run() {
    const TCliOptions& options = Context.Options;
    TCliServices& services = Context.Services;
    auto chosen = Context.AwaitChosenDevices(1, [this](const std::vector<TPortEntry>& found) {
        return TEvent{
            "waiting", {WaitingText(Context.Options, found, Context.Language())}, {}, false};
    });
    if (!chosen) {
        return chosen.Error().Exit;
    }
    const std::vector<TPortEntry>& devices = *chosen;
    for (const TPortEntry& entry : devices) {
        TEvent event{"device",
                     {entry.Name + "\t" + ShownSerial(entry) + "\t" + entry.Description},
                     DeviceTags(entry.Name, entry.Serial),
                     false};
        event.Fields.Add("description", entry.Description);
        Context.Report.Event(event);
    }
    const auto missing = MissingSerials(options, devices);
    if (devices.empty() || !missing.empty()) {
        TEvent event{"", {}, {}, true};
        if (devices.empty()) {
            event.Lines.push_back(Context.Text(TxtNotConnected));
        }
        // A port that cannot list at all says what to install.
        std::string reason = services.Port.Unavailable();
        if (reason.empty() && !missing.empty()) {
            reason = MissingSerialsReason(missing);
        }
        if (!reason.empty()) {
            event.Lines.push_back(reason);
            event.Fields.Add("reason", reason);
        }
        return Context.Finish(TExit::NoDevice, std::move(event));
    }
    TEvent result;
    result.Fields.Add("count", static_cast<std::int64_t>(devices.size()));
    return Context.Finish(TExit::Success, std::move(result));
}

} // namespace qor::cli
