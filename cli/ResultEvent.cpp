#include "cli/ResultEvent.h"

#include "cli/ExitCodes.h"

namespace qor::cli {

int ReportResult(IReporter& report, int exit, TEvent event) {
    TJsonObject fields;
    fields.Add("exit", exit).Add("outcome", OutcomeName(exit)).Merge(event.Fields);
    event.Name = "result";
    event.Fields = std::move(fields);
    event.Problem = exit != ExitCode(TExit::Success);
    report.Event(event);
    return exit;
}

} // namespace qor::cli
