// Adding a record to the end of a log file: the record's own bytes and one flush to the disk,
// whatever the log already holds. Each record ends with the log's terminator, so a reader can
// tell where one ends; a record that a crash or a power loss cut short leaves the file without
// it at the end, and that torn rest is cut off before the next record goes in. So every record
// is in the file whole or not at all. The caller keeps other writers out (a file lock).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "base/Result.h"

namespace qor {

struct TAppendRules {
    std::string_view Terminator; // what ends every record: "\n" for a line
    // When the file and the record together would pass this many bytes, the file becomes the
    // older log, OlderPath (any older one is dropped), and the record starts a new file; a
    // record alone above it is still written.
    std::size_t Limit = 0;
    std::string OlderPath;
};

// Appends `record` (which ends with the terminator) to `path` (UTF-8), created private to the
// user when missing. On failure the file is as it was and the reason names the path.
TResult<void> AppendRecord(const std::string& path, std::string_view record,
                           const TAppendRules& rules);

// Where the records of `text` end: after its last terminator, 0 when it holds none.
std::size_t WholeRecordsEnd(std::string_view text, std::string_view terminator);

} // namespace qor
