#include <windows.h>

#include <algorithm>
#include <random>

#include "platform/TempDir.h"
#include "platform/WinErrors.h"
#include "platform/WinHandles.h"
#include "platform/WinSecurity.h"

namespace qor {
namespace {

using win::LastErrorText;

constexpr const char* TempSuffix = ".tmp";
constexpr int TempNameAttempts = 16;
// GetTempPathA's usual bound; the call says how much more it needs when that is too little.
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

// Attempt 0 is ".<name>.<pid>.tmp" beside the file; later ones add a random part, in case a
// dead writer of the same process id left its file behind.
std::string TempPathFor(const std::string& path, int attempt) {
    std::string name =
        DirectoryPart(path) + "." + BaseName(path) + "." + std::to_string(::GetCurrentProcessId());
    if (attempt > 0) {
        static std::mt19937 random{std::random_device{}()};
        name += "-" + std::to_string(random());
    }
    return name + TempSuffix;
}

bool IsTempNameFor(const std::string& fileName, const std::string& baseName) {
    const std::string prefix = "." + baseName + ".";
    const std::string suffix = TempSuffix;
    if (fileName.size() <= prefix.size() + suffix.size() ||
        fileName.compare(0, prefix.size(), prefix) != 0 ||
        fileName.compare(fileName.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return false;
    }
    const std::string middle =
        fileName.substr(prefix.size(), fileName.size() - prefix.size() - suffix.size());
    for (const char c : middle) {
        if ((c < '0' || c > '9') && c != '-') {
            return false;
        }
    }
    return true;
}

// A new file that did not exist before; an existing name, a link included, is never opened.
win::TFile CreateTempBeside(const std::string& path, std::string& tempPath, std::string& error) {
    for (int attempt = 0; attempt < TempNameAttempts; ++attempt) {
        tempPath = TempPathFor(path, attempt);
        win::TFile file = win::MakeFile(
            ::CreateFileA(tempPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (file) {
            return file;
        }
        const DWORD code = ::GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
            error = win::ErrorText("cannot create '" + tempPath + "'", code);
            return nullptr;
        }
    }
    error = "no free temporary name beside '" + path + "'";
    return nullptr;
}

bool WriteAll(HANDLE file, std::span<const std::uint8_t> bytes, const std::string& path,
              std::string& error) {
    while (!bytes.empty()) {
        const auto piece = static_cast<DWORD>(std::min(bytes.size(), MaxWritePiece));
        DWORD written = 0;
        if (::WriteFile(file, bytes.data(), piece, &written, nullptr) == FALSE || written == 0) {
            error = LastErrorText("cannot write '" + path + "'");
            return false;
        }
        bytes = bytes.subspan(written);
    }
    return true;
}

} // namespace

TResult<std::string> UserTempDirectory() {
    std::string path(InitialTempPathSize, '\0');
    bool fits = false;
    for (int attempt = 0; attempt < TempPathAttempts && !fits; ++attempt) {
        const DWORD length = ::GetTempPathA(static_cast<DWORD>(path.size()), path.data());
        if (length == 0) {
            return Fail(TError{LastErrorText("the temporary directory is unknown")});
        }
        fits = length < path.size();
        // Too small: the length asked for counts the terminating zero.
        path.resize(fits ? length : length + 1);
    }
    if (!fits || path.empty()) {
        return Fail(TError{"the temporary directory is unknown"});
    }
    if (!IsSeparator(path.back())) {
        path += '\\';
    }
    // The system names the directory but does not promise that it is there.
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (::CreateDirectoryA(path.c_str(), nullptr) == FALSE &&
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
    std::string tempPath;
    std::string error;
    win::TFile file = CreateTempBeside(path, tempPath, error);
    if (!file) {
        return Fail(TError{error});
    }
    bool written = WriteAll(file.get(), bytes, tempPath, error);
    if (written && durable && ::FlushFileBuffers(file.get()) == FALSE) {
        error = LastErrorText("cannot flush '" + tempPath + "'");
        written = false;
    }
    file.reset();
    // The rename replaces whatever is at `path`, a link included, without following it.
    const DWORD flags = MOVEFILE_REPLACE_EXISTING | (durable ? MOVEFILE_WRITE_THROUGH : 0);
    if (written && ::MoveFileExA(tempPath.c_str(), path.c_str(), flags) == FALSE) {
        error = LastErrorText("cannot replace '" + path + "'");
        written = false;
    }
    if (!written) {
        ::DeleteFileA(tempPath.c_str());
        return Fail(TError{error});
    }
    return {};
}

TResult<void> EnsurePrivateDirectory(const std::string& path) {
    // One look at the process token serves both the creation and the check.
    std::string error;
    const std::string userSid = win::CurrentUserSid(error);
    if (userSid.empty() || !win::CreatePrivateDirectory(path, userSid, error) ||
        !win::CheckPrivateDirectory(path, userSid, error)) {
        return Fail(TError{error});
    }
    return {};
}

int RemoveStaleTempFiles(const std::string& path) {
    const std::string directory = DirectoryPart(path);
    const std::string baseName = BaseName(path);
    WIN32_FIND_DATAA entry{};
    HANDLE search =
        ::FindFirstFileA((directory + "." + baseName + ".*" + TempSuffix).c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return 0;
    }
    const std::unique_ptr<void, decltype(&::FindClose)> owner(search, ::FindClose);
    int removed = 0;
    do {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
            IsTempNameFor(entry.cFileName, baseName) &&
            ::DeleteFileA((directory + entry.cFileName).c_str()) != FALSE) {
            ++removed;
        }
    } while (::FindNextFileA(search, &entry) != FALSE);
    return removed;
}

} // namespace qor
