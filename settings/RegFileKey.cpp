#include "settings/RegFileKey.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <new>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/RegularFile.h"
#include "platform/TempDir.h"

namespace qor {
namespace {

using posix::ErrorText;
using posix::TFileHandle;

constexpr const char* LockSuffix = ".lock";
constexpr const char* DamagedInfix = ".damaged-";
constexpr int SetAsideAttempts = 100;

// What an errno means to the user, for an attempt to read or to write.
TStoreCause CauseOf(int err, TRegAccess access) {
    switch (err) {
    case EACCES:
    case EPERM:
        return access == TRegAccess::Write ? TStoreCause::ReadOnly : TStoreCause::AccessDenied;
    case EROFS:
        return TStoreCause::ReadOnly;
    case ENOSPC:
    case EDQUOT:
        return TStoreCause::DiskFull;
    default:
        return TStoreCause::Other;
    }
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

TStoreFailure FailureOf(const std::string& file, TStoreCause cause, std::string detail) {
    return {file, cause, std::move(detail), Exists(file)};
}

// The lock file beside the store file. Read access makes do with a lock file it may only read,
// or none at all (an invalid handle) when the directory is read-only and nobody can write
// there either. On failure errno also says why.
TResult<TFileHandle> OpenLock(const std::string& lockPath, TRegAccess access) {
    TFileHandle lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC,
                            posix::PrivateFileMode));
    if (!lock.Valid() && access == TRegAccess::Read) {
        lock.Reset(::open(lockPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (!lock.Valid() && errno == ENOENT) {
            return lock;
        }
    }
    if (!lock.Valid()) {
        return Fail(TError{ErrorText("cannot open the lock file", lockPath)});
    }
    return lock;
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

TRegFileKey::TOpening TRegFileKey::Open(const std::string& filePath, const std::string& keyPath,
                                        TRegAccess access, std::chrono::milliseconds lockWait) {
    if (const auto made = posix::MakeDirectories(posix::DirectoryOf(filePath)); !made) {
        // Creating a folder is a write, whatever the key is opened for.
        return {Fail(FailureOf(filePath, CauseOf(errno, TRegAccess::Write), made.Error().Reason))};
    }
    const std::string lockPath = filePath + LockSuffix;
    auto opened = OpenLock(lockPath, access);
    if (!opened) {
        return {Fail(FailureOf(filePath, CauseOf(errno, access), opened.Error().Reason))};
    }
    TFileHandle lock = std::move(*opened);
    if (lock.Valid() &&
        !posix::LockWithin(lock.Get(), access == TRegAccess::Write ? LOCK_EX : LOCK_SH, lockWait)) {
        if (errno == EWOULDBLOCK) {
            // Whoever holds the lock is at work on the store, so it is there (or about to be).
            return {Fail(TStoreFailure{
                filePath, TStoreCause::LockHeld,
                "the settings are in use elsewhere: '" + lockPath + "' stays locked", true})};
        }
        return {Fail(FailureOf(filePath, TStoreCause::Other, ErrorText("cannot lock", lockPath)))};
    }
    std::unique_ptr<TRegFileKey> key(new TRegFileKey(filePath, keyPath, access, std::move(lock)));
    const auto damage = key->Load();
    if (!damage) {
        return {Fail(damage.Error())};
    }
    if (access == TRegAccess::Read) {
        // A damaged file reads as an empty key; the next writer sets it aside.
        return {std::move(key)};
    }
    // Under the exclusive lock no other writer is busy, so any temporary file is a dead one's.
    RemoveStaleTempFiles(filePath);
    std::optional<TStoreNotice> setAside;
    if (*damage) {
        auto kept = key->SetAside(**damage);
        if (!kept) {
            return {Fail(kept.Error())};
        }
        setAside = std::move(*kept);
    }
    if (!key->FileExists) {
        if (const auto made =
                WriteFileAtomically(filePath, posix::AsBytes(FormatRegFile(keyPath, {})));
            !made) {
            return {
                Fail(FailureOf(filePath, CauseOf(errno, TRegAccess::Write), made.Error().Reason)),
                std::move(setAside)};
        }
    }
    key->FileExists = true;
    return {std::move(key), std::move(setAside)};
}

TResult<TRegFileKey::TDamage, TStoreFailure> TRegFileKey::Load() {
    Entries.clear();
    // A store far beyond any of ours is not even read: that alone could hold the start-up.
    const auto read = ReadRegularFile(FilePath, MaxStoreSize);
    if (!read) {
        const TFileError& error = read.Error();
        const int err = errno; // of the open, when that failed
        FileExists = error.Fault != TFileFault::CannotOpen && error.Fault != TFileFault::Missing;
        switch (error.Fault) {
        case TFileFault::Missing:
        case TFileFault::CannotOpen:
            if (err == ENOENT) {
                return TDamage();
            }
            return Fail(
                TStoreFailure{FilePath, CauseOf(err, TRegAccess::Read), error.Reason, true});
        case TFileFault::NotRegular:
            return Fail(TStoreFailure{FilePath, TStoreCause::NotRegularFile, error.Reason, true});
        case TFileFault::TooLarge:
            return TDamage(TStoreFailure{FilePath, TStoreCause::TooLarge,
                                         "'" + FilePath + "' is larger than " +
                                             std::to_string(MaxStoreSize) + " bytes",
                                         true});
        case TFileFault::CannotRead:
            break;
        }
        return Fail(TStoreFailure{FilePath, TStoreCause::Other, error.Reason, true});
    }
    FileExists = true;
    auto entries = ParseRegFile(
        std::string_view(reinterpret_cast<const char*>(read->data()), read->size()), KeyPath);
    if (!entries) {
        return TDamage(TStoreFailure{FilePath, TStoreCause::Damaged, entries.Error().Reason, true});
    }
    Entries = std::move(*entries);
    return TDamage();
}

// Moves an unreadable store file out of the way under a name of its own, never over another
// file, so that a later save cannot destroy what the user may still want back.
TResult<TStoreNotice, TStoreFailure> TRegFileKey::SetAside(const TStoreFailure& damage) {
    const std::string base = FilePath + DamagedInfix + LocalTimeStamp();
    for (int attempt = 0; attempt < SetAsideAttempts; ++attempt) {
        const std::string keptAs = attempt == 0 ? base : base + "-" + std::to_string(attempt);
        if (::renameat2(AT_FDCWD, FilePath.c_str(), AT_FDCWD, keptAs.c_str(), RENAME_NOREPLACE) ==
            0) {
            posix::SyncDirectory(posix::DirectoryOf(FilePath));
            FileExists = false;
            Entries.clear();
            return TStoreNotice{TStoreNotice::TKind::SetAside, damage, keptAs};
        }
        if (errno != EEXIST) {
            const int err = errno;
            return Fail(TStoreFailure{
                FilePath, CauseOf(err, TRegAccess::Write),
                ErrorText("cannot set the unreadable file aside", FilePath, err), true});
        }
    }
    return Fail(TStoreFailure{FilePath, TStoreCause::Other,
                              "no free name to set '" + FilePath + "' aside", true});
}

TFailure<TStoreFailure> TRegFileKey::Refused(TStoreCause cause, std::string detail) const {
    return Fail(TStoreFailure{FilePath, cause, std::move(detail), FileExists});
}

std::optional<TRegValue> TRegFileKey::QueryValue(const std::string& name) {
    const TRegEntry* entry = FindEntry(Entries, name);
    if (entry == nullptr) {
        return std::nullopt;
    }
    return entry->Value;
}

TResult<void, TStoreFailure> TRegFileKey::SetValue(const std::string& name,
                                                   const TRegValue& value) {
    if (Access != TRegAccess::Write) {
        return Refused(TStoreCause::Other, "the key '" + KeyPath + "' is open for reading only");
    }
    if (!IsStorableName(name)) {
        return Refused(TStoreCause::Other,
                       "a value name with a zero byte or a line break cannot be stored");
    }
    if (const TRegEntry* current = FindEntry(Entries, name);
        current != nullptr && current->Value == value) {
        return {}; // the file already says so; spares a rewrite and its flushes
    }
    try {
        TRegEntries changed = Entries;
        PutEntry(changed, name, value);
        const std::string text = FormatRegFile(KeyPath, changed);
        // The next start would set such a file aside as not ours.
        if (text.size() > MaxStoreSize) {
            return Refused(TStoreCause::TooLarge, "'" + FilePath + "' would grow beyond " +
                                                      std::to_string(MaxStoreSize) + " bytes");
        }
        if (const auto written = WriteFileAtomically(FilePath, posix::AsBytes(text)); !written) {
            return Refused(CauseOf(errno, TRegAccess::Write), written.Error().Reason);
        }
        Entries = std::move(changed);
        return {};
    } catch (const std::bad_alloc&) {
        // The settings store turns a failure into its own error; an exception would bypass it.
        return Refused(TStoreCause::Other, "not enough memory to write '" + FilePath + "'");
    }
}

} // namespace qor
