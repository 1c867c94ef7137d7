// The stand-in D2XX library's entry points: the library's calling convention, records and
// per-handle time-outs on the outside, the virtual bus inside. FTD2XX.def gives them their
// ordinals.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "StandInBus.h"
#include "device/D2xxApi.h"
#include "device/Protocol.h"

namespace {

using qor::d2xx::Handle;
using qor::d2xx::PurgeRx;
using qor::d2xx::Status;
using qor::d2xx::StatusDeviceNotFound;
using qor::d2xx::StatusDeviceNotOpened;
using qor::d2xx::StatusInvalidHandle;
using qor::d2xx::StatusInvalidParameter;
using qor::d2xx::StatusIoError;
using qor::d2xx::StatusOk;

// One open device as the library keeps it: the bus's connection and the time-outs in force.
struct TOpenDevice {
    std::unique_ptr<qor::IPortConnection> Connection;
    ULONG Baud = 9600;
    ULONG ReadMs = 0;
    ULONG WriteMs = 0;
};

// The library is called from several threads at once, each with handles of its own, as a
// bench of devices is written in parallel: the list and the table of handles are guarded; a
// handle's record is used by the thread that owns the handle.
std::mutex& Guard() {
    static std::mutex guard;
    return guard;
}

std::map<std::uintptr_t, TOpenDevice>& Devices() {
    static std::map<std::uintptr_t, TOpenDevice> devices;
    return devices;
}
std::uintptr_t NextHandle = 0x7316;

// The last list: the caller's array was sized by its length, and Open takes its positions.
std::vector<qor::TPortEntry>& Listed() {
    static std::vector<qor::TPortEntry> listed;
    return listed;
}

TOpenDevice* Find(Handle handle) {
    const std::lock_guard<std::mutex> hold(Guard());
    const auto it = Devices().find(reinterpret_cast<std::uintptr_t>(handle));
    return it == Devices().end() ? nullptr : &it->second;
}

Status StatusOf(const qor::TPortIo& io) {
    return io.Ok() ? StatusOk : StatusIoError;
}

void CopyField(char* field, std::size_t capacity, const std::string& text) {
    const std::size_t n = std::min(text.size(), capacity - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

} // namespace

extern "C" {

Status WINAPI StandInCreateDeviceInfoList(DWORD* count) {
    const std::lock_guard<std::mutex> hold(Guard());
    Listed() = qor::standin::Bus().List();
    *count = static_cast<DWORD>(Listed().size());
    return StatusOk;
}

// Fills one record per device of the last list, as the library does.
Status WINAPI StandInGetDeviceInfoList(qor::d2xx::TNode* nodes, DWORD* count) {
    const std::lock_guard<std::mutex> hold(Guard());
    const std::vector<qor::TPortEntry>& listed = Listed();
    for (std::size_t i = 0; i < listed.size(); ++i) {
        qor::d2xx::TNode& node = nodes[i];
        node = qor::d2xx::TNode{};
        node.LocId = static_cast<DWORD>(0x1000 + i);
        CopyField(node.SerialNumber, sizeof node.SerialNumber, listed[i].Serial);
        CopyField(node.Description, sizeof node.Description, listed[i].Description);
    }
    *count = static_cast<DWORD>(listed.size());
    return StatusOk;
}

// The bridge's default speed stands until the caller sets one; the device hears nothing
// but framing errors meanwhile.
Status WINAPI StandInOpen(int index, Handle* handle) {
    *handle = nullptr;
    const std::lock_guard<std::mutex> hold(Guard());
    if (index < 0 || static_cast<std::size_t>(index) >= Listed().size()) {
        return StatusDeviceNotFound;
    }
    auto opened = qor::standin::Bus().Open(static_cast<std::size_t>(index), qor::DeviceBaudRate);
    if (!opened) {
        return StatusDeviceNotOpened;
    }
    const std::uintptr_t id = NextHandle++;
    Devices()[id].Connection = std::move(opened.Value());
    // The bus's handle numbers go out as the library's pointers.
    *handle = reinterpret_cast<Handle>(id); // NOLINT(performance-no-int-to-ptr)
    return StatusOk;
}

Status WINAPI StandInSetBaudRate(Handle handle, ULONG baud) {
    TOpenDevice* device = Find(handle);
    if (device == nullptr) {
        return StatusInvalidHandle;
    }
    device->Baud = baud;
    return StatusOk;
}

Status WINAPI StandInSetTimeouts(Handle handle, ULONG readMs, ULONG writeMs) {
    TOpenDevice* device = Find(handle);
    if (device == nullptr) {
        return StatusInvalidHandle;
    }
    device->ReadMs = readMs;
    device->WriteMs = writeMs;
    return StatusOk;
}

Status WINAPI StandInPurge(Handle handle, ULONG mask) {
    TOpenDevice* device = Find(handle);
    if (device == nullptr) {
        return StatusInvalidHandle;
    }
    return (mask & PurgeRx) != 0 ? StatusOf(device->Connection->Purge()) : StatusOk;
}

Status WINAPI StandInWrite(Handle handle, void* data, DWORD size, DWORD* written) {
    *written = 0;
    TOpenDevice* device = Find(handle);
    if (device == nullptr) {
        return StatusInvalidHandle;
    }
    if (device->Baud != qor::DeviceBaudRate) {
        *written = size; // out on the line, heard by nobody
        return StatusOk;
    }
    const qor::TPortIo io = device->Connection->Write(
        {static_cast<const std::uint8_t*>(data), size}, std::chrono::milliseconds(device->WriteMs));
    *written = static_cast<DWORD>(io.Count);
    return StatusOf(io);
}

Status WINAPI StandInRead(Handle handle, void* data, DWORD size, DWORD* got) {
    *got = 0;
    TOpenDevice* device = Find(handle);
    if (device == nullptr) {
        return StatusInvalidHandle;
    }
    const qor::TPortIo io = device->Connection->Read({static_cast<std::uint8_t*>(data), size},
                                                     std::chrono::milliseconds(device->ReadMs));
    *got = static_cast<DWORD>(io.Count);
    return StatusOf(io);
}

Status WINAPI StandInSetLatencyTimer(Handle handle, UCHAR ms) {
    TOpenDevice* device = Find(handle);
    if (device == nullptr) {
        return StatusInvalidHandle;
    }
    // The bridge takes 1 to 255 ms.
    return qor::standin::Bus().SetLatencyTimer(*device->Connection, ms) ? StatusOk
                                                                        : StatusInvalidParameter;
}

Status WINAPI StandInGetLatencyTimer(Handle handle, UCHAR* ms) {
    TOpenDevice* device = Find(handle);
    if (device == nullptr) {
        return StatusInvalidHandle;
    }
    *ms = static_cast<UCHAR>(qor::standin::Bus().LatencyTimer(*device->Connection));
    return StatusOk;
}

// For tests: the latency timer in force on the open connections, in the order opened.
ULONG WINAPI StandInOpenLatencies(UCHAR* out, ULONG capacity) {
    const std::lock_guard<std::mutex> hold(Guard());
    ULONG count = 0;
    for (const auto& [id, device] : Devices()) {
        if (count < capacity) {
            out[count] = static_cast<UCHAR>(qor::standin::Bus().LatencyTimer(*device.Connection));
        }
        ++count;
    }
    return count;
}

Status WINAPI StandInClose(Handle handle) {
    std::unique_ptr<qor::IPortConnection> closed;
    {
        const std::lock_guard<std::mutex> hold(Guard());
        const auto it = Devices().find(reinterpret_cast<std::uintptr_t>(handle));
        if (it == Devices().end()) {
            return StatusInvalidHandle;
        }
        closed = std::move(it->second.Connection);
        Devices().erase(it);
    }
    return StatusOk; // the connection closes outside the guard: it takes the bus's own lock
}

} // extern "C"
