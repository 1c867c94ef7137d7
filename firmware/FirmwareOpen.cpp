#include "firmware/FirmwareOpen.h"

#include <optional>

#include "base/FixedTexts.h"
#include "base/TextTable.h"
#include "firmware/FirmwareImage.h"

namespace qor {

// Rejections discard the image before the box is shown: the display refresh keeps running
// while the box is open, and must not show a refused or replaced image as loaded meanwhile.

namespace {

// A file that fails its check is reported as invalid in the fixed German text.
std::optional<TFirmwareFile> ReadCheckedFile(const std::string& path, TMainState& state,
                                             IMessageBox& messages) {
    TFirmwareFile file = ReadFirmwareFile(path);
    if (!CheckFirmwareFile(file)) {
        state.DiscardImage();
        messages.ShowMessage(InvalidFirmwareFileText, FixedErrorCaption);
        return std::nullopt;
    }
    return file;
}

void LoadCheckedFile(const TFirmwareFile& file, const std::string& path, TMainState& state) {
    LoadFirmwareFile(file, state);
    state.FWFilename = ShownFileName(path);
}

} // namespace

bool OpenLocalFirmware(const std::string& path, TMainState& state, std::uint8_t language,
                       IMessageBox& messages) {
    const auto file = ReadCheckedFile(path, state, messages);
    if (!file) {
        return false;
    }
    if (!FirmwareFitsDevice(*file->Bytes, state.DeviceVariant)) {
        state.DiscardImage();
        messages.ShowMessage(Txt(TxtInvalidFirmware, language), Txt(TxtError, language));
        return false;
    }
    LoadCheckedFile(*file, path, state);
    return true;
}

bool AcceptDownloadedFirmware(bool downloadOK, const std::string& tempFilePath, TMainState& state,
                              IMessageBox& messages) {
    if (!downloadOK) {
        state.DiscardImage();
        return false;
    }
    const auto file = ReadCheckedFile(tempFilePath, state, messages);
    if (!file) {
        return false;
    }
    LoadCheckedFile(*file, tempFilePath, state);
    return true;
}

} // namespace qor
