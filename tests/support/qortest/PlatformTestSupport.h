// Helpers for the platform tests: a scratch directory, whole-file access, and a way to be
// subject to file permissions even when the tests run as root.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "qortest/Environment.h"
#include "qortest/PermissionsApply.h"
#include "qortest/ScratchDir.h"

namespace qor::test {

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

inline bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// The permission bits, or -1 when there is nothing at `path`.
inline int ModeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

// Sets the process umask for one test and restores it.
class TUmask {
public:
    explicit TUmask(mode_t mask) : Old(::umask(mask)) {}
    TUmask(const TUmask&) = delete;
    TUmask& operator=(const TUmask&) = delete;
    ~TUmask() { ::umask(Old); }

private:
    mode_t Old;
};

} // namespace qor::test
