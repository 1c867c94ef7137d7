// What the main window shows in the parts that change while it runs. The handlers of the
// core change this model exactly where the window's controls change; the window copies it
// onto its widgets after each handler. So every display rule can be tested without Qt.
#pragma once

#include <string>

namespace qor {

enum class TColour {
    WindowText, // the system's window-text colour
    Maroon,     // 128, 0, 0
    Green,      // 0, 128, 0
    Grey,       // the scroll-bar colour of inactive step numbers
};

struct TLabelView {
    std::string Text;
    TColour Colour = TColour::WindowText;
    bool operator==(const TLabelView&) const = default;
};

struct TMainView {
    // Device panel and status line.
    TLabelView LQORStatus;
    // Why a device that is listed cannot be opened (often a missing permission on Linux) or does
    // not connect, or for a connected one which unit it is (its port and serial number) and what
    // it did not report: where the user can find it.
    std::string LQORStatusTip;
    TLabelView LQORBootldrVersion;
    TLabelView LQORFWVersion;
    TLabelView LQORChecksum;
    // Firmware file panel.
    TLabelView LFWFileStatus;
    TLabelView LFWFilename;
    TLabelView LFWVersion;
    // Update panel.
    TLabelView LFlashStatus;
    int PBFW = 0; // 0 to 1000

    // Step numbers.
    TColour L1 = TColour::WindowText;
    TColour L2 = TColour::Grey;
    TColour L3 = TColour::Grey;

    // Enabled state; all enabled as designed until the timers take over.
    bool BDownload = true;
    bool BOpenLocal = true;
    bool BFlash = true;
    bool BSwitchOff = true;
    bool GBFWFile = true;

    // Visibility of the state images and the indicator marks.
    bool ImgNotConnected = false;
    bool ImgSearch = false;
    bool ImgFlash = false;
    bool ImgSuccess = false;
    bool ShClamp30 = false;
    bool ShHVRelay = false;
    bool ShPower = false;

    bool operator==(const TMainView&) const = default;
};

} // namespace qor
