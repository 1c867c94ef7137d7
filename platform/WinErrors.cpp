#include "platform/WinErrors.h"

#include <windows.h>

#include "platform/WinHandles.h"
#include "platform/WinText.h"

namespace qor::win {

std::string ErrorText(const std::string& what, std::uint32_t code, const wchar_t* module) {
    const HMODULE source = module != nullptr ? ::GetModuleHandleW(module) : nullptr;
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
            (source != nullptr ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM),
        source, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const TLocalMemory<wchar_t> owner(buffer);
    std::string message = buffer != nullptr ? Narrow({buffer, length}) : std::string();
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
