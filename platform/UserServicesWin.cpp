#include <windows.h>

#include <shlobj.h>

#include "platform/UserServices.h"
#include "platform/WinText.h"

namespace qor {

namespace {

std::optional<std::string> KnownFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) {
        return std::nullopt;
    }
    return win::Narrow(path);
}

} // namespace

std::optional<std::string> UserConfigDirectory() {
    // The user's roaming application data; the settings themselves are in the registry.
    return KnownFolder(CSIDL_APPDATA);
}

std::optional<std::string> UserStateDirectory() {
    return KnownFolder(CSIDL_LOCAL_APPDATA);
}

} // namespace qor
