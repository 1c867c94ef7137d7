// The demo's trace for scripted runs: when QOR_DEMO_TRACE names a file, the demo appends a
// line there whenever what the windows show changes: the main window's status lines, the
// modal window in front (message box or download dialog) with its texts, and where the
// buttons are on the screen, so that a script can click them with real input events. It
// reads the windows from outside; the product carries nothing of it.
#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QTimer>

#include "base/Result.h"

class TMainForm;
class QWidget;

class TDemoTrace : public QObject {
    Q_OBJECT
public:
    static constexpr const char* Variable = "QOR_DEMO_TRACE";

    TDemoTrace(TMainForm& form, QWidget& control) : Form(form), Control(control) {}

    // Opens the file the variable names and starts tracing; nothing happens when it is unset,
    // and why when it cannot be opened.
    qor::TResult<void> Start();

    void SampleTimerTimer();

private:
    QString MainLine() const;
    QString ModalLine(QWidget* modal) const;
    QString GeometryLines(QWidget* modal) const;
    void Write(const QString& kind, const QString& line, QString& last);

    TMainForm& Form;
    QWidget& Control;
    QFile File;
    QElapsedTimer Clock;
    QTimer SampleTimer;
    QString LastMain;
    QString LastModal;
    QString LastGeometry;
};
