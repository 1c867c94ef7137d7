#include "qortest/TinyProxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace qor::test {
namespace {

constexpr auto StartTimeout = std::chrono::seconds(10);

int LoopbackSocket() {
    return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
}

sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

// A port nobody listens on right now; tinyproxy is told to take it.
std::uint16_t FreePort() {
    const int fd = LoopbackSocket();
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    std::uint16_t port = 0;
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    if (fd >= 0) {
        close(fd);
    }
    return port;
}

bool Accepts(std::uint16_t port) {
    const int fd = LoopbackSocket();
    if (fd < 0) {
        return false;
    }
    const sockaddr_in address = Loopback(port);
    const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

} // namespace

TTinyProxy::~TTinyProxy() {
    Stop();
    if (!Directory.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(Directory, ignored);
    }
}

std::string TTinyProxy::Executable() {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path != nullptr ? path : "/usr/bin:/usr/sbin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        std::string candidate = dir + "/tinyproxy";
        if (access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return {};
}

bool TTinyProxy::Start(const std::string& user, const std::string& password, std::string& error) {
    const std::string program = Executable();
    if (program.empty()) {
        error = "tinyproxy is not installed";
        return false;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "qor-tinyproxy-XXXXXX");
    if (mkdtemp(pattern.data()) == nullptr) {
        error = "cannot create a directory for tinyproxy";
        return false;
    }
    Directory = pattern;
    const std::string config = Directory + "/tinyproxy.conf";

    ListenPort = FreePort();
    {
        std::ofstream out(config);
        out << "Port " << ListenPort << "\n"
            << "Listen 127.0.0.1\n"
            << "Timeout 30\n"
            << "MaxClients 8\n"
            << "LogLevel Info\n"
            << "LogFile \"" << Directory << "/tinyproxy.log\"\n"
            << "Allow 127.0.0.1\n"
            << "DisableViaHeader Yes\n"
            << "BasicAuth " << user << " " << password << "\n";
    }
    Pid = fork();
    if (Pid == 0) {
        execl(program.c_str(), program.c_str(), "-d", "-c", config.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    if (Pid < 0) {
        error = "cannot start tinyproxy";
        return false;
    }
    // Ready once it accepts connections; waited for in short steps, never past the limit.
    const auto deadline = std::chrono::steady_clock::now() + StartTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(Pid, &status, WNOHANG) == Pid) {
            Pid = -1;
            error = "tinyproxy exited at start: " + Log();
            return false;
        }
        if (Accepts(ListenPort)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    error = "tinyproxy did not start listening: " + Log();
    Stop();
    return false;
}

std::string TTinyProxy::Log() const {
    std::ifstream in(Directory + "/tinyproxy.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void TTinyProxy::Stop() {
    if (Pid > 0) {
        kill(Pid, SIGTERM);
        int status = 0;
        waitpid(Pid, &status, 0);
        Pid = -1;
    }
}

} // namespace qor::test
