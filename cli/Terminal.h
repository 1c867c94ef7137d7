// The console the program runs in: whether standard output is a terminal, text in UTF-8, and
// the user's ways of stopping the program (Ctrl+C; SIGTERM, or Ctrl+Break and closing the
// console window on Windows) turned into a request to stop between two exchanges.
#pragma once

#include <cstddef>

namespace qor::cli {

// Whether standard output is a terminal.
bool StdoutIsTerminal();

struct TTerminalSize {
    std::size_t Columns = 80;
    std::size_t Rows = 24;
};
// The size of the terminal on standard output; 80 x 24 when it cannot be had.
TTerminalSize StdoutTerminalSize();

// Whether the terminal on standard output moves its cursor and clears lines on the ANSI
// sequences, which the lines of several devices are redrawn in place with. Where the console
// has to be asked to understand them, it is, and it gets its own mode back when the program
// ends; where it cannot, the program writes plain lines instead.
bool PrepareCursorMoves();

// Makes the console show the UTF-8 the program writes, and keeps a closed output pipe from
// ending the program. Whatever it changes in a console it shares with others is changed back
// when the program ends.
void PrepareConsole();

// From now on the user's ways of stopping set the flag that StopRequested reads, instead of
// ending the program in the middle of an exchange.
void CatchStopSignals();
bool StopRequested();
// Those ways in words, for the help text: "Ctrl+C, SIGTERM".
const char* StopRequestNames();

} // namespace qor::cli
