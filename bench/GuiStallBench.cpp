// How long the main window's event loop goes unserved while it writes an image into the
// demo's virtual device with wire timing on the real clock, and while it downloads an image
// from the demo's firmware server on loopback: a 1 ms heartbeat timer records the longest
// gap between two of its ticks. Run it under xvfb-run so that painting counts (it falls
// back to the offscreen platform without a display).
//   gui_stall_bench [runs] [turnaround_ms]
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "base/MessageBox.h"
#include "demo/DemoOptions.h"
#include "demo/DemoRig.h"
#include "gui/TFWOnlineForm.h"
#include "gui/TMainForm.h"
#include "platform/TempDir.h"
#include "qortest/FakeDataProtection.h"
#include "settings/RegFileStore.h"
#include "sim/SampleImage.h"

using namespace qor;
using qor::test::TFakeDataProtection;

namespace {

class TPrintedMessages : public IMessageBox {
public:
    void ShowMessage(const std::string& text, const std::string& caption) override {
        std::fprintf(stderr, "message: %s (%s)\n", text.c_str(), caption.c_str());
        ++Shown;
    }
    bool AskYesNo(const std::string&, const std::string&) override { return true; }
    int Shown = 0;
};

// The longest gap between two ticks of a 1 ms timer while Measuring is set.
class THeartbeat : public QObject {
public:
    THeartbeat() {
        Timer.setTimerType(Qt::PreciseTimer);
        connect(&Timer, &QTimer::timeout, this, [this] {
            const qint64 now = Clock.nsecsElapsed();
            if (Measuring && Last != 0) {
                Longest = std::max(Longest, now - Last);
            }
            Last = now;
        });
        Clock.start();
        Timer.start(1);
    }
    void Begin() {
        Longest = 0;
        Last = Clock.nsecsElapsed();
        Measuring = true;
    }
    double EndMs() {
        Measuring = false;
        return static_cast<double>(std::max(Longest, Clock.nsecsElapsed() - Last)) / 1e6;
    }

private:
    QTimer Timer;
    QElapsedTimer Clock;
    qint64 Last = 0;
    qint64 Longest = 0;
    bool Measuring = false;
};

// Runs the event loop until `done` holds or `ms` have passed.
bool Await(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }
    return done();
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const auto turnaroundMs = static_cast<std::uint32_t>(argc > 2 ? std::atoi(argv[2]) : 10);

    const auto store = std::filesystem::temp_directory_path() / "gui-stall-bench";
    std::filesystem::create_directories(store);
    TRegFileStore registry(store.string());
    TPrintedMessages messages;
    TDemoRig rig(TDemoOptions{true, turnaroundMs});
    if (const auto started = rig.StartServer(); !started) {
        std::fprintf(stderr, "the firmware server did not start: %s\n",
                     started.Error().Reason.c_str());
        return 1;
    }
    TFakeDataProtection protection;
    const auto recipe = NormaliseRecipe({TImageVariant::A, "1.4a", std::nullopt});
    if (!recipe) {
        std::fprintf(stderr, "%s\n", recipe.Error().Reason.c_str());
        return 1;
    }
    const auto imagePath = store / "image.bin";
    if (const auto written = WriteFileAtomically(imagePath.string(), MakeSampleImage(*recipe));
        !written) {
        std::fprintf(stderr, "%s\n", written.Error().Reason.c_str());
        return 1;
    }
    TMainForm form(
        {.Registry = registry,
         .Messages = messages,
         .Port = rig.Port(),
         .Protection = protection,
         .ChooseFirmwareFile = [&](QWidget*) { return QString::fromStdString(imagePath.string()); },
         .Files = DemoDownloadFiles(),
         .Server = DemoDownloadServer(rig.ServerPort()),
         .ServiceLog = TServiceLog((store / "state").string())});
    form.show();
    THeartbeat heartbeat;
    if (!Await([&] { return form.Presenter().BootloaderReady(); }, 5000)) {
        std::fputs("the demo device did not connect\n", stderr);
        return 1;
    }

    std::vector<double> stalls;
    for (int run = 0; run < runs; ++run) {
        form.BOpenLocalClick();
        Await([&] { return false; }, 300); // let both timers show the loaded image
        QElapsedTimer wall;
        heartbeat.Begin();
        wall.start();
        form.BFlashClick();
        const double ms = static_cast<double>(wall.nsecsElapsed()) / 1e6;
        const double stall = heartbeat.EndMs();
        if (!form.State().UpdateSucceeded || messages.Shown != 0) {
            std::fprintf(stderr, "run %d: the update did not succeed\n", run + 1);
            return 1;
        }
        stalls.push_back(stall);
        std::printf("run %d: update %.1f ms, longest event-loop stall %.1f ms\n", run + 1, ms,
                    stall);
    }
    std::sort(stalls.begin(), stalls.end());
    std::printf("longest stall during an update (turnaround %u ms, %s): median %.1f ms, "
                "max %.1f ms (target <= 15 ms)\n",
                turnaroundMs, qPrintable(QApplication::platformName()), stalls[stalls.size() / 2],
                stalls.back());
    // The download dialog, closed by a watcher as soon as its transfer has ended, the way a
    // user would click Close.
    std::vector<double> downloadStalls;
    QTimer closer;
    closer.start(10);
    QObject::connect(&closer, &QTimer::timeout, [] {
        auto* dialog = qobject_cast<TFWOnlineForm*>(QApplication::activeModalWidget());
        if (dialog != nullptr && dialog->Display.Started() && !dialog->Display.Busy()) {
            dialog->BCancelClick();
        }
    });
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer wall;
        heartbeat.Begin();
        wall.start();
        form.BDownloadClick();
        const double ms = static_cast<double>(wall.nsecsElapsed()) / 1e6;
        const double stall = heartbeat.EndMs();
        if (!form.State().FWLoaded() || form.State().FWFilename != "qor-7316.bin") {
            std::fprintf(stderr, "download %d: no image loaded\n", run + 1);
            return 1;
        }
        downloadStalls.push_back(stall);
        std::printf("download %d: dialog open %.1f ms (about 500 ms of it before the start timer "
                    "fires), longest "
                    "event-loop stall %.1f ms\n",
                    run + 1, ms, stall);
    }
    std::sort(downloadStalls.begin(), downloadStalls.end());
    std::printf("longest stall during a download of %zu bytes: median %.1f ms, max %.1f ms "
                "(target <= 15 ms)\n",
                FlashSizeOf(TImageVariant::A), downloadStalls[downloadStalls.size() / 2],
                downloadStalls.back());
    std::filesystem::remove_all(store);
    return 0;
}
