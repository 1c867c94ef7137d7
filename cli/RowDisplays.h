// The ways flash --all shows its rows to a person: on a terminal that moves its cursor, one
// line per device redrawn in place; otherwise (a log file, a pipe) a line per device when it
// starts, at every tenth of its progress and at its end; none beside the JSON stream.
#pragma once

#include <cstddef>
#include <memory>
#include <ostream>

#include "cli/DeviceRows.h"

namespace qor::cli {

// `columns`: the terminal's width; longer lines are cut, so that none wraps and the cursor
// finds the rows again.
std::unique_ptr<IRowDisplay> MakeInPlaceLines(std::ostream& out, std::size_t columns);
std::unique_ptr<IRowDisplay> MakeLogLines(std::ostream& out);
std::unique_ptr<IRowDisplay> MakeNoLines();

} // namespace qor::cli
