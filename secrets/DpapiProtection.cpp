#include "secrets/DpapiProtection.h"

#include <windows.h>

#include <dpapi.h>
#include <limits>

#include "platform/WinErrors.h"
#include "platform/WinHandles.h"
#include "platform/WinText.h"

namespace qor {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the description is passed as UTF-16");

// The call takes a non-const pointer but only reads the input.
DATA_BLOB InputBlob(std::span<const std::uint8_t> bytes) {
    static BYTE NoBytes = 0;
    return DATA_BLOB{static_cast<DWORD>(bytes.size()),
                     bytes.empty() ? &NoBytes : const_cast<BYTE*>(bytes.data())};
}

bool TooLarge(std::span<const std::uint8_t> bytes) {
    return bytes.size() > std::numeric_limits<DWORD>::max();
}

} // namespace

TResult<std::vector<std::uint8_t>>
TDpapiProtection::Protect(std::span<const std::uint8_t> plaintext,
                          const std::u16string& description) {
    if (TooLarge(plaintext)) {
        return Fail(TError{"the text to protect is too large"});
    }
    // The password's 8-bit characters, as every program that reads the blob expects them.
    const std::optional<TSecretBytes> ansi = win::SecretToAnsi(plaintext);
    if (!ansi) {
        return Fail(
            TError{"the password holds characters that the system's code page cannot hold"});
    }
    DATA_BLOB input = InputBlob(ansi->View());
    DATA_BLOB output{};
    if (::CryptProtectData(&input, reinterpret_cast<const wchar_t*>(description.c_str()), nullptr,
                           nullptr, nullptr, 0, &output) == FALSE) {
        return Fail(TError{win::LastErrorText("protecting the password failed")});
    }
    const win::TLocalMemory<BYTE> owner(output.pbData);
    return std::vector<std::uint8_t>(output.pbData, output.pbData + output.cbData);
}

TResult<TSecretBytes> TDpapiProtection::Unprotect(std::span<const std::uint8_t> blob) {
    if (TooLarge(blob)) {
        return Fail(TError{"the protected password is too large"});
    }
    DATA_BLOB input = InputBlob(blob);
    DATA_BLOB output{};
    if (::CryptUnprotectData(&input, nullptr, nullptr, nullptr, nullptr, 0, &output) == FALSE) {
        return Fail(TError{win::LastErrorText("the stored password cannot be unprotected")});
    }
    const win::TLocalMemory<BYTE> owner(output.pbData);
    const std::span<const std::uint8_t> bytes(output.pbData, output.cbData);
    // Earlier releases protected the UTF-8 bytes; a plaintext that is UTF-8 throughout is one
    // of theirs or plain ASCII, since 8-bit text with a character beyond ASCII almost never is.
    TSecretBytes plaintext = win::IsUtf8(bytes) ? TSecretBytes(bytes) : win::SecretFromAnsi(bytes);
    // The system's copy of the plaintext is wiped before it goes back to the heap.
    SecureWipe(output.pbData, output.cbData);
    return plaintext;
}

} // namespace qor
