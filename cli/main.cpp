// The product's command line: the system's device port, the user's settings and HTTP client.

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "app/ServiceReport.h"
#include "cli/CommandLine.h"
#include "cli/Terminal.h"
#include "device/SystemPort.h"
#include "platform/UserServices.h"

int main(int argc, char** argv) {
    using namespace qor;
    cli::PrepareConsole();
    cli::CatchStopSignals();
    const std::vector<std::string> args(argv + 1, argv + argc);
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
                               [](const char* name) -> std::optional<std::string> {
                                   const char* value = std::getenv(name);
                                   return value ? std::optional<std::string>(value) : std::nullopt;
                               },
                               std::cout,
                               std::cerr,
                               cli::StdoutIsTerminal()};
    return cli::RunCommandLine(args, services);
}
