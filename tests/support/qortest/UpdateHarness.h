// The update over the virtual bus with the window's two timers standing by: the host's
// "process messages" can run the connection monitor and the display refresh, unplug the
// device or confirm a close, as the window would between two blocks.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "base/ByteOrder.h"
#include "base/TextTable.h"
#include "device/ConnectionMonitor.h"
#include "device/Protocol.h"
#include "firmware/DeviceVariant.h"
#include "presenter/DevicePanel.h"
#include "presenter/DisplayRefresh.h"
#include "presenter/MainModel.h"
#include "presenter/UpdateRun.h"
#include "qortest/RecordingMessageBox.h"
#include "sim/SampleImage.h"
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
    void ProcessMessagesWhileWaiting() override {
        ++WaitPumps;
        if (OnWaitPump) {
            OnWaitPump();
        }
    }
    std::function<void()> OnWaitPump;
    // Pump 1 comes before the first request, 2 and 3 after the begin and range requests,
    // pump k + 4 after block k.
    int Pumps = 0;
    int WaitPumps = 0;
    std::function<void(int)> OnPump;
};

class TUpdateHarness : public ::testing::Test {
protected:
    // Plugs a device in and runs the monitor until its bootloader has answered.
    void Connect(const TBootloaderConfig& config = TBootloaderConfig::VariantA()) {
        Device = &Bus.AddDevice(DeviceDescription, config);
        for (int tick = 0; tick < 10 && !Monitor.BootloaderReady(); ++tick) {
            Timers();
        }
        ASSERT_TRUE(Monitor.BootloaderReady());
        Timers();
        Device->Frames.clear();
    }

    // One tick of each of the window's timers.
    void Timers() {
        ShowDeviceStatus(State, Monitor.Tick(State.UpdateRunning), Language);
        DisplayTimerTick(State, Monitor.BootloaderReady(), Language);
    }

    // Makes the bytes the loaded image, as a successful open would.
    void Load(const TByteVector& image) {
        auto parsed = ParseFirmwareImage(image);
        ASSERT_TRUE(parsed.Ok());
        State.FWVersion = parsed->Version();
        State.FWImage = std::move(parsed.Value());
    }

    TUpdateResult Update() {
        TUpdateRun run(State, Monitor, Host, Messages);
        Outcome = run.Run(Language);
        return Outcome.Result;
    }

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
    TConnectionMonitor Monitor{Bus};
    TMainModel State;
    TRecordingMessageBox Messages;
    TTestHost Host;
    TUpdateOutcome Outcome;
    std::uint8_t Language = LangEnglish;
};

} // namespace qor::test
