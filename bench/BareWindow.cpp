// The yardstick of the program figures: a bare Qt window of the main window's size whose only
// work is a 100 ms timer, as the main window has two of.
//   bare_window
#include <QApplication>
#include <QTimer>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle("bare window");
    window.resize(753, 696);
    QTimer tick;
    int ticks = 0;
    QObject::connect(&tick, &QTimer::timeout, [&ticks] { ++ticks; });
    tick.start(100);
    window.show();
    return QApplication::exec();
}
