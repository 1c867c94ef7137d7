// list: the attached devices the options choose, a line each with its port, serial number and
// description; with --wait it waits until there is one, or every --serial is there.
#pragma once

#include "cli/CommandContext.h"

namespace qor::cli {

class TListCommand {
public:
    explicit TListCommand(TCommandContext& context) : Context(context) {}

    // Reports the devices and the result; returns the exit code.
    int Run();

private:
    TCommandContext& Context;
};

} // namespace qor::cli
