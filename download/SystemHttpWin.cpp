#include "download/SystemHttp.h"
#include "download/WinInetHttpSession.h"

namespace qor {

THttpSessionFactory SystemHttpSessions() {
    return WinInetHttpSessions();
}

} // namespace qor
