// A scripted HTTP session that records what it was given and when it was closed, for the
// transfer's own steps: what it asks for, where it stops, how it ends.
#pragma once

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "download/HttpSession.h"

namespace qor::test {

struct THttpScript {
    // The request fails with this error; none for a response.
    std::optional<THttpError> GetFails;
    // The request waits this many pumps for the response, giving up when asked to stop.
    int GetWaits = 0;
    std::string Status = "200";
    std::vector<std::string> ContentLengths;
    std::vector<std::uint8_t> Body;
    // Reads fail once this many body bytes have been handed out.
    std::size_t FailReadAfter = std::numeric_limits<std::size_t>::max();
    // Called before each read with the bytes handed out so far.
    std::function<void(std::size_t)> BeforeRead;

    // What the session was given.
    std::vector<std::string> Calls;
    std::optional<THttpRequest> Request;
    std::optional<std::vector<std::uint8_t>> ProxyPassword;
    std::size_t LargestReadAsked = 0;
    // Where the first read was asked to put its bytes.
    const std::uint8_t* FirstTarget = nullptr;
    std::size_t HandedOut = 0;
    int Sessions = 0;
};

class TFakeHttpSession : public IHttpSession {
public:
    TFakeHttpSession(THttpScript& script, THttpWait wait) : Script(script), Wait(std::move(wait)) {
        ++Script.Sessions;
    }
    ~TFakeHttpSession() override { Script.Calls.emplace_back("Close"); }
    TFakeHttpSession(const TFakeHttpSession&) = delete;
    TFakeHttpSession& operator=(const TFakeHttpSession&) = delete;

    THttpResult<THttpResponse> Get(const THttpRequest& request) override {
        Script.Calls.emplace_back("Get");
        Script.Request.emplace();
        Script.Request->Host = request.Host;
        Script.Request->Port = request.Port;
        Script.Request->Path = request.Path;
        Script.Request->Agent = request.Agent;
        Script.Request->AlwaysFromServer = request.AlwaysFromServer;
        if (request.Proxy) {
            Script.Request->Proxy.emplace();
            Script.Request->Proxy->Name = request.Proxy->Name;
            if (const auto& credentials = request.Proxy->Credentials) {
                Script.Request->Proxy->Credentials.emplace();
                Script.Request->Proxy->Credentials->User = credentials->User;
                const auto password = credentials->Password.View();
                Script.ProxyPassword.emplace(password.begin(), password.end());
            }
        }
        for (int wait = 0; wait < Script.GetWaits; ++wait) {
            if (Wait.Pump) {
                Wait.Pump();
            }
            if (Wait.StopAsked && Wait.StopAsked()) {
                return HttpFailure(THttpFailure::Stopped, "stopped");
            }
        }
        if (Script.GetFails) {
            return TFailure{*Script.GetFails};
        }
        return THttpResponse{Script.Status, Script.ContentLengths};
    }

    THttpResult<std::size_t> Read(std::span<std::uint8_t> buffer) override {
        if (Script.BeforeRead) {
            Script.BeforeRead(Script.HandedOut);
        }
        Script.LargestReadAsked = std::max(Script.LargestReadAsked, buffer.size());
        if (Script.FirstTarget == nullptr) {
            Script.FirstTarget = buffer.data();
        }
        if (Script.HandedOut >= Script.FailReadAfter) {
            return HttpFailure(THttpFailure::Broken, "read failed");
        }
        const std::size_t count = std::min(buffer.size(), Script.Body.size() - Script.HandedOut);
        if (count > 0) {
            std::memcpy(buffer.data(), Script.Body.data() + Script.HandedOut, count);
        }
        Script.HandedOut += count;
        return count;
    }

private:
    THttpScript& Script;
    THttpWait Wait;
};

inline THttpSessionFactory FakeSessions(THttpScript& script) {
    return [&script](const THttpWait& wait) {
        return std::make_unique<TFakeHttpSession>(script, wait);
    };
}

} // namespace qor::test
