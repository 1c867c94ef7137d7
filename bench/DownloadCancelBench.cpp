// How long the download dialog takes to close when the user presses Cancel and then the close
// box, in each phase of a transfer: while the connection is still being made, while a server
// is silent or trickles its head a line every 10 s, and while the body stalls or crawls. The
// time runs from the Cancel click to the dialog being hidden.
//   download_cancel_bench [runs]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "download/CurlHttpSession.h"
#include "gui/TFWOnlineForm.h"
#include "qortest/FakeDataProtection.h"
#include "qortest/PatternBytes.h"
#include "sim/FirmwareServer.h"

using namespace qor;
using namespace std::chrono_literals;

namespace {

// A loopback port whose accept queue is full: connection attempts get no answer at all.
class TUnansweredPort {
public:
    TUnansweredPort() {
        Listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(Listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(Listener, 0);
        ::getsockname(Listener, reinterpret_cast<sockaddr*>(&address), &length);
        Port = ntohs(address.sin_port);
        Filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        (void)::connect(Filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
        pollfd wait{Filler, POLLOUT, 0};
        ::poll(&wait, 1, 1000);
    }
    ~TUnansweredPort() {
        ::close(Filler);
        ::close(Listener);
    }
    TUnansweredPort(const TUnansweredPort&) = delete;
    TUnansweredPort& operator=(const TUnansweredPort&) = delete;

    std::uint16_t Port = 0;

private:
    int Listener = -1;
    int Filler = -1;
};

struct TPhase {
    const char* Name;
    std::uint16_t Port;
    // Cancel this long after the transfer began waiting for the response...
    std::chrono::milliseconds Waiting{0};
    // ...or once this much of the body has come.
    std::uint32_t BodyBytes = 0;
};

// One dialog: started, cancelled and closed once the phase is reached; the milliseconds from
// the Cancel click to the dialog being hidden, or a negative number when it went wrong.
double CancelToClose(const TPhase& phase, const TSettings& settings, IDataProtection& protection) {
    TDownloadFiles files{[]() -> TResult<std::string> { return std::string("/nowhere/"); },
                         [](const std::string&, std::span<const std::uint8_t>) -> TResult<void> {
                             return {};
                         }};
    TFWOnlineForm form(settings, protection, CurlHttpSessions(), files,
                       TDownloadServer{"127.0.0.1", phase.Port});
    form.Display.DeviceVariant = TVariantKind::A;
    form.show();

    QElapsedTimer clock;
    QElapsedTimer waiting;
    qint64 cancelledAt = -1;
    qint64 hiddenAt = -1;
    QEventLoop loop;
    QObject::connect(&form, &QDialog::finished, [&] {
        hiddenAt = clock.nsecsElapsed();
        loop.quit();
    });
    // The user, watching: once the phase shows, Cancel and then the close box.
    QTimer user;
    user.setInterval(5);
    const auto reached = [&] {
        const TDownloadDisplay& state = form.Display;
        if (phase.BodyBytes > 0) {
            return state.ReceivedBytes() >= phase.BodyBytes;
        }
        if (!waiting.isValid() && state.AwaitingResponse()) {
            waiting.start();
        }
        return waiting.isValid() && waiting.elapsed() >= phase.Waiting.count();
    };
    QObject::connect(&user, &QTimer::timeout, [&] {
        if (cancelledAt < 0 && form.Display.Busy() && reached()) {
            user.stop();
            cancelledAt = clock.nsecsElapsed();
            form.BCancel->click();
            form.close();
        }
    });
    clock.start();
    user.start();
    QTimer::singleShot(0, &form, [&form] { form.StartTimerTimer(); });
    QTimer::singleShot(60'000, &loop, &QEventLoop::quit); // a dialog that never closes
    loop.exec();
    if (cancelledAt < 0 || hiddenAt < 0 || form.Display.FailureDetail() != "cancelled") {
        std::fprintf(stderr, "%s: cancel at %lld ns, hidden at %lld ns, '%s'\n", phase.Name,
                     static_cast<long long>(cancelledAt), static_cast<long long>(hiddenAt),
                     form.Display.FailureDetail().c_str());
        return -1;
    }
    return static_cast<double>(hiddenAt - cancelledAt) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;

    TSettings settings;
    test::TFakeDataProtection protection;
    TFirmwareServer server;
    if (const auto started = server.Start(); !started) {
        std::fprintf(stderr, "no server: %s\n", started.Error().Reason.c_str());
        return 1;
    }
    const auto image = test::PatternBytes(1'400'000);
    TUnansweredPort unanswered;
    struct TCase {
        TPhase Phase;
        TServedFile File;
    };
    const std::vector<TCase> cases = {
        {{"connecting (no answer)", unanswered.Port, 300ms, 0}, TServedFile::Of(image)},
        {{"head: silent server", server.Port(), 300ms, 0},
         TServedFile::Of(image).Failing(TServeFault::StallBeforeHeaders)},
        {{"head: a line every 10 s", server.Port(), 300ms, 0},
         TServedFile::Of(image).TrickledHeaders(10s)},
        {{"body: stalled after 100 kB", server.Port(), 0ms, 100'000},
         TServedFile::Of(image).Failing(TServeFault::StallMidBody, 100'000)},
        {{"body: 20 kB/s", server.Port(), 0ms, 100'000}, TServedFile::Of(image).Slowly(1024, 50ms)},
    };

    std::printf("%d runs per phase; time from Cancel to the dialog hidden, in ms\n", runs);
    bool ok = true;
    for (const TCase& c : cases) {
        server.Serve("/qor-7316-a.bin", c.File);
        std::vector<double> times;
        for (int run = 0; run < runs; ++run) {
            const double ms = CancelToClose(c.Phase, settings, protection);
            if (ms < 0) {
                ok = false;
                break;
            }
            times.push_back(ms);
        }
        if (times.empty()) {
            continue;
        }
        std::sort(times.begin(), times.end());
        std::printf("%-28s median %7.2f  max %7.2f\n", c.Phase.Name, times[times.size() / 2],
                    times.back());
    }
    return ok ? 0 : 1;
}
