#include "cli/ResultEvent.h"

#include "cli/ExitCodes.h"

namespace qor::cli {

int ReportResult(IReporter& report, int exit, TEvent event, const char* outcome) {
    TJsonObject fields;
    fields.Add("exit", exit).Add("outcome", outcome != nullptr ? outcome : OutcomeName(exit));
    fields.Merge(event.Fields);
    event.Name = "result";
    event.Fields = std::move(fields);
    event.Problem = exit != ExitCode(TExit::Success);
    report.Event(event);
    return exit;
}

} // namespace qor::cli
