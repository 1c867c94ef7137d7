// libcurl, opened at the first download instead of when the program starts: linked, it
// brought some thirty libraries (TLS, Kerberos, LDAP, SSH, RTMP) into every start of the
// window and of the command line, relocated and initialised before anything could use them.
//
// The functions of libcurl the HTTP session calls are defined here under their own names and
// pass each call on to the library, which the first of them opens. Until it is open, or when
// it cannot be, they answer as libcurl does when it cannot start; the session asks LoadCurl()
// first, which tells the loader's reason.
#include <curl/curl.h>

#include <cstdarg>

#include "download/CurlLibrary.h"
#include "platform/LibraryFunctions.h"

namespace qor {
namespace {

// The functions the session uses, as libcurl declares them.
struct TCurl {
    decltype(&::curl_global_init) GlobalInit = nullptr;
    decltype(&::curl_easy_init) EasyInit = nullptr;
    decltype(&::curl_easy_cleanup) EasyCleanup = nullptr;
    decltype(&::curl_easy_setopt) EasySetopt = nullptr;
    decltype(&::curl_easy_getinfo) EasyGetinfo = nullptr;
    decltype(&::curl_easy_header) EasyHeader = nullptr;
    decltype(&::curl_easy_pause) EasyPause = nullptr;
    decltype(&::curl_easy_strerror) EasyStrerror = nullptr;
    decltype(&::curl_multi_init) MultiInit = nullptr;
    decltype(&::curl_multi_cleanup) MultiCleanup = nullptr;
    decltype(&::curl_multi_add_handle) MultiAddHandle = nullptr;
    decltype(&::curl_multi_remove_handle) MultiRemoveHandle = nullptr;
    decltype(&::curl_multi_perform) MultiPerform = nullptr;
    decltype(&::curl_multi_poll) MultiPoll = nullptr;
    decltype(&::curl_multi_info_read) MultiInfoRead = nullptr;
    decltype(&::curl_multi_strerror) MultiStrerror = nullptr;
    decltype(&::curl_slist_append) SlistAppend = nullptr;
    decltype(&::curl_slist_free_all) SlistFreeAll = nullptr;
};

// Opened by the first call of one of the functions below.
const TLibraryFunctions<TCurl>& Library() {
    static const TLibraryFunctions<TCurl> library(
        QOR_CURL_SONAME, LibraryFunction("curl_global_init", &TCurl::GlobalInit),
        LibraryFunction("curl_easy_init", &TCurl::EasyInit),
        LibraryFunction("curl_easy_cleanup", &TCurl::EasyCleanup),
        LibraryFunction("curl_easy_setopt", &TCurl::EasySetopt),
        LibraryFunction("curl_easy_getinfo", &TCurl::EasyGetinfo),
        LibraryFunction("curl_easy_header", &TCurl::EasyHeader),
        LibraryFunction("curl_easy_pause", &TCurl::EasyPause),
        LibraryFunction("curl_easy_strerror", &TCurl::EasyStrerror),
        LibraryFunction("curl_multi_init", &TCurl::MultiInit),
        LibraryFunction("curl_multi_cleanup", &TCurl::MultiCleanup),
        LibraryFunction("curl_multi_add_handle", &TCurl::MultiAddHandle),
        LibraryFunction("curl_multi_remove_handle", &TCurl::MultiRemoveHandle),
        LibraryFunction("curl_multi_perform", &TCurl::MultiPerform),
        LibraryFunction("curl_multi_poll", &TCurl::MultiPoll),
        LibraryFunction("curl_multi_info_read", &TCurl::MultiInfoRead),
        LibraryFunction("curl_multi_strerror", &TCurl::MultiStrerror),
        LibraryFunction("curl_slist_append", &TCurl::SlistAppend),
        LibraryFunction("curl_slist_free_all", &TCurl::SlistFreeAll));
    return library;
}

// libcurl's functions once it is open; nullptr when it cannot be.
const TCurl* Curl() {
    return Library().Functions();
}

constexpr const char* NotLoaded = "libcurl could not be loaded";

// libcurl reads the one argument after the option as the type the option's number names.
// Callbacks are passed on as a write callback: the only kind this program sets (body and
// headers), and all function pointers travel alike.
template <typename TArgument> CURLcode SetOption(CURL* curl, CURLoption option, std::va_list args) {
    return Curl()->EasySetopt(curl, option, va_arg(args, TArgument));
}

} // namespace

TResult<void> LoadCurl() {
    return Library().Loaded();
}

} // namespace qor

using qor::Curl;
using qor::SetOption;

