#include "sim/ServedFile.h"

namespace qor {
namespace {

constexpr const char* ServerName = "qor7316-sim";

std::shared_ptr<const TServedFile> Plain(int status, std::string reason,
                                         std::vector<std::pair<std::string, std::string>> more) {
    auto file = std::make_shared<TServedFile>();
    file->Status = status;
    file->Reason = std::move(reason);
    file->Headers = std::move(more);
    return file;
}

// "GET /x HTTP/1.1": a method, a target and an HTTP/1.x version, one blank apart.
bool WellFormed(const std::string& line) {
    const auto first = line.find(' ');
    const auto second = line.find(' ', first == std::string::npos ? first : first + 1);
    return first != std::string::npos && second != std::string::npos && first != 0 &&
           second != first + 1 && line.compare(second + 1, 7, "HTTP/1.") == 0 &&
           line.size() == second + 9;
}

} // namespace

TServedFile TServedFile::Of(std::vector<std::uint8_t> body) {
    TServedFile file;
    file.Body = std::move(body);
    file.Headers = {{"Content-Type", "application/octet-stream"}};
    return file;
}

TServedFile TServedFile::Missing() {
    static constexpr std::string_view NotFound = "Not found\n";
    TServedFile file;
    file.Status = 404;
    file.Reason = "Not Found";
    file.Body.assign(NotFound.begin(), NotFound.end());
    file.Headers = {{"Content-Type", "text/plain"}};
    return file;
}

TServedFile TServedFile::Redirect(int status, std::string location) {
    TServedFile file;
    file.Status = status;
    file.Reason = status == 301 ? "Moved Permanently" : status == 302 ? "Found" : "Redirect";
    file.Headers = {{"Location", std::move(location)}};
    return file;
}

TServedFile& TServedFile::NoLength() {
    SendContentLength = false;
    return *this;
}

TServedFile& TServedFile::AnnouncedLength(std::string text) {
    ContentLengthText = std::move(text);
    return *this;
}

TServedFile& TServedFile::WithHeader(std::string name, std::string value) {
    Headers.emplace_back(std::move(name), std::move(value));
    return *this;
}

TServedFile& TServedFile::Failing(TServeFault fault, std::size_t after) {
    Fault = fault;
    FaultAfter = after;
    return *this;
}

TServedFile& TServedFile::AnsweredAfter(std::chrono::milliseconds delay) {
    HeaderDelay = delay;
    return *this;
}

TServedFile& TServedFile::Slowly(std::size_t piece, std::chrono::milliseconds delay) {
    Fault = TServeFault::Slow;
    SlowPiece = piece;
    SlowDelay = delay;
    return *this;
}

TServedFile& TServedFile::TrickledHeaders(std::chrono::milliseconds interval) {
    Fault = TServeFault::TrickleHeaders;
    SlowDelay = interval;
    return *this;
}

std::shared_ptr<const TServedFile> ReplyTo(const TRecordedRequest& request,
                                           const TServedFiles& files) {
    if (!WellFormed(request.RequestLine)) {
        return Plain(400, "Bad Request", {});
    }
    if (request.Method != "GET" && request.Method != "HEAD") {
        return Plain(405, "Method Not Allowed", {{"Allow", "GET, HEAD"}});
    }
    const auto found = files.find(RequestPath(request.Target));
    if (found != files.end()) {
        return found->second;
    }
    static const auto missing = std::make_shared<const TServedFile>(TServedFile::Missing());
    return missing;
}

std::string StatusLine(const TServedFile& file) {
    return "HTTP/1.1 " + std::to_string(file.Status) + " " + file.Reason + "\r\n";
}

std::string ResponseHead(const TServedFile& file) {
    std::string head = StatusLine(file) + "Server: " + ServerName + "\r\n";
    if (file.SendContentLength) {
        head +=
            "Content-Length: " + file.ContentLengthText.value_or(std::to_string(file.Body.size())) +
            "\r\n";
    }
    for (const auto& [name, value] : file.Headers) {
        head.append(name).append(": ").append(value).append("\r\n");
    }
    return head + "Cache-Control: no-store\r\nConnection: close\r\n\r\n";
}

std::string TrickleLine(std::size_t n) {
    return "X-Trickle-" + std::to_string(n) + ": still coming\r\n";
}

} // namespace qor
