// power-off: the device switched off with one request, as the window's button does.
#pragma once

#include "cli/CommandContext.h"

namespace qor::cli {

class TPowerOffCommand {
public:
    explicit TPowerOffCommand(TCommandContext& context) : Context(context) {}

    // Connects the device, asks it to switch off and reports the result; returns the exit code.
    int Run();

private:
    TCommandContext& Context;
};

} // namespace qor::cli
