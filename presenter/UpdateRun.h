// The update as the main window runs it: the shared update flow between the window's flags,
// controls and messages.
#pragma once

#include <cstdint>
#include <string>

#include "base/MessageBox.h"
#include "device/ConnectionMonitor.h"
#include "flow/UpdateFlow.h"
#include "presenter/MainModel.h"

namespace qor {

// What the update lets run between its exchanges.
class IUpdateHost {
public:
    virtual ~IUpdateHost() = default;
    // Shows the model and lets pending messages run once: the window's timers, its menus and
    // its close box. The presenter's state may change meanwhile.
    virtual void ProcessMessages() = 0;
    // The same while an exchange waits for the device's reply.
    virtual void ProcessMessagesWhileWaiting() {}
};

class TUpdateRun : private IUpdateFlowObserver {
public:
    // `recorder`, when given, receives the service record of every update that was begun.
    TUpdateRun(TMainModel& model, TConnectionMonitor& monitor, IUpdateHost& host,
               IMessageBox& messages, IServiceRecorder* recorder = nullptr);

    // Sets UpdateRunning, disables Update, Power off and the file panel, writes the image and
    // leaves the result in UpdateSucceeded / UpdateFailed. A failed exchange is reported as
    // "Update fehlgeschlagen: N" (for a block "Update fehlgeschlagen: 2:" and its index) with
    // the caption "Fehler", while the update still counts as running.
    TUpdateOutcome Run(std::uint8_t language);

private:
    void Pump() override;
    void PumpWhileWaiting() override;
    bool StopRequested() override { return Model.CloseConfirmed; }
    void Progress(int thousandths) override { Model.View.PBFW = thousandths; }

    void SetControlsEnabled(bool enabled);
    void Finish();

    TMainModel& Model;
    TConnectionMonitor& Monitor;
    IUpdateHost& Host;
    IMessageBox& Messages;
    IServiceRecorder* Recorder;
};

} // namespace qor
