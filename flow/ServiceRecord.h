// The service record of one update: which image went to which device, with what result, so a
// technician can send it to support. The window and the command line write the same records.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/Result.h"
#include "device/DeviceInfo.h"
#include "device/UpdateSession.h"
#include "firmware/FirmwareImage.h"

namespace qor {

struct TServiceRecord {
    std::chrono::system_clock::time_point Time;
    std::string Port;   // the system's name of the device's port
    std::string Serial; // its bridge's serial number, which names the unit; empty: none
    TDeviceInfo Before;
    TDeviceInfo After;
    std::string ImageName;
    std::string ImageSource; // the file's path or the download's address; never credentials
    std::size_t ImageSize = 0;
    std::uint32_t ImageCrc = 0;
    std::string ImageVersion; // Windows-1252, as in the file
    TUpdateOutcome Outcome;
    // Nothing was sent: the device already ran the image (its Outcome then says succeeded).
    bool Current = false;
    int Exit = 0; // the outcome as the command line's exit code
    // This was attempt number Attempt of at most Attempts.
    unsigned Attempt = 1;
    unsigned Attempts = 1;
    std::chrono::milliseconds Duration{0};
};

// Takes the records of finished updates, from any thread: several devices may be updated at
// once, each recording its own.
class IServiceRecorder {
public:
    virtual ~IServiceRecorder() = default;
    virtual TResult<void> Record(const TServiceRecord& record) = 0;
};

// The record as the service log keeps it: a block of labelled lines and a blank line.
std::string FormatServiceRecord(const TServiceRecord& record);
// The same record as one JSON object on one line, ended by its newline, for a collector.
std::string FormatServiceRecordJson(const TServiceRecord& record);

// Where the device is and which unit it is: "port ttyUSB0, serial FT7316A1" ("serial none").
std::string DescribePort(const std::string& port, const std::string& serial);

// The outcome in words, "already current" included.
std::string DescribeRecordOutcome(const TServiceRecord& record);

// The device as the records and the report name it: "variant a (512 x 124), bootloader 1.3".
std::string DescribeDevice(const TDeviceInfo& info);

// Its firmware as the records and the report name it: "firmware 1.0a, checksum valid
// (0x1234ABCD / 0x1234ABCD)", with "not reported" for what the device did not report.
std::string DescribeFirmware(const TDeviceInfo& info);

// What the record knows of the device after the update: what its read-back reported, the
// values from before when nothing was sent, none when it did not get as far as the read-back.
const TDeviceInfo* DeviceAfter(const TServiceRecord& record);

// A checksum or CRC as the records give it: "0x1234ABCD".
std::string Hex32(std::uint32_t value);

// A time as the records give it: UTC, to the second, e.g. 2026-12-07T14:03:11Z.
std::string FormatUtc(std::chrono::system_clock::time_point time);

// The outcome in words: "succeeded", "failed at 2:17 (refused with code 13)", ...
std::string DescribeOutcome(const TUpdateOutcome& outcome);

} // namespace qor
