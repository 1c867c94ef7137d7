#include <unistd.h>

#include "cli/Terminal.h"

namespace qor::cli {

bool StdoutIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

void PrepareConsole() {
    // Terminals take UTF-8 as it comes.
}

} // namespace qor::cli
