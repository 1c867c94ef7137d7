#include "base/MakerDetails.h"
#include "platform/UserServices.h"
#include "secrets/SodiumProtection.h"
#include "secrets/UserDataProtection.h"

namespace qor {

std::unique_ptr<IDataProtection> MakeUserDataProtection() {
    const auto config = UserConfigDirectory();
    // Without a home there is nowhere to keep a key: every call then fails with the reason.
    const std::string keyFile =
        config ? TSodiumProtection::KeyFileIn(*config + "/" + MakerCompany) : std::string();
    return std::make_unique<TSodiumProtection>(keyFile);
}

} // namespace qor
