// The stand-in D2XX library's entry points: the library's calling convention and records on
// the outside, the virtual bus inside. FTD2XX.def gives them their ordinals.
#include <cstring>
#include <vector>

#include "StandInBus.h"
#include "device/D2xxApi.h"

namespace {

using qor::d2xx::Handle;
using qor::d2xx::Status;

qor::FT_HANDLE BusHandle(Handle handle) {
    return reinterpret_cast<qor::FT_HANDLE>(handle);
}

// The length of the last list: the caller's array was sized by it.
std::uint32_t LastListed = 0;

} // namespace

extern "C" {

Status WINAPI StandInCreateDeviceInfoList(DWORD* count) {
    std::uint32_t listed = 0;
    const Status status = qor::standin::Bus().CreateDeviceInfoList(&listed);
    LastListed = listed;
    *count = listed;
    return status;
}

// Fills one record per device of the last list, as the library does.
Status WINAPI StandInGetDeviceInfoList(qor::d2xx::TNode* nodes, DWORD* count) {
    std::vector<qor::FT_DEVICE_LIST_INFO_NODE> bus(LastListed);
    std::uint32_t filled = LastListed;
    const Status status = qor::standin::Bus().GetDeviceInfoList(bus.data(), &filled);
    if (status != qor::FT_OK) {
        return status;
    }
    for (std::uint32_t i = 0; i < filled; ++i) {
        qor::d2xx::TNode& node = nodes[i];
        node = qor::d2xx::TNode{};
        node.Flags = bus[i].Flags;
        node.Type = bus[i].Type;
        node.ID = bus[i].ID;
        node.LocId = bus[i].LocId;
        std::memcpy(node.SerialNumber, bus[i].SerialNumber, sizeof node.SerialNumber);
        std::memcpy(node.Description, bus[i].Description, sizeof node.Description);
    }
    *count = filled;
    return qor::FT_OK;
}

Status WINAPI StandInOpen(int index, Handle* handle) {
    qor::FT_HANDLE opened = 0;
    const Status status = qor::standin::Bus().Open(index, &opened);
    // The bus's handle numbers go out as the library's pointers.
    *handle = reinterpret_cast<Handle>(opened); // NOLINT(performance-no-int-to-ptr)
    return status;
}

Status WINAPI StandInSetBaudRate(Handle handle, ULONG baud) {
    return qor::standin::Bus().SetBaudRate(BusHandle(handle), baud);
}

Status WINAPI StandInSetTimeouts(Handle handle, ULONG readMs, ULONG writeMs) {
    return qor::standin::Bus().SetTimeouts(BusHandle(handle), readMs, writeMs);
}

Status WINAPI StandInPurge(Handle handle, ULONG mask) {
    return qor::standin::Bus().Purge(BusHandle(handle), mask);
}

Status WINAPI StandInWrite(Handle handle, void* data, DWORD size, DWORD* written) {
    std::uint32_t count = 0;
    const Status status = qor::standin::Bus().Write(BusHandle(handle), data, size, &count);
    *written = count;
    return status;
}

Status WINAPI StandInRead(Handle handle, void* data, DWORD size, DWORD* got) {
    std::uint32_t count = 0;
    const Status status = qor::standin::Bus().Read(BusHandle(handle), data, size, &count);
    *got = count;
    return status;
}

Status WINAPI StandInClose(Handle handle) {
    return qor::standin::Bus().Close(BusHandle(handle));
}

} // extern "C"
