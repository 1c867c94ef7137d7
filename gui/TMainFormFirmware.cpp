// The main window's Open button: the open dialog and loading the chosen image.
#include <QFileDialog>

#include "gui/TMainForm.h"

QString TMainForm::OpenFirmwareDlg() {
    QFileDialog dialog(this);
    dialog.setNameFilters({"Binaryraw file (*.bin)", "All files (*.*)"});
    dialog.setDefaultSuffix("bin");
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::ReadOnly);
    dialog.setSizeGripEnabled(true);
    if (!Services.FirmwareFolder.isEmpty()) {
        dialog.setDirectory(Services.FirmwareFolder);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

void TMainForm::BOpenLocalClick() {
    const QString path =
        Services.ChooseFirmwareFile ? Services.ChooseFirmwareFile(this) : OpenFirmwareDlg();
    if (path.isEmpty()) {
        return;
    }
    Main.OpenLocalFirmware(path.toStdString());
    Render();
}
