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

TResult<std::string, TStoreFailure> TRegFileStore::FileOf(const std::string& path) const {
    if (Root.empty()) {
        return Fail(TStoreFailure{path, TStoreCause::NoLocation,
                                  "no configuration directory is known for this user", false});
    }
    const auto unusable = [&path] {
        return Fail(TStoreFailure{path, TStoreCause::NoLocation,
                                  "the key '" + path + "' cannot be kept in a file", false});
    };
    const std::vector<std::string> parts = SplitKeyPath(path);
    // The configuration directory already is the user's software branch.
    if (parts.size() < 2 || !EqualNoCase(parts.front(), SoftwareBranch)) {
        return unusable();
    }
    std::string file = Root;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        // A directory must not take the name of a store file, its lock or a set-aside copy.
        if (!UsableAsFileName(parts[i]) ||
            (!last && LowerAscii(parts[i]).find(StoreFileSuffix) != std::string::npos)) {
            return unusable();
        }
        file += '/';
        file += parts[i];
    }
    return file + std::string(StoreFileSuffix);
}

TResult<std::unique_ptr<IRegistryKey>, TStoreFailure>
TRegFileStore::CreateKey(const std::string& path, TRegAccess access) {
    const auto file = FileOf(path);
    if (!file) {
        return Fail(file.Error());
    }
    const auto wait = access == TRegAccess::Read ? std::min(LockWait, MaxReadLockWait) : LockWait;
    TRegFileKey::TOpening opening = TRegFileKey::Open(*file, path, access, wait);
    if (opening.SetAside) {
        Notices.push_back(std::move(*opening.SetAside));
    }
    if (!opening.Key) {
        return Fail(opening.Key.Error());
    }
    return std::unique_ptr<IRegistryKey>(std::move(*opening.Key));
}

std::vector<TStoreNotice> TRegFileStore::TakeNotices() {
    return std::exchange(Notices, {});
}

} // namespace qor
