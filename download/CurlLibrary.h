// libcurl is opened at the first download (see CurlLibrary.cpp).
#pragma once

#include "base/Result.h"

namespace qor {

// Opens libcurl with every function the session calls, once; the loader's reason when the
// library or one of them cannot be found, so a download names what the system lacks.
TResult<void> LoadCurl();

} // namespace qor
