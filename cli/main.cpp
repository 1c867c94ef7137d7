// The product's command line: the system's device port, the user's settings and HTTP client.

#include <iostream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/Terminal.h"
#include "device/SystemPort.h"
#include "flow/ServiceLogRecorder.h"
#include "platform/ProgramInput.h"
#include "secrets/UserDataProtection.h"
#include "settings/UserRegistryStore.h"

int main(int argc, char** argv) {
    using namespace qor;
    cli::PrepareConsole();
    cli::CatchStopSignals();
    const std::vector<std::string> args = ProgramArguments(argc, argv);
    const auto port = CreateSystemPort();
    const auto clock = cli::MakeSteadyClock();
    const auto registry = MakeUserRegistryStore();
    const auto protection = MakeUserDataProtection();
    const auto fetch = cli::MakeFirmwareFetch(*protection);
    TServiceLogRecorder record(UserServiceLog());
    cli::TCliServices services{*port,
                               *clock,
                               *registry,
                               *fetch,
                               record,
                               cli::StopRequested,
                               cli::ProcessEnvironment,
                               std::cout,
                               std::cerr,
                               cli::StdoutIsTerminal()};
    services.InPlaceLines = services.Terminal && cli::PrepareCursorMoves();
    const cli::TTerminalSize size = cli::StdoutTerminalSize();
    services.TerminalColumns = size.Columns;
    services.TerminalRows = size.Rows;
    return cli::RunCommandLine(args, services);
}
