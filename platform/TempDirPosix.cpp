#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/PosixFiles.h"
#include "platform/TempDir.h"
#include "platform/TempName.h"

namespace qor {
namespace {

using posix::ErrorText;
using posix::GroupOtherBits;
using posix::PrivateDirMode;
using posix::TFileHandle;

constexpr mode_t PermissionBits = 07777;
constexpr const char* RuntimeDirVariable = "XDG_RUNTIME_DIR";
constexpr const char* SharedTempRoot = "/tmp/";
constexpr const char* TempDirPrefix = "qor7316-updater-";

// A real directory (not a link) of the current user. `exactMode` demands 0700; otherwise
// only group and others must have no access.
TResult<void> CheckOwnDirectory(const std::string& path, bool exactMode) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return Fail(TError{ErrorText("cannot examine", path)});
    }
    if (!S_ISDIR(st.st_mode)) {
        return Fail(TError{"'" + path + "' is not a directory"});
    }
    if (st.st_uid != ::geteuid()) {
        return Fail(
            TError{"'" + path + "' belongs to user " + std::to_string(st.st_uid) + ", not to us"});
    }
    const bool modeFits = exactMode ? (st.st_mode & PermissionBits) == PrivateDirMode
                                    : (st.st_mode & GroupOtherBits) == 0;
    if (!modeFits) {
        return Fail(
            TError{"'" + path + "' is open to others (mode " + posix::OctalMode(st.st_mode) + ")"});
    }
    return {};
}

std::string WithSeparator(std::string path) {
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
    return path;
}

} // namespace

TResult<void> EnsurePrivateDirectory(const std::string& path) {
    if (::mkdir(path.c_str(), PrivateDirMode) == 0) {
        // The umask may have taken bits away; nobody else can have reached it yet.
        ::chmod(path.c_str(), PrivateDirMode);
    } else if (errno != EEXIST) {
        return Fail(TError{ErrorText("cannot create the directory", path)});
    }
    return CheckOwnDirectory(path, true);
}

TResult<std::string> UserTempDirectory() {
    std::string runtimeProblem;
    const char* runtime = std::getenv(RuntimeDirVariable);
    if (runtime != nullptr && runtime[0] == '/') {
        const auto own = CheckOwnDirectory(runtime, false);
        if (own) {
            return WithSeparator(runtime);
        }
        runtimeProblem = own.Error().Within(RuntimeDirVariable).Reason + "; ";
    }
    // The shared /tmp is only safe in a directory we made ourselves and nobody else can enter.
    const std::string fallback =
        SharedTempRoot + std::string(TempDirPrefix) + std::to_string(::geteuid());
    if (const auto made = EnsurePrivateDirectory(fallback); !made) {
        return Fail(
            TError{"no private temporary directory: " + runtimeProblem + made.Error().Reason});
    }
    return WithSeparator(fallback);
}

TResult<void> WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes,
                                  TDurability durability) {
    const bool durable = durability == TDurability::Durable;
    auto temp = posix::CreateTempBeside(path);
    if (!temp) {
        return Fail(temp.Error());
    }
    const std::string tempPath = temp->Path;
    TResult<void> done = durable ? posix::WriteSyncClose(temp->File, bytes, tempPath)
                                 : posix::WriteAll(temp->File.Get(), bytes, tempPath);
    if (done && !durable) {
        done = temp->File.Close(tempPath);
    }
    int err = done ? 0 : errno;
    temp->File.Reset();
    // rename() replaces whatever is at `path`, a planted link included, without following it.
    if (err == 0 && ::rename(tempPath.c_str(), path.c_str()) != 0) {
        err = errno;
        done = Fail(TError{ErrorText("cannot replace", path, err)});
    }
    if (err != 0) {
        ::unlink(tempPath.c_str());
        errno = err; // the caller tells a full disk from a read-only folder by it
        return done;
    }
    if (durable) {
        posix::SyncDirectory(posix::DirectoryOf(path));
    }
    return {};
}

int RemoveStaleTempFiles(const std::string& path) {
    const std::string directory = posix::DirectoryOf(path);
    const std::string baseName = posix::BaseNameOf(path);
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(directory.c_str()), ::closedir);
    if (!dir) {
        return 0;
    }
    int removed = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (IsTempNameFor(entry->d_name, baseName) &&
            ::unlinkat(::dirfd(dir.get()), entry->d_name, 0) == 0) {
            ++removed;
        }
    }
    return removed;
}

} // namespace qor
