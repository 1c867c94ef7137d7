// The proxy of the command line's download figures: the firmware server on loopback, which
// answers a proxy's requests as a proxy would, serving a valid variant "a" image of SIZE bytes
// under the product's download address. Once it listens it writes its port and that address
// to READY_FILE, a line each, and serves until it is stopped.
//   download_proxy SIZE READY_FILE
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "download/DownloadServer.h"
#include "firmware/DeviceVariant.h"
#include "sim/FirmwareServer.h"
#include "sim/SampleImage.h"

int main(int argc, char** argv) {
    using namespace qor;
    if (argc != 3) {
        std::fputs("usage: download_proxy SIZE READY_FILE\n", stderr);
        return 2;
    }
    const auto recipe =
        NormaliseRecipe({TImageVariant::A, "1.5a", std::strtoul(argv[1], nullptr, 10)});
    if (!recipe) {
        std::fprintf(stderr, "download_proxy: %s\n", recipe.Error().Reason.c_str());
        return 2;
    }
    const std::string path = DownloadPathOf(TVariantKind::A);
    TFirmwareServer server;
    server.Serve(path, MakeSampleImage(*recipe));
    if (const auto started = server.Start(); !started) {
        std::fprintf(stderr, "download_proxy: %s\n", started.Error().Reason.c_str());
        return 1;
    }
    {
        std::ofstream(std::string(argv[2]) + ".part")
            << server.Port() << '\n'
            << DownloadAddress(TDownloadServer{}, path) << '\n';
    }
    std::rename((std::string(argv[2]) + ".part").c_str(), argv[2]);
    for (;;) {
        pause();
    }
}
