#include <windows.h>

#include <thread>

#include "platform/FileLock.h"
#include "platform/WinErrors.h"
#include "platform/WinHandles.h"
#include "platform/WinText.h"

namespace qor {

struct TFileLock::THeld {
    win::TFile File; // the region lock goes with the handle
};

TFileLock::TFileLock(std::unique_ptr<THeld> held) : Held(std::move(held)) {
}
TFileLock::TFileLock(TFileLock&&) noexcept = default;
TFileLock& TFileLock::operator=(TFileLock&&) noexcept = default;
TFileLock::~TFileLock() = default;

TResult<TFileLock> TFileLock::Acquire(const std::string& path, std::chrono::milliseconds wait) {
    auto held = std::make_unique<THeld>();
    held->File = win::MakeFile(::CreateFileW(win::Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!held->File) {
        return Fail(TError{win::LastErrorText("cannot open the lock file '" + path + "'")});
    }
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        OVERLAPPED at{};
        if (::LockFileEx(held->File.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                         1, 0, &at)) {
            return TFileLock(std::move(held));
        }
        if (::GetLastError() != ERROR_LOCK_VIOLATION) {
            return Fail(TError{win::LastErrorText("cannot lock '" + path + "'")});
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return Fail(TError{"'" + path + "' stays locked by another program"});
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

} // namespace qor
