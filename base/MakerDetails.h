// The maker's details shown by the program. All of them are fictitious placeholders.
#pragma once

// A macro so that it can be joined with the literals of the text table at compile time.
#define MAKER_WEB_ADDRESS "www.zentrova.example"

namespace qor {

inline constexpr const char* MakerCompany = "zentrova GmbH";
inline constexpr const char* MakerStreet = "Werkstattring 12";
inline constexpr const char* MakerTown = "99999 Musterstadt";
inline constexpr const char* MakerContactPerson = "Erika Beispiel";
inline constexpr const char* MakerPhone = "+49 (0)000 000000-0";
inline constexpr const char* MakerEmail = "service@zentrova.example";
inline constexpr const char* MakerWebAddress = MAKER_WEB_ADDRESS;

} // namespace qor
