// qor7316-make-image: writes a valid firmware image for one device variant.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/ProgramInput.h"
#include "platform/TempDir.h"
#include "tools/ImageToolOptions.h"

int main(int argc, char** argv) {
    using namespace qor;
    TImageToolOptions options;
    const std::vector<std::string> args = ProgramArguments(argc, argv);
    if (const auto error = ParseImageToolOptions(args, options)) {
        std::fprintf(stderr, "qor7316-make-image: %s\n%s", error->c_str(), ImageToolUsage);
        return 2;
    }
    if (options.Help) {
        std::fputs(ImageToolUsage, stdout);
        return 0;
    }
    const TByteVector image = MakeSampleImage(options.Recipe);
    if (const auto written = WriteFileAtomically(options.Output, image); !written) {
        std::fprintf(stderr, "qor7316-make-image: %s\n", written.Error().Reason.c_str());
        return 1;
    }
    return 0;
}
