// The result event that ends a command, or one device's part of flash --all: the exit code
// and its outcome's name first, then the event's own fields.
#pragma once

#include "cli/Reporter.h"

namespace qor::cli {

// Reports it and returns `exit`; `outcome` in place of the exit code's own outcome name.
int ReportResult(IReporter& report, int exit, TEvent event, const char* outcome = nullptr);

} // namespace qor::cli
