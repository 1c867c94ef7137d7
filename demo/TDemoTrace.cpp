#include "demo/TDemoTrace.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>

#include "gui/TMainForm.h"
#include "ui_TMainForm.h"

namespace {

constexpr int SampleMs = 20;

QString Field(const char* name, const QString& value) {
    return QString(" | %1=%2").arg(name, value);
}

QString Centre(const QString& name, const QWidget* widget, const QRect& local) {
    const QPoint centre = widget->mapToGlobal(local.center());
    return QString("geometry %1 %2 %3 enabled=%4\n")
        .arg(name)
        .arg(centre.x())
        .arg(centre.y())
        .arg(widget->isEnabled() ? 1 : 0);
}

QString Centre(const QString& name, const QWidget* widget) {
    return Centre(name, widget, widget->rect());
}

QString Plain(QString text) {
    return text.remove('&').replace('\n', ' ');
}

} // namespace

qor::TResult<void> TDemoTrace::Start() {
    const QString path = qEnvironmentVariable(Variable);
    if (path.isEmpty()) {
        return {};
    }
    File.setFileName(path);
    if (!File.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        return qor::Fail(qor::TError{QString("The trace file %1 cannot be opened: %2")
                                         .arg(path, File.errorString())
                                         .toStdString()});
    }
    Clock.start();
    connect(&SampleTimer, &QTimer::timeout, this, &TDemoTrace::SampleTimerTimer);
    SampleTimer.start(SampleMs);
    return {};
}

QString TDemoTrace::MainLine() const {
    const auto& ui = Form.Controls();
    QString buttons;
    for (const QPushButton* button : {ui.BDownload, ui.BOpenLocal, ui.BFlash, ui.BSwitchOff}) {
        buttons += button->isEnabled() ? '1' : '0';
    }
    return QString("status=") + ui.LQORStatus->text() + Field("tip", ui.LQORStatus->toolTip()) +
           Field("boot", ui.LQORBootldrVersion->text()) + Field("fw", ui.LQORFWVersion->text()) +
           Field("sum", ui.LQORChecksum->text()) + Field("file", ui.LFWFileStatus->text()) +
           Field("name", ui.LFWFilename->text()) + Field("version", ui.LFWVersion->text()) +
           Field("flash", ui.LFlashStatus->text()) +
           Field("bar", QString::number(ui.PBFW->value())) +
           Field("buttons", buttons + " (download open update poweroff)");
}

QString TDemoTrace::ModalLine(QWidget* modal) const {
    if (modal == nullptr) {
        return "none";
    }
    QString line = "title=" + modal->windowTitle();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        line += Field("text", Plain(box->text()));
    }
    for (const QLabel* label : modal->findChildren<QLabel*>()) {
        if (!label->objectName().isEmpty() && !label->objectName().startsWith("qt_")) {
            line += Field(qPrintable(label->objectName()), Plain(label->text()));
        }
    }
    for (const QProgressBar* bar : modal->findChildren<QProgressBar*>()) {
        line += Field(qPrintable(bar->objectName()), QString::number(bar->value()));
    }
    return line;
}

QString TDemoTrace::GeometryLines(QWidget* modal) const {
    const auto& ui = Form.Controls();
    QString lines;
    for (const QPushButton* button : {ui.BDownload, ui.BOpenLocal, ui.BFlash, ui.BSwitchOff}) {
        lines += Centre(button->objectName(), button);
    }
    lines +=
        Centre("menu:File", ui.MainMenu1, ui.MainMenu1->actionGeometry(ui.MFile->menuAction()));
    if (auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
        for (QAction* action : popup->actions()) {
            if (!action->isSeparator() && action->menu() == nullptr) {
                lines +=
                    Centre("menu:" + Plain(action->text()), popup, popup->actionGeometry(action));
            }
        }
    }
    for (const QAbstractButton* button : Control.findChildren<QAbstractButton*>()) {
        lines += Centre("control:" + button->objectName(), button);
    }
    if (modal != nullptr) {
        for (const QAbstractButton* button : modal->findChildren<QAbstractButton*>()) {
            if (button->isVisible()) {
                lines += Centre("modal:" + Plain(button->text()), button);
            }
        }
        for (const QLineEdit* edit : modal->findChildren<QLineEdit*>()) {
            if (edit->isVisible() && !edit->objectName().isEmpty()) {
                lines += Centre("modal-edit:" + edit->objectName(), edit);
            }
        }
    }
    return lines;
}

void TDemoTrace::Write(const QString& kind, const QString& line, QString& last) {
    if (line == last) {
        return;
    }
    last = line;
    const QString stamp = QString::number(Clock.elapsed());
    QString out;
    for (const QString& part : line.split('\n', Qt::SkipEmptyParts)) {
        out += stamp + ' ' + kind + ' ' + part + '\n';
    }
    File.write(out.toUtf8());
    File.flush();
}

void TDemoTrace::SampleTimerTimer() {
    if (!Form.isVisible()) {
        return;
    }
    QWidget* modal = QApplication::activeModalWidget();
    Write("main", MainLine(), LastMain);
    Write("modal", ModalLine(modal), LastModal);
    Write("at", GeometryLines(modal), LastGeometry);
}
