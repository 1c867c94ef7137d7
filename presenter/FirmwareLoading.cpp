#include "presenter/FirmwareLoading.h"

#include <utility>

#include "base/FixedTexts.h"
#include "base/TextTable.h"
#include "flow/ImageChecks.h"

namespace qor {

// Rejections discard the image before the box is shown: the display refresh keeps running
// while the box is open, and must not show a refused or replaced image as loaded meanwhile.

namespace {

// A file that fails its check is reported as invalid in the fixed German text.
std::optional<TFirmwareImage> Checked(TImageCheck check, TMainModel& model, IMessageBox& messages) {
    if (check) {
        return std::move(check.Value());
    }
    model.DiscardImage();
    messages.ShowMessage(InvalidFirmwareFileText, FixedErrorCaption);
    return std::nullopt;
}

// An image for another variant, or one larger than the device's flash, is refused alike.
bool Load(TFirmwareImage image, const std::string& path, const std::string& source,
          const TConnectedVariant& device, TMainModel& model, std::uint8_t language,
          IMessageBox& messages) {
    if (!ImageFits(image, device)) {
        model.DiscardImage();
        messages.ShowMessage(Txt(TxtInvalidFirmware, language), Txt(TxtError, language));
        return false;
    }
    model.FWVersion = image.Version();
    model.FWFilename = ShownFileName(path);
    model.FWSource = source;
    model.FWImage = std::move(image);
    return true;
}

} // namespace

bool OpenLocalFirmware(const std::string& path, const TConnectedVariant& device, TMainModel& model,
                       std::uint8_t language, IMessageBox& messages) {
    auto image = Checked(CheckImageFile(path), model, messages);
    if (!image) {
        return false;
    }
    return Load(std::move(*image), path, path, device, model, language, messages);
}

bool AcceptDownloadedFirmware(std::optional<TDownloadedImage> downloaded,
                              const TConnectedVariant& device, TMainModel& model,
                              std::uint8_t language, IMessageBox& messages) {
    if (!downloaded) {
        model.DiscardImage();
        return false;
    }
    auto image = Checked(CheckImageBytes(std::move(downloaded->Body)), model, messages);
    if (!image) {
        return false;
    }
    return Load(std::move(*image), downloaded->SavedAs, downloaded->Source, device, model, language,
                messages);
}

} // namespace qor
