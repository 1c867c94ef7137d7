#include <windows.h>

#include <atomic>

#include "cli/Terminal.h"

namespace qor::cli {
namespace {

// The system ends the process once the handler of a closed console returns, and after five
// seconds at the latest: the run has this long to stop at its next block and record it.
constexpr DWORD CloseGraceMs = 4500;

std::atomic<bool> Stop{false};

// Called on a thread of its own; the run looks at the flag between two exchanges.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        Stop = true;
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        Stop = true;
        // The program's own end, once the run has stopped, ends this wait with the process.
        ::Sleep(CloseGraceMs);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

void CatchStopSignals() {
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool StopRequested() {
    return Stop;
}

const char* StopRequestNames() {
    return "Ctrl+C, Ctrl+Break, closing the console window";
}

} // namespace qor::cli
