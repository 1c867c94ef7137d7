#include <windows.h>

#include "platform/SystemInfo.h"

namespace qor {
namespace {

// The real version: GetVersionEx answers with what the program's manifest claims to know.
using TRtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);

} // namespace

std::string SystemDescription() {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    const auto getVersion = ntdll == nullptr
                                ? nullptr
                                : reinterpret_cast<TRtlGetVersion>(reinterpret_cast<void (*)()>(
                                      ::GetProcAddress(ntdll, "RtlGetVersion")));
    if (getVersion == nullptr || getVersion(&info) != 0) {
        return "Windows";
    }
    return "Windows " + std::to_string(info.dwMajorVersion) + "." +
           std::to_string(info.dwMinorVersion) + "." + std::to_string(info.dwBuildNumber);
}

} // namespace qor
