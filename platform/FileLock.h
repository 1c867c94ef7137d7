// An exclusive lock between the program's instances, held on a lock file for as long as the
// object lives. The lock file stays; only whoever holds the lock writes what it guards.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "base/Result.h"

namespace qor {

class TFileLock {
public:
    // Takes the lock on `path` (created 0600 when missing), waiting at most `wait` for another
    // holder to let go.
    static TResult<TFileLock> Acquire(const std::string& path, std::chrono::milliseconds wait);

    TFileLock(TFileLock&&) noexcept;
    TFileLock& operator=(TFileLock&&) noexcept;
    ~TFileLock();

private:
    struct THeld;
    explicit TFileLock(std::unique_ptr<THeld> held);
    std::unique_ptr<THeld> Held;
};

} // namespace qor
