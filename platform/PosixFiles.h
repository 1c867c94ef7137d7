// Small POSIX file helpers shared by the Linux back-ends: an owning descriptor, reading and
// writing whole buffers, private directories, exclusive creation and locks with a deadline.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <sys/types.h>

#include "base/Result.h"

namespace qor::posix {

// What only the current user may use: the modes such files and directories are made with, and
// the bits that must be clear in a mode for that.
inline constexpr mode_t PrivateDirMode = 0700;
inline constexpr mode_t PrivateFileMode = 0600;
inline constexpr mode_t GroupOtherBits = 0077;

inline std::span<const std::uint8_t> AsBytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Owns one file descriptor; closed when it goes away.
class TFileHandle {
public:
    TFileHandle() = default;
    explicit TFileHandle(int fd) noexcept : Fd(fd) {}
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;
    TFileHandle(TFileHandle&& other) noexcept : Fd(other.Release()) {}
    TFileHandle& operator=(TFileHandle&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }
    ~TFileHandle() { Reset(); }

    int Get() const noexcept { return Fd; }
    bool Valid() const noexcept { return Fd >= 0; }
    int Release() noexcept {
        const int fd = Fd;
        Fd = -1;
        return fd;
    }
    void Reset(int fd = -1) noexcept;
    // Closes now and tells whether the close reported an error (a late write error on some
    // file systems).
    TResult<void> Close(const std::string& path);

private:
    int Fd = -1;
};

// "what failed 'path': reason" for the current errno or a given one; errno stays as it was.
std::string ErrorText(const std::string& what, const std::string& path);
std::string ErrorText(const std::string& what, const std::string& path, int err);

// Permission bits as `ls -l`'s octal form, e.g. "0644", for messages.
std::string OctalMode(unsigned mode);

// Creates `path` and any missing parents; the ones created get mode 0700. Existing ones
// (links included) are accepted as long as they are directories. On failure errno also says why.
TResult<void> MakeDirectories(const std::string& path);

// The directory part of `path` ("." when there is none) and the last component.
std::string DirectoryOf(const std::string& path);
std::string BaseNameOf(const std::string& path);

// Writes every byte, going on after short writes and interrupted calls.
TResult<void> WriteAll(int fd, std::span<const std::uint8_t> bytes, const std::string& path);

// Writes every byte to a new file, flushes it to the disk and closes it.
TResult<void> WriteSyncClose(TFileHandle& file, std::span<const std::uint8_t> bytes,
                             const std::string& path);

// Makes a rename or creation in `directory` durable. Best effort: some file systems cannot
// sync a directory, and the change itself has been made by then.
void SyncDirectory(const std::string& directory);

// Where the temporary file beside `path` goes at a given attempt: TempNameFor's name, with a
// random part from the second attempt on.
std::string TempPathFor(const std::string& path, unsigned attempt);

struct TTempFile {
    TFileHandle File;
    std::string Path;
};
// A new file beside `path` (named as TempNameFor says), created 0600 without following links
// and never reusing an existing name.
TResult<TTempFile> CreateTempBeside(const std::string& path);

// Creates `path` holding exactly `bytes` only if nothing is there yet: written in full to a
// new file first and then linked into place, so nobody ever sees it half-written. True when
// it was created, false when another file (or link) got there first.
TResult<bool> CreateFileExclusively(const std::string& path, std::span<const std::uint8_t> bytes);

// flock with a deadline: another process holds a lock only briefly, and waiting for ever on
// one this process itself still holds would hang the program. False with errno EWOULDBLOCK
// when the lock stayed taken, another errno when locking failed.
bool LockWithin(int fd, int operation, std::chrono::milliseconds wait);

} // namespace qor::posix
