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

int main(int argc, char** argv) {
    using namespace qor;
    TDemoCommandLine line;
    if (const auto error = ParseDemoCommandLine(ProgramArguments(argc, argv), line)) {
        std::fprintf(stderr, "qor7316-updater-demo: %s\n%s", error->c_str(), DemoUsage);
        return 2;
    }
    if (line.Help) {
        std::fputs(DemoUsage, stdout);
        return 0;
    }
    TApplication app(argc, argv);
    try {
        LoadTahoma();
        TDemoRig rig(line.Rig);
        const auto serverError = rig.StartServer();
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

        QString traceError;
        TDemoTrace trace(form, control, traceError);
        if (serverError) {
            messages.ShowMessage("The demo's firmware server did not start (" + *serverError +
                                     "); the download will fail.",
                                 "QOR 7316 demo");
        }
        if (!traceError.isEmpty()) {
            messages.ShowMessage(traceError.toStdString(), "QOR 7316 demo");
        }
        TApplication::exec();
    } catch (...) {
        TApplication::ShowCurrentError();
    }
    return 0;
}
