#include "download/CurlHttpSession.h"
#include "download/SystemHttp.h"

namespace qor {

THttpSessionFactory SystemHttpSessions() {
    return CurlHttpSessions();
}

} // namespace qor
