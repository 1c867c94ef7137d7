// A scripted HTTP session that records every call, for the transfer's own steps: which
// handles it closes and in which order, what it sends, where it stops.
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
    // The call that fails: "Open", "Connect", "SetProxyUserName", "SetProxyPassword",
    // "OpenRequest", "SendRequest", "QueryStatusCode"; empty for none.
    std::string FailAt;
    std::string Status = "200";
    std::optional<std::string> ContentLength;
    std::vector<std::uint8_t> Body;
    // Reads fail once this many body bytes have been handed out.
    std::size_t FailReadAfter = std::numeric_limits<std::size_t>::max();
    // Called before each read with the bytes handed out so far.
    std::function<void(std::size_t)> BeforeRead;

    // What the session was given.
    std::vector<std::string> Calls;
    std::string Agent;
    THttpAccess Access = THttpAccess::Direct;
    std::string ProxyName;
    std::string ProxyBypass;
    std::string Host;
    std::uint16_t Port = 0;
    std::optional<std::string> ProxyUser;
    std::optional<std::vector<std::uint8_t>> ProxyPassword;
    std::string Verb;
    std::string Path;
    bool AlwaysFromServer = false;
    std::size_t LargestReadAsked = 0;
    std::size_t HandedOut = 0;
    int Sessions = 0;
};

class TFakeHttpSession : public IHttpSession {
public:
    explicit TFakeHttpSession(THttpScript& script) : Script(script) { ++Script.Sessions; }

    bool Open(const std::string& agent, THttpAccess access, const std::string& proxyName,
              const std::string& proxyBypass) override {
        Script.Agent = agent;
        Script.Access = access;
        Script.ProxyName = proxyName;
        Script.ProxyBypass = proxyBypass;
        return Step("Open");
    }
    bool Connect(const std::string& host, std::uint16_t port) override {
        Script.Host = host;
        Script.Port = port;
        return Step("Connect");
    }
    bool SetProxyUserName(const std::string& user) override {
        Script.ProxyUser = user;
        return Step("SetProxyUserName");
    }
    bool SetProxyPassword(std::span<const std::uint8_t> password) override {
        Script.ProxyPassword.emplace(password.begin(), password.end());
        return Step("SetProxyPassword");
    }
    bool OpenRequest(const std::string& verb, const std::string& path,
                     bool alwaysFromServer) override {
        Script.Verb = verb;
        Script.Path = path;
        Script.AlwaysFromServer = alwaysFromServer;
        return Step("OpenRequest");
    }
    bool SendRequest() override { return Step("SendRequest"); }
    std::optional<std::string> QueryStatusCode() override {
        if (!Step("QueryStatusCode")) {
            return std::nullopt;
        }
        return Script.Status;
    }
    std::optional<std::string> QueryContentLength() override {
        Script.Calls.emplace_back("QueryContentLength");
        return Script.ContentLength;
    }
    std::optional<std::size_t> Read(std::span<std::uint8_t> buffer) override {
        if (Script.BeforeRead) {
            Script.BeforeRead(Script.HandedOut);
        }
        Script.LargestReadAsked = std::max(Script.LargestReadAsked, buffer.size());
        if (Script.HandedOut >= Script.FailReadAfter) {
            Error = "read failed";
            return std::nullopt;
        }
        const std::size_t count = std::min(buffer.size(), Script.Body.size() - Script.HandedOut);
        if (count > 0) {
            std::memcpy(buffer.data(), Script.Body.data() + Script.HandedOut, count);
        }
        Script.HandedOut += count;
        return count;
    }
    void CloseRequest() override { Script.Calls.emplace_back("CloseRequest"); }
    void CloseConnection() override { Script.Calls.emplace_back("CloseConnection"); }
    void CloseInternet() override { Script.Calls.emplace_back("CloseInternet"); }
    const std::string& LastError() const override { return Error; }

private:
    bool Step(const std::string& name) {
        Script.Calls.push_back(name);
        if (Script.FailAt == name) {
            Error = name + " failed";
            return false;
        }
        return true;
    }

    THttpScript& Script;
    std::string Error;
};

inline THttpSessionFactory FakeSessions(THttpScript& script) {
    return [&script](const TPump&) {
        return std::make_unique<TFakeHttpSession>(script);
    };
}

} // namespace qor::test
