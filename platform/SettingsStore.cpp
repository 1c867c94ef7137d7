#include "platform/SettingsStore.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "base/TextTable.h"

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

constexpr const char* ValLanguage = "Language";
constexpr const char* ValUseProxy = "UseProxy";
constexpr const char* ValProxyServer = "ProxyServer";
constexpr const char* ValProxyPort = "ProxyPort";
constexpr const char* ValUseProxyAuth = "UseProxyAuth";
constexpr const char* ValProxyUser = "ProxyUser";
constexpr const char* ValProxyPassword = "ProxyPassword";

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

void Put(IRegistryKey* key, const char* name, const TRegValue& value) {
    if (key == nullptr || !key->SetValue(name, value)) {
        throw ERegistryError(SetDataFailed(name));
    }
}

} // namespace

void LoadSettings(IRegistryStore& store, TSettings& settings) {
    bool defaultUsed = false;
    {
        // A key that can be neither opened nor created reads as if every value were missing.
        const std::unique_ptr<IRegistryKey> key =
            store.CreateKey(SettingsKeyPath, TRegAccess::Read);
        auto query = [&](const char* name) -> std::optional<TRegValue> {
            auto value = key ? key->QueryValue(name) : std::nullopt;
            if (!value) {
                defaultUsed = true;
            }
            return value;
        };

        if (auto v = query(ValLanguage)) {
            settings.CfgLanguage = static_cast<std::uint8_t>(ReadDword(*v, ValLanguage));
        } else {
            settings.CfgLanguage = LangEnglish;
        }
        if (settings.CfgLanguage >= LanguageCount) {
            settings.CfgLanguage = LangEnglish;
            defaultUsed = true;
        }
        auto v = query(ValUseProxy);
        settings.CfgUseProxy = v ? ReadDword(*v, ValUseProxy) != 0 : false;
        v = query(ValProxyServer);
        settings.CfgProxyServer = v ? ReadText(*v, ValProxyServer) : std::string();
        v = query(ValProxyPort);
        settings.CfgProxyPort = v ? static_cast<std::int32_t>(ReadDword(*v, ValProxyPort)) : 0;
        v = query(ValUseProxyAuth);
        settings.CfgUseProxyAuth = v ? ReadDword(*v, ValUseProxyAuth) != 0 : false;
        v = query(ValProxyUser);
        settings.CfgProxyUser = v ? ReadText(*v, ValProxyUser) : std::string();

        v = query(ValProxyPassword);
        if (v && v->Type == RegType::Binary) {
            if (v->Data.size() > MaxProtectedPasswordSize) {
                throw ERegistryError(InvalidType(ValProxyPassword));
            }
            settings.CfgProxyPassword = v->Data;
        } else {
            // Another type counts as missing: replaced by an empty binary value on write-back.
            settings.CfgProxyPassword.clear();
            defaultUsed = true;
        }
    }
    if (defaultUsed) {
        SaveSettings(store, settings);
    }
}

void SaveSettings(IRegistryStore& store, const TSettings& settings) {
    const std::unique_ptr<IRegistryKey> key = store.CreateKey(SettingsKeyPath, TRegAccess::Write);
    Put(key.get(), ValLanguage, DwordValue(settings.CfgLanguage));
    Put(key.get(), ValUseProxy, DwordValue(settings.CfgUseProxy ? 1 : 0));
    Put(key.get(), ValProxyServer, SzValue(settings.CfgProxyServer));
    Put(key.get(), ValProxyPort, DwordValue(static_cast<std::uint32_t>(settings.CfgProxyPort)));
    Put(key.get(), ValUseProxyAuth, DwordValue(settings.CfgUseProxyAuth ? 1 : 0));
    Put(key.get(), ValProxyUser, SzValue(settings.CfgProxyUser));
    Put(key.get(), ValProxyPassword, TRegValue{RegType::Binary, settings.CfgProxyPassword});
}

} // namespace qor
