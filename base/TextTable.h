// The one table of translated texts: 50 entries, one column per language.
#pragma once

#include <cstdint>

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

} // namespace qor
