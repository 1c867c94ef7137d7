// A library of the system opened when the program first needs it rather than when it starts:
// a library the program links is loaded, relocated and initialised before main() whether it
// is used or not. Its functions are found by name. A library once opened stays for the rest of
// the process: those opened this way keep state of their own (handlers, caches) that nothing
// undoes, and the functions found in it must stay valid.
#pragma once

#include <string>

#include "base/Result.h"

namespace qor {

class TSharedLibrary {
public:
    // The library the loader knows by `soname` ("libcurl.so.4"), or the loader's reason.
    static TResult<TSharedLibrary> Open(const std::string& soname);

    // Points `function` at the library's function `name`; the reason when it has none.
    template <typename TFunction> TResult<void> Find(const char* name, TFunction*& function) const {
        auto address = Address(name);
        if (!address) {
            return Fail(address.Error());
        }
        function = reinterpret_cast<TFunction*>(*address); // NOLINT: how dlsym hands them out
        return {};
    }

private:
    TSharedLibrary(void* handle, std::string soname) : Handle(handle), Soname(std::move(soname)) {}

    TResult<void*> Address(const char* name) const;

    void* Handle; // never closed
    std::string Soname;
};

} // namespace qor
