// Whether the device nodes of a folder (/dev) may have changed since it was last asked. The
// kernel makes a node there for every tty it adds and removes it with the tty, so while the
// folder is quiet the ttys are as they were and need not be listed again. Where the folder
// cannot be watched, every question is answered "maybe".
//
// The watch starts at the first question, which is answered "maybe" anyway: a program that
// never lists the ports (the command line's download) never pays for it, and closing an
// inotify descriptor that holds a watch waits for the kernel's grace periods, 8-16 ms here.
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
    std::string Folder;
    posix::TFileHandle Watch;
    bool First = true;
};

} // namespace qor
