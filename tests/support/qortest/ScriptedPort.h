// A port whose device answers from a script: each write takes the next queued reply onto the
// line. It can fail the next writes or cut them short, and records what the host did so tests
// can check frames, reads and time-outs.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "device/DevicePort.h"
#include "device/FrameCodec.h"

namespace qor::test {

using TBytes = std::vector<std::uint8_t>;

// A frame as the device sends it.
inline TBytes MakeFrame(std::uint8_t code, const TBytes& payload = {}) {
    return EncodeFrame(code, payload);
}

class TScriptedPort : public IDevicePort {
public:
    std::vector<std::string> Descriptions;
    std::string OpenRefusal; // when set, opening fails with this reason

    std::deque<TBytes> Replies; // one taken onto the line per write (an empty one: silence)
    TBytes Line;                // bytes waiting to be read
    int FailWrites = 0;         // the next writes fail outright
    int ShortWrites = 0;        // the next writes send one byte less than asked

    std::vector<TBytes> Written;
    std::vector<std::size_t> ReadSizes;
    std::vector<std::int64_t> ReadTimeouts;
    std::vector<std::uint32_t> Bauds;
    std::vector<std::size_t> Opened;
    int Purges = 0;
    int OpenConnections = 0;

    std::vector<TPortEntry> List() override {
        std::vector<TPortEntry> ports;
        for (std::size_t i = 0; i < Descriptions.size(); ++i) {
            ports.push_back({"port" + std::to_string(i), Descriptions[i]});
        }
        return ports;
    }

    TResult<std::unique_ptr<IPortConnection>> Open(std::size_t index, std::uint32_t baud) override {
        Opened.push_back(index);
        if (!OpenRefusal.empty()) {
            return Fail(TError{OpenRefusal});
        }
        Bauds.push_back(baud);
        return std::unique_ptr<IPortConnection>(std::make_unique<TConnection>(*this));
    }

private:
    class TConnection : public IPortConnection {
    public:
        explicit TConnection(TScriptedPort& port) : Port(port) { ++Port.OpenConnections; }
        ~TConnection() override { --Port.OpenConnections; }
        TConnection(const TConnection&) = delete;
        TConnection& operator=(const TConnection&) = delete;

        TPortIo Write(std::span<const std::uint8_t> bytes, TMilliseconds) override {
            TPortIo io;
            if (Port.FailWrites > 0) {
                --Port.FailWrites;
                io.Status = TPortStatus::Failed;
                io.Detail = "scripted write failure";
                return io;
            }
            std::size_t count = bytes.size();
            if (Port.ShortWrites > 0 && count > 0) {
                --Port.ShortWrites;
                --count;
            }
            Port.Written.emplace_back(bytes.begin(), bytes.begin() + static_cast<long>(count));
            if (!Port.Replies.empty()) {
                Port.Line.insert(Port.Line.end(), Port.Replies.front().begin(),
                                 Port.Replies.front().end());
                Port.Replies.pop_front();
            }
            io.Count = count;
            return io;
        }
        TPortIo Read(std::span<std::uint8_t> bytes, TMilliseconds timeout) override {
            Port.ReadSizes.push_back(bytes.size());
            Port.ReadTimeouts.push_back(timeout.count());
            const std::size_t n = std::min(bytes.size(), Port.Line.size());
            std::copy_n(Port.Line.begin(), n, bytes.begin());
            Port.Line.erase(Port.Line.begin(), Port.Line.begin() + static_cast<long>(n));
            TPortIo io;
            io.Count = n;
            return io;
        }
        TPortIo Purge() override {
            ++Port.Purges;
            Port.Line.clear();
            return {};
        }

    private:
        TScriptedPort& Port;
    };
};

} // namespace qor::test
