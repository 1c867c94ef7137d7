// The HTTP client of the operating system the program runs on.
#pragma once

#include "download/HttpSession.h"

namespace qor {

THttpSessionFactory SystemHttpSessions();

} // namespace qor
