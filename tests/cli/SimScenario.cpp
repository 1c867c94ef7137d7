#include "SimScenario.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
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

// The faults of each device: QOR_SIM_FAULTS for the first, QOR_SIM_FAULTS_N for device N.
std::optional<std::vector<std::vector<TFault>>> DeviceFaults(std::size_t devices) {
    std::vector<std::vector<TFault>> faults;
    for (std::size_t i = 0; i < devices; ++i) {
        std::string text = Variable(("QOR_SIM_FAULTS_" + std::to_string(i)).c_str());
        if (i == 0) {
            text += ";" + Variable("QOR_SIM_FAULTS");
        }
        auto parsed = ParseFaults(text);
        if (!parsed) {
            return std::nullopt;
        }
        faults.push_back(std::move(*parsed));
    }
    return faults;
}

// QOR_SIM_FLASH_IN_N: a device that already holds an image, as one written before.
void LoadFlash(TVirtualDevice& device, std::size_t index) {
    const std::string path = Variable(("QOR_SIM_FLASH_IN_" + std::to_string(index)).c_str());
    if (path.empty()) {
        return;
    }
    std::ifstream in(path, std::ios::binary);
    device.Bootloader.LoadFlash(
        TByteVector(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
}

void WriteOutputs(const TVirtualDevice& device, std::size_t index) {
    if (std::string path = Variable("QOR_SIM_FLASH_OUT"); !path.empty()) {
        if (index > 0) {
            path += "." + std::to_string(index);
        }
        const TByteVector& flash = device.Bootloader.Flash();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(flash.data()),
                   static_cast<std::streamsize>(flash.size()));
    }
    if (const std::string path = Variable("QOR_SIM_FRAMES_OUT"); !path.empty() && index == 0) {
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
    TVirtualScenario(const std::vector<TDeviceLayout>& devices,
                     const std::vector<std::vector<TFault>>& faults,
                     std::chrono::milliseconds appear, bool wireTiming)
        : Bus(wireTiming ? std::make_unique<TVirtualBus>(std::make_unique<TSteadyClock>())
                         : std::make_unique<TVirtualBus>()),
          DeviceCount(devices.size()), AppearAt(Clock::now() + appear) {
        if (wireTiming) {
            Bus->SetWireTiming(true);
            Bus->SetBridgeLatency(true);
        }
        for (std::size_t i = 0; i < devices.size(); ++i) {
            const TDeviceLayout& layout = devices[i];
            TVirtualDevice& device = Bus->AddDevice(layout.Description, layout.Config);
            device.SerialNumber = layout.Serial.value_or(device.SerialNumber);
            device.RecordFrames = i == 0; // the frames of the first are written out
            LoadFlash(device, i);
            for (const TFault& fault : faults[i]) {
                device.Faults.Add(fault);
            }
            if (layout.ApplicationRuns) {
                device.SwitchOn(TDeviceMode::Application);
            }
            if (appear.count() > 0) {
                device.Unplug();
            }
        }
        Pending = appear.count() > 0;
    }

    IDevicePort& Port() override { return *this; }
    void Finish() override {
        for (std::size_t i = 0; i < DeviceCount; ++i) {
            WriteOutputs(Bus->Device(i), i);
        }
    }

    std::vector<TPortEntry> List() override {
        if (Pending && Clock::now() >= AppearAt) {
            Pending = false;
            for (std::size_t i = 0; i < DeviceCount; ++i) {
                Bus->Device(i).Plug();
            }
        }
        return Bus->List();
    }
    TResult<std::unique_ptr<IPortConnection>> Open(std::size_t index, std::uint32_t baud) override {
        return Bus->Open(index, baud);
    }

private:
    std::unique_ptr<TVirtualBus> Bus;
    std::size_t DeviceCount = 0;
    Clock::time_point AppearAt;
    bool Pending = false;
};

// Pseudo-terminals through the real tty back-end.
class TPtyScenario : public TSimScenario {
public:
    TPtyScenario(const std::vector<TDeviceLayout>& devices,
                 const std::vector<std::vector<TFault>>& faults, std::chrono::milliseconds appear)
        : DeviceCount(devices.size()) {
        for (std::size_t i = 0; i < devices.size(); ++i) {
            TVirtualDevice& device = Rig.AddDevice("ttyUSB" + std::to_string(i),
                                                   devices[i].Description, devices[i].Config);
            device.SerialNumber = devices[i].Serial.value_or(device.SerialNumber);
            LoadFlash(device, i);
            if (devices[i].ApplicationRuns) {
                device.SwitchOn(TDeviceMode::Application);
            }
            for (const TFault& fault : faults[i]) {
                device.Faults.Add(fault);
            }
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
        for (std::size_t i = 0; i < DeviceCount; ++i) {
            WriteOutputs(Rig.Device(i), i);
        }
    }

private:
    std::size_t DeviceCount = 0;
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
    const auto faults = DeviceFaults(devices->size());
    if (!faults) {
        error = "QOR_SIM_FAULTS or QOR_SIM_FAULTS_N is not understood";
        return nullptr;
    }
    const std::chrono::milliseconds appear(std::atoll(Variable("QOR_SIM_APPEAR_MS", "0").c_str()));
    const std::string port = Variable("QOR_SIM_PORT", "virtual");
    if (port == "virtual") {
        return std::make_unique<TVirtualScenario>(*devices, *faults, appear,
                                                  !Variable("QOR_SIM_WIRE_TIMING").empty());
    }
    if (port == "pty") {
        return std::make_unique<TPtyScenario>(*devices, *faults, appear);
    }
    error = "QOR_SIM_PORT is virtual or pty";
    return nullptr;
}

} // namespace qor::test
