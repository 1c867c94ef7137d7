// qor7316-updater-demo: the product's main window over a virtual QOR 7316, with the demo's
// control window beside it and a firmware server on loopback for the download.
#include <QDir>
#include <cstdio>

#include "demo/DemoOptions.h"
#include "demo/TDemoControlForm.h"
#include "demo/TDemoTrace.h"
#include "device/SystemPort.h"
#include "gui/DesignFonts.h"
#include "gui/TApplication.h"
#include "gui/TMainForm.h"
#include "gui/TQtMessageBox.h"
#include "platform/ProgramInput.h"

// NOLINTNEXTLINE(bugprone-exception-escape): a result's value is read only once it is known.
int main(int argc, char** argv) {
    using namespace qor;
    const auto parsed = ParseDemoCommandLine(ProgramArguments(argc, argv));
    if (!parsed) {
        std::fprintf(stderr, "qor7316-updater-demo: %s\n%s", parsed.Error().Reason.c_str(),
                     DemoUsage);
        return 2;
    }
    const TDemoCommandLine& line = *parsed;
    if (line.Help) {
        std::fputs(DemoUsage, stdout);
        return 0;
    }
    TApplication app(argc, argv);
    try {
        LoadTahoma();
        TDemoRig rig(line.Rig);
        const auto server = rig.StartServer();
        const auto registry = MakeDemoRegistryStore();
        const auto protection = MakeDemoDataProtection();
        const auto systemPort = line.SystemPort ? CreateSystemPort() : nullptr;
        TQtMessageBox messages;
        // The open dialog starts where the build put the sample images.
        TMainForm form(
            {.Registry = *registry,
             .Messages = messages,
             .Port = systemPort ? *systemPort : rig.Port(),
             .Protection = *protection,
             .FirmwareFolder = QDir(QOR_SAMPLE_DIR).exists() ? QString(QOR_SAMPLE_DIR) : QString(),
             .Files = DemoDownloadFiles(),
             .Server = DemoDownloadServer(rig.ServerPort()),
             .ServiceLog = DemoServiceLog()});
        messages.SetParent(&form);
        form.show();

        TDemoControlForm control(rig);
        control.PlaceBeside(form);
        control.show();

        TDemoTrace trace(form, control);
        const auto tracing = trace.Start();
        if (!server) {
            messages.ShowMessage("The demo's firmware server did not start (" +
                                     server.Error().Reason + "); the download will fail.",
                                 "QOR 7316 demo");
        }
        if (!tracing) {
            messages.ShowMessage(tracing.Error().Reason, "QOR 7316 demo");
        }
        TApplication::exec();
    } catch (...) {
        TApplication::ShowCurrentError();
    }
    return 0;
}
