#include <windows.h>

#include <algorithm>

#include "platform/BoundedRead.h"
#include "platform/WinErrors.h"
#include "platform/WinHandles.h"
#include "platform/WinText.h"

namespace qor {

TResult<std::vector<std::uint8_t>, TFileError> ReadRegularFile(const std::string& path,
                                                               std::size_t limit) {
    const win::TFile file = win::MakeFile(
        ::CreateFileW(win::Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD code = ::GetLastError();
        const bool missing = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
        return Fail(TFileError{missing ? TFileFault::Missing : TFileFault::CannotOpen,
                               win::ErrorText("cannot open '" + path + "'", code)});
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
