#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>

#include "platform/PosixFiles.h"
#include "platform/RegularFile.h"

namespace qor {

TResult<std::vector<std::uint8_t>, TFileError> ReadRegularFile(const std::string& path,
                                                               std::size_t limit) {
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    const posix::TFileHandle fd(
        ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.Valid()) {
        return Fail(TFileError{TFileFault::CannotOpen, posix::ErrorText("cannot open", path)});
    }
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0) {
        return Fail(TFileError{TFileFault::CannotRead, posix::ErrorText("cannot examine", path)});
    }
    if (!S_ISREG(info.st_mode)) {
        return Fail(TFileError{TFileFault::NotRegular, "'" + path + "' is not a regular file"});
    }
    if (static_cast<std::uint64_t>(info.st_size) > limit) {
        return Fail(TFileError{TFileFault::TooLarge, "'" + path + "' is too large"});
    }
    try {
        // The size may change meanwhile; the limit holds whatever the file does.
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(info.st_size) + 1);
        std::size_t used = 0;
        for (;;) {
            if (used == bytes.size()) {
                if (bytes.size() > limit) {
                    return Fail(TFileError{TFileFault::TooLarge, "'" + path + "' is too large"});
                }
                bytes.resize(std::min(bytes.size() * 2, limit + 1));
            }
            const ssize_t got = ::read(fd.Get(), bytes.data() + used, bytes.size() - used);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                return Fail(TFileError{TFileFault::CannotRead, posix::ErrorText("cannot read", path)});
            }
            if (got == 0) {
                bytes.resize(used);
                return bytes;
            }
            used += static_cast<std::size_t>(got);
        }
    } catch (const std::bad_alloc&) {
        return Fail(TFileError{TFileFault::CannotRead, "no memory to read '" + path + "'"});
    }
}

} // namespace qor
