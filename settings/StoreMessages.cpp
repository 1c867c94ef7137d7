#include "settings/StoreMessages.h"

#include "base/TextTable.h"

namespace qor {
namespace {

constexpr std::size_t BytesPerMegabyte = std::size_t{1024} * 1024;

// Why the store failed, as a short clause; the system's own words where no clause fits.
std::string StoreCauseText(const TStoreFailure& failure, std::uint8_t language) {
    switch (failure.Cause) {
    case TStoreCause::LockHeld:
        return Txt(TxtCauseLockHeld, language);
    case TStoreCause::ReadOnly:
        return Txt(TxtCauseReadOnly, language);
    case TStoreCause::DiskFull:
        return Txt(TxtCauseDiskFull, language);
    case TStoreCause::NotRegularFile:
        return Txt(TxtCauseNotRegularFile, language);
    case TStoreCause::AccessDenied:
        return Txt(TxtCauseAccessDenied, language);
    case TStoreCause::NoLocation:
        return Txt(TxtCauseNoLocation, language);
    case TStoreCause::TooLarge:
        return FillIn(Txt(TxtCauseTooLarge, language),
                      {std::to_string(MaxStoreSize / BytesPerMegabyte)});
    case TStoreCause::Damaged:
        return Txt(TxtCauseDamaged, language);
    case TStoreCause::Other:
        break;
    }
    return failure.Detail;
}

} // namespace

std::string StoreFailureLine(const TStoreFailure& failure, std::uint8_t language) {
    const std::string cause = StoreCauseText(failure, language);
    return failure.Location.empty() ? cause : failure.Location + ": " + cause;
}

std::string StoreNoticeText(const TStoreNotice& notice, std::uint8_t language) {
    const std::string cause = StoreCauseText(notice.Failure, language);
    if (notice.Kind == TStoreNotice::TKind::SetAside) {
        return FillIn(Txt(TxtStoreSetAside, language),
                      {notice.Failure.Location, notice.KeptAs, cause});
    }
    return FillIn(Txt(TxtStoreUnreadable, language), {notice.Failure.Location, cause});
}

bool TellStoreNotices(const std::vector<TStoreNotice>& notices, IMessageBox& messages,
                      std::uint8_t language) {
    bool readAgain = false;
    for (const TStoreNotice& notice : notices) {
        const std::string text = StoreNoticeText(notice, language);
        const char* caption = Txt(TxtError, language);
        // A lock is let go sooner or later; nothing else that keeps a store unreadable is.
        if (notice.Kind == TStoreNotice::TKind::Unreadable &&
            notice.Failure.Cause == TStoreCause::LockHeld) {
            readAgain =
                messages.AskYesNo(text + "\n\n" + Txt(TxtStoreReadAgain, language), caption) ||
                readAgain;
        } else {
            messages.ShowMessage(text, caption);
        }
    }
    return readAgain;
}

} // namespace qor
