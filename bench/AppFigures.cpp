// Figures of a running program seen from outside, in an X server (run it under xvfb-run):
// the time from starting it to its first window being mapped and to that window's first
// paint, its resident memory once up, and its CPU use while it sits idle. Given a reference program
// after --against, the two are measured side by side: start-ups alternate run by run, and both sit
// idle over the same seconds, so a noisy machine weighs on both alike and their ratio holds. The
// programs get a fresh XDG_CONFIG_HOME, so the user's settings are neither read nor written.
//   app_figures startup RUNS PROGRAM [ARGS...] [--against REFERENCE [ARGS...]]
//   app_figures idle SECONDS PROGRAM [ARGS...] [--against REFERENCE [ARGS...]]
#include <xcb/xcb.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto MapDeadline = std::chrono::seconds(20);
constexpr auto SettleTime = std::chrono::seconds(3);
// Resident memory is read this long after the window appeared: its first paint is done.
constexpr auto ShownTime = std::chrono::seconds(2);
constexpr const char* AgainstOption = "--against";
// The side of the square at a window's centre watched for its first paint, and how often.
constexpr std::uint16_t PaintPatch = 32;
constexpr auto PaintPoll = std::chrono::milliseconds(1);

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

struct TMapped {
    Clock::time_point At;
    xcb_window_t Window = 0;
};

