#include "cli/PowerOffCommand.h"

namespace qor::cli {

int TPowerOffCommand::Run() {
    if (const auto connected = Context.ConnectDevice(); !connected) {
        return connected.Error().Exit;
    }
    // As the window's button: one request; the device goes either way, or stays listed.
    const bool acknowledged = Context.Connector().Monitor().Bootloader().PowerOff().Ok();
    TEvent event{"", {Context.Text(TxtPowerOff)}, {}, false};
    event.Fields.Add("acknowledged", acknowledged);
    return Context.Finish(TExit::Success, std::move(event));
}

} // namespace qor::cli
