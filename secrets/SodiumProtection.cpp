#include "secrets/SodiumProtection.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/PosixFiles.h"
#include "secrets/SodiumLibrary.h"

namespace qor {
namespace {

using posix::ErrorText;
using posix::TFileHandle;

constexpr std::uint8_t BlobMagic[] = {'Q', 'P', 'B'};
constexpr std::uint8_t BlobVersion = 1;
constexpr std::size_t HeaderSize = sizeof BlobMagic + 1;
constexpr std::size_t NonceSize = crypto_secretbox_NONCEBYTES;
constexpr std::size_t MacSize = crypto_secretbox_MACBYTES;
constexpr std::size_t KeySize = crypto_secretbox_KEYBYTES;
constexpr std::size_t BoxOffset = HeaderSize + NonceSize;
// Inside the box: the description's length in UTF-16 units (4 bytes, little-endian), the
// description as UTF-16LE, then the plaintext.
constexpr std::size_t LengthFieldSize = 4;
constexpr const char* KeyFileName = "data-protection.key";

void PutLittleEndian32(std::uint8_t* out, std::uint32_t number) {
    for (std::size_t i = 0; i < LengthFieldSize; ++i) {
        out[i] = static_cast<std::uint8_t>(number >> (8 * i));
    }
}

std::uint32_t GetLittleEndian32(const std::uint8_t* in) {
    std::uint32_t number = 0;
    for (std::size_t i = 0; i < LengthFieldSize; ++i) {
        number |= static_cast<std::uint32_t>(in[i]) << (8 * i);
    }
    return number;
}

// libsodium is opened and started by the first protection asked for, not by the program's
// start: most runs never protect anything.
TResult<void> StartSodium() {
    if (auto loaded = LoadSodium(); !loaded) {
        return loaded;
    }
    static const bool started = ::sodium_init() >= 0;
    if (!started) {
        return Fail(TError{"the cryptography library could not be initialised"});
    }
    return {};
}

} // namespace

std::string TSodiumProtection::KeyFileIn(const std::string& directory) {
    return directory + "/" + KeyFileName;
}

TSodiumProtection::TSodiumProtection(std::string keyFilePath)
    : KeyFilePath(std::move(keyFilePath)) {
}

TResult<TSecretBytes> TSodiumProtection::ReadKeyFile(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return Fail(TError{ErrorText("cannot examine the key file", KeyFilePath)});
    }
    const std::string keptNote = "; it is left as it is";
    if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        return Fail(
            TError{"the key file '" + KeyFilePath + "' is not a file of this user" + keptNote});
    }
    if ((st.st_mode & posix::GroupOtherBits) != 0) {
        return Fail(TError{"the key file '" + KeyFilePath + "' is open to other users (mode " +
                           posix::OctalMode(st.st_mode) + ")" + keptNote});
    }
    // One byte more than a key, to see a file that is too long without trusting st_size.
    TSecretBytes key;
    key.Resize(KeySize + 1);
    std::size_t got = 0;
    while (got < key.Size()) {
        const ssize_t n = ::read(fd, key.Data() + got, key.Size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return Fail(TError{ErrorText("cannot read the key file", KeyFilePath)});
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    if (got != KeySize) {
        return Fail(TError{"the key file '" + KeyFilePath + "' does not hold a key of " +
                           std::to_string(KeySize) + " bytes" + keptNote});
    }
    key.Resize(KeySize);
    return key;
}

TResult<TSecretBytes> TSodiumProtection::LoadKey(bool create) {
    if (KeyFilePath.empty()) {
        return Fail(TError{"there is no place to keep the protection key (no home directory)"});
    }
    // Two rounds: when another process creates the key at the same moment, read its key.
    for (int round = 0; round < 2; ++round) {
        const TFileHandle file(
            ::open(KeyFilePath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (file.Valid()) {
            return ReadKeyFile(file.Get());
        }
        if (errno != ENOENT) {
            return Fail(TError{ErrorText("cannot open the key file", KeyFilePath)});
        }
        if (!create) {
            // A new key could not open anything protected before, so none is made here.
            return Fail(TError{"there is no protection key yet ('" + KeyFilePath + "')"});
        }
        if (auto made = posix::MakeDirectories(posix::DirectoryOf(KeyFilePath)); !made) {
            return Fail(made.Error());
        }
        TSecretBytes key;
        key.Resize(KeySize);
        ::randombytes_buf(key.Data(), key.Size());
        const auto created = posix::CreateFileExclusively(KeyFilePath, key.View());
        if (!created) {
            return Fail(created.Error());
        }
        if (*created) {
            return key;
        }
    }
    return Fail(TError{"the key file '" + KeyFilePath + "' keeps changing"});
}

TResult<std::vector<std::uint8_t>>
TSodiumProtection::Protect(std::span<const std::uint8_t> plaintext,
                           const std::u16string& description) {
    if (auto started = StartSodium(); !started) {
        return Fail(started.Error());
    }
    const auto key = LoadKey(true);
    if (!key) {
        return Fail(key.Error());
    }
    const std::size_t descriptionSize = description.size() * 2;
    TSecretBytes inner;
    inner.Resize(LengthFieldSize + descriptionSize + plaintext.size());
    PutLittleEndian32(inner.Data(), static_cast<std::uint32_t>(description.size()));
    for (std::size_t i = 0; i < description.size(); ++i) {
        inner.Data()[LengthFieldSize + 2 * i] = static_cast<std::uint8_t>(description[i]);
        inner.Data()[LengthFieldSize + 2 * i + 1] = static_cast<std::uint8_t>(description[i] >> 8);
    }
    std::copy(plaintext.begin(), plaintext.end(), inner.Data() + LengthFieldSize + descriptionSize);

    std::vector<std::uint8_t> blob(BoxOffset + MacSize + inner.Size());
    std::copy(std::begin(BlobMagic), std::end(BlobMagic), blob.begin());
    blob[sizeof BlobMagic] = BlobVersion;
    ::randombytes_buf(blob.data() + HeaderSize, NonceSize);
    ::crypto_secretbox_easy(blob.data() + BoxOffset, inner.Data(), inner.Size(),
                            blob.data() + HeaderSize, key->Data());
    return blob;
}

TResult<TSecretBytes> TSodiumProtection::Unprotect(std::span<const std::uint8_t> blob) {
    if (auto started = StartSodium(); !started) {
        return Fail(started.Error());
    }
    if (blob.size() < BoxOffset + MacSize + LengthFieldSize ||
        !std::equal(std::begin(BlobMagic), std::end(BlobMagic), blob.begin())) {
        return Fail(TError{"the stored password is not a protected password"});
    }
    if (blob[sizeof BlobMagic] != BlobVersion) {
        return Fail(TError{"the stored password was protected by a newer version"});
    }
    const auto key = LoadKey(false);
    if (!key) {
        return Fail(key.Error());
    }
    TSecretBytes inner;
    inner.Resize(blob.size() - BoxOffset - MacSize);
    if (::crypto_secretbox_open_easy(inner.Data(), blob.data() + BoxOffset, blob.size() - BoxOffset,
                                     blob.data() + HeaderSize, key->Data()) != 0) {
        return Fail(
            TError{"the stored password was protected with another key or has been altered"});
    }
    // The length came out of an authentic box, but a bad one must still not read past it.
    const std::uint64_t descriptionSize = 2ULL * GetLittleEndian32(inner.Data());
    if (descriptionSize > inner.Size() - LengthFieldSize) {
        return Fail(TError{"the stored password is malformed"});
    }
    return TSecretBytes(
        inner.View().subspan(LengthFieldSize + static_cast<std::size_t>(descriptionSize)));
}

} // namespace qor
