#include "firmware/FirmwareOpen.h"

#include "app/TextTable.h"
#include "firmware/FirmwareImage.h"
#include "app/FixedTexts.h"

namespace qor {

// Rejections discard the image before the box is shown: the display refresh keeps running
// while the box is open, and must not show a refused or replaced image as loaded meanwhile.

bool OpenLocalFirmware(const std::string& path, TMainState& state, std::uint8_t language,
                       IMessageBox& messages) {
    const TFirmwareFile file = ReadFirmwareFile(path);
    if (!CheckFirmwareFile(file)) {
        state.DiscardImage();
        messages.ShowMessage(InvalidFirmwareFileText, FixedErrorCaption);
        return false;
    }
    if (!FirmwareFitsDevice(*file.Bytes, state.DeviceVariant)) {
        state.DiscardImage();
        messages.ShowMessage(Txt(TxtInvalidFirmware, language), Txt(TxtError, language));
        return false;
    }
    LoadFirmwareFile(file, state);
    state.FWFilename = ShownFileName(path);
    return true;
}

bool AcceptDownloadedFirmware(bool downloadOK, const std::string& tempFilePath, TMainState& state,
                              IMessageBox& messages) {
    if (!downloadOK) {
        state.DiscardImage();
        return false;
    }
    const TFirmwareFile file = ReadFirmwareFile(tempFilePath);
    if (!CheckFirmwareFile(file)) {
        state.DiscardImage();
        messages.ShowMessage(InvalidFirmwareFileText, FixedErrorCaption);
        return false;
    }
    LoadFirmwareFile(file, state);
    state.FWFilename = ShownFileName(tempFilePath);
    return true;
}

} // namespace qor
