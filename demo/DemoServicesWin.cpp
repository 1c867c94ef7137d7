#include <windows.h>

#include "demo/DemoOptions.h"
#include "platform/WinHandles.h"
#include "platform/WinText.h"
#include "secrets/UserDataProtection.h"
#include "settings/WinRegistryStore.h"

namespace qor {
namespace {

constexpr const char* DemoRootPath = "Software\\qor7316-updater-demo";

// The user's registry as seen from the demo's own key: the settings key lies below it.
class TDemoRegistryStore : public IRegistryStore {
public:
    TDemoRegistryStore()
        : Store(OpenRoot(Root), std::string("HKEY_CURRENT_USER\\") + DemoRootPath) {}

    TResult<std::unique_ptr<IRegistryKey>, TStoreFailure> CreateKey(const std::string& path,
                                                                    TRegAccess access) override {
        return Store.CreateKey(path, access);
    }
    std::vector<TStoreNotice> TakeNotices() override { return Store.TakeNotices(); }

private:
    // Without the key the store's every open fails, which the settings store reports.
    static HKEY OpenRoot(win::TRegKey& root) {
        HKEY key = nullptr;
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, win::Widen(DemoRootPath).c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS) {
            root.reset(key);
        }
        return key;
    }

    win::TRegKey Root;
    TWinRegistryStore Store;
};

} // namespace

std::unique_ptr<IRegistryStore> MakeDemoRegistryStore() {
    return std::make_unique<TDemoRegistryStore>();
}

std::unique_ptr<IDataProtection> MakeDemoDataProtection() {
    return MakeUserDataProtection();
}

} // namespace qor
