// Where the image of flash, flash --all and download comes from: the file the options name, or
// the download of the image for a variant, with the stored proxy settings unless the options
// say otherwise. Each is checked as the window checks an image it loads; a failure comes back
// with its exit code and the result event that tells it.
#pragma once

#include <optional>

#include "cli/CommandContext.h"
#include "cli/DeviceUpdate.h"
#include "firmware/DeviceVariant.h"
#include "flow/ImageChecks.h"

namespace qor::cli {

// flash's file, checked before any device is asked (reported when it fails); none when the
// image is to be downloaded.
TStep<std::optional<TCheckedImage>> LocalImage(TCommandContext& context);

// The kind of image to download for the device; a device whose variant is not known gets none
// (the image does not fit).
TResult<TVariantKind, TFailed> KindToFetch(const TConnectedVariant& device);

// The download of the image for `variant` with its progress and its end as events, and the
// same checked as the window checks a downloaded image.
TResult<TCheckedImage, TFailed> FetchCheckedImage(TCommandContext& context, TVariantKind variant);

} // namespace qor::cli
