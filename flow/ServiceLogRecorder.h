// The service log as the updates' recorder: each finished update's record written to the log
// as text and as a JSON line, by the window and the command line alike.
#pragma once

#include <utility>

#include "base/Result.h"
#include "flow/ServiceLog.h"
#include "flow/ServiceRecord.h"

namespace qor {

// Writes the records of finished updates to a service log, as text and as JSON lines, one at a
// time: the log's file lock is taken through a descriptor of each append's own, so it keeps out
// other processes and the other threads of this one alike. A record that cannot be written does not
// hold the update up; the caller hears why.
class TServiceLogRecorder : public IServiceRecorder {
public:
    explicit TServiceLogRecorder(TServiceLog log) : Log(std::move(log)) {}
    TResult<void> Record(const TServiceRecord& record) override;

    const TServiceLog& ServiceLog() const { return Log; }

private:
    TServiceLog Log;
};

} // namespace qor
