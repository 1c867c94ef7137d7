// Why the settings could not be loaded or saved: which value, and for a write where and why
// the store refused it. StoreErrorText (settings/StoreTexts.h) says it in the store's words.
#pragma once

#include <string>

#include "settings/RegistryStore.h"

namespace qor {

struct TStoreError {
    enum class TKind {
        InvalidType,   // the value is stored in a type (or at a size) it cannot be read as
        GetDataFailed, // the value's data cannot be fetched: a number of more than four bytes
        SetDataFailed, // the value could not be written; Failure says where and why
    };
    TKind Kind = TKind::InvalidType;
    std::string ValueName;
    TStoreFailure Failure; // of the write, for SetDataFailed
};

} // namespace qor
