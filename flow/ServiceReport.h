// The service report a technician saves from the window and sends to support: the program,
// the system, the device port and the device as they are now, and the service log.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "device/DeviceInfo.h"

namespace qor {

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
