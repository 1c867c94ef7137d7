#include <windows.h>

#include <algorithm>
#include <new>

#include "platform/RegularFile.h"
#include "platform/WinErrors.h"
#include "platform/WinHandles.h"

namespace qor {
namespace {

std::wstring Widen(const std::string& utf8) {
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                           nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                          size);
    return wide;
}

} // namespace

TResult<std::vector<std::uint8_t>, TFileError> ReadRegularFile(const std::string& path,
                                                               std::size_t limit) {
    const win::TFile file = win::MakeFile(::CreateFileW(Widen(path).c_str(), GENERIC_READ,
                                                        FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                        nullptr, OPEN_EXISTING,
                                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return Fail(TFileError{TFileFault::CannotOpen,
                               win::LastErrorText("cannot open '" + path + "'")});
    }
    // A pipe or a console would make the reads below wait.
    if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
        return Fail(TFileError{TFileFault::NotRegular, "'" + path + "' is not a regular file"});
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) {
        return Fail(TFileError{TFileFault::CannotRead,
                               win::LastErrorText("cannot examine '" + path + "'")});
    }
    if (static_cast<std::uint64_t>(size.QuadPart) > limit) {
        return Fail(TFileError{TFileFault::TooLarge, "'" + path + "' is too large"});
    }
    try {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size.QuadPart) + 1);
        std::size_t used = 0;
        for (;;) {
            if (used == bytes.size()) {
                if (bytes.size() > limit) {
                    return Fail(TFileError{TFileFault::TooLarge, "'" + path + "' is too large"});
                }
                bytes.resize(std::min(bytes.size() * 2, limit + 1));
            }
            DWORD got = 0;
            const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - used, 1 << 20));
            if (!::ReadFile(file.get(), bytes.data() + used, want, &got, nullptr)) {
                return Fail(TFileError{TFileFault::CannotRead,
                                       win::LastErrorText("cannot read '" + path + "'")});
            }
            if (got == 0) {
                bytes.resize(used);
                return bytes;
            }
            used += got;
        }
    } catch (const std::bad_alloc&) {
        return Fail(TFileError{TFileFault::CannotRead, "no memory to read '" + path + "'"});
    }
}

} // namespace qor
