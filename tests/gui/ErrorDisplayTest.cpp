// An error escaping an event handler is shown in a box, and the program goes on.
#include <QEvent>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

#include <stdexcept>

#include "base/FixedTexts.h"
#include "gui/TApplication.h"

namespace {

// Throws what it is told from its handler, and counts the events that got through.
class TThrowingObject : public QObject {
public:
    enum class TThrow { Nothing, StdError, Other };
    TThrow Throw = TThrow::Nothing;
    int Handled = 0;

protected:
    void customEvent(QEvent* /*event*/) override {
        switch (Throw) {
        case TThrow::StdError:
            throw std::runtime_error("Zugriff verweigert: Z:\\fw\\qor-7316.bin");
        case TThrow::Other:
            throw 42;
        case TThrow::Nothing:
            ++Handled;
            break;
        }
    }
};

struct TShownBox {
    bool Seen = false;
    QString Title;
    QString Text;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
};

// Reads and closes the box that the next modal loop shows.
void CloseNextBox(TShownBox& shown) {
    QTimer::singleShot(0, [&shown] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(widget);
                box != nullptr && box->isVisible()) {
                shown = {true, box->windowTitle(), box->text(), box->icon()};
                box->accept();
            }
        }
    });
}

TEST(ErrorDisplay, AnEscapingErrorIsShownWithItsTextAndTheProgramGoesOn) {
    TThrowingObject target;
    target.Throw = TThrowingObject::TThrow::StdError;
    TShownBox shown;
    CloseNextBox(shown);
    QEvent event(QEvent::User);
    EXPECT_FALSE(QCoreApplication::sendEvent(&target, &event));
    ASSERT_TRUE(shown.Seen);
    EXPECT_EQ(shown.Title, QString(qor::ApplicationTitle));
    EXPECT_EQ(shown.Text, QString("Zugriff verweigert: Z:\\fw\\qor-7316.bin"));
    EXPECT_EQ(shown.Icon, QMessageBox::Critical);

    target.Throw = TThrowingObject::TThrow::Nothing;
    QEvent next(QEvent::User);
    QCoreApplication::sendEvent(&target, &next);
    EXPECT_EQ(target.Handled, 1);
}

TEST(ErrorDisplay, AnErrorWithoutATextIsShownWithAnEmptyOne) {
    TThrowingObject target;
    target.Throw = TThrowingObject::TThrow::Other;
    TShownBox shown;
    CloseNextBox(shown);
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&target, &event);
    ASSERT_TRUE(shown.Seen);
    EXPECT_TRUE(shown.Text.isEmpty());
}

TEST(ErrorDisplay, StartUpShowsTheErrorItCaught) {
    TShownBox shown;
    CloseNextBox(shown);
    try {
        throw std::runtime_error("Fehler beim Holen der Daten für 'Language'");
    } catch (...) {
        TApplication::ShowCurrentError();
    }
    ASSERT_TRUE(shown.Seen);
    EXPECT_EQ(shown.Text, QString::fromUtf8("Fehler beim Holen der Daten für 'Language'"));
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
