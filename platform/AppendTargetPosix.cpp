#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/AppendTarget.h"
#include "platform/PosixFiles.h"

namespace qor {
namespace {

using posix::ErrorText;

class TPosixAppendTarget : public IAppendTarget {
public:
    TPosixAppendTarget(posix::TFileHandle file, std::string path)
        : File(std::move(file)), Path(std::move(path)) {}

    TResult<std::uint64_t> Size() override {
        struct stat info {};
        if (::fstat(File.Get(), &info) != 0) {
            return Fail(TError{ErrorText("cannot examine", Path)});
        }
        return static_cast<std::uint64_t>(info.st_size);
    }

    TResult<std::string> ReadAt(std::uint64_t offset, std::size_t count) override {
        std::string bytes(count, '\0');
        std::size_t got = 0;
        while (got < count) {
            const ssize_t n = ::pread(File.Get(), bytes.data() + got, count - got,
                                      static_cast<off_t>(offset + got));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                return Fail(TError{ErrorText("cannot read", Path)});
            }
            if (n == 0) {
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        bytes.resize(got);
        return bytes;
    }

    TResult<void> Truncate(std::uint64_t size) override {
        if (::ftruncate(File.Get(), static_cast<off_t>(size)) != 0) {
            return Fail(TError{ErrorText("cannot cut off the torn end of", Path)});
        }
        return {};
    }

    TResult<void> Append(std::string_view bytes) override {
        // O_APPEND: every write lands at the end, wherever a truncation left it.
        return posix::WriteAll(File.Get(), posix::AsBytes(bytes), Path);
    }

    TResult<void> Flush() override {
        if (::fdatasync(File.Get()) != 0) {
            return Fail(TError{ErrorText("cannot flush", Path)});
        }
        return {};
    }

private:
    posix::TFileHandle File;
    std::string Path;
};

} // namespace

TResult<std::unique_ptr<IAppendTarget>> OpenAppendTarget(const std::string& path) {
    // O_NONBLOCK: a FIFO put in the log's place must not hold the update up.
    posix::TFileHandle file(::open(
        path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
        posix::PrivateFileMode));
    if (!file.Valid()) {
        return Fail(TError{ErrorText("cannot open", path)});
    }
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0) {
        return Fail(TError{ErrorText("cannot examine", path)});
    }
    if (!S_ISREG(info.st_mode)) {
        return Fail(TError{"'" + path + "' is not a regular file"});
    }
    return std::unique_ptr<IAppendTarget>(
        std::make_unique<TPosixAppendTarget>(std::move(file), path));
}

TResult<void> RenameOver(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        return Fail(TError{ErrorText("cannot rename", from)});
    }
    posix::SyncDirectory(posix::DirectoryOf(to));
    return {};
}

} // namespace qor
