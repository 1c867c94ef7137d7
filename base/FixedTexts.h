// The few texts that are not in the text table: German in every language.
#pragma once

namespace qor {

// The application's title, fixed in every language; also the caption of its error display.
inline constexpr const char* ApplicationTitle = "QOR 7316 Firmware Updater";

inline constexpr const char* FixedErrorCaption = "Fehler";
inline constexpr const char* InvalidFirmwareFileText = "Ungültige Firmware-Datei!";
// Followed by the failure's number, and for a failed block by ":" and the block index.
inline constexpr const char* UpdateFailedPrefix = "Update fehlgeschlagen: ";

} // namespace qor
