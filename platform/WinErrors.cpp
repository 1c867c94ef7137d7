#include "platform/WinErrors.h"

#include <windows.h>

#include "platform/WinHandles.h"

namespace qor::win {

std::string ErrorText(const std::string& what, std::uint32_t code) {
    char* buffer = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    const TLocalMemory<char> owner(buffer);
    std::string message(buffer != nullptr ? buffer : "", length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    std::string text = what + ": ";
    if (!message.empty()) {
        text += message + " ";
    }
    return text + "(error " + std::to_string(code) + ")";
}

std::string LastErrorText(const std::string& what) {
    return ErrorText(what, ::GetLastError());
}

} // namespace qor::win
