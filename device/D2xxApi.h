// The binary interface of the FTDI D2XX library as the updater uses it: the entry points it
// takes by ordinal, their signatures, and the library's own device-list record. Shared by the
// D2XX port and the stand-in library the tests load in its place.
#pragma once

#include <windows.h>

#include <cstddef>

namespace qor::d2xx {

// The library's export ordinals.
namespace Ordinal {
inline constexpr WORD Open = 1;
inline constexpr WORD Close = 2;
inline constexpr WORD Read = 3;
inline constexpr WORD Write = 4;
inline constexpr WORD SetBaudRate = 7;
inline constexpr WORD Purge = 16;
inline constexpr WORD SetTimeouts = 17;
inline constexpr WORD SetLatencyTimer = 29;
inline constexpr WORD GetLatencyTimer = 30; // the stand-in's, for tests
inline constexpr WORD CreateDeviceInfoList = 70;
inline constexpr WORD GetDeviceInfoList = 71;
} // namespace Ordinal

using Status = ULONG;
using Handle = void*;

// The library's status codes, as far as either side uses them.
inline constexpr Status StatusOk = 0;
inline constexpr Status StatusInvalidHandle = 1;
inline constexpr Status StatusDeviceNotFound = 2;
inline constexpr Status StatusDeviceNotOpened = 3;
inline constexpr Status StatusIoError = 4;
inline constexpr Status StatusInvalidParameter = 6;

// Purge's mask: which of the bridge's buffers to empty.
inline constexpr ULONG PurgeRx = 1;
inline constexpr ULONG PurgeTx = 2;

// One record of the library's device list. Its handle slot is pointer-sized, so the record is
// 100 bytes in a 32-bit process and 104 in a 64-bit one; the description is at byte 32 in both.
struct TNode {
    ULONG Flags;
    ULONG Type;
    ULONG ID;
    DWORD LocId;
    char SerialNumber[16];
    char Description[64];
    Handle ftHandle;
};
static_assert(offsetof(TNode, Description) == 32);
static_assert(sizeof(TNode) == (sizeof(void*) == 8 ? 104 : 100));

using CreateDeviceInfoListFn = Status(WINAPI*)(DWORD* count);
using GetDeviceInfoListFn = Status(WINAPI*)(TNode* nodes, DWORD* count);
using OpenFn = Status(WINAPI*)(int index, Handle* handle);
using SetBaudRateFn = Status(WINAPI*)(Handle handle, ULONG baud);
using SetTimeoutsFn = Status(WINAPI*)(Handle handle, ULONG readMs, ULONG writeMs);
using PurgeFn = Status(WINAPI*)(Handle handle, ULONG mask);
using WriteFn = Status(WINAPI*)(Handle handle, void* data, DWORD size, DWORD* written);
using ReadFn = Status(WINAPI*)(Handle handle, void* data, DWORD size, DWORD* got);
using CloseFn = Status(WINAPI*)(Handle handle);
using SetLatencyTimerFn = Status(WINAPI*)(Handle handle, UCHAR ms);
using GetLatencyTimerFn = Status(WINAPI*)(Handle handle, UCHAR* ms);

} // namespace qor::d2xx
