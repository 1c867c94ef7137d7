// Which device an event is about, for a script: its port and its bridge's serial number in
// every event and progress step, the result included. flash --all tags each row's events so;
// the commands of one device tag theirs from the moment the device answers.
#pragma once

#include <string>

#include "cli/Reporter.h"

namespace qor::cli {

// "port" and "serial" (null for a bridge without one).
TJsonObject DeviceTags(const std::string& port, const std::string& serial);

// Passes everything on to `out`, tagged once Tag() has been called; an event's own "port"
// gives way to the tag.
class TTaggedReporter : public IReporter {
public:
    explicit TTaggedReporter(IReporter& out) : Out(out) {}

    void Tag(const std::string& port, const std::string& serial) {
        Tags = DeviceTags(port, serial);
    }
    void Event(const TEvent& event) override;
    void Progress(const TProgress& progress) override;

private:
    IReporter& Out;
    TJsonObject Tags;
};

} // namespace qor::cli
