#include <csignal>

#include <unistd.h>

#include "cli/Terminal.h"

namespace qor::cli {

bool StdoutIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

void PrepareConsole() {
    // Terminals take UTF-8 as it comes. A reader of our output that goes away (a script's pipe
    // closed early) must not end the program in the middle of an update: writes just fail.
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace qor::cli
