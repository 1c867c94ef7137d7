#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/BoundedRead.h"
#include "platform/PosixFiles.h"

namespace qor {

TResult<std::vector<std::uint8_t>, TFileError> ReadRegularFile(const std::string& path,
                                                               std::size_t limit) {
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    const posix::TFileHandle fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.Valid()) {
        const bool missing = errno == ENOENT || errno == ENOTDIR;
        return Fail(TFileError{missing ? TFileFault::Missing : TFileFault::CannotOpen,
                               posix::ErrorText("cannot open", path)});
    }
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0) {
        return Fail(TFileError{TFileFault::CannotRead, posix::ErrorText("cannot examine", path)});
    }
    if (!S_ISREG(info.st_mode)) {
        return Fail(TFileError{TFileFault::NotRegular, "'" + path + "' is not a regular file"});
    }
    return ReadBounded(
        path, static_cast<std::uint64_t>(info.st_size), limit,
        [&](std::uint8_t* into, std::size_t room) -> TResult<std::size_t, TFileError> {
            for (;;) {
                const ssize_t got = ::read(fd.Get(), into, room);
                if (got >= 0) {
                    return static_cast<std::size_t>(got);
                }
                if (errno != EINTR) {
                    return Fail(
                        TFileError{TFileFault::CannotRead, posix::ErrorText("cannot read", path)});
                }
            }
        });
}

} // namespace qor
