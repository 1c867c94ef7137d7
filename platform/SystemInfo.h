// What a service report says about the system the program runs on.
#pragma once

#include <string>

namespace qor {

// The system's name, release and machine, e.g. "Linux 6.1.0-18-amd64 x86_64".
std::string SystemDescription();

} // namespace qor
