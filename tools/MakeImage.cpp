// qor7316-make-image: writes a valid firmware image for one device variant.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/ProgramInput.h"
#include "platform/TempDir.h"
#include "tools/ImageToolOptions.h"

// NOLINTNEXTLINE(bugprone-exception-escape): a result's value is read only once it is known.
int main(int argc, char** argv) {
    using namespace qor;
    const auto options = ParseImageToolOptions(ProgramArguments(argc, argv));
    if (!options) {
        std::fprintf(stderr, "qor7316-make-image: %s\n%s", options.Error().Reason.c_str(),
                     ImageToolUsage);
        return 2;
    }
    if (options->Help) {
        std::fputs(ImageToolUsage, stdout);
        return 0;
    }
    const TByteVector image = MakeSampleImage(options->Recipe);
    if (const auto written = WriteFileAtomically(options->Output, image); !written) {
        std::fprintf(stderr, "qor7316-make-image: %s\n", written.Error().Reason.c_str());
        return 1;
    }
    return 0;
}
