// Writing the loaded image into the device, block by block, on the GUI thread; and the power-off
// request. Both run inside a button's click handler.
#pragma once

#include "app/MainState.h"
#include "base/MessageBox.h"
#include "device/Bootloader.h"
#include "device/DeviceLink.h"

namespace qor {

// What the update lets run between its exchanges.
class IUpdateHost {
public:
    virtual ~IUpdateHost() = default;
    // Lets pending messages run once: the window's timers, its menus and its close box. The
    // state, the link and the bootloader may change meanwhile.
    virtual void ProcessMessages() = 0;
};

enum class TUpdateOutcome {
    Refused,         // no image loaded, or an update already running: nothing was done
    Succeeded,       // written, and the device's checksums agree
    ChecksumsDiffer, // written, but the device's checksums disagree
    Failed,          // an exchange failed; its message was shown
    StoppedByClose,  // the user confirmed closing the window
};

// The update behind the Update button. Sets UpdateRunning, disables Update, Power off and the
// file panel, writes every whole 512-byte block of the image and leaves the result in
// UpdateSucceeded / UpdateFailed. A failed exchange is reported as "Update fehlgeschlagen: N"
// (for a block "Update fehlgeschlagen: 2:" and its index) with the caption "Fehler".
// The update holds its own reference to the image, so it may be discarded meanwhile.
TUpdateOutcome BFlashClick(TMainState& state, TDeviceLink& link, TBootloader& bootloader,
                           IUpdateHost& host, IMessageBox& messages);

// The Power off button: one power-off request with the time-outs in force; the result does not
// matter, since the device is switched off either way or the search will show it still there.
void BSwitchOffClick(TBootloader& bootloader);

} // namespace qor
