// The service report a technician saves from the window and sends to support: the program,
// the system, the device port and the device as they are now, and the service log.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "device/DeviceInfo.h"
#include "platform/ServiceLog.h"
#include "presenter/ServiceRecord.h"

namespace qor {

// Writes the records of finished updates to a service log, as text and as JSON lines, one at a
// time: the log's file lock
// is taken through a descriptor of each append's own, so it keeps out other processes and
// the other threads of this one alike. A record that cannot be written does not hold the
// update up; the caller hears why.
class TServiceLogRecorder : public IServiceRecorder {
public:
    explicit TServiceLogRecorder(TServiceLog log) : Log(std::move(log)) {}
    TResult<void> Record(const TServiceRecord& record) override;

    const TServiceLog& ServiceLog() const { return Log; }

private:
    TServiceLog Log;
};

struct TReportInput {
    std::chrono::system_clock::time_point Time;
    std::string System;
    std::vector<std::string> PortFacts;
    std::optional<TDeviceInfo> Device; // none while no device answers
    std::string DevicePort;
    std::string DeviceSerial; // empty: its bridge has none
    std::string LogPath;
    std::string LogText;  // the records, oldest first
    std::string LogError; // why the log could not be read or written
};

std::string ComposeServiceReport(const TReportInput& input);

} // namespace qor
