#include "cli/CommandLine.h"

#include "cli/CliOptions.h"
#include "cli/CommandRun.h"
#include "cli/ExitCodes.h"
#include "cli/Reporter.h"

namespace qor::cli {

int RunCommandLine(std::span<const std::string> args, TCliServices& services) {
    const auto options = ParseCommandLine(args);
    if (!options) {
        const int exit = ExitCode(TExit::Usage);
        const std::string& message = options.Error().Message;
        if (AsksForJson(args)) {
            TEvent event{"result", {message}, {}, true};
            event.Fields.Add("exit", exit).Add("outcome", OutcomeName(exit));
            MakeJsonReporter(services.Out)->Event(event);
        } else {
            services.Err << services.ProgramName << ": " << message << "\n"
                         << "Try '" << services.ProgramName << " --help'.\n";
        }
        return exit;
    }
    if (options->Command == TCommand::Help) {
        services.Out << HelpText(services.ProgramName);
        return ExitCode(TExit::Success);
    }
    const std::unique_ptr<IReporter> report =
        options->Json ? MakeJsonReporter(services.Out)
                      : MakeTextReporter(services.Out, services.Err, services.Terminal);
    TCommandRun run(*options, services, *report);
    return run.Run();
}

} // namespace qor::cli
