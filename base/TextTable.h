// The one table of translated texts, one column per language: the 50 entries every version
// has had, then the program's own additions.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace qor {

enum TTextId : int {
    TxtAppTitle,
    TxtStep1,
    TxtStep2,
    TxtStep3,
    TxtFirmwareFile,
    TxtFileName,
    TxtNoFirmwareLoaded,
    TxtVersion,
    TxtDownload,
    TxtOpen,
    TxtNotConnected,
    TxtConnecting,
    TxtConnected,
    TxtBootloaderVersion,
    TxtFirmwareVersion,
    TxtChecksum,
    TxtValid,
    TxtInvalid,
    TxtUpdate,
    TxtPowerOff,
    TxtMenuFile,
    TxtMenuSettings,
    TxtMenuExit,
    TxtMenuLanguage,
    TxtMenuInfo,
    TxtProxyActive,
    TxtApply,
    TxtProxyAddress,
    TxtProxyPort,
    TxtProxyAuth,
    TxtProxyUser,
    TxtProxyPassword,
    TxtServiceAddress,
    TxtContactPerson,
    TxtExitTitle,
    TxtExitQuestion,
    TxtUpdateFailed,
    TxtInvalidFirmware,
    TxtFirmwareLoaded,
    TxtUpdateSucceeded,
    TxtUpdating,
    TxtError,
    TxtServerConnecting,
    TxtServerFailed,
    TxtCancelled,
    TxtDownloadFailed,
    TxtDownloadSucceeded,
    TxtClose,
    TxtDownloading,
    TxtCancel,
    // The fifty above keep their order and wording; additions go below. Placeholders %1, %2
    // ... are filled in by FillIn.
    TxtStoreSetAside,        // %1 the file, %2 where it was kept, %3 why it was unreadable
    TxtStoreUnreadable,      // %1 the file or key, %2 why
    TxtStoreReadAgain,       // the question after TxtStoreUnreadable when another program
                             // holds the store
    TxtPasswordNotProtected, // the proxy dialog could not protect a typed password
    // Why the store failed: short clauses that follow the file's name.
    TxtCauseLockHeld,
    TxtCauseReadOnly,
    TxtCauseDiskFull,
    TxtCauseNotRegularFile,
    TxtCauseAccessDenied,
    TxtCauseNoLocation,
    TxtCauseTooLarge, // %1 the limit in MB
    TxtCauseDamaged,
    // The service report under "?".
    TxtMenuServiceReport,   // the menu item; "..." follows it
    TxtServiceReportFiles,  // the save dialog's file type
    TxtServiceReportSaved,  // %1 the file
    TxtServiceReportFailed, // %1 the file, %2 why
    TextCount
};

// Language indices; any other value reads as English.
inline constexpr std::uint8_t LangGerman = 0;
inline constexpr std::uint8_t LangEnglish = 1;
inline constexpr std::uint8_t LangFrench = 2;
inline constexpr std::uint8_t LangSpanish = 3;
inline constexpr int LanguageCount = 4;

// The column a language index selects: itself for 0 to 3, English otherwise.
constexpr int LanguageColumn(std::uint8_t language) {
    return language < LanguageCount ? language : LangEnglish;
}

// The entry's text (UTF-8) in the given language.
const char* Txt(TTextId id, std::uint8_t language);

// `pattern` with %1, %2, ... replaced by the arguments in that order, so that a translation
// can place them as its language needs. A placeholder without an argument stays as it is.
std::string FillIn(std::string_view pattern, std::initializer_list<std::string_view> args);

} // namespace qor
