// Whether the device nodes of a folder (/dev) may have changed since it was last asked. The
// kernel makes a node there for every tty it adds and removes it with the tty, so while the
// folder is quiet the ttys are as they were and need not be listed again. Where the folder
// cannot be watched, every question is answered "maybe".
#pragma once

#include <string>

#include "platform/PosixFiles.h"

namespace qor {

class TDeviceNodeWatch {
public:
    explicit TDeviceNodeWatch(const std::string& folder);

    // True when something was added, removed or renamed in the folder since the last call
    // (or the watch lost track); true on the first call and always without a watch.
    bool MayHaveChanged();

private:
    posix::TFileHandle Watch;
    bool First = true;
};

} // namespace qor
