// The system's own words for a Windows error code, for messages that carry context.
#pragma once

#include <cstdint>
#include <string>

namespace qor::win {

// "what: the system's message (error N)"; the message is left out when the system has none.
// `module` names a library whose own message table holds the code (WinINet's, say).
std::string ErrorText(const std::string& what, std::uint32_t code, const wchar_t* module = nullptr);
// The same for GetLastError().
std::string LastErrorText(const std::string& what);

} // namespace qor::win
