#include <windows.h>

#include <algorithm>
#include <random>

#include "platform/TempDir.h"
#include "platform/TempName.h"
#include "platform/WinErrors.h"
#include "platform/WinHandles.h"
#include "platform/WinSecurity.h"
#include "platform/WinText.h"

namespace qor {
namespace {

using win::LastErrorText;
using win::Widen;

constexpr int TempNameAttempts = 16;
// GetTempPathW's usual bound; the call says how much more it needs when that is too little.
constexpr DWORD InitialTempPathSize = MAX_PATH + 1;
constexpr int TempPathAttempts = 3;
// WriteFile takes a 32-bit count; larger buffers go in pieces.
constexpr std::size_t MaxWritePiece = std::size_t{1} << 30;

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

std::size_t LastSeparator(const std::string& path) {
    for (std::size_t i = path.size(); i > 0; --i) {
        if (IsSeparator(path[i - 1])) {
            return i - 1;
        }
    }
    return std::string::npos;
}

// "dir\" (with its separator) or "" for a bare name.
std::string DirectoryPart(const std::string& path) {
    const std::size_t cut = LastSeparator(path);
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string BaseName(const std::string& path) {
    const std::size_t cut = LastSeparator(path);
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string TempPathFor(const std::string& path, int attempt) {
    static std::mt19937 random{std::random_device{}()};
    return DirectoryPart(path) + TempNameFor(BaseName(path), ::GetCurrentProcessId(),
                                             attempt > 0 ? std::to_string(random()) : "");
}

struct TTempFile {
    win::TFile File;
    std::string Path;
};

// A new file that did not exist before; an existing name, a link included, is never opened.
TResult<TTempFile> CreateTempBeside(const std::string& path) {
    for (int attempt = 0; attempt < TempNameAttempts; ++attempt) {
        std::string tempPath = TempPathFor(path, attempt);
        win::TFile file = win::MakeFile(
            ::CreateFileW(Widen(tempPath).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (file) {
            return TTempFile{std::move(file), std::move(tempPath)};
        }
        const DWORD code = ::GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
            return Fail(TError{win::ErrorText("cannot create '" + tempPath + "'", code)});
        }
    }
    return Fail(TError{"no free temporary name beside '" + path + "'"});
}

TResult<void> WriteAll(HANDLE file, std::span<const std::uint8_t> bytes, const std::string& path) {
    while (!bytes.empty()) {
        const auto piece = static_cast<DWORD>(std::min(bytes.size(), MaxWritePiece));
        DWORD written = 0;
        if (::WriteFile(file, bytes.data(), piece, &written, nullptr) == FALSE || written == 0) {
            return Fail(TError{LastErrorText("cannot write '" + path + "'")});
        }
        bytes = bytes.subspan(written);
    }
    return {};
}

} // namespace

TResult<std::string> UserTempDirectory() {
    std::wstring wide(InitialTempPathSize, L'\0');
    bool fits = false;
    for (int attempt = 0; attempt < TempPathAttempts && !fits; ++attempt) {
        const DWORD length = ::GetTempPathW(static_cast<DWORD>(wide.size()), wide.data());
        if (length == 0) {
            return Fail(TError{LastErrorText("the temporary directory is unknown")});
        }
        fits = length < wide.size();
        // Too small: the length asked for counts the terminating zero.
        wide.resize(fits ? length : length + 1);
    }
    std::string path = win::Narrow(wide);
    if (!fits || path.empty()) {
        return Fail(TError{"the temporary directory is unknown"});
    }
    if (!IsSeparator(path.back())) {
        path += '\\';
    }
    // The system names the directory but does not promise that it is there.
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (::CreateDirectoryW(wide.c_str(), nullptr) == FALSE &&
            ::GetLastError() != ERROR_ALREADY_EXISTS) {
            return Fail(
                TError{LastErrorText("cannot create the temporary directory '" + path + "'")});
        }
    } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return Fail(TError{"the temporary directory '" + path + "' is not a directory"});
    }
    return path;
}

TResult<void> WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes,
                                  TDurability durability) {
    const bool durable = durability == TDurability::Durable;
    auto temp = CreateTempBeside(path);
    if (!temp) {
        return Fail(temp.Error());
    }
    const std::string tempPath = temp->Path;
    TResult<void> done = WriteAll(temp->File.get(), bytes, tempPath);
    if (done && durable && ::FlushFileBuffers(temp->File.get()) == FALSE) {
        done = Fail(TError{LastErrorText("cannot flush '" + tempPath + "'")});
    }
    temp->File.reset();
    // The rename replaces whatever is at `path`, a link included, without following it.
    const DWORD flags = MOVEFILE_REPLACE_EXISTING | (durable ? MOVEFILE_WRITE_THROUGH : 0);
    if (done && ::MoveFileExW(Widen(tempPath).c_str(), Widen(path).c_str(), flags) == FALSE) {
        done = Fail(TError{LastErrorText("cannot replace '" + path + "'")});
    }
    if (!done) {
        ::DeleteFileW(Widen(tempPath).c_str());
    }
    return done;
}

TResult<void> EnsurePrivateDirectory(const std::string& path) {
    // One look at the process token serves both the creation and the check.
    const auto userSid = win::CurrentUserSid();
    if (!userSid) {
        return Fail(userSid.Error());
    }
    if (auto made = win::CreatePrivateDirectory(path, *userSid); !made) {
        return made;
    }
    return win::CheckPrivateDirectory(path, *userSid);
}

int RemoveStaleTempFiles(const std::string& path) {
    const std::string directory = DirectoryPart(path);
    const std::string baseName = BaseName(path);
    WIN32_FIND_DATAW entry{};
    HANDLE search =
        ::FindFirstFileW(Widen(directory + "." + baseName + ".*" + TempSuffix).c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return 0;
    }
    const std::unique_ptr<void, decltype(&::FindClose)> owner(search, ::FindClose);
    int removed = 0;
    do {
        const std::string name = win::Narrow(entry.cFileName);
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
            IsTempNameFor(name, baseName) &&
            ::DeleteFileW(Widen(directory + name).c_str()) != FALSE) {
            ++removed;
        }
    } while (::FindNextFileW(search, &entry) != FALSE);
    return removed;
}

} // namespace qor
