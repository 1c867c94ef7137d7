// download: the image for a variant (--variant, else the connected device's) from the download
// server, checked as the window checks a downloaded image and saved as a file.
#pragma once

#include "cli/CommandContext.h"

namespace qor::cli {

class TDownloadCommand {
public:
    explicit TDownloadCommand(TCommandContext& context) : Context(context) {}

    // Downloads the image, saves it and reports the result; returns the exit code.
    int Run();

private:
    TCommandContext& Context;
};

} // namespace qor::cli
