// What the firmware server answers for a path, and how it may misbehave doing so: the one
// description of replies and faults for the demo's server, the tests and the benchmarks.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sim/HttpHead.h"

namespace qor {

enum class TServeFault {
    None,
    ResetMidBody,       // FaultAfter body bytes, then the connection is reset
    StallBeforeHeaders, // the request is read, nothing is answered
    StallMidBody,       // FaultAfter body bytes, then nothing more
    Slow,               // the body in SlowPiece pieces, SlowDelay apart
    TrickleHeaders,     // the status line, then one more header line every SlowDelay, forever
};

struct TServedFile {
    // Not an aggregate, so that a braced list of bytes always means a body.
    TServedFile() = default;

    int Status = 200;
    std::string Reason = "OK";
    std::vector<std::uint8_t> Body;
    // With no Content-Length the end of the body is the end of the connection.
    bool SendContentLength = true;
    // Sent instead of the body's real length when set.
    std::optional<std::string> ContentLengthText;
    // Sent after the length, in order and as they are: a type, a location, a second length.
    std::vector<std::pair<std::string, std::string>> Headers;
    TServeFault Fault = TServeFault::None;
    std::size_t FaultAfter = 0;
    std::size_t SlowPiece = 1024;
    std::chrono::milliseconds SlowDelay{5};
    // The response is held back this long after the request has arrived.
    std::chrono::milliseconds HeaderDelay{0};

    // An image: 200 with its length.
    static TServedFile Of(std::vector<std::uint8_t> body);
    // What any path not served gets.
    static TServedFile Missing();
    // A redirect (301, 302, 303, 307, 308) to `location`, as it is.
    static TServedFile Redirect(int status, std::string location);

    TServedFile& NoLength();
    TServedFile& AnnouncedLength(std::string text);
    TServedFile& WithHeader(std::string name, std::string value);
    TServedFile& Failing(TServeFault fault, std::size_t after = 0);
    TServedFile& AnsweredAfter(std::chrono::milliseconds delay);
    TServedFile& Slowly(std::size_t piece, std::chrono::milliseconds delay);
    TServedFile& TrickledHeaders(std::chrono::milliseconds interval);
};

using TServedFiles = std::map<std::string, std::shared_ptr<const TServedFile>>;

// A request as a server answered it.
struct TServedRequest : TRecordedRequest {
    int Status = 0;
    std::uint64_t BodyBytes = 0; // the body's length when it went out whole, else 0
};

// The reply to a request: the file served at its path (query ignored), Missing() for any
// other path, 400 for a malformed request line, 405 for a method other than GET and HEAD.
std::shared_ptr<const TServedFile> ReplyTo(const TRecordedRequest& request,
                                           const TServedFiles& files);

// The status line of a reply, with its line end.
std::string StatusLine(const TServedFile& file);
// The whole head of a reply: status line, headers and the empty line.
std::string ResponseHead(const TServedFile& file);
// The n-th header line a trickling reply sends after its status line.
std::string TrickleLine(std::size_t n);

} // namespace qor
