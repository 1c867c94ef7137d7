// flash: the image checked as the window checks it, then the update flow the window runs,
// with the window's exchanges, failure exits and service record, on the one device.
#pragma once

#include "cli/CommandContext.h"
#include "cli/DeviceUpdate.h"

namespace qor::cli {

class TFlashCommand {
public:
    explicit TFlashCommand(TCommandContext& context) : Context(context) {}

    // Loads the image, connects the device, writes it and reports the result; returns the exit
    // code.
    int Run();

private:
    // The download for the connected device, checked; reported when it fails.
    TStep<TCheckedImage> DownloadedImage();

    TCommandContext& Context;
};

} // namespace qor::cli
