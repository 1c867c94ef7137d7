// The device side of the test build of the command line, laid out from the environment:
//   QOR_SIM_DEVICES     the devices (the grammar of sim/BusLayout.h; default "QOR 7316|a")
//   QOR_SIM_PORT        "virtual" (default): the virtual bus; "pty": pseudo-terminals in a
//                       fake sysfs tree, reached through the real tty back-end
//   QOR_SIM_FAULTS      faults of the first device (the grammar of qortest/FaultText.h);
//                       QOR_SIM_FAULTS_N those of device N (counted from 0)
//   QOR_SIM_FLASH_IN_N  device N's flash holds this file's bytes at the start (counted from 0)
//   QOR_SIM_APPEAR_MS   the devices are plugged in this long after the start
//   QOR_SIM_FLASH_OUT   at the end, the first device's flash is written to this file, and
//                       device N's (from 1 on) to this file with ".N" appended
//   QOR_SIM_FRAMES_OUT  at the end, the request codes the first device received, one a line
//   QOR_SIM_WIRE_TIMING set: the virtual bus runs in real time, every byte taking its time on
//                       the line and the bridge its latency timer, as with devices on a bench
#pragma once

#include <memory>
#include <string>

#include "device/DevicePort.h"
#include "sim/VirtualDevice.h"

namespace qor::test {

class TSimScenario {
public:
    virtual ~TSimScenario() = default;
    virtual IDevicePort& Port() = 0;
    // Stops the devices and writes what the environment asks for.
    virtual void Finish() = 0;
};

// The scenario the environment describes, or nullptr with the reason in `error`.
std::unique_ptr<TSimScenario> MakeSimScenario(std::string& error);

} // namespace qor::test
