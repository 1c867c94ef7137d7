// Loading and saving the settings under the product's registry key.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <vector>

#include "base/Result.h"
#include "base/Settings.h"
#include "settings/RegistryStore.h"
#include "settings/StoreError.h"

namespace qor {

inline constexpr const char* SettingsKeyPath = "Software\\zentrova GmbH\\QOR 7316 Firmware Updater";
inline constexpr std::size_t MaxProtectedPasswordSize = 4096;
inline constexpr std::size_t SettingsValueCount = 7;

// The seven settings in the registry key, for one running program. Two programs may run at
// once, so a save writes only what this one changed since it last read or wrote the key, over
// what the key holds now: neither undoes the other's changes.
class TSettingsStore {
public:
    explicit TSettingsStore(IRegistryStore& registry) : Registry(registry) {}

    // Reads all seven values into `settings`. A missing value takes its default, and then the
    // values the key lacks or holds in a form the load replaces are written. Fails for a value
    // that cannot be read (the values before it keep what was read, nothing is written) or
    // for a failed write. A store that is there but cannot be read at all (locked by another
    // program, not a file, not readable) is never written: the settings take their defaults
    // and a notice says so.
    TResult<void, TStoreError> Load(TSettings& settings);

    // Writes, in the fixed order, each value that differs from what this object last read or
    // wrote (before the first load: every value) or that the key lacks or holds in a form the
    // load would replace; the others stay as the key holds them. Under the file store's lock
    // the check and the writes are one step. Fails naming the first value that could not be
    // written; the ones after it are not written.
    TResult<void, TStoreError> Save(const TSettings& settings);

    // The store's notices and those of the loads, each handed out once.
    std::vector<TStoreNotice> TakeNotices();

private:
    // Reads the values into `settings` with the key open for reading, and closes it again:
    // true when the key is to be given values the load used in place of the stored ones.
    TResult<bool, TStoreError> ReadValues(TSettings& settings);
    void RememberAsStored(const TSettings& settings);

    IRegistryStore& Registry;
    // Each value as this program last read or wrote it; none before it has.
    std::array<std::optional<TRegValue>, SettingsValueCount> Known;
    std::vector<TStoreNotice> Notices;
};

} // namespace qor
