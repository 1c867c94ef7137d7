// The settings of one running program as both front ends keep them: loaded, what the store has
// to say told, a store another program held locked read again when the user wants it, saved.
#pragma once

#include "base/Result.h"
#include "base/Settings.h"
#include "settings/RegistryStore.h"
#include "settings/SettingsStore.h"
#include "settings/StoreError.h"

namespace qor {

// Whether a store that could not be read may be read again later: a lock is let go sooner or
// later; nothing else that keeps a store unreadable is.
bool MayReadAgain(const TStoreNotice& notice);

// How a front end tells the user what the settings store has to say: the window in message
// boxes, the command line as events.
class IStoreNotices {
public:
    virtual ~IStoreNotices() = default;
    // Tells one notice; where MayReadAgain, may also ask whether to read the store again now,
    // and returns true for yes.
    virtual bool Tell(const TStoreNotice& notice) = 0;
    // The store was read again as asked; the notices of that read are told after this.
    virtual void ReadAgain(const TResult<void, TStoreError>& loaded) = 0;
};

class TSettingsSession {
public:
    // Loads into and saves from `settings`; the store and the settings outlive the session.
    TSettingsSession(IRegistryStore& registry, TSettings& settings)
        : Store(registry), Settings(settings) {}

    // The load of TSettingsStore; what the store has to say waits for TellNotices.
    TResult<void, TStoreError> Load();
    // Saves the settings and tells what the store has to say, before the caller shows the
    // failure: the user reads first of a file the save set aside.
    TResult<void, TStoreError> Save(IStoreNotices& notices);
    // Tells what the store has to say. When the user wants a store read again, reads it, hands
    // over how that went and tells what the store has to say then, until the user no longer
    // asks.
    void TellNotices(IStoreNotices& notices);

private:
    TSettingsStore Store;
    TSettings& Settings;
};

} // namespace qor
