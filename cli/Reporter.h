// What the program tells its caller: events as they happen and a final result, rendered as
// text for a person or as one JSON object per line for a script.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "base/Json.h"

namespace qor::cli {

struct TEvent {
    std::string Name;               // "device", "info", "image", "update", "result", ...
    std::vector<std::string> Lines; // for a person, in the chosen language
    TJsonObject Fields;             // for a script, besides "event" and "message"
    bool Problem = false;           // a person reads it on the error stream
};

struct TProgress {
    std::string Phase; // "write" or "download"
    std::string Label; // what a person reads before the bar
    std::uint64_t Done = 0;
    std::optional<std::uint64_t> Total; // none while unknown
    std::string Unit;                   // "blocks", "bytes"
    TJsonObject Fields;                 // for a script, besides the above
};

class IReporter {
public:
    virtual ~IReporter() = default;
    virtual void Event(const TEvent& event) = 0;
    virtual void Progress(const TProgress& progress) = 0;
};

// Text for a person: events as lines, progress as a bar redrawn in place on a terminal and as
// a line every tenth of the way otherwise. Problems go to `err`.
std::unique_ptr<IReporter> MakeTextReporter(std::ostream& out, std::ostream& err, bool terminal);

// One JSON object per line on `out` for every event and every progress step.
std::unique_ptr<IReporter> MakeJsonReporter(std::ostream& out);

} // namespace qor::cli
