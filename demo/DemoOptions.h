// The demo's command line and where it keeps its settings.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Result.h"
#include "demo/DemoRig.h"
#include "download/DownloadFiles.h"
#include "download/DownloadServer.h"
#include "flow/ServiceLog.h"
#include "secrets/DataProtection.h"
#include "settings/RegistryStore.h"

namespace qor {

struct TDemoCommandLine {
    TDemoOptions Rig;
    // The window talks to the system's devices (as the product does) instead of the virtual
    // one; the control window still works the virtual device.
    bool SystemPort = false;
    bool Help = false;
};

// The arguments after the program name; the reason when they are not understood.
TResult<TDemoCommandLine> ParseDemoCommandLine(const std::vector<std::string>& args);

inline constexpr const char* DemoUsage =
    "usage: qor7316-updater-demo [--turnaround-ms N] [--no-wire-timing] [--system-port]\n"
    "The updater's main window over a virtual QOR 7316, with a control window beside it and\n"
    "a firmware server on 127.0.0.1 for the download.\n"
    "  --turnaround-ms N   the device's pause before each reply, 0 to 200 (default 10)\n"
    "  --no-wire-timing    bytes take no time on the virtual line\n"
    "  --system-port       the main window uses the system's devices, as the product does\n"
    "Settings are kept apart from the product's, under $XDG_CONFIG_HOME (or ~/.config)\n"
    "/qor7316-updater-demo (on Windows: HKEY_CURRENT_USER\\Software\\qor7316-updater-demo),\n"
    "its downloads in a folder of that name in the user's private temporary directory.\n"
    "QOR_DEMO_TRACE=FILE appends what the windows show to FILE.\n";

// The demo's own configuration directory (its settings and password key), or nullopt when
// the user has no home.
std::optional<std::string> DemoConfigDirectory();

// The demo's settings, kept apart from the product's: a store file in its configuration
// directory, or on Windows a registry key of its own.
std::unique_ptr<IRegistryStore> MakeDemoRegistryStore();

// The proxy password's protection: with a key of the demo's own beside its settings, or on
// Windows the user's data protection.
std::unique_ptr<IDataProtection> MakeDemoDataProtection();

// The demo's own service log, apart from the product's: in its folder of the user's state
// directory.
TServiceLog DemoServiceLog();

// The download's files: the temporary file goes to a private folder of the demo's inside the
// user's temporary directory, so the product's last download is left alone.
TDownloadFiles DemoDownloadFiles();

// The demo's firmware server as the download's server.
TDownloadServer DemoDownloadServer(std::uint16_t port);

} // namespace qor
