#include "cli/CommandLine.h"

#include "cli/CliOptions.h"
#include "cli/CommandContext.h"
#include "cli/DownloadCommand.h"
#include "cli/ExitCodes.h"
#include "cli/FlashAllCommand.h"
#include "cli/FlashCommand.h"
#include "cli/InfoCommand.h"
#include "cli/ListCommand.h"
#include "cli/PowerOffCommand.h"
#include "cli/Reporter.h"

namespace qor::cli {
namespace {

// Runs the command the options name, each with the run's shared part, and returns its exit
// code after reporting its result.
int RunCommand(const TCliOptions& options, TCliServices& services, IReporter& report) {
    TCommandContext context(options, services, report);
    switch (options.Command) {
    case TCommand::List:
        return TListCommand(context).Run();
    case TCommand::Info:
        return TInfoCommand(context).Run();
    case TCommand::Flash:
        return options.All ? TFlashAllCommand(context).Run() : TFlashCommand(context).Run();
    case TCommand::Download:
        return TDownloadCommand(context).Run();
    case TCommand::PowerOff:
        return TPowerOffCommand(context).Run();
    case TCommand::Help:
        break;
    }
    return ExitCode(TExit::Usage);
}

} // namespace

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
    return RunCommand(*options, services, *report);
}

} // namespace qor::cli
