#include <windows.h>

#include <algorithm>

#include "platform/BoundedRead.h"
#include "platform/WinErrors.h"
#include "platform/WinHandles.h"

namespace qor {
namespace {

std::wstring Widen(const std::string& utf8) {
    const int size =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                          size);
    return wide;
}

} // namespace

TResult<std::vector<std::uint8_t>, TFileError> ReadRegularFile(const std::string& path,
                                                               std::size_t limit) {
    const win::TFile file = win::MakeFile(
        ::CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return Fail(
            TFileError{TFileFault::CannotOpen, win::LastErrorText("cannot open '" + path + "'")});
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
    return ReadBounded(
        path, static_cast<std::uint64_t>(size.QuadPart), limit,
        [&](std::uint8_t* into, std::size_t room) -> TResult<std::size_t, TFileError> {
            DWORD got = 0;
            const auto want = static_cast<DWORD>(std::min<std::size_t>(room, 1U << 20U));
            if (!::ReadFile(file.get(), into, want, &got, nullptr)) {
                return Fail(TFileError{TFileFault::CannotRead,
                                       win::LastErrorText("cannot read '" + path + "'")});
            }
            return static_cast<std::size_t>(got);
        });
}

} // namespace qor
