// Where the command line hands each update to the service record: one call after every update
// that reached the device, whatever its outcome.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "device/DeviceInfo.h"
#include "device/UpdateSession.h"

namespace qor::cli {

struct TUpdateRecordEntry {
    std::string Port;         // the system's name of the device's port
    TDeviceInfo DeviceBefore; // as the bootloader reported it before the update
    TDeviceInfo DeviceAfter;  // with the checksums and version read after it, where it got so far
    std::string ImageSource;  // the file's path or the download's address
    std::string ImageVersion; // four bytes as stored (Windows-1252)
    std::uint32_t ImageCrc = 0;
    std::size_t ImageSize = 0;
    TUpdateOutcome Outcome;
    int ExitCode = 0;
};

class IServiceRecord {
public:
    virtual ~IServiceRecord() = default;
    virtual void UpdateFinished(const TUpdateRecordEntry& entry) = 0;
};

// Records nothing: the service record is not there yet.
class TNoServiceRecord : public IServiceRecord {
public:
    void UpdateFinished(const TUpdateRecordEntry&) override {}
};

} // namespace qor::cli
