#include <windows.h>

#include <io.h>

#include <cstdio>
#include <cstdlib>

#include "cli/Terminal.h"

namespace qor::cli {
namespace {

// The console's code page and output mode before the program changed them; 0 when unchanged.
UINT FormerOutputCodePage = 0;
DWORD FormerOutputMode = 0;
bool OutputModeChanged = false;

// The console outlives the program (the user's command prompt keeps it): it gets its own
// code page and mode back.
void RestoreConsole() {
    if (FormerOutputCodePage != 0) {
        ::SetConsoleOutputCP(FormerOutputCodePage);
    }
    if (OutputModeChanged) {
        ::SetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), FormerOutputMode);
    }
}

void RestoreAtExit() {
    static const bool registered = std::atexit(RestoreConsole) == 0;
    (void)registered;
}

} // namespace

bool StdoutIsTerminal() {
    return ::_isatty(::_fileno(stdout)) != 0;
}

TTerminalSize StdoutTerminalSize() {
    TTerminalSize size;
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_OUTPUT_HANDLE), &info) != FALSE) {
        const SHORT columns = info.srWindow.Right - info.srWindow.Left + 1;
        const SHORT rows = info.srWindow.Bottom - info.srWindow.Top + 1;
        if (columns > 0 && rows > 0) {
            size.Columns = static_cast<std::size_t>(columns);
            size.Rows = static_cast<std::size_t>(rows);
        }
    }
    return size;
}

bool PrepareCursorMoves() {
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (!StdoutIsTerminal() || ::GetConsoleMode(out, &mode) == FALSE) {
        return false;
    }
    if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0) {
        return true;
    }
    // Consoles before Windows 10 refuse it: they get plain lines.
    if (::SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) == FALSE) {
        return false;
    }
    FormerOutputMode = mode;
    OutputModeChanged = true;
    RestoreAtExit();
    return true;
}

void PrepareConsole() {
    const UINT former = ::GetConsoleOutputCP();
    if (former == 0 || former == CP_UTF8 || ::SetConsoleOutputCP(CP_UTF8) == FALSE) {
        return;
    }
    FormerOutputCodePage = former;
    RestoreAtExit();
}

} // namespace qor::cli
