#include "platform/RegFileKey.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <new>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "platform/TempDir.h"

namespace qor {
namespace {

using posix::ErrorText;
using posix::TFileHandle;

constexpr const char* LockSuffix = ".lock";
constexpr const char* DamagedInfix = ".damaged-";
// A settings key is a few hundred bytes; anything near this is not one of ours.
constexpr std::size_t MaxStoreFileSize = std::size_t{64} * 1024 * 1024;
constexpr auto LockRetryPause = std::chrono::milliseconds(5);
constexpr int SetAsideAttempts = 100;

// flock with a deadline: another process keeps a key open only briefly, and waiting for ever
// on a key this process itself still holds would hang the program.
bool LockWithin(int fd, int operation, std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        if (::flock(fd, operation | LOCK_NB) == 0) {
            return true;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(LockRetryPause);
    }
}

// The lock file beside the store file. Read access makes do with a lock file it may only read,
// or none at all when the directory is read-only and nobody can write there either.
bool OpenLock(const std::string& lockPath, TRegAccess access, TFileHandle& lock,
              std::string& error) {
    lock.Reset(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC,
                      posix::PrivateFileMode));
    if (lock.Valid() || access == TRegAccess::Write) {
        if (!lock.Valid()) {
            error = ErrorText("cannot open the lock file", lockPath);
        }
        return lock.Valid();
    }
    lock.Reset(::open(lockPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (lock.Valid() || errno == ENOENT) {
        return true;
    }
    error = ErrorText("cannot open the lock file", lockPath);
    return false;
}

std::string LocalTimeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    ::localtime_r(&now, &parts);
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &parts);
    return text;
}

} // namespace

std::unique_ptr<TRegFileKey> TRegFileKey::Open(const std::string& filePath,
                                               const std::string& keyPath, TRegAccess access,
                                               std::chrono::milliseconds lockWait,
                                               std::optional<TStoreNotice>& notice,
                                               std::string& error) {
    if (!posix::MakeDirectories(posix::DirectoryOf(filePath), error)) {
        return nullptr;
    }
    const std::string lockPath = filePath + LockSuffix;
    TFileHandle lock;
    if (!OpenLock(lockPath, access, lock, error)) {
        return nullptr;
    }
    if (lock.Valid() &&
        !LockWithin(lock.Get(), access == TRegAccess::Write ? LOCK_EX : LOCK_SH, lockWait)) {
        error = errno == EWOULDBLOCK
                    ? "the settings are in use elsewhere: '" + lockPath + "' stays locked"
                    : ErrorText("cannot lock", lockPath);
        return nullptr;
    }
    std::unique_ptr<TRegFileKey> key(new TRegFileKey(filePath, keyPath, access, std::move(lock)));
    bool damaged = false;
    if (!key->Load(damaged, error)) {
        return nullptr;
    }
    if (access == TRegAccess::Read) {
        // A damaged file reads as an empty key; the next writer sets it aside.
        return key;
    }
    // Under the exclusive lock no other writer is busy, so any temporary file is a dead one's.
    RemoveStaleTempFiles(filePath);
    if (damaged && !key->SetAside(notice, error)) {
        return nullptr;
    }
    if (!key->FileExists &&
        !WriteFileAtomically(filePath, posix::AsBytes(FormatRegFile(keyPath, {})), error)) {
        return nullptr;
    }
    key->FileExists = true;
    return key;
}

bool TRegFileKey::Load(bool& damaged, std::string& error) {
    damaged = false;
    Entries.clear();
    // O_NONBLOCK so that a FIFO planted at the path cannot stall the open.
    const TFileHandle file(::open(FilePath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!file.Valid()) {
        FileExists = false;
        if (errno == ENOENT) {
            return true;
        }
        error = ErrorText("cannot open", FilePath);
        return false;
    }
    FileExists = true;
    struct stat st {};
    if (::fstat(file.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "'" + FilePath + "' is not a regular file";
        return false;
    }
    const posix::TReadOutcome read = posix::ReadAll(file.Get(), MaxStoreFileSize, FilePath, error);
    if (!read.Bytes) {
        damaged = read.TooLarge;
        return read.TooLarge;
    }
    std::string parseError;
    auto entries = ParseRegFile(*read.Bytes, KeyPath, parseError);
    if (!entries) {
        damaged = true;
        return true;
    }
    Entries = std::move(*entries);
    return true;
}

// Moves an unreadable store file out of the way under a name of its own, never over another
// file, so that a later save cannot destroy what the user may still want back.
bool TRegFileKey::SetAside(std::optional<TStoreNotice>& notice, std::string& error) {
    const std::string base = FilePath + DamagedInfix + LocalTimeStamp();
    for (int attempt = 0; attempt < SetAsideAttempts; ++attempt) {
        const std::string keptAs = attempt == 0 ? base : base + "-" + std::to_string(attempt);
        if (::renameat2(AT_FDCWD, FilePath.c_str(), AT_FDCWD, keptAs.c_str(), RENAME_NOREPLACE) ==
            0) {
            posix::SyncDirectory(posix::DirectoryOf(FilePath));
            notice = TStoreNotice{FilePath, keptAs};
            FileExists = false;
            Entries.clear();
            return true;
        }
        if (errno != EEXIST) {
            error = ErrorText("cannot set the unreadable file aside", FilePath);
            return false;
        }
    }
    error = "no free name to set '" + FilePath + "' aside";
    return false;
}

std::optional<TRegValue> TRegFileKey::QueryValue(const std::string& name) {
    const TRegEntry* entry = FindEntry(Entries, name);
    if (entry == nullptr) {
        return std::nullopt;
    }
    return entry->Value;
}

bool TRegFileKey::SetValue(const std::string& name, const TRegValue& value) {
    if (Access != TRegAccess::Write) {
        Error = "the key '" + KeyPath + "' is open for reading only";
        return false;
    }
    if (!IsStorableName(name)) {
        Error = "a value name with a zero byte or a line break cannot be stored";
        return false;
    }
    if (const TRegEntry* current = FindEntry(Entries, name);
        current != nullptr && current->Value == value) {
        return true; // the file already says so; spares a rewrite and its flushes
    }
    try {
        TRegEntries changed = Entries;
        PutEntry(changed, name, value);
        if (!WriteFileAtomically(FilePath, posix::AsBytes(FormatRegFile(KeyPath, changed)),
                                 Error)) {
            return false;
        }
        Entries = std::move(changed);
        return true;
    } catch (const std::bad_alloc&) {
        // The settings store turns false into its own error; an exception would bypass it.
        Error = "not enough memory to write '" + FilePath + "'";
        return false;
    }
}

} // namespace qor
