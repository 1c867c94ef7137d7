#include <sys/ioctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

#include "cli/Terminal.h"

namespace qor::cli {

bool StdoutIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

TTerminalSize StdoutTerminalSize() {
    TTerminalSize size;
    winsize window{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &window) == 0 && window.ws_col > 0 &&
        window.ws_row > 0) {
        size.Columns = window.ws_col;
        size.Rows = window.ws_row;
    }
    return size;
}

bool PrepareCursorMoves() {
    // The terminals of today all take them; the one that says it does not is believed.
    const char* term = std::getenv("TERM");
    return StdoutIsTerminal() && (term == nullptr || std::strcmp(term, "dumb") != 0);
}

void PrepareConsole() {
    // Terminals take UTF-8 as it comes. A reader of our output that goes away (a script's pipe
    // closed early) must not end the program in the middle of an update: writes just fail.
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace qor::cli
