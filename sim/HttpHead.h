// The head of an HTTP message: a request the firmware server received, with its line, method,
// target and headers, or a reply a test client read.
#pragma once

#include <algorithm>
#include <cctype>
#include <map>
#include <string>
#include <utility>

namespace qor {

struct TRecordedRequest {
    std::string RequestLine;
    std::string Method;
    std::string Target;
    std::map<std::string, std::string> Headers; // names in lower case

    bool Has(const std::string& lowerName) const { return Headers.count(lowerName) != 0; }
    std::string Header(const std::string& lowerName) const {
        auto it = Headers.find(lowerName);
        return it == Headers.end() ? std::string() : it->second;
    }
};

namespace detail {

inline std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

inline std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

} // namespace detail

// An HTTP head split into its first line (request or status line) and its headers.
struct THttpHead {
    std::string FirstLine;
    std::map<std::string, std::string> Headers; // names in lower case
};

// Parses the head up to its first empty line; whatever follows it is ignored.
inline THttpHead ParseHttpHead(const std::string& head) {
    THttpHead parsed;
    std::size_t start = 0;
    bool first = true;
    while (start < head.size()) {
        std::size_t end = head.find("\r\n", start);
        if (end == std::string::npos) {
            end = head.size();
        }
        const std::string line = head.substr(start, end - start);
        start = end + 2;
        if (line.empty()) {
            break;
        }
        if (first) {
            parsed.FirstLine = line;
            first = false;
            continue;
        }
        const auto colon = line.find(':');
        if (colon != std::string::npos) {
            parsed.Headers[detail::Lower(line.substr(0, colon))] =
                detail::Trim(line.substr(colon + 1));
        }
    }
    return parsed;
}

inline TRecordedRequest ParseRequestHead(const std::string& head) {
    THttpHead parsed = ParseHttpHead(head);
    TRecordedRequest request;
    request.RequestLine = std::move(parsed.FirstLine);
    request.Headers = std::move(parsed.Headers);
    const std::string& line = request.RequestLine;
    const auto space1 = line.find(' ');
    const auto space2 = line.find(' ', space1 + 1);
    if (space1 != std::string::npos && space2 != std::string::npos) {
        request.Method = line.substr(0, space1);
        request.Target = line.substr(space1 + 1, space2 - space1 - 1);
    }
    return request;
}

// The path of an origin-form ("/x?q") or absolute-form ("http://host:port/x", through a proxy)
// target, without its query.
inline std::string RequestPath(const std::string& target) {
    std::string path = target;
    const auto scheme = target.find("://");
    if (scheme != std::string::npos) {
        const auto slash = target.find('/', scheme + 3);
        path = slash == std::string::npos ? "/" : target.substr(slash);
    }
    return path.substr(0, path.find_first_of("?#"));
}

} // namespace qor
