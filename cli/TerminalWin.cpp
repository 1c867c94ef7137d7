#include <windows.h>

#include <io.h>

#include <cstdio>
#include <cstdlib>

#include "cli/Terminal.h"

namespace qor::cli {
namespace {

// The console's code page before the program changed it; 0 when it has no console.
UINT FormerOutputCodePage = 0;

// The console outlives the program (the user's command prompt keeps it): it gets its own
// code page back.
void RestoreConsole() {
    if (FormerOutputCodePage != 0) {
        ::SetConsoleOutputCP(FormerOutputCodePage);
    }
}

} // namespace

bool StdoutIsTerminal() {
    return ::_isatty(::_fileno(stdout)) != 0;
}

void PrepareConsole() {
    const UINT former = ::GetConsoleOutputCP();
    if (former == 0 || former == CP_UTF8 || ::SetConsoleOutputCP(CP_UTF8) == FALSE) {
        return;
    }
    FormerOutputCodePage = former;
    std::atexit(RestoreConsole);
}

} // namespace qor::cli