extern "C" {

CURLcode curl_global_init(long flags) {
    return Curl() != nullptr ? Curl()->GlobalInit(flags) : CURLE_FAILED_INIT;
}

CURL* curl_easy_init() {
    return Curl() != nullptr ? Curl()->EasyInit() : nullptr;
}

void curl_easy_cleanup(CURL* curl) {
    if (Curl() != nullptr) {
        Curl()->EasyCleanup(curl);
    }
}

CURLcode curl_easy_setopt(CURL* curl, CURLoption option, ...) {
    if (Curl() == nullptr) {
        return CURLE_FAILED_INIT;
    }
    std::va_list args;
    va_start(args, option);
    CURLcode result = CURLE_OK;
    if (option < CURLOPTTYPE_OBJECTPOINT) {
        result = SetOption<long>(curl, option, args);
    } else if (option < CURLOPTTYPE_FUNCTIONPOINT) {
        result = SetOption<void*>(curl, option, args);
    } else if (option < CURLOPTTYPE_OFF_T) {
        result = SetOption<curl_write_callback>(curl, option, args);
    } else if (option < CURLOPTTYPE_BLOB) {
        result = SetOption<curl_off_t>(curl, option, args);
    } else {
        result = SetOption<curl_blob*>(curl, option, args);
    }
    va_end(args);
    return result;
}

// Every kind of information is handed back through a pointer.
CURLcode curl_easy_getinfo(CURL* curl, CURLINFO info, ...) {
    if (Curl() == nullptr) {
        return CURLE_FAILED_INIT;
    }
    std::va_list args;
    va_start(args, info);
    const CURLcode result = Curl()->EasyGetinfo(curl, info, va_arg(args, void*));
    va_end(args);
    return result;
}

CURLHcode curl_easy_header(CURL* easy, const char* name, size_t index, unsigned int origin,
                           int request, curl_header** hout) {
    return Curl() != nullptr ? Curl()->EasyHeader(easy, name, index, origin, request, hout)
                             : CURLHE_NOT_BUILT_IN;
}

CURLcode curl_easy_pause(CURL* handle, int bitmask) {
    return Curl() != nullptr ? Curl()->EasyPause(handle, bitmask) : CURLE_FAILED_INIT;
}

const char* curl_easy_strerror(CURLcode code) {
    return Curl() != nullptr ? Curl()->EasyStrerror(code) : qor::NotLoaded;
}

CURLM* curl_multi_init() {
    return Curl() != nullptr ? Curl()->MultiInit() : nullptr;
}

CURLMcode curl_multi_cleanup(CURLM* multi_handle) {
    return Curl() != nullptr ? Curl()->MultiCleanup(multi_handle) : CURLM_INTERNAL_ERROR;
}

CURLMcode curl_multi_add_handle(CURLM* multi_handle, CURL* curl_handle) {
    return Curl() != nullptr ? Curl()->MultiAddHandle(multi_handle, curl_handle)
                             : CURLM_INTERNAL_ERROR;
}

CURLMcode curl_multi_remove_handle(CURLM* multi_handle, CURL* curl_handle) {
    return Curl() != nullptr ? Curl()->MultiRemoveHandle(multi_handle, curl_handle)
                             : CURLM_INTERNAL_ERROR;
}

CURLMcode curl_multi_perform(CURLM* multi_handle, int* running_handles) {
    return Curl() != nullptr ? Curl()->MultiPerform(multi_handle, running_handles)
                             : CURLM_INTERNAL_ERROR;
}

CURLMcode curl_multi_poll(CURLM* multi_handle, curl_waitfd extra_fds[], unsigned int extra_nfds,
                          int timeout_ms, int* ret) {
    return Curl() != nullptr
               ? Curl()->MultiPoll(multi_handle, extra_fds, extra_nfds, timeout_ms, ret)
               : CURLM_INTERNAL_ERROR;
}

CURLMsg* curl_multi_info_read(CURLM* multi_handle, int* msgs_in_queue) {
    return Curl() != nullptr ? Curl()->MultiInfoRead(multi_handle, msgs_in_queue) : nullptr;
}

const char* curl_multi_strerror(CURLMcode code) {
    return Curl() != nullptr ? Curl()->MultiStrerror(code) : qor::NotLoaded;
}

curl_slist* curl_slist_append(curl_slist* list, const char* data) {
    return Curl() != nullptr ? Curl()->SlistAppend(list, data) : nullptr;
}

void curl_slist_free_all(curl_slist* list) {
    if (Curl() != nullptr) {
        Curl()->SlistFreeAll(list);
    }
}

} // extern "C"
