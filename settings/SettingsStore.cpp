#include "settings/SettingsStore.h"

#include <algorithm>
#include <memory>
#include <string>
#include <utility>

#include "base/TextTable.h"

namespace qor {
namespace {

using TStored = std::optional<TRegValue>;
// Whether the load took a value as stored (true) or used its default or a replacement, which
// the key is then to be given (false).
using TTaken = TResult<bool, TStoreError>;

TFailure<TStoreError> ReadFailed(TStoreError::TKind kind, const char* name) {
    return Fail(TStoreError{kind, name, {}});
}

// A number value, `missing` when there is none: more than four bytes cannot be fetched at
// all; otherwise it must be a DWORD. Fewer than four bytes read as the low bytes of the number.
TResult<std::uint32_t, TStoreError> ReadDword(const TStored& stored, const char* name,
                                              std::uint32_t missing) {
    if (!stored) {
        return missing;
    }
    if (stored->Data.size() > DwordSize) {
        return ReadFailed(TStoreError::TKind::GetDataFailed, name);
    }
    if (stored->Type != RegType::Dword) {
        return ReadFailed(TStoreError::TKind::InvalidType, name);
    }
    return DwordNumber(stored->Data);
}

// A text value, empty when there is none: the bytes up to the first zero byte; empty data of
// any type is the empty text.
TResult<std::string, TStoreError> ReadText(const TStored& stored, const char* name) {
    if (!stored || stored->Data.empty()) {
        return std::string();
    }
    if (stored->Type != RegType::Sz && stored->Type != RegType::ExpandSz) {
        return ReadFailed(TStoreError::TKind::InvalidType, name);
    }
    const auto end = std::find(stored->Data.begin(), stored->Data.end(), std::uint8_t{0});
    return std::string(stored->Data.begin(), end);
}

// A number value or a text value handed to `put`: taken as stored when there is one.
template <typename TPut>
TTaken TakeNumber(const TStored& stored, const char* name, std::uint32_t missing, TPut put) {
    const auto number = ReadDword(stored, name, missing);
    if (!number) {
        return Fail(number.Error());
    }
    put(*number);
    return stored.has_value();
}
template <typename TPut> TTaken TakeText(const TStored& stored, const char* name, TPut put) {
    auto text = ReadText(stored, name);
    if (!text) {
        return Fail(text.Error());
    }
    put(std::move(*text));
    return stored.has_value();
}

// One of the seven values: its name, how the load takes it and what a save writes.
struct TValueRule {
    const char* Name;
    // Sets the variable from the stored value (nullopt: missing); fails for a value that
    // cannot be read.
    TTaken (*Take)(const TStored& stored, TSettings& settings, const char* name);
    TRegValue (*Give)(const TSettings& settings);
};

// In the order in which they are read and written.
constexpr TValueRule Rules[SettingsValueCount] = {
    {"Language",
     [](const TStored& stored, TSettings& s, const char* name) -> TTaken {
         TTaken taken = TakeNumber(stored, name, LangEnglish, [&s](std::uint32_t n) {
             s.CfgLanguage = static_cast<std::uint8_t>(n);
         });
         if (taken && s.CfgLanguage >= LanguageCount) {
             s.CfgLanguage = LangEnglish;
             return false;
         }
         return taken;
     },
     [](const TSettings& s) {
         return DwordValue(s.CfgLanguage);
     }},
    {"UseProxy",
     [](const TStored& stored, TSettings& s, const char* name) {
         return TakeNumber(stored, name, 0, [&s](std::uint32_t n) { s.CfgUseProxy = n != 0; });
     },
     [](const TSettings& s) {
         return DwordValue(s.CfgUseProxy ? 1 : 0);
     }},
    {"ProxyServer",
     [](const TStored& stored, TSettings& s, const char* name) {
         return TakeText(stored, name, [&s](std::string t) { s.CfgProxyServer = std::move(t); });
     },
     [](const TSettings& s) {
         return SzValue(s.CfgProxyServer);
     }},
    {"ProxyPort",
     [](const TStored& stored, TSettings& s, const char* name) {
         return TakeNumber(stored, name, 0, [&s](std::uint32_t n) {
             s.CfgProxyPort = static_cast<std::int32_t>(n);
         });
     },
     [](const TSettings& s) {
         return DwordValue(static_cast<std::uint32_t>(s.CfgProxyPort));
     }},
    {"UseProxyAuth",
     [](const TStored& stored, TSettings& s, const char* name) {
         return TakeNumber(stored, name, 0, [&s](std::uint32_t n) { s.CfgUseProxyAuth = n != 0; });
     },
     [](const TSettings& s) {
         return DwordValue(s.CfgUseProxyAuth ? 1 : 0);
     }},
    {"ProxyUser",
     [](const TStored& stored, TSettings& s, const char* name) {
         return TakeText(stored, name, [&s](std::string t) { s.CfgProxyUser = std::move(t); });
     },
     [](const TSettings& s) {
         return SzValue(s.CfgProxyUser);
     }},
    {"ProxyPassword",
     [](const TStored& stored, TSettings& s, const char* name) -> TTaken {
         if (stored && stored->Type == RegType::Binary) {
             if (stored->Data.size() > MaxProtectedPasswordSize) {
                 return ReadFailed(TStoreError::TKind::InvalidType, name);
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
    const TTaken taken = rule.Take(stored, scratch, rule.Name);
    return taken && *taken;
}

TFailure<TStoreError> WriteFailed(const TValueRule& rule, const TStoreFailure& failure) {
    return Fail(TStoreError{TStoreError::TKind::SetDataFailed, rule.Name, failure});
}

} // namespace

TResult<void, TStoreError> TSettingsStore::Load(TSettings& settings) {
    const auto read = ReadValues(settings);
    // After a failure the values not reached keep their start values, which this program now
    // holds; a later save leaves the stored ones unless it changes them.
    RememberAsStored(settings);
    if (!read) {
        return Fail(read.Error());
    }
    if (*read) {
        return Save(settings);
    }
    return {};
}

TResult<bool, TStoreError> TSettingsStore::ReadValues(TSettings& settings) {
    const auto opened = Registry.CreateKey(SettingsKeyPath, TRegAccess::Read);
    IRegistryKey* key = opened ? opened->get() : nullptr;
    // A store that is there but cannot be read may hold the user's settings: work with the
    // defaults, write nothing, say so.
    const bool unreadable = !opened && opened.Error().StoreExists;
    if (unreadable) {
        Notices.push_back({TStoreNotice::TKind::Unreadable, opened.Error(), {}});
    }
    // A key that can be neither opened nor created reads as if every value were missing.
    bool defaultUsed = false;
    for (const TValueRule& rule : Rules) {
        const TTaken taken =
            rule.Take(key ? key->QueryValue(rule.Name) : std::nullopt, settings, rule.Name);
        if (!taken) {
            return Fail(taken.Error());
        }
        defaultUsed = defaultUsed || !*taken;
    }
    return defaultUsed && !unreadable;
}

void TSettingsStore::RememberAsStored(const TSettings& settings) {
    for (std::size_t i = 0; i < SettingsValueCount; ++i) {
        Known[i] = Rules[i].Give(settings);
    }
}

TResult<void, TStoreError> TSettingsStore::Save(const TSettings& settings) {
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
        return WriteFailed(Rules[index], opened.Error());
    }
    IRegistryKey& key = **opened;
    for (std::size_t i = 0; i < SettingsValueCount; ++i) {
        const TValueRule& rule = Rules[i];
        // What another program stored meanwhile stays, unless it is missing or unusable.
        if (!changed[i] && TakenAsStored(rule, key.QueryValue(rule.Name))) {
            continue;
        }
        if (const auto stored = key.SetValue(rule.Name, values[i]); !stored) {
            return WriteFailed(rule, stored.Error());
        }
        Known[i] = values[i];
    }
    return {};
}

std::vector<TStoreNotice> TSettingsStore::TakeNotices() {
    std::vector<TStoreNotice> notices = std::exchange(Notices, {});
    for (TStoreNotice& notice : Registry.TakeNotices()) {
        notices.push_back(std::move(notice));
    }
    return notices;
}

} // namespace qor
