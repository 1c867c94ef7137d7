#include "settings/SettingsSession.h"

namespace qor {

bool MayReadAgain(const TStoreNotice& notice) {
    return notice.Kind == TStoreNotice::TKind::Unreadable &&
           notice.Failure.Cause == TStoreCause::LockHeld;
}

TResult<void, TStoreError> TSettingsSession::Load() {
    return Store.Load(Settings);
}

TResult<void, TStoreError> TSettingsSession::Save(IStoreNotices& notices) {
    auto saved = Store.Save(Settings);
    TellNotices(notices);
    return saved;
}

void TSettingsSession::TellNotices(IStoreNotices& notices) {
    for (;;) {
        bool readAgain = false;
        for (const TStoreNotice& notice : Store.TakeNotices()) {
            // Every notice is told, also after the user asked for another read.
            readAgain = (notices.Tell(notice) && MayReadAgain(notice)) || readAgain;
        }
        if (!readAgain) {
            return;
        }
        notices.ReadAgain(Load());
    }
}

} // namespace qor
