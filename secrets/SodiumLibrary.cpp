// libsodium, opened when the first secret is protected or read back instead of when the
// program starts: most runs never touch a secret. The functions of libsodium the protection
// calls are defined here under their own names and pass each call on to the library, which
// sodium_init() opens; when it cannot be opened, sodium_init() fails as libsodium's own does
// when it cannot start, and nothing else is called.
#include <sodium.h>

#include <cstdlib>

#include "platform/LibraryFunctions.h"
#include "secrets/SodiumLibrary.h"

namespace qor {
namespace {

struct TSodium {
    decltype(&::sodium_init) Init = nullptr;
    decltype(&::randombytes_buf) RandomBytes = nullptr;
    decltype(&::crypto_secretbox_easy) SecretBox = nullptr;
    decltype(&::crypto_secretbox_open_easy) SecretBoxOpen = nullptr;
};

// Opened by the first of LoadSodium() and sodium_init().
const TLibraryFunctions<TSodium>& Library() {
    static const TLibraryFunctions<TSodium> library(
        QOR_SODIUM_SONAME, LibraryFunction("sodium_init", &TSodium::Init),
        LibraryFunction("randombytes_buf", &TSodium::RandomBytes),
        LibraryFunction("crypto_secretbox_easy", &TSodium::SecretBox),
        LibraryFunction("crypto_secretbox_open_easy", &TSodium::SecretBoxOpen));
    return library;
}

const TSodium* Sodium() {
    return Library().Functions();
}

// The functions after sodium_init() are only reached once it succeeded; were one reached
// without the library, going on would make a key or a nonce of nothing.
const TSodium& Started() {
    const TSodium* sodium = Sodium();
    if (sodium == nullptr) {
        std::abort();
    }
    return *sodium;
}

} // namespace

TResult<void> LoadSodium() {
    return Library().Loaded();
}

} // namespace qor

extern "C" {

int sodium_init() {
    return qor::Sodium() != nullptr ? qor::Sodium()->Init() : -1;
}

void randombytes_buf(void* const buffer, const size_t size) {
    qor::Started().RandomBytes(buffer, size);
}

int crypto_secretbox_easy(unsigned char* box, const unsigned char* message, unsigned long long size,
                          const unsigned char* nonce, const unsigned char* key) {
    return qor::Started().SecretBox(box, message, size, nonce, key);
}

int crypto_secretbox_open_easy(unsigned char* message, const unsigned char* box,
                               unsigned long long size, const unsigned char* nonce,
                               const unsigned char* key) {
    return qor::Started().SecretBoxOpen(message, box, size, nonce, key);
}

} // extern "C"
