// Environment variables set for one test and put back after, so a test neither leaks its
// settings into the next nor drops the developer's own (a proxy, a config folder). POSIX only.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace qor::test {

// Sets an environment variable for one test and puts the old value back.
class TEnvironment {
public:
    TEnvironment(const char* name, const std::string& value) : Name(name) {
        if (const char* old = std::getenv(name)) {
            Old = old;
        }
        ::setenv(name, value.c_str(), 1);
    }
    TEnvironment(const TEnvironment&) = delete;
    TEnvironment& operator=(const TEnvironment&) = delete;
    ~TEnvironment() {
        if (Old) {
            ::setenv(Name, Old->c_str(), 1);
        } else {
            ::unsetenv(Name);
        }
    }

private:
    const char* Name;
    std::optional<std::string> Old;
};

} // namespace qor::test
