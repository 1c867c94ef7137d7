// An in-memory registry for tests: one map per key path, with opens and writes that can be
// made to fail for a given cause.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "settings/RegistryStore.h"

namespace qor::test {

class TMemoryRegistry : public IRegistryStore {
public:
    std::map<std::string, std::map<std::string, TRegValue>> Keys;
    bool KeyUnavailable = false;
    // When set, opening a key for that access fails with it.
    std::optional<TStoreFailure> ReadFailure;
    std::optional<TStoreFailure> WriteFailure;
    std::set<std::string> FailingWrites; // value names whose SetValue fails
    TStoreCause WriteCause = TStoreCause::Other;
    int Writes = 0;
    std::vector<TStoreNotice> Notices; // handed out by TakeNotices

    TResult<std::unique_ptr<IRegistryKey>, TStoreFailure> CreateKey(const std::string& path,
                                                                    TRegAccess access) override {
        const std::optional<TStoreFailure>& refusal =
            access == TRegAccess::Read ? ReadFailure : WriteFailure;
        if (refusal) {
            return Fail(*refusal);
        }
        if (KeyUnavailable) {
            return Fail(TStoreFailure{path, TStoreCause::Other, "the test made the key unavailable",
                                      false});
        }
        return std::unique_ptr<IRegistryKey>(std::make_unique<TKey>(*this, path, Keys[path]));
    }
    std::vector<TStoreNotice> TakeNotices() override { return std::exchange(Notices, {}); }

private:
    class TKey : public IRegistryKey {
    public:
        TKey(TMemoryRegistry& owner, std::string path, std::map<std::string, TRegValue>& values)
            : Owner(owner), Path(std::move(path)), Values(values) {}
        std::optional<TRegValue> QueryValue(const std::string& name) override {
            auto it = Values.find(name);
            if (it == Values.end()) {
                return std::nullopt;
            }
            return it->second;
        }
        TResult<void, TStoreFailure> SetValue(const std::string& name,
                                              const TRegValue& value) override {
            if (Owner.FailingWrites.count(name) != 0) {
                return Fail(
                    TStoreFailure{Path, Owner.WriteCause, "the test refused '" + name + "'", true});
            }
            ++Owner.Writes;
            Values[name] = value;
            return {};
        }

    private:
        TMemoryRegistry& Owner;
        std::string Path;
        std::map<std::string, TRegValue>& Values;
    };
};

} // namespace qor::test
