// Which devices a command takes: those with the device's description, on the port or with the
// serial numbers the options name, and what it says of those asked for and not there.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "device/DevicePort.h"

namespace qor::cli {

// The devices `port` lists now that the options choose, in port order.
std::vector<TPortEntry> ChosenDevices(const TCliOptions& options, IDevicePort& port);

// The serial numbers asked for with --serial that none of `devices` has.
std::vector<std::string> MissingSerials(const TCliOptions& options,
                                        const std::vector<TPortEntry>& devices);

// Why the run ends without a device it was asked for: "no device with the serial number A1"
// (or "serial numbers A1, B2").
std::string MissingSerialsReason(const std::vector<std::string>& missing);

// What a wait for devices waits for, once it has found `devices`.
std::string WaitingText(const TCliOptions& options, const std::vector<TPortEntry>& devices,
                        std::uint8_t language);

} // namespace qor::cli
