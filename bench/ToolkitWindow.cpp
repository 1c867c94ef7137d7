// The second yardstick of the window's figures: the toolkit pieces the main window is made of
// and nothing of the program's own: a main window of its size with a menu bar of one menu, a
// titled group box holding a label, and the 100 ms timer of bare_window. Each of them costs
// the toolkit work a bare window never does (fonts and text shaping for the label, the session
// bus and the image format plugins for the menu bar, the group box's frame picture), so the
// distance from bare_window to this one is the floor of any window with text and a menu.
//   toolkit_window
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QTimer>
#include <QVBoxLayout>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle("toolkit window");
    window.resize(753, 696);
    window.menuBar()->addMenu("&File")->addAction("E&xit");
    auto* box = new QGroupBox("Device");            // NOLINT: the window takes it over
    auto* layout = new QVBoxLayout(box);            // NOLINT: the box takes it over
    layout->addWidget(new QLabel("not connected")); // NOLINT: the layout's widget takes it over
    window.setCentralWidget(box);
    QTimer tick;
    int ticks = 0;
    QObject::connect(&tick, &QTimer::timeout, [&ticks] { ++ticks; });
    tick.start(100);
    window.show();
    return QApplication::exec();
}
