// The result event that ends a command, or one device's part of flash --all: the exit code
// and its outcome's name first, then the event's own fields.
#pragma once

#include "cli/Reporter.h"

namespace qor::cli {

// Reports it and returns `exit`.
int ReportResult(IReporter& report, int exit, TEvent event);

} // namespace qor::cli
