#include "flow/ImageChecks.h"

#include "device/Protocol.h"
#include "platform/RegularFile.h"

namespace qor {

TConnectedVariant ConnectedVariant(const TConnectionMonitor& monitor) {
    if (!monitor.BootloaderReady()) {
        return Fail(TError{"no device answers"});
    }
    return ReportedVariant(monitor.Info());
}

TImageCheck CheckImageFile(const std::string& path) {
    auto bytes = ReadRegularFile(path, ImageMaximumSize);
    if (!bytes) {
        return Fail(TImageRejection{std::nullopt, bytes.Error().Reason});
    }
    return CheckImageBytes(std::move(bytes.Value()));
}

TImageCheck CheckImageBytes(std::vector<std::uint8_t> bytes) {
    auto image = ParseFirmwareImage(std::move(bytes));
    if (!image) {
        return Fail(TImageRejection{std::nullopt, image.Error().Describe()});
    }
    return std::move(image.Value());
}

TImageFit ImageFits(const TFirmwareImage& image, const TConnectedVariant& device) {
    if (!device) {
        return Fail(TImageRejection{std::nullopt, device.Error().Reason});
    }
    if (const auto fit = device->CheckFit(image); !fit) {
        return Fail(TImageRejection{fit.Error(), DescribeFitFault(fit.Error())});
    }
    return {};
}

} // namespace qor
