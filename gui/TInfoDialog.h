// The About dialog: product, version, the maker's service address and contact.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TInfoDialog;
}
class QLabel;

class TInfoDialog : public QDialog {
    Q_OBJECT
public:
    explicit TInfoDialog(QWidget* parent);
    ~TInfoDialog() override;

    // The translated texts; the rest of the dialog is fixed.
    void SetTexts(const QString& caption, const QString& serviceAddress,
                  const QString& contactPerson);
    QLabel* ServiceAddressLabel() const;

private:
    std::unique_ptr<Ui::TInfoDialog> Ui;
};
