#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

#include "platform/FileLock.h"
#include "platform/PosixFiles.h"

namespace qor {

struct TFileLock::THeld {
    posix::TFileHandle Fd; // the lock goes with the descriptor
};

TFileLock::TFileLock(std::unique_ptr<THeld> held) : Held(std::move(held)) {
}
TFileLock::TFileLock(TFileLock&&) noexcept = default;
TFileLock& TFileLock::operator=(TFileLock&&) noexcept = default;
TFileLock::~TFileLock() = default;

TResult<TFileLock> TFileLock::Acquire(const std::string& path, std::chrono::milliseconds wait) {
    auto held = std::make_unique<THeld>();
    held->Fd.Reset(
        ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, posix::PrivateFileMode));
    if (!held->Fd.Valid()) {
        return Fail(TError{posix::ErrorText("cannot open the lock file", path)});
    }
    if (!posix::LockWithin(held->Fd.Get(), LOCK_EX, wait)) {
        if (errno == EWOULDBLOCK) {
            return Fail(TError{"'" + path + "' stays locked by another program"});
        }
        return Fail(TError{posix::ErrorText("cannot lock", path)});
    }
    return TFileLock(std::move(held));
}

} // namespace qor
