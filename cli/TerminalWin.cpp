#include <windows.h>

#include <io.h>

#include <cstdio>

#include "cli/Terminal.h"

namespace qor::cli {

bool StdoutIsTerminal() {
    return ::_isatty(::_fileno(stdout)) != 0;
}

void PrepareConsole() {
    ::SetConsoleOutputCP(CP_UTF8);
}

} // namespace qor::cli
