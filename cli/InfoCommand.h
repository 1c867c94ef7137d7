// info: the device's bootloader version and variant, its firmware and checksums, as the window's
// device panel shows them, and for a script each value or null where the device did not
// report it.
#pragma once

#include "cli/CommandContext.h"

namespace qor::cli {

class TInfoCommand {
public:
    explicit TInfoCommand(TCommandContext& context) : Context(context) {}

    // Connects the device, reports what it is and the result; returns the exit code.
    int Run();

private:
    TCommandContext& Context;
};

} // namespace qor::cli
