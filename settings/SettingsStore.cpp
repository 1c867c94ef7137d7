#include "settings/SettingsStore.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "base/TextTable.h"
#include "settings/StoreMessages.h"

namespace qor {
namespace {

// The registry access's own error texts, the value's name in place of %s.
std::string InvalidType(const char* name) {
    return std::string("Ungültiger Datentyp für '") + name + "'";
}
std::string GetDataFailed(const char* name) {
    return std::string("Fehler beim Holen der Daten für '") + name + "'";
}
std::string SetDataFailed(const char* name) {
    return std::string("Fehler beim Setzen der Daten für '") + name + "'";
}

// A number value: more than four bytes cannot be fetched at all; otherwise it must be a
// DWORD. Fewer than four bytes read as the low bytes of the number.
std::uint32_t ReadDword(const TRegValue& value, const char* name) {
    if (value.Data.size() > DwordSize) {
        throw ERegistryError(GetDataFailed(name));
    }
    if (value.Type != RegType::Dword) {
        throw ERegistryError(InvalidType(name));
    }
    return DwordNumber(value.Data);
}

// A text value: the bytes up to the first zero byte; empty data of any type is the empty text.
std::string ReadText(const TRegValue& value, const char* name) {
    if (value.Data.empty()) {
        return {};
    }
    if (value.Type != RegType::Sz && value.Type != RegType::ExpandSz) {
        throw ERegistryError(InvalidType(name));
    }
    const auto end = std::find(value.Data.begin(), value.Data.end(), std::uint8_t{0});
    return std::string(value.Data.begin(), end);
}

using TStored = std::optional<TRegValue>;

// One of the seven values: its name, how the load takes it and what a save writes.
struct TValueRule {
    const char* Name;
    // Sets the variable from the stored value (nullopt: missing). True when the value was
    // taken as stored, false when the default or a replacement was used, which the key is
    // then to be given. Throws ERegistryError for a value that cannot be read.
    bool (*Take)(const TStored& stored, TSettings& settings, const char* name);
    TRegValue (*Give)(const TSettings& settings);
};

// In the order in which they are read and written.
constexpr TValueRule Rules[SettingsValueCount] = {
    {"Language",
     [](const TStored& stored, TSettings& s, const char* name) {
         s.CfgLanguage = stored ? static_cast<std::uint8_t>(ReadDword(*stored, name)) : LangEnglish;
         if (s.CfgLanguage >= LanguageCount) {
             s.CfgLanguage = LangEnglish;
             return false;
         }
         return stored.has_value();
     },
     [](const TSettings& s) {
         return DwordValue(s.CfgLanguage);
     }},
    {"UseProxy",
     [](const TStored& stored, TSettings& s, const char* name) {
         s.CfgUseProxy = stored ? ReadDword(*stored, name) != 0 : false;
         return stored.has_value();
     },
     [](const TSettings& s) {
         return DwordValue(s.CfgUseProxy ? 1 : 0);
     }},
    {"ProxyServer",
     [](const TStored& stored, TSettings& s, const char* name) {
         s.CfgProxyServer = stored ? ReadText(*stored, name) : std::string();
         return stored.has_value();
     },
     [](const TSettings& s) {
         return SzValue(s.CfgProxyServer);
     }},
    {"ProxyPort",
     [](const TStored& stored, TSettings& s, const char* name) {
         s.CfgProxyPort = stored ? static_cast<std::int32_t>(ReadDword(*stored, name)) : 0;
         return stored.has_value();
     },
     [](const TSettings& s) {
         return DwordValue(static_cast<std::uint32_t>(s.CfgProxyPort));
     }},
    {"UseProxyAuth",
     [](const TStored& stored, TSettings& s, const char* name) {
         s.CfgUseProxyAuth = stored ? ReadDword(*stored, name) != 0 : false;
         return stored.has_value();
     },
     [](const TSettings& s) {
         return DwordValue(s.CfgUseProxyAuth ? 1 : 0);
     }},
    {"ProxyUser",
     [](const TStored& stored, TSettings& s, const char* name) {
         s.CfgProxyUser = stored ? ReadText(*stored, name) : std::string();
         return stored.has_value();
     },
     [](const TSettings& s) {
         return SzValue(s.CfgProxyUser);
     }},
    {"ProxyPassword",
     [](const TStored& stored, TSettings& s, const char* name) {
         if (stored && stored->Type == RegType::Binary) {
             if (stored->Data.size() > MaxProtectedPasswordSize) {
                 throw ERegistryError(InvalidType(name));
             }
             s.CfgProxyPassword = stored->Data;
             return true;
         }
         // Another type counts as missing: replaced by an empty binary value.
         s.CfgProxyPassword.clear();
         return false;
     },
     [](const TSettings& s) {
         return TRegValue{RegType::Binary, s.CfgProxyPassword};
     }},
};

// Whether the load would take the stored value as it is, so that a save may leave it.
bool TakenAsStored(const TValueRule& rule, const TStored& stored) {
    TSettings scratch;
    try {
        return rule.Take(stored, scratch, rule.Name);
    } catch (const ERegistryError&) {
        return false;
    }
}

ERegistryError WriteFailed(const TValueRule& rule, const TStoreFailure& failure,
                           std::uint8_t language) {
    return ERegistryError(SetDataFailed(rule.Name) + "\n" + StoreFailureLine(failure, language));
}

} // namespace

void TSettingsStore::Load(TSettings& settings) {
    bool defaultUsed = false;
    bool unreadable = false;
    {
        const auto opened = Registry.CreateKey(SettingsKeyPath, TRegAccess::Read);
        IRegistryKey* key = opened ? opened->get() : nullptr;
        // A store that is there but cannot be read may hold the user's settings: work with
        // the defaults, write nothing, say so.
        unreadable = !opened && opened.Error().StoreExists;
        if (unreadable) {
            Notices.push_back({TStoreNotice::TKind::Unreadable, opened.Error(), {}});
        }
        // A key that can be neither opened nor created reads as if every value were missing.
        try {
            for (const TValueRule& rule : Rules) {
                if (!rule.Take(key ? key->QueryValue(rule.Name) : std::nullopt, settings,
                               rule.Name)) {
                    defaultUsed = true;
                }
            }
        } catch (const ERegistryError&) {
            // The values not reached keep their start values, which this program now holds;
            // a later save leaves the stored ones unless it changes them.
            RememberAsStored(settings);
            throw;
        }
    }
    RememberAsStored(settings);
    if (defaultUsed && !unreadable) {
        Save(settings);
    }
}

void TSettingsStore::RememberAsStored(const TSettings& settings) {
    for (std::size_t i = 0; i < SettingsValueCount; ++i) {
        Known[i] = Rules[i].Give(settings);
    }
}

void TSettingsStore::Save(const TSettings& settings) {
    std::array<TRegValue, SettingsValueCount> values;
    std::array<bool, SettingsValueCount> changed{};
    for (std::size_t i = 0; i < SettingsValueCount; ++i) {
        values[i] = Rules[i].Give(settings);
        changed[i] = Known[i] != values[i];
    }
    const auto opened = Registry.CreateKey(SettingsKeyPath, TRegAccess::Write);
    if (!opened) {
        // Named after the first value this program changed, or the first of all.
        const auto first = std::find(changed.begin(), changed.end(), true);
        const auto index = first == changed.end() ? 0 : first - changed.begin();
        throw WriteFailed(Rules[index], opened.Error(), settings.CfgLanguage);
    }
    IRegistryKey& key = **opened;
    for (std::size_t i = 0; i < SettingsValueCount; ++i) {
        const TValueRule& rule = Rules[i];
        // What another program stored meanwhile stays, unless it is missing or unusable.
        if (!changed[i] && TakenAsStored(rule, key.QueryValue(rule.Name))) {
            continue;
        }
        if (const auto stored = key.SetValue(rule.Name, values[i]); !stored) {
            throw WriteFailed(rule, stored.Error(), settings.CfgLanguage);
        }
        Known[i] = values[i];
    }
}

std::vector<TStoreNotice> TSettingsStore::TakeNotices() {
    std::vector<TStoreNotice> notices = std::exchange(Notices, {});
    for (TStoreNotice& notice : Registry.TakeNotices()) {
        notices.push_back(std::move(notice));
    }
    return notices;
}

} // namespace qor
