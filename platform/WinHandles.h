// Owners for the Windows handles the back-ends open, each released the way its API demands.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace qor::win {

struct TRegKeyCloser {
    void operator()(HKEY key) const noexcept { ::RegCloseKey(key); }
};
using TRegKey = std::unique_ptr<std::remove_pointer_t<HKEY>, TRegKeyCloser>;

struct TFileCloser {
    void operator()(HANDLE file) const noexcept { ::CloseHandle(file); }
};
// A file handle; INVALID_HANDLE_VALUE is kept out by MakeFile.
using TFile = std::unique_ptr<void, TFileCloser>;
inline TFile MakeFile(HANDLE file) {
    return TFile(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

struct TLocalFreer {
    void operator()(void* memory) const noexcept { ::LocalFree(memory); }
};
// Memory a system call handed out with LocalAlloc.
template <typename T> using TLocalMemory = std::unique_ptr<T, TLocalFreer>;

struct TModuleFreer {
    void operator()(HMODULE module) const noexcept { ::FreeLibrary(module); }
};
using TModule = std::unique_ptr<std::remove_pointer_t<HMODULE>, TModuleFreer>;

} // namespace qor::win
