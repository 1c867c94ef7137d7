#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

#include "platform/UserServices.h"

namespace qor {
namespace {

constexpr const char* ConfigHomeVariable = "XDG_CONFIG_HOME";
constexpr const char* HomeVariable = "HOME";
constexpr const char* DefaultConfigSubdir = "/.config";
constexpr const char* StateHomeVariable = "XDG_STATE_HOME";
constexpr const char* DefaultStateSubdir = "/.local/state";
constexpr std::size_t PasswdBufferSize = 16384;

bool IsAbsolute(const char* path) {
    return path != nullptr && path[0] == '/';
}

std::optional<std::string> HomeDirectory() {
    const char* home = std::getenv(HomeVariable);
    if (IsAbsolute(home)) {
        return std::string(home);
    }
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(PasswdBufferSize);
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && IsAbsolute(found->pw_dir)) {
        return std::string(found->pw_dir);
    }
    return std::nullopt;
}

// An XDG base directory: the variable's value, else the default below the home directory.
// Relative values are to be ignored, as the XDG base directory rules say.
std::optional<std::string> XdgDirectory(const char* variable, const char* defaultSubdir) {
    const char* value = std::getenv(variable);
    if (IsAbsolute(value)) {
        return std::string(value);
    }
    const auto home = HomeDirectory();
    if (!home) {
        return std::nullopt;
    }
    return *home + defaultSubdir;
}

} // namespace

std::optional<std::string> UserConfigDirectory() {
    return XdgDirectory(ConfigHomeVariable, DefaultConfigSubdir);
}

std::optional<std::string> UserStateDirectory() {
    return XdgDirectory(StateHomeVariable, DefaultStateSubdir);
}

} // namespace qor
