#include "platform/PosixFiles.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

#include "platform/TempName.h"

namespace qor::posix {
namespace {

constexpr unsigned TempAttempts = 16;
constexpr auto LockRetryPause = std::chrono::milliseconds(5);

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string RandomHex() {
    std::uint64_t number = 0;
    if (::getrandom(&number, sizeof number, 0) != static_cast<ssize_t>(sizeof number)) {
        // Without the kernel's randomness the name is still unique enough to retry with:
        // O_EXCL decides, the name only has to differ from the one that was taken.
        number = static_cast<std::uint64_t>(::getpid()) * 0x9E3779B97F4A7C15ULL ^
                 static_cast<std::uint64_t>(::time(nullptr));
    }
    char text[17] = {};
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(number));
    return text;
}

} // namespace

void TFileHandle::Reset(int fd) noexcept {
    if (Fd >= 0) {
        ::close(Fd); // a close error here has nobody left to tell; Close() reports it
    }
    Fd = fd;
}

TResult<void> TFileHandle::Close(const std::string& path) {
    const int fd = Release();
    if (fd >= 0 && ::close(fd) != 0 && errno != EINTR) {
        return Fail(TError{ErrorText("cannot close", path)});
    }
    return {};
}

std::string ErrorText(const std::string& what, const std::string& path) {
    return ErrorText(what, path, errno);
}

std::string ErrorText(const std::string& what, const std::string& path, int err) {
    const int saved = errno; // callers read errno after the text is made
    std::string text = what + " '" + path + "': " + std::generic_category().message(err);
    errno = saved;
    return text;
}

std::string OctalMode(unsigned mode) {
    char text[8] = {};
    std::snprintf(text, sizeof text, "%04o", mode & 07777U);
    return text;
}

TResult<void> MakeDirectories(const std::string& path) {
    if (path.empty()) {
        errno = ENOENT;
        return Fail(TError{"no directory given"});
    }
    if (IsDirectory(path)) {
        return {};
    }
    // Every prefix ending before a separator, then the whole path.
    for (std::size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
        const std::string part = path.substr(0, end);
        if (!part.empty() && part.back() != '/' && !IsDirectory(part) &&
            ::mkdir(part.c_str(), PrivateDirMode) != 0) {
            const int err = errno;
            if (err != EEXIST || !IsDirectory(part)) {
                errno = err == EEXIST ? ENOTDIR : err;
                return Fail(TError{ErrorText("cannot create the directory", part, errno)});
            }
        }
        if (end == std::string::npos) {
            return {};
        }
    }
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

TResult<void> WriteAll(int fd, std::span<const std::uint8_t> bytes, const std::string& path) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Fail(TError{ErrorText("cannot write", path)});
        }
        if (written == 0) {
            return Fail(TError{ErrorText("cannot write", path, EIO)});
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return {};
}

TResult<void> WriteSyncClose(TFileHandle& file, std::span<const std::uint8_t> bytes,
                             const std::string& path) {
    if (auto written = WriteAll(file.Get(), bytes, path); !written) {
        return written;
    }
    if (::fsync(file.Get()) != 0) {
        return Fail(TError{ErrorText("cannot flush", path)});
    }
    return file.Close(path);
}

void SyncDirectory(const std::string& directory) {
    const TFileHandle dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Valid()) {
        ::fsync(dir.Get());
    }
}

std::string TempPathFor(const std::string& path, unsigned attempt) {
    std::string dir = DirectoryOf(path);
    if (dir.back() != '/') {
        dir += '/';
    }
    return dir + TempNameFor(BaseNameOf(path), static_cast<unsigned long>(::getpid()),
                             attempt > 0 ? RandomHex() : std::string());
}

TResult<TTempFile> CreateTempBeside(const std::string& path) {
    for (unsigned attempt = 0; attempt < TempAttempts; ++attempt) {
        std::string tempPath = TempPathFor(path, attempt);
        TFileHandle file(::open(tempPath.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                PrivateFileMode));
        if (file.Valid()) {
            return TTempFile{std::move(file), std::move(tempPath)};
        }
        if (errno != EEXIST) {
            return Fail(TError{ErrorText("cannot create a temporary file", tempPath)});
        }
        // Something (a stale file of a dead writer, or a planted link) holds that name.
    }
    return Fail(TError{"no free temporary file name beside '" + path + "'"});
}

TResult<bool> CreateFileExclusively(const std::string& path, std::span<const std::uint8_t> bytes) {
    auto temp = CreateTempBeside(path);
    if (!temp) {
        return Fail(temp.Error());
    }
    TResult<bool> created = true;
    if (auto written = WriteSyncClose(temp->File, bytes, temp->Path); !written) {
        created = Fail(written.Error());
    } else if (::link(temp->Path.c_str(), path.c_str()) != 0) {
        // link() never replaces anything, so the one who links first wins and the file
        // appears with its whole contents at once.
        created = errno == EEXIST ? TResult<bool>(false)
                                  : TResult<bool>(Fail(TError{ErrorText("cannot create", path)}));
    }
    ::unlink(temp->Path.c_str());
    if (created && *created) {
        SyncDirectory(DirectoryOf(path));
    }
    return created;
}

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

} // namespace qor::posix
