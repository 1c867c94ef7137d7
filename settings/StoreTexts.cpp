#include "settings/StoreTexts.h"

#include "base/TextTable.h"

namespace qor {
namespace {

constexpr std::size_t BytesPerMegabyte = std::size_t{1024} * 1024;

// The registry access's own error texts, German in every language; %1 the value's name.
constexpr const char* InvalidTypeText = "Ungültiger Datentyp für '%1'";
constexpr const char* GetDataFailedText = "Fehler beim Holen der Daten für '%1'";
constexpr const char* SetDataFailedText = "Fehler beim Setzen der Daten für '%1'";

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

// "<file>: <cause>", the line that follows the text of a failed write.
std::string StoreFailureLine(const TStoreFailure& failure, std::uint8_t language) {
    const std::string cause = StoreCauseText(failure, language);
    return failure.Location.empty() ? cause : failure.Location + ": " + cause;
}

} // namespace

std::string StoreErrorText(const TStoreError& error, std::uint8_t language) {
    switch (error.Kind) {
    case TStoreError::TKind::InvalidType:
        return FillIn(InvalidTypeText, {error.ValueName});
    case TStoreError::TKind::GetDataFailed:
        return FillIn(GetDataFailedText, {error.ValueName});
    case TStoreError::TKind::SetDataFailed:
        break;
    }
    return FillIn(SetDataFailedText, {error.ValueName}) + "\n" +
           StoreFailureLine(error.Failure, language);
}

std::string StoreNoticeText(const TStoreNotice& notice, std::uint8_t language) {
    const std::string cause = StoreCauseText(notice.Failure, language);
    if (notice.Kind == TStoreNotice::TKind::SetAside) {
        return FillIn(Txt(TxtStoreSetAside, language),
                      {notice.Failure.Location, notice.KeptAs, cause});
    }
    return FillIn(Txt(TxtStoreUnreadable, language), {notice.Failure.Location, cause});
}

} // namespace qor
