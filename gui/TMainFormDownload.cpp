// The main window's download button and proxy menu item: their dialogs, shown modally over it.
#include "gui/TFWOnlineForm.h"
#include "gui/TMainForm.h"
#include "gui/TProxyForm.h"
#include "presenter/DialogPlacement.h"

namespace {

// Centred, a quarter of the spare height from the top, on outer sizes.
void PlaceOver(const TMainForm& owner, QWidget& dialog) {
    const QRect outer = owner.frameGeometry();
    const QSize size = owner.OuterSize(dialog);
    const qor::TDialogPosition at = qor::PlaceOverOwner(
        outer.left(), outer.top(), outer.width(), outer.height(), size.width(), size.height());
    dialog.move(at.Left, at.Top);
}

} // namespace

void TMainForm::BDownloadClick() {
    if (Main.UpdateRunning()) {
        return;
    }
    qor::TFWOnlineForm dialog(Cfg, Services.Protection, Services.Sessions, Services.Files,
                              Services.Server, this);
    dialog.Display.DeviceVariant = Main.DeviceVariant();
    PlaceOver(*this, dialog);
    dialog.exec();
    Main.AcceptDownload(dialog.Display.TakeImage());
    Render();
}

void TMainForm::Proxy1Click() {
    qor::TProxyForm dialog(
        Cfg, Services.Protection, [this] { return SaveSettings(); }, Services.Messages, this);
    PlaceOver(*this, dialog);
    dialog.exec();
}
