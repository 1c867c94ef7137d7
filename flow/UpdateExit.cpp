#include "flow/UpdateExit.h"

namespace qor {

int UpdateExitCode(const TUpdateOutcome& outcome) {
    switch (outcome.Result) {
    case TUpdateResult::Succeeded:
        return UpdateExitSuccess;
    case TUpdateResult::ChecksumsDiffer:
        return UpdateExitChecksumsDiffer;
    case TUpdateResult::Failed:
        return UpdateExitFailedBase + outcome.Failure->Exit();
    case TUpdateResult::Stopped:
        return UpdateExitStopped;
    case TUpdateResult::Refused:
        break;
    }
    return UpdateExitDoesNotFit;
}

} // namespace qor
