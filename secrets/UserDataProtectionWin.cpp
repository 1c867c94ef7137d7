#include "secrets/DpapiProtection.h"
#include "secrets/UserDataProtection.h"

namespace qor {

std::unique_ptr<IDataProtection> MakeUserDataProtection() {
    return std::make_unique<TDpapiProtection>();
}

} // namespace qor
