#include "flow/ServiceLogRecorder.h"

namespace qor {

TResult<void> TServiceLogRecorder::Record(const TServiceRecord& record) {
    return Log.Append(FormatServiceRecord(record), FormatServiceRecordJson(record));
}

} // namespace qor
