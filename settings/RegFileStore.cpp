#include "settings/RegFileStore.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "settings/RegFileFormat.h"
#include "settings/RegFileKey.h"

namespace qor {
namespace {

constexpr std::string_view SoftwareBranch = "software";
constexpr std::string_view StoreFileSuffix = ".reg";
constexpr char KeySeparator = '\\';

std::vector<std::string> SplitKeyPath(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = path.find(KeySeparator, start);
        parts.push_back(path.substr(start, end - start));
        if (end == std::string::npos) {
            return parts;
        }
        start = end + 1;
    }
}

bool UsableAsFileName(const std::string& part) {
    return !part.empty() && part != "." && part != ".." &&
           part.find_first_of(std::string_view("/\0", 2)) == std::string::npos;
}

} // namespace

TRegFileStore::TRegFileStore(std::string root, std::chrono::milliseconds lockWait)
    : Root(std::move(root)), LockWait(lockWait) {
}

std::optional<std::string> TRegFileStore::FileOf(const std::string& path) const {
    const std::vector<std::string> parts = SplitKeyPath(path);
    // The configuration directory already is the user's software branch.
    if (parts.size() < 2 || !EqualNoCase(parts.front(), SoftwareBranch)) {
        return std::nullopt;
    }
    std::string file = Root;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        // A directory must not take the name of a store file, its lock or a set-aside copy.
        if (!UsableAsFileName(parts[i]) ||
            (!last && LowerAscii(parts[i]).find(StoreFileSuffix) != std::string::npos)) {
            return std::nullopt;
        }
        file += '/';
        file += parts[i];
    }
    return file + std::string(StoreFileSuffix);
}

TResult<std::unique_ptr<IRegistryKey>, TStoreFailure>
TRegFileStore::CreateKey(const std::string& path, TRegAccess access) {
    if (Root.empty()) {
        return Fail(TStoreFailure{path, TStoreCause::NoLocation,
                                  "no configuration directory is known for this user", false});
    }
    const std::optional<std::string> file = FileOf(path);
    if (!file) {
        return Fail(TStoreFailure{path, TStoreCause::NoLocation,
                                  "the key '" + path + "' cannot be kept in a file", false});
    }
    const auto wait = access == TRegAccess::Read ? std::min(LockWait, MaxReadLockWait) : LockWait;
    std::optional<TStoreNotice> notice;
    auto key = TRegFileKey::Open(*file, path, access, wait, notice);
    if (notice) {
        Notices.push_back(std::move(*notice));
    }
    if (!key) {
        return Fail(key.Error());
    }
    return std::unique_ptr<IRegistryKey>(std::move(*key));
}

std::vector<TStoreNotice> TRegFileStore::TakeNotices() {
    return std::exchange(Notices, {});
}

} // namespace qor
