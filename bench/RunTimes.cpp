// One run of a command seen from outside: its wall time, the CPU time of all its threads and
// the largest resident memory it reached, as the kernel counts them for the finished process
// (microseconds, not the 10 ms steps of time(1)). The command's output goes to /dev/null.
//   run_times PROGRAM [ARGS...]
// prints "wall_us cpu_us user_us sys_us max_resident_kb exit_status".
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace {

long long Microseconds(const timeval& t) {
    return static_cast<long long>(t.tv_sec) * 1'000'000 + t.tv_usec;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: run_times PROGRAM [ARGS...]\n", stderr);
        return 2;
    }
    const auto started = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) {
        std::perror("run_times");
        return 1;
    }
    const auto wall = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - started);
    const long long user = Microseconds(usage.ru_utime);
    const long long sys = Microseconds(usage.ru_stime);
    std::printf("%lld %lld %lld %lld %ld %d\n", static_cast<long long>(wall.count()), user + sys,
                user, sys, usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return 0;
}
