// The command line run in-process for tests: over the virtual bus, with a clock that moves
// only when the program waits (and does what the test planned at each moment), an in-memory
// settings store, a scripted download and a service record that keeps what it was given.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "qortest/MemoryRegistry.h"
#include "sim/VirtualBus.h"

namespace qor::test {

// The workers of flash --all wait on it at once, as they wait for their device to come back.
class TTestClock : public cli::IClock {
public:
    cli::TMs Now() override {
        const std::lock_guard<std::mutex> hold(Lock);
        return Time;
    }
    void Sleep(cli::TMs duration) override {
        const std::lock_guard<std::mutex> hold(Lock);
        Time += duration;
        for (auto it = Planned.begin(); it != Planned.end();) {
            if (it->first <= Time) {
                auto action = std::move(it->second);
                it = Planned.erase(it);
                action();
            } else {
                ++it;
            }
        }
    }
    // Runs `action` when the program's waits reach `when`.
    void At(cli::TMs when, std::function<void()> action) {
        Planned.emplace(when, std::move(action));
    }

    cli::TMs Time{0};

private:
    std::mutex Lock;
    std::multimap<cli::TMs, std::function<void()>> Planned;
};

// Answers downloads from a script and keeps the requests.
class TScriptedFetch : public cli::IFirmwareFetch {
public:
    TDownloadResult Fetch(const cli::TFetchRequest& request, IDownloadObserver& observer) override {
        Requests.push_back(request);
        if (Failure) {
            return Fail(*Failure);
        }
        const auto variant = Bodies.find(request.Variant);
        const std::vector<std::uint8_t>& body = variant != Bodies.end() ? variant->second : Body;
        observer.Received(static_cast<std::uint32_t>(body.size() / 2),
                          static_cast<std::uint32_t>(body.size()));
        observer.Received(static_cast<std::uint32_t>(body.size()),
                          static_cast<std::uint32_t>(body.size()));
        return cli::TFetchedImage{body, "http://server/image.bin", "/tmp/qor-7316.bin"};
    }

    std::vector<std::uint8_t> Body;
    std::map<TVariantKind, std::vector<std::uint8_t>> Bodies; // in place of Body, by variant
    std::optional<TDownloadError> Failure;
    std::vector<cli::TFetchRequest> Requests;
};

// Workers of flash --all record at once.
class TKeptRecord : public IServiceRecorder {
public:
    TResult<void> Record(const TServiceRecord& entry) override {
        const std::lock_guard<std::mutex> hold(Lock);
        if (Refusal) {
            return Fail(TError{*Refusal});
        }
        Entries.push_back(entry);
        return {};
    }
    std::vector<TServiceRecord> Entries;
    std::optional<std::string> Refusal; // every record fails with it

private:
    std::mutex Lock;
};

struct TCliResult {
    int Exit = -1;
    std::string Out;
    std::string Err;

    std::vector<std::string> OutLines() const {
        std::vector<std::string> lines;
        std::istringstream in(Out);
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }
};

class TCliHarness : public ::testing::Test {
protected:
    TCliResult Run(std::vector<std::string> args, bool terminal = false) {
        std::ostringstream out;
        std::ostringstream err;
        cli::TCliServices services{Port ? *Port : static_cast<IDevicePort&>(Bus),
                                   Clock,
                                   Registry,
                                   Fetch,
                                   Record,
                                   [this] { return Interrupt && Interrupt(); },
                                   [this](const char* name) -> std::optional<std::string> {
                                       const auto it = Environment.find(name);
                                       return it == Environment.end() ? std::nullopt
                                                                      : std::optional(it->second);
                                   },
                                   out,
                                   err,
                                   terminal};
        services.InPlaceLines = terminal;
        services.TerminalColumns = TerminalColumns;
        TCliResult result;
        result.Exit = cli::RunCommandLine(args, services);
        result.Out = out.str();
        result.Err = err.str();
        return result;
    }

    TVirtualDevice& AddDevice(const TBootloaderConfig& config = TBootloaderConfig::VariantA(),
                              const std::string& description = "QOR 7316") {
        return Bus.AddDevice(description, config);
    }

    TVirtualBus Bus;
    IDevicePort* Port = nullptr; // another port in place of the bus
    TTestClock Clock;
    TMemoryRegistry Registry;
    TScriptedFetch Fetch;
    TKeptRecord Record;
    std::function<bool()> Interrupt;
    std::map<std::string, std::string> Environment;
    std::size_t TerminalColumns = 80;
};

} // namespace qor::test
