#include "flow/ServiceReport.h"

#include "base/ProgramVersion.h"
#include "base/Windows1252.h"
#include "flow/ServiceRecord.h"

namespace qor {

std::string ComposeServiceReport(const TReportInput& input) {
    std::string text = std::string(ProgramName) + " - service report\n\n";
    text += "Created:  " + FormatUtc(input.Time) + "\n";
    text += "Program:  " + std::string(ProgramName) + " " + ProgramVersion + "\n";
    text += "System:   " + input.System + "\n";
    text += "Port:\n";
    for (const std::string& fact : input.PortFacts) {
        text += "  " + fact + "\n";
    }
    if (input.Device) {
        const TDeviceInfo& info = *input.Device;
        text += "Device:   connected on " + DescribePort(input.DevicePort, input.DeviceSerial) +
                ", " + DescribeDevice(info) + ", " + DescribeFirmware(info) + "\n";
    } else {
        text += "Device:   not connected\n";
    }
    text += "Log:      " + input.LogPath + "\n";
    if (!input.LogError.empty()) {
        text += "          " + input.LogError + "\n";
    }
    text += "\nUpdates, oldest first:\n\n";
    text += input.LogText.empty() ? std::string("(none recorded)\n") : input.LogText;
    return text;
}

} // namespace qor
