// The application object: the one place where an error escaping an event handler is shown,
// so the program goes on after it instead of ending.
#pragma once

#include <QApplication>

class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // The standard error display: a message box with the error's text.
    static void ShowError(const QString& message);
    // Shows the error being handled; only to be called inside a catch block.
    static void ShowCurrentError();
};
