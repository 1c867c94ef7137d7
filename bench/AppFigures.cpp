// Figures of a running program seen from outside, in an X server (run it under xvfb-run):
// the time from starting it to its first window being mapped, its resident memory once up,
// and its CPU use while it sits idle. The program gets a fresh XDG_CONFIG_HOME, so the
// user's settings are neither read nor written.
//   app_figures startup RUNS PROGRAM [ARGS...]
//   app_figures idle SECONDS PROGRAM [ARGS...]
#include <xcb/xcb.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto MapDeadline = std::chrono::seconds(20);
constexpr auto SettleTime = std::chrono::seconds(3);

// xcb hands out replies and events from malloc.
struct TFreeDeleter {
    void operator()(void* p) const {
        std::free(p); // NOLINT(cppcoreguidelines-no-malloc,cppcoreguidelines-owning-memory)
    }
};
using TEvent = std::unique_ptr<xcb_generic_event_t, TFreeDeleter>;

TEvent NextEvent(xcb_connection_t* x) {
    return TEvent(xcb_poll_for_event(x));
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Waits for the first top-level window mapped on the screen; its time, or nullopt.
std::optional<Clock::time_point> WaitForMap(xcb_connection_t* x) {
    const auto deadline = Clock::now() + MapDeadline;
    pollfd fd{xcb_get_file_descriptor(x), POLLIN, 0};
    while (Clock::now() < deadline) {
        while (const TEvent event = NextEvent(x)) {
            if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY &&
                reinterpret_cast<const xcb_map_notify_event_t*>(event.get())->override_redirect ==
                    0) {
                return Clock::now();
            }
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        poll(&fd, 1, static_cast<int>(std::max<long long>(1, left.count())));
    }
    return std::nullopt;
}

// Drops the events of earlier runs (a program with two windows maps both) after a round trip.
void Drain(xcb_connection_t* x) {
    const std::unique_ptr<xcb_get_input_focus_reply_t, TFreeDeleter> reply(
        xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr));
    while (NextEvent(x)) {
    }
}

struct TChild {
    pid_t Pid = -1;
    Clock::time_point Started;
};

TChild Start(char** argv, const std::string& configHome) {
    TChild child;
    child.Started = Clock::now();
    child.Pid = fork();
    if (child.Pid == 0) {
        setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
        execvp(argv[0], argv);
        _exit(127);
    }
    return child;
}

void Stop(const TChild& child) {
    kill(child.Pid, SIGTERM);
    int status = 0;
    waitpid(child.Pid, &status, 0);
}

// A field of /proc/PID/status in kB.
long StatusKb(pid_t pid, const std::string& name) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(name + ":", 0) == 0) {
            return std::atol(line.c_str() + name.size() + 1);
        }
    }
    return -1;
}

// The time the process's threads have been on a CPU, in seconds: the scheduler's own count
// in nanoseconds. utime and stime come in 10 ms ticks, too coarse for a program that wakes
// ten times a second and does little.
double CpuSeconds(pid_t pid) {
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    long long nanoseconds = 0;
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
        std::ifstream in(task.path() / "schedstat");
        long long onCpu = 0;
        if (in >> onCpu) {
            nanoseconds += onCpu;
        }
    }
    return static_cast<double>(nanoseconds) / 1e9;
}

int Usage() {
    std::fputs("usage: app_figures startup RUNS PROGRAM [ARGS...]\n"
               "       app_figures idle SECONDS PROGRAM [ARGS...]\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        return Usage();
    }
    const std::string mode = argv[1];
    const int count = std::max(1, std::atoi(argv[2]));
    char** program = argv + 3;

    xcb_connection_t* x = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x) != 0) {
        std::fputs("app_figures: no X server (run it under xvfb-run)\n", stderr);
        return 1;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x, root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(x);

    char dir[] = "/tmp/app-figures-XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        return 1;
    }

    if (mode == "startup") {
        std::vector<double> times;
        for (int run = 0; run < count; ++run) {
            Drain(x);
            const TChild child = Start(program, dir);
            const auto mapped = WaitForMap(x);
            if (!mapped) {
                std::fprintf(stderr, "run %d: no window within the deadline\n", run + 1);
                Stop(child);
                return 1;
            }
            times.push_back(Ms(*mapped - child.Started));
            std::this_thread::sleep_for(std::chrono::seconds(2));
            std::printf("run %d: first window after %.1f ms; resident %ld kB (peak %ld kB)\n",
                        run + 1, times.back(), StatusKb(child.Pid, "VmRSS"),
                        StatusKb(child.Pid, "VmHWM"));
            Stop(child);
        }
        std::sort(times.begin(), times.end());
        std::printf("start-up to first window: median %.1f ms, min %.1f, max %.1f "
                    "(target < 300 ms)\n",
                    times[times.size() / 2], times.front(), times.back());
    } else if (mode == "idle") {
        const TChild child = Start(program, dir);
        if (!WaitForMap(x)) {
            Stop(child);
            return 1;
        }
        std::this_thread::sleep_for(SettleTime);
        const double before = CpuSeconds(child.Pid);
        const auto from = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(count));
        const double after = CpuSeconds(child.Pid);
        const double seconds = Ms(Clock::now() - from) / 1000.0;
        const double cpu = after - before;
        std::printf("idle over %.1f s: %.3f s of CPU = %.3f%% of one core (target < 1%%); "
                    "resident %ld kB\n",
                    seconds, cpu, 100.0 * cpu / seconds, StatusKb(child.Pid, "VmRSS"));
        Stop(child);
    } else {
        return Usage();
    }
    xcb_disconnect(x);
    std::string cleanup = std::string("rm -rf '") + dir + "'";
    return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}
