#include "platform/SharedLibrary.h"

#include <dlfcn.h>

namespace qor {
namespace {

std::string LoaderReason() {
    const char* reason = ::dlerror();
    return reason != nullptr ? reason : "no reason given";
}

} // namespace

TResult<TSharedLibrary> TSharedLibrary::Open(const std::string& soname) {
    // Its own symbols stay its own: nothing of ours binds to them by accident, nor they to ours.
    // Its functions are bound when first called, as a linked library's are: libcurl brings
    // some thirty libraries, most of whose functions a download never calls.
    void* handle = ::dlopen(soname.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (handle == nullptr) {
        return Fail(TError{"cannot load " + soname + ": " + LoaderReason()});
    }
    return TSharedLibrary(handle, soname);
}

TResult<void*> TSharedLibrary::Address(const char* name) const {
    ::dlerror();
    void* address = ::dlsym(Handle, name);
    if (address == nullptr) {
        return Fail(TError{Soname + " has no " + name + ": " + LoaderReason()});
    }
    return address;
}

} // namespace qor