// Waits for the first top-level window mapped on the screen, or nullopt.
std::optional<TMapped> WaitForMap(xcb_connection_t* x) {
    const auto deadline = Clock::now() + MapDeadline;
    pollfd fd{xcb_get_file_descriptor(x), POLLIN, 0};
    while (Clock::now() < deadline) {
        while (const TEvent event = NextEvent(x)) {
            const auto* map = reinterpret_cast<const xcb_map_notify_event_t*>(event.get());
            if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY && map->override_redirect == 0) {
                return TMapped{Clock::now(), map->window};
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

// The pixels of a part of the screen as the server shows them.
std::vector<std::uint8_t> ScreenPixels(xcb_connection_t* x, xcb_window_t root, std::int16_t left,
                                       std::int16_t top, std::uint16_t width,
                                       std::uint16_t height) {
    const std::unique_ptr<xcb_get_image_reply_t, TFreeDeleter> image(xcb_get_image_reply(
        x, xcb_get_image(x, XCB_IMAGE_FORMAT_Z_PIXMAP, root, left, top, width, height, ~0U),
        nullptr));
    if (!image) {
        return {};
    }
    const std::uint8_t* data = xcb_get_image_data(image.get());
    return {data, data + xcb_get_image_data_length(image.get())};
}

// Waits for the first paint of a mapped window: a window without a background of its own
// (as Qt makes them) shows the screen beneath it until the program draws, so the first
// change of a patch at its centre from what the screen held there is the first paint.
std::optional<Clock::time_point> WaitForPaint(xcb_connection_t* x, xcb_window_t root,
                                              xcb_window_t window) {
    const std::unique_ptr<xcb_get_geometry_reply_t, TFreeDeleter> geometry(
        xcb_get_geometry_reply(x, xcb_get_geometry(x, window), nullptr));
    if (!geometry) {
        return std::nullopt;
    }
    const std::uint16_t side =
        std::min<std::uint16_t>(PaintPatch, std::min(geometry->width, geometry->height));
    const auto left = static_cast<std::int16_t>(geometry->x + (geometry->width - side) / 2);
    const auto top = static_cast<std::int16_t>(geometry->y + (geometry->height - side) / 2);
    const auto beneath = ScreenPixels(x, root, left, top, side, side);
    const auto deadline = Clock::now() + MapDeadline;
    while (Clock::now() < deadline) {
        const auto shown = ScreenPixels(x, root, left, top, side, side);
        if (shown != beneath) {
            return Clock::now();
        }
        std::this_thread::sleep_for(PaintPoll);
    }
    return std::nullopt;
}

// A program to measure: its command line and what was seen of it.
struct TSubject {
    std::string Name;
    std::vector<char*> Argv; // ends in nullptr
    std::vector<double> StartMs;
    std::vector<double> PaintMs;
    std::vector<double> ResidentKb;
};

struct TChild {
    pid_t Pid = -1;
    Clock::time_point Started;
};

TChild Start(const TSubject& subject, const std::string& configHome) {
    TChild child;
    child.Started = Clock::now();
    child.Pid = fork();
    if (child.Pid == 0) {
        setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
        execvp(subject.Argv[0], subject.Argv.data());
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

// Resident memory and what it is made of: private heap and stacks (anon), mapped files
// (libraries, fonts) and shared memory (the X server's images).
std::string ResidentParts(pid_t pid) {
    char text[160];
    std::snprintf(text, sizeof text, "resident %ld kB (anon %ld, file %ld, shmem %ld; peak %ld)",
                  StatusKb(pid, "VmRSS"), StatusKb(pid, "RssAnon"), StatusKb(pid, "RssFile"),
                  StatusKb(pid, "RssShmem"), StatusKb(pid, "VmHWM"));
    return text;
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

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The program and, after --against, the reference.
std::vector<TSubject> Subjects(int argc, char** argv) {
    std::vector<TSubject> subjects(1);
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], AgainstOption) == 0 && subjects.size() == 1) {
            subjects.emplace_back();
            continue;
        }
        subjects.back().Argv.push_back(argv[i]);
    }
    for (TSubject& subject : subjects) {
        if (subject.Argv.empty()) {
            return {};
        }
        subject.Name = std::filesystem::path(subject.Argv[0]).filename().string();
        subject.Argv.push_back(nullptr);
    }
    return subjects;
}

bool StartUps(xcb_connection_t* x, xcb_window_t root, std::vector<TSubject>& subjects, int runs,
              const std::string& configHome) {
    for (int run = 0; run < runs; ++run) {
        for (TSubject& subject : subjects) {
            Drain(x);
            const TChild child = Start(subject, configHome);
            const auto mapped = WaitForMap(x);
            if (!mapped) {
                std::fprintf(stderr, "run %d of %s: no window within the deadline\n", run + 1,
                             subject.Name.c_str());
                Stop(child);
                return false;
            }
            const auto painted = WaitForPaint(x, root, mapped->Window);
            if (!painted) {
                std::fprintf(stderr, "run %d of %s: the window stayed unpainted\n", run + 1,
                             subject.Name.c_str());
                Stop(child);
                return false;
            }
            subject.StartMs.push_back(Ms(mapped->At - child.Started));
            subject.PaintMs.push_back(Ms(*painted - child.Started));
            std::this_thread::sleep_until(mapped->At + ShownTime);
            subject.ResidentKb.push_back(static_cast<double>(StatusKb(child.Pid, "VmRSS")));
            std::printf("run %d: %s first window after %.1f ms, painted after %.1f ms; %s\n",
                        run + 1, subject.Name.c_str(), subject.StartMs.back(),
                        subject.PaintMs.back(), ResidentParts(child.Pid).c_str());
            Stop(child);
        }
    }
    for (const TSubject& subject : subjects) {
        std::printf("%s: start-up to first window median %.1f ms (min %.1f, max %.1f), "
                    "to its first paint %.1f ms; resident once shown median %.0f kB\n",
                    subject.Name.c_str(), Median(subject.StartMs),
                    *std::min_element(subject.StartMs.begin(), subject.StartMs.end()),
                    *std::max_element(subject.StartMs.begin(), subject.StartMs.end()),
                    Median(subject.PaintMs), Median(subject.ResidentKb));
    }
    if (subjects.size() == 2) {
        std::printf("ratio %s / %s: start-up %.2fx (to first paint %.2fx), resident %.2fx\n",
                    subjects[0].Name.c_str(), subjects[1].Name.c_str(),
                    Median(subjects[0].StartMs) / Median(subjects[1].StartMs),
                    Median(subjects[0].PaintMs) / Median(subjects[1].PaintMs),
                    Median(subjects[0].ResidentKb) / Median(subjects[1].ResidentKb));
    }
    return true;
}

bool Idle(xcb_connection_t* x, const std::vector<TSubject>& subjects, int seconds,
          const std::string& configHome) {
    std::vector<TChild> children;
    bool shown = true;
    for (const TSubject& subject : subjects) {
        Drain(x);
        children.push_back(Start(subject, configHome));
        shown = shown && WaitForMap(x).has_value();
    }
    if (shown) {
        std::this_thread::sleep_for(SettleTime);
        std::vector<double> before(children.size());
        std::transform(children.begin(), children.end(), before.begin(),
                       [](const TChild& child) { return CpuSeconds(child.Pid); });
        const auto from = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        const double elapsed = Ms(Clock::now() - from) / 1000.0;
        std::vector<double> share;
        for (std::size_t i = 0; i < children.size(); ++i) {
            const double cpu = CpuSeconds(children[i].Pid) - before[i];
            share.push_back(100.0 * cpu / elapsed);
            std::printf("%s idle over %.1f s: %.3f s of CPU = %.3f%% of one core "
                        "(target < 1%%); %s\n",
                        subjects[i].Name.c_str(), elapsed, cpu, share.back(),
                        ResidentParts(children[i].Pid).c_str());
        }
        if (share.size() == 2 && share[1] > 0) {
            std::printf("ratio %s / %s: idle CPU %.2fx\n", subjects[0].Name.c_str(),
                        subjects[1].Name.c_str(), share[0] / share[1]);
        }
    }
    for (const TChild& child : children) {
        Stop(child);
    }
    return shown;
}

int Usage() {
    std::fputs("usage: app_figures startup RUNS PROGRAM [ARGS...] [--against REFERENCE...]\n"
               "       app_figures idle SECONDS PROGRAM [ARGS...] [--against REFERENCE...]\n",
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
    std::vector<TSubject> subjects = Subjects(argc - 3, argv + 3);
    if (subjects.empty() || (mode != "startup" && mode != "idle")) {
        return Usage();
    }

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
    const bool done =
        mode == "startup" ? StartUps(x, root, subjects, count, dir) : Idle(x, subjects, count, dir);
    xcb_disconnect(x);
    std::error_code error;
    std::filesystem::remove_all(dir, error);
    return done ? 0 : 1;
}
