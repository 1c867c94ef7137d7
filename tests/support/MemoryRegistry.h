// An in-memory registry for tests: one map per key path, with writes that can be made to fail.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/RegistryStore.h"

namespace qor::test {

class TMemoryRegistry : public IRegistryStore {
public:
    std::map<std::string, std::map<std::string, TRegValue>> Keys;
    bool KeyUnavailable = false;
    std::set<std::string> FailingWrites; // value names whose SetValue fails
    int Writes = 0;

    std::unique_ptr<IRegistryKey> CreateKey(const std::string& path, TRegAccess) override {
        if (KeyUnavailable) {
            return nullptr;
        }
        return std::make_unique<TKey>(*this, Keys[path]);
    }
    std::vector<TStoreNotice> TakeNotices() override { return {}; }

private:
    class TKey : public IRegistryKey {
    public:
        TKey(TMemoryRegistry& owner, std::map<std::string, TRegValue>& values)
            : Owner(owner), Values(values) {}
        std::optional<TRegValue> QueryValue(const std::string& name) override {
            auto it = Values.find(name);
            if (it == Values.end()) {
                return std::nullopt;
            }
            return it->second;
        }
        bool SetValue(const std::string& name, const TRegValue& value) override {
            if (Owner.FailingWrites.count(name) != 0) {
                return false;
            }
            ++Owner.Writes;
            Values[name] = value;
            return true;
        }

    private:
        TMemoryRegistry& Owner;
        std::map<std::string, TRegValue>& Values;
    };
};

} // namespace qor::test
