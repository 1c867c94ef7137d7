#include "gui/TInfoDialog.h"

#include "base/MakerDetails.h"
#include "gui/DesignFonts.h"
#include "ui_TInfoDialog.h"

namespace {
constexpr QSize ClientSize(672, 376);
}

TInfoDialog::TInfoDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      Ui(std::make_unique<Ui::TInfoDialog>()) {
    setObjectName("InfoDialog");
    Ui->setupUi(this);
    ApplyDesignFonts(this);
    setFixedSize(ClientSize);
    setAutoFillBackground(true);

    Ui->Label4->setText(qor::MakerCompany);
    Ui->Label5->setText(qor::MakerStreet);
    Ui->Label6->setText(qor::MakerTown);
    Ui->Label9->setText(qor::MakerContactPerson);
    Ui->Label10->setText(QString("Tel: ") + qor::MakerPhone);
    Ui->Label11->setText(QString("eMail: ") + qor::MakerEmail);
    Ui->Label7->setText(qor::MakerWebAddress);

    // Labels without a size in the layout take it from their text.
    for (QLabel* label : findChildren<QLabel*>()) {
        const QVariant place = label->property("autoSize");
        if (place.isValid()) {
            label->move(place.toPoint());
            label->adjustSize();
        }
    }
}

TInfoDialog::~TInfoDialog() = default;

void TInfoDialog::SetTexts(const QString& caption, const QString& serviceAddress,
                           const QString& contactPerson) {
    setWindowTitle(caption);
    Ui->LServiceAddress->setText(serviceAddress);
    Ui->LServiceAddress->adjustSize();
    Ui->LContactPerson->setText(contactPerson);
    Ui->LContactPerson->adjustSize();
}

QLabel* TInfoDialog::ServiceAddressLabel() const {
    return Ui->LServiceAddress;
}
