// The functions the program calls in a library it opens at run time (see SharedLibrary.h),
// kept in a struct of pointers, one member a function. A library's file lists each function
// once, by the name the library exports it under and the member that holds it; this finds them
// all or none: a library that lacks one of them is not used at all, and the loader's reason
// says which.
#pragma once

#include "base/Result.h"
#include "platform/SharedLibrary.h"

namespace qor {

// One function of TFunctions' library: its exported name and the member that holds it.
template <typename TFunctions, typename TFunction> struct TLibraryFunction {
    const char* Name;
    TFunction* TFunctions::*Member;
};

template <typename TFunctions, typename TFunction>
constexpr TLibraryFunction<TFunctions, TFunction> LibraryFunction(const char* name,
                                                                  TFunction* TFunctions::*member) {
    return {name, member};
}

template <typename TFunctions> class TLibraryFunctions {
public:
    // Opens the library the loader knows by `soname` and finds `functions` in it, in their
    // order. Made once, by the first call that needs the library: a function-local static.
    template <typename... TFunction>
    explicit TLibraryFunctions(const char* soname,
                               TLibraryFunction<TFunctions, TFunction>... functions)
        : Bound(Bind(soname, functions...)) {}

    // Every function listed; nullptr when the library or one of them could not be found.
    const TFunctions* Functions() const { return Bound ? &*Bound : nullptr; }

    // Why the functions cannot be had: the loader's reason.
    TResult<void> Loaded() const {
        if (!Bound) {
            return Fail(Bound.Error());
        }
        return {};
    }

private:
    template <typename... TFunction>
    static TResult<TFunctions> Bind(const char* soname,
                                    TLibraryFunction<TFunctions, TFunction>... functions) {
        const TResult<TSharedLibrary> library = TSharedLibrary::Open(soname);
        if (!library) {
            return Fail(library.Error());
        }
        TFunctions bound;
        TResult<void> found;
        // Up to the first one the library lacks.
        (void)((found = library->Find(functions.Name, bound.*functions.Member)) && ...);
        if (!found) {
            return Fail(found.Error());
        }
        return bound;
    }

    TResult<TFunctions> Bound;
};

} // namespace qor
