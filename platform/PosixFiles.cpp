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

namespace qor::posix {
namespace {

constexpr unsigned TempAttempts = 16;
constexpr const char* TempSuffix = ".tmp";
constexpr std::size_t ReadChunk = std::size_t{64} * 1024;
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

bool TFileHandle::Close(const std::string& path, std::string& error) {
    const int fd = Release();
    if (fd >= 0 && ::close(fd) != 0 && errno != EINTR) {
        error = ErrorText("cannot close", path);
        return false;
    }
    return true;
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

bool MakeDirectories(const std::string& path, std::string& error) {
    if (path.empty()) {
        errno = ENOENT;
        error = "no directory given";
        return false;
    }
    if (IsDirectory(path)) {
        return true;
    }
    // Every prefix ending before a separator, then the whole path.
    for (std::size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
        const std::string part = path.substr(0, end);
        if (!part.empty() && part.back() != '/' && !IsDirectory(part) &&
            ::mkdir(part.c_str(), PrivateDirMode) != 0) {
            const int err = errno;
            if (err != EEXIST || !IsDirectory(part)) {
                errno = err == EEXIST ? ENOTDIR : err;
                error = ErrorText("cannot create the directory", part, errno);
                return false;
            }
        }
        if (end == std::string::npos) {
            return true;
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

bool WriteAll(int fd, std::span<const std::uint8_t> bytes, const std::string& path,
              std::string& error) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = ErrorText("cannot write", path);
            return false;
        }
        if (written == 0) {
            error = ErrorText("cannot write", path, EIO);
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return true;
}

bool WriteSyncClose(TFileHandle& file, std::span<const std::uint8_t> bytes, const std::string& path,
                    std::string& error) {
    if (!WriteAll(file.Get(), bytes, path, error)) {
        return false;
    }
    if (::fsync(file.Get()) != 0) {
        error = ErrorText("cannot flush", path);
        return false;
    }
    return file.Close(path, error);
}

TReadOutcome ReadAll(int fd, std::size_t limit, const std::string& path, std::string& error) {
    TReadOutcome outcome;
    std::string bytes;
    for (;;) {
        const std::size_t used = bytes.size();
        bytes.resize(used + ReadChunk);
        const ssize_t got = ::read(fd, bytes.data() + used, ReadChunk);
        if (got < 0) {
            if (errno == EINTR) {
                bytes.resize(used);
                continue;
            }
            error = ErrorText("cannot read", path);
            return outcome;
        }
        bytes.resize(used + static_cast<std::size_t>(got));
        if (bytes.size() > limit) {
            error = "'" + path + "' is larger than " + std::to_string(limit) + " bytes";
            outcome.TooLarge = true;
            return outcome;
        }
        if (got == 0) {
            outcome.Bytes = std::move(bytes);
            return outcome;
        }
    }
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
    std::string name = std::move(dir);
    name += '.';
    name += BaseNameOf(path);
    name += '.';
    name += std::to_string(::getpid());
    if (attempt > 0) {
        name += '-';
        name += RandomHex();
    }
    name += TempSuffix;
    return name;
}

bool IsTempNameFor(const std::string& fileName, const std::string& baseName) {
    const std::string prefix = "." + baseName + ".";
    const std::string suffix = TempSuffix;
    if (fileName.size() <= prefix.size() + suffix.size() || !fileName.starts_with(prefix) ||
        !fileName.ends_with(suffix)) {
        return false;
    }
    const std::string middle =
        fileName.substr(prefix.size(), fileName.size() - prefix.size() - suffix.size());
    return middle.find_first_not_of("0123456789abcdef-") == std::string::npos;
}

TFileHandle CreateTempBeside(const std::string& path, std::string& tempPath, std::string& error) {
    for (unsigned attempt = 0; attempt < TempAttempts; ++attempt) {
        tempPath = TempPathFor(path, attempt);
        TFileHandle file(::open(tempPath.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                PrivateFileMode));
        if (file.Valid()) {
            return file;
        }
        if (errno != EEXIST) {
            error = ErrorText("cannot create a temporary file", tempPath);
            return {};
        }
        // Something (a stale file of a dead writer, or a planted link) holds that name.
    }
    error = "no free temporary file name beside '" + path + "'";
    tempPath.clear();
    return {};
}

bool CreateFileExclusively(const std::string& path, std::span<const std::uint8_t> bytes,
                           bool& exists, std::string& error) {
    exists = false;
    std::string tempPath;
    TFileHandle file = CreateTempBeside(path, tempPath, error);
    if (!file.Valid()) {
        return false;
    }
    bool done = WriteSyncClose(file, bytes, tempPath, error);
    // link() never replaces anything, so the one who links first wins and the file appears
    // with its whole contents at once.
    if (done && ::link(tempPath.c_str(), path.c_str()) != 0) {
        exists = errno == EEXIST;
        error = ErrorText("cannot create", path);
        done = false;
    }
    ::unlink(tempPath.c_str());
    if (done) {
        SyncDirectory(DirectoryOf(path));
    }
    return done;
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
