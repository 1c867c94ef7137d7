// The command line of the test build: the product's program over the devices that the
// environment lays out (see SimScenario.h), never over real ones. The download goes to
// QOR_SIM_SERVER ("host:port") when it is set.

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "SimScenario.h"
#include "cli/CommandLine.h"
#include "cli/Terminal.h"
#include "flow/ServiceLogRecorder.h"
#include "secrets/UserDataProtection.h"
#include "settings/UserRegistryStore.h"

int main(int argc, char** argv) {
    using namespace qor;
    cli::PrepareConsole();
    cli::CatchStopSignals();
    std::string error;
    const auto scenario = test::MakeSimScenario(error);
    if (!scenario) {
        std::cerr << "qor7316-update-sim: " << error << "\n";
        return 125;
    }
    TDownloadServer server;
    if (const char* address = std::getenv("QOR_SIM_SERVER")) {
        const std::string text = address;
        const std::size_t colon = text.rfind(':');
        server = TDownloadServer{text.substr(0, colon),
                                 static_cast<std::uint16_t>(std::atoi(text.c_str() + colon + 1))};
    }
    const std::vector<std::string> args(argv + 1, argv + argc);
    const auto clock = cli::MakeSteadyClock();
    const auto registry = MakeUserRegistryStore();
    const auto protection = MakeUserDataProtection();
    const auto fetch = cli::MakeFirmwareFetch(*protection, server);
    // The test build keeps its records where its environment's state home says.
    TServiceLogRecorder record(UserServiceLog());
    cli::TCliServices services{scenario->Port(),
                               *clock,
                               *registry,
                               *fetch,
                               record,
                               cli::StopRequested,
                               cli::ProcessEnvironment,
                               std::cout,
                               std::cerr,
                               cli::StdoutIsTerminal(),
                               "qor7316-update-sim"};
    services.InPlaceLines = services.Terminal && cli::PrepareCursorMoves();
    const cli::TTerminalSize size = cli::StdoutTerminalSize();
    services.TerminalColumns = size.Columns;
    services.TerminalRows = size.Rows;
    const int exit = cli::RunCommandLine(args, services);
    scenario->Finish();
    return exit;
}
