// The console the program runs in: whether standard output is a terminal, text in UTF-8, and
// Ctrl+C or SIGTERM turned into a request to stop between two exchanges.
#pragma once

namespace qor::cli {

// Whether standard output is a terminal.
bool StdoutIsTerminal();

// Makes the console show the UTF-8 the program writes, and keeps a closed output pipe from
// ending the program.
void PrepareConsole();

// From now on Ctrl+C and SIGTERM set the flag that StopRequested reads, instead of ending the
// program in the middle of an exchange.
void CatchStopSignals();
bool StopRequested();

} // namespace qor::cli
