#include <windows.h>

#include <shellapi.h>

#include "platform/ProgramInput.h"
#include "platform/WinHandles.h"
#include "platform/WinText.h"

namespace qor {

std::vector<std::string> ProgramArguments(int /*argc*/, char** /*argv*/) {
    int count = 0;
    wchar_t** words = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    const win::TLocalMemory<wchar_t*> owner(words);
    std::vector<std::string> arguments;
    for (int i = 1; words != nullptr && i < count; ++i) {
        arguments.push_back(win::Narrow(words[i]));
    }
    return arguments;
}

std::optional<std::string> EnvironmentValue(const char* name) {
    const std::wstring wideName = win::Widen(name);
    std::wstring value;
    // The variable may change between asking for its size and reading it.
    for (DWORD size = 0;;) {
        ::SetLastError(ERROR_SUCCESS);
        const DWORD length = ::GetEnvironmentVariableW(wideName.c_str(), value.data(), size);
        if (length == 0) {
            if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
                return std::nullopt;
            }
            return std::string(); // set, and empty
        }
        if (length < size) {
            value.resize(length);
            return win::Narrow(value);
        }
        size = length; // the room it needs, its terminating zero included
        value.assign(size, L'\0');
    }
}

} // namespace qor
