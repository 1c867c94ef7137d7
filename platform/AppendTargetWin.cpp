#include <windows.h>

#include <algorithm>

#include "platform/AppendTarget.h"
#include "platform/WinErrors.h"
#include "platform/WinHandles.h"
#include "platform/WinText.h"

namespace qor {
namespace {

using win::LastErrorText;
using win::Widen;

// ReadFile and WriteFile take 32-bit counts.
constexpr std::size_t MaxPiece = std::size_t{1} << 30;

class TWinAppendTarget : public IAppendTarget {
public:
    TWinAppendTarget(win::TFile file, std::string path)
        : File(std::move(file)), Path(std::move(path)) {}

    TResult<std::uint64_t> Size() override {
        LARGE_INTEGER size{};
        if (::GetFileSizeEx(File.get(), &size) == FALSE) {
            return Fail(TError{LastErrorText("cannot examine '" + Path + "'")});
        }
        return static_cast<std::uint64_t>(size.QuadPart);
    }

    TResult<std::string> ReadAt(std::uint64_t offset, std::size_t count) override {
        if (auto moved = MoveTo(offset); !moved) {
            return Fail(moved.Error());
        }
        std::string bytes(count, '\0');
        std::size_t got = 0;
        while (got < count) {
            DWORD n = 0;
            const auto want = static_cast<DWORD>(std::min(count - got, MaxPiece));
            if (::ReadFile(File.get(), bytes.data() + got, want, &n, nullptr) == FALSE) {
                return Fail(TError{LastErrorText("cannot read '" + Path + "'")});
            }
            if (n == 0) {
                break;
            }
            got += n;
        }
        bytes.resize(got);
        return bytes;
    }

    TResult<void> Truncate(std::uint64_t size) override {
        if (auto moved = MoveTo(size); !moved) {
            return moved;
        }
        if (::SetEndOfFile(File.get()) == FALSE) {
            return Fail(TError{LastErrorText("cannot cut off the torn end of '" + Path + "'")});
        }
        return {};
    }

    TResult<void> Append(std::string_view bytes) override {
        LARGE_INTEGER end{};
        if (::SetFilePointerEx(File.get(), LARGE_INTEGER{}, &end, FILE_END) == FALSE) {
            return Fail(TError{LastErrorText("cannot write '" + Path + "'")});
        }
        while (!bytes.empty()) {
            DWORD written = 0;
            const auto piece = static_cast<DWORD>(std::min(bytes.size(), MaxPiece));
            if (::WriteFile(File.get(), bytes.data(), piece, &written, nullptr) == FALSE ||
                written == 0) {
                return Fail(TError{LastErrorText("cannot write '" + Path + "'")});
            }
            bytes.remove_prefix(written);
        }
        return {};
    }

    TResult<void> Flush() override {
        if (::FlushFileBuffers(File.get()) == FALSE) {
            return Fail(TError{LastErrorText("cannot flush '" + Path + "'")});
        }
        return {};
    }

private:
    TResult<void> MoveTo(std::uint64_t offset) {
        LARGE_INTEGER at{};
        at.QuadPart = static_cast<LONGLONG>(offset);
        if (::SetFilePointerEx(File.get(), at, nullptr, FILE_BEGIN) == FALSE) {
            return Fail(TError{LastErrorText("cannot seek in '" + Path + "'")});
        }
        return {};
    }

    win::TFile File;
    std::string Path;
};

} // namespace

TResult<std::unique_ptr<IAppendTarget>> OpenAppendTarget(const std::string& path) {
    // Readers may look in meanwhile; a link in the log's place is not followed.
    win::TFile file = win::MakeFile(
        ::CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        return Fail(TError{LastErrorText("cannot open '" + path + "'")});
    }
    if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
        return Fail(TError{"'" + path + "' is not a regular file"});
    }
    return std::unique_ptr<IAppendTarget>(
        std::make_unique<TWinAppendTarget>(std::move(file), path));
}

TResult<void> RenameOver(const std::string& from, const std::string& to) {
    if (::MoveFileExW(Widen(from).c_str(), Widen(to).c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == FALSE) {
        return Fail(TError{LastErrorText("cannot rename '" + from + "'")});
    }
    return {};
}

} // namespace qor
