// The system's own protection of the proxy password, as the product uses it: with a key in
// `keyFile` where the system needs one (Linux), the user's data protection on Windows.
#pragma once

#include <memory>
#include <string>

#include "secrets/DataProtection.h"

#ifdef _WIN32
#include "secrets/DpapiProtection.h"
#else
#include "secrets/SodiumProtection.h"
#endif

namespace qor::test {

#ifdef _WIN32
inline std::unique_ptr<IDataProtection> MakeSystemProtection(const std::string&) {
    return std::make_unique<TDpapiProtection>();
}
#else
inline std::unique_ptr<IDataProtection> MakeSystemProtection(const std::string& keyFile) {
    return std::make_unique<TSodiumProtection>(keyFile);
}
#endif

} // namespace qor::test
