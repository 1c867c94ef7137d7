// The product: the main window over the user's real devices and settings.

#include "device/SystemPort.h"
#include "gui/DesignFonts.h"
#include "gui/TApplication.h"
#include "gui/TMainForm.h"
#include "gui/TQtMessageBox.h"
#include "secrets/UserDataProtection.h"
#include "settings/UserRegistryStore.h"

int main(int argc, char** argv) {
    // The application object must outlive the error display below.
    TApplication app(argc, argv);
    try {
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
