#include "SimScenario.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>

#include "device/TtyPort.h"
#include "qortest/FaultText.h"
#include "qortest/PtyRig.h"
#include "sim/BusLayout.h"
#include "sim/VirtualBus.h"

namespace qor::test {
namespace {

using Clock = std::chrono::steady_clock;

std::string Variable(const char* name, const char* fallback = "") {
    const char* value = std::getenv(name);
    return value ? value : fallback;
}

void WriteOutputs(const TVirtualDevice& device) {
    if (const std::string path = Variable("QOR_SIM_FLASH_OUT"); !path.empty()) {
        const TByteVector& flash = device.Bootloader.Flash();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(flash.data()),
                   static_cast<std::streamsize>(flash.size()));
    }
    if (const std::string path = Variable("QOR_SIM_FRAMES_OUT"); !path.empty()) {
        std::ofstream out(path);
        for (const TFrameRecord& frame : device.Frames) {
            out << static_cast<int>(frame.Code) << '\n';
        }
    }
}

// The virtual bus; devices that appear later are plugged in by the first listing after
// their time.
class TVirtualScenario : public TSimScenario, public IDevicePort {
public:
    TVirtualScenario(const std::vector<TDeviceLayout>& devices, const std::vector<TFault>& faults,
                     std::chrono::milliseconds appear)
        : DeviceCount(devices.size()), AppearAt(Clock::now() + appear) {
        for (const TDeviceLayout& layout : devices) {
            TVirtualDevice& device = Bus.AddDevice(layout.Description, layout.Config);
            if (layout.ApplicationRuns) {
                device.SwitchOn(TDeviceMode::Application);
            }
            if (appear.count() > 0) {
                device.Unplug();
            }
        }
        Pending = appear.count() > 0;
        for (const TFault& fault : faults) {
            Bus.Device(0).Faults.Add(fault);
        }
    }

    IDevicePort& Port() override { return *this; }
    void Finish() override { WriteOutputs(Bus.Device(0)); }

    std::vector<TPortEntry> List() override {
        if (Pending && Clock::now() >= AppearAt) {
            Pending = false;
            for (std::size_t i = 0; i < DeviceCount; ++i) {
                Bus.Device(i).Plug();
            }
        }
        return Bus.List();
    }
    TResult<std::unique_ptr<IPortConnection>> Open(std::size_t index, std::uint32_t baud) override {
        return Bus.Open(index, baud);
    }

private:
    TVirtualBus Bus;
    std::size_t DeviceCount = 0;
    Clock::time_point AppearAt;
    bool Pending = false;
};

// Pseudo-terminals through the real tty back-end.
class TPtyScenario : public TSimScenario {
public:
    TPtyScenario(const std::vector<TDeviceLayout>& devices, const std::vector<TFault>& faults,
                 std::chrono::milliseconds appear) {
        for (std::size_t i = 0; i < devices.size(); ++i) {
            TVirtualDevice& device = Rig.AddDevice("ttyUSB" + std::to_string(i),
                                                   devices[i].Description, devices[i].Config);
            if (devices[i].ApplicationRuns) {
                device.SwitchOn(TDeviceMode::Application);
            }
        }
        for (const TFault& fault : faults) {
            Rig.Device(0).Faults.Add(fault);
        }
        if (appear.count() > 0) {
            Rig.PlugAllAfter(appear);
        } else {
            for (std::size_t i = 0; i < devices.size(); ++i) {
                Rig.Plug(i);
            }
        }
        TtyPort = std::make_unique<TTtyPort>(Rig.SysfsRoot(), Rig.DevRoot());
    }

    IDevicePort& Port() override { return *TtyPort; }
    void Finish() override {
        Rig.Stop();
        WriteOutputs(Rig.Device(0));
    }

private:
    TPtyRig Rig;
    std::unique_ptr<TTtyPort> TtyPort;
};

} // namespace

std::unique_ptr<TSimScenario> MakeSimScenario(std::string& error) {
    const auto devices = ParseBusLayout(Variable("QOR_SIM_DEVICES", "QOR 7316|a"));
    if (!devices || devices->empty()) {
        error = "QOR_SIM_DEVICES names no device it understands";
        return nullptr;
    }
    const auto faults = ParseFaults(Variable("QOR_SIM_FAULTS"));
    if (!faults) {
        error = "QOR_SIM_FAULTS is not understood";
        return nullptr;
    }
    const std::chrono::milliseconds appear(std::atoll(Variable("QOR_SIM_APPEAR_MS", "0").c_str()));
    const std::string port = Variable("QOR_SIM_PORT", "virtual");
    if (port == "virtual") {
        return std::make_unique<TVirtualScenario>(*devices, *faults, appear);
    }
    if (port == "pty") {
        return std::make_unique<TPtyScenario>(*devices, *faults, appear);
    }
    error = "QOR_SIM_PORT is virtual or pty";
    return nullptr;
}

} // namespace qor::test
