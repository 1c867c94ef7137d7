// How an update ended, as one number: the code the command line exits with, which the service
// records of both programs keep, so that a collector sorts the window's records and the
// command line's alike.
#pragma once

#include "device/UpdateSession.h"

namespace qor {

inline constexpr int UpdateExitSuccess = 0;
inline constexpr int UpdateExitDoesNotFit = 4;
inline constexpr int UpdateExitChecksumsDiffer = 5;
inline constexpr int UpdateExitStopped = 7;
// Plus the failure exit: 10 the begin request ... 16 reading the firmware version.
inline constexpr int UpdateExitFailedBase = 10;

int UpdateExitCode(const TUpdateOutcome& outcome);

} // namespace qor
