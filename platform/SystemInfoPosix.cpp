#include <sys/utsname.h>

#include "platform/SystemInfo.h"

namespace qor {

std::string SystemDescription() {
    utsname name{};
    if (::uname(&name) != 0) {
        return "an unknown system";
    }
    return std::string(name.sysname) + " " + name.release + " " + name.machine;
}

} // namespace qor
