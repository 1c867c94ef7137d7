// The product: the main window over the user's real devices and settings.

#include "app/DesignFonts.h"
#include "app/FontConfigWarmup.h"
#include "app/TApplication.h"
#include "app/TMainForm.h"
#include "app/TQtMessageBox.h"
#include "device/SystemPort.h"
#include "platform/UserServices.h"

int main(int argc, char** argv) {
    TFontConfigWarmup fonts;
    // The application object must outlive the error display below.
    TApplication app(argc, argv);
    try {
        fonts.Wait();
        LoadTahoma();
        const auto registry = qor::MakeUserRegistryStore();
        const auto protection = qor::MakeUserDataProtection();
        const auto port = qor::CreateSystemPort();
        TQtMessageBox messages;
        TMainForm form({*registry, messages, *port, *protection});
        messages.SetParent(&form);
        form.show();
        TApplication::exec();
    } catch (...) {
        TApplication::ShowCurrentError();
    }
    return 0;
}
