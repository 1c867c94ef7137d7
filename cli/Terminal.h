// The console the program runs in: whether standard output is a terminal, text in UTF-8, and
// the user's ways of stopping the program (Ctrl+C; SIGTERM, or Ctrl+Break and closing the
// console window on Windows) turned into a request to stop between two exchanges.
#pragma once

namespace qor::cli {

// Whether standard output is a terminal.
bool StdoutIsTerminal();

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
