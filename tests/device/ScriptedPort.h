// A port whose device answers from a script: each write takes the next queued reply onto the
// line. Records what the host did so tests can check frames, reads and settings.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "base/ByteOrder.h"
#include "base/Crc32.h"
#include "device/FtPort.h"
#include "sim/SimFrames.h"

namespace qor::test {

using TBytes = std::vector<std::uint8_t>;

// A frame as the device sends it.
inline TBytes MakeFrame(std::uint8_t code, const TBytes& payload = {}) {
    return BuildFrame(code, payload);
}

class TScriptedPort : public IFtPort {
public:
    std::vector<std::string> Descriptions;
    FT_STATUS ListStatus = FT_OK;
    FT_STATUS OpenStatus = FT_OK;
    std::string OpenErrorText;
    FT_HANDLE NextHandle = 0x51;

    std::deque<TBytes> Replies; // one taken onto the line per write (an empty one: silence)
    TBytes Line;                // bytes waiting to be read

    std::vector<TBytes> Written;
    std::vector<std::uint32_t> ReadSizes;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> Timeouts;
    std::vector<std::uint32_t> Bauds;
    std::vector<FT_HANDLE> Closed;
    std::vector<int> Opened;
    int Calls = 0;

    FT_STATUS CreateDeviceInfoList(std::uint32_t* count) override {
        ++Calls;
        *count = static_cast<std::uint32_t>(Descriptions.size());
        return FT_OK;
    }
    FT_STATUS GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, std::uint32_t* count) override {
        ++Calls;
        if (ListStatus != FT_OK) {
            return ListStatus;
        }
        for (std::uint32_t i = 0; i < *count && i < Descriptions.size(); ++i) {
            nodes[i] = {};
            std::strncpy(nodes[i].Description, Descriptions[i].c_str(),
                         sizeof nodes[i].Description - 1);
        }
        return FT_OK;
    }
    FT_STATUS Open(int index, FT_HANDLE* handle) override {
        ++Calls;
        Opened.push_back(index);
        if (OpenStatus != FT_OK) {
            return OpenStatus;
        }
        *handle = NextHandle++;
        return FT_OK;
    }
    FT_STATUS SetBaudRate(FT_HANDLE, std::uint32_t baud) override {
        ++Calls;
        Bauds.push_back(baud);
        return FT_OK;
    }
    FT_STATUS SetTimeouts(FT_HANDLE, std::uint32_t readMs, std::uint32_t writeMs) override {
        ++Calls;
        Timeouts.emplace_back(readMs, writeMs);
        return FT_OK;
    }
    FT_STATUS Purge(FT_HANDLE, std::uint32_t) override {
        ++Calls;
        Line.clear();
        return FT_OK;
    }
    FT_STATUS Write(FT_HANDLE, const void* data, std::uint32_t size,
                    std::uint32_t* written) override {
        ++Calls;
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        Written.emplace_back(bytes, bytes + size);
        if (!Replies.empty()) {
            Line.insert(Line.end(), Replies.front().begin(), Replies.front().end());
            Replies.pop_front();
        }
        *written = size;
        return FT_OK;
    }
    FT_STATUS Read(FT_HANDLE, void* data, std::uint32_t size, std::uint32_t* got) override {
        ++Calls;
        ReadSizes.push_back(size);
        const std::size_t n = std::min<std::size_t>(size, Line.size());
        std::copy_n(Line.begin(), n, static_cast<std::uint8_t*>(data));
        Line.erase(Line.begin(), Line.begin() + static_cast<std::ptrdiff_t>(n));
        *got = static_cast<std::uint32_t>(n);
        return FT_OK;
    }
    FT_STATUS Close(FT_HANDLE handle) override {
        ++Calls;
        Closed.push_back(handle);
        return handle == 0 ? FT_INVALID_HANDLE : FT_OK;
    }
    std::string LastOpenError() const override { return OpenErrorText; }
};

} // namespace qor::test
