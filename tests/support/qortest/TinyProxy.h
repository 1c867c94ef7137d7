// A real tinyproxy with Basic authentication, started for a test on a free loopback port
// and stopped when the object goes away.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace qor::test {

class TTinyProxy {
public:
    TTinyProxy() = default;
    ~TTinyProxy();
    TTinyProxy(const TTinyProxy&) = delete;
    TTinyProxy& operator=(const TTinyProxy&) = delete;

    // The tinyproxy program on PATH, or empty when it is not installed.
    static std::string Executable();

    // Starts it requiring `user` and `password`; false with the reason in `error`.
    bool Start(const std::string& user, const std::string& password, std::string& error);
    std::uint16_t Port() const { return ListenPort; }
    // What tinyproxy logged, for failure messages.
    std::string Log() const;

private:
    void Stop();
    pid_t Pid = -1;
    std::uint16_t ListenPort = 0;
    std::string Directory;
};

} // namespace qor::test
