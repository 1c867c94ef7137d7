#include "gui/TApplication.h"

#include <QMessageBox>
#include <exception>

#include "base/FixedTexts.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // The title is fixed; window captions carry the translated one.
    setApplicationName(qor::ApplicationTitle);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowCurrentError();
    }
    return false;
}

void TApplication::ShowCurrentError() {
    try {
        throw;
    } catch (const std::exception& error) {
        ShowError(QString::fromUtf8(error.what()));
    } catch (...) {
        ShowError(QString());
    }
}

void TApplication::ShowError(const QString& message) {
    QMessageBox box(QMessageBox::Critical, qor::ApplicationTitle, message, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}
