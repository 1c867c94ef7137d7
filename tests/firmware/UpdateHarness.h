// The update over the virtual bus with the window's two timers standing by: the host's
// "process messages" can run the connection monitor and the display refresh, unplug the
// device or confirm a close, as the window would between two blocks.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "app/MainState.h"
#include "base/TextTable.h"
#include "device/Bootloader.h"
#include "base/ByteOrder.h"
#include "device/ConnectionMonitor.h"
#include "device/DeviceLink.h"
#include "device/DisplayRefresh.h"
#include "device/Protocol.h"
#include "device/UpdateProcedure.h"
#include "firmware/FirmwareImage.h"
#include "support/RecordingMessageBox.h"
#include "sim/SimFrames.h"
#include "sim/VirtualBus.h"

namespace qor::test {

class TTestHost : public IUpdateHost {
public:
    void ProcessMessages() override {
        ++Pumps;
        if (OnPump) {
            OnPump(Pumps);
        }
    }
    // Pump 1 comes before the first request, pump k + 2 after block k.
    int Pumps = 0;
    std::function<void(int)> OnPump;
};

class TUpdateHarness : public ::testing::Test {
protected:
    // Plugs a device in and runs the monitor until its bootloader has answered.
    void Connect(const TBootloaderConfig& config = TBootloaderConfig::VariantA()) {
        Device = &Bus.AddDevice(DeviceDescription, config);
        for (int tick = 0; tick < 10 && !Boot.BootloaderReady; ++tick) {
            Timers();
        }
        ASSERT_TRUE(Boot.BootloaderReady);
        Timers();
        Device->Frames.clear();
    }

    // One tick of each of the window's timers.
    void Timers() {
        SerialTimerTick(State, Link, Boot, Language);
        DisplayTimerTick(State, Boot.BootloaderReady, Language);
    }

    void Load(const TByteVector& image) {
        const TFirmwareFile file{std::make_shared<const std::vector<std::uint8_t>>(image),
                                 TFirmwareFileError::None, 0};
        ASSERT_TRUE(LoadFirmwareFile(file, State));
    }

    TUpdateOutcome Update() { return BFlashClick(State, Link, Boot, Host, Messages); }

    std::vector<std::uint8_t> Codes() const {
        std::vector<std::uint8_t> codes;
        for (const auto& frame : Device->Frames) {
            codes.push_back(frame.Code);
        }
        return codes;
    }

    std::vector<std::uint32_t> WriteAddresses() const {
        std::vector<std::uint32_t> addresses;
        for (const auto& frame : Device->Frames) {
            if (frame.Code == CmdWriteBlock) {
                addresses.push_back(ReadBe32(frame.Bytes.data() + FrameHeaderSize));
            }
        }
        return addresses;
    }

    // The request codes of a whole update that writes `blocks` blocks.
    static std::vector<std::uint8_t> FullUpdate(std::size_t blocks) {
        std::vector<std::uint8_t> codes{CmdBeginUpdate, CmdPrepareRange};
        codes.insert(codes.end(), blocks, CmdWriteBlock);
        codes.insert(codes.end(),
                     {CmdFinishRange, CmdEndUpdate, CmdGetChecksums, CmdGetFirmwareVersion});
        return codes;
    }

    TVirtualBus Bus;
    TVirtualDevice* Device = nullptr;
    TDeviceLink Link{Bus};
    TBootloader Boot{Link};
    TMainState State;
    TRecordingMessageBox Messages;
    TTestHost Host;
    std::uint8_t Language = LangEnglish;
};

} // namespace qor::test
