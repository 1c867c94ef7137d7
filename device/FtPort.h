// The D2XX-shaped device port: the calls the updater makes to list, open and talk to the
// USB-serial bridge. Back-ends: tty + sysfs on Linux, the virtual bus, the D2XX library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qor {

using FT_STATUS = std::uint32_t;
using FT_HANDLE = std::uintptr_t; // 0 = no device open

inline constexpr FT_STATUS FT_OK = 0;
inline constexpr FT_STATUS FT_INVALID_HANDLE = 1;
inline constexpr FT_STATUS FT_DEVICE_NOT_FOUND = 2;
inline constexpr FT_STATUS FT_DEVICE_NOT_OPENED = 3;
inline constexpr FT_STATUS FT_IO_ERROR = 4;
inline constexpr FT_STATUS FT_INVALID_PARAMETER = 6;
inline constexpr FT_STATUS FT_INVALID_BAUD_RATE = 7;

inline constexpr std::uint32_t FT_PURGE_RX = 1;
inline constexpr std::uint32_t FT_PURGE_TX = 2;

// One record of the device info list, laid out as the D2XX library defines it (100 bytes);
// only Description is used.
struct FT_DEVICE_LIST_INFO_NODE {
    std::uint32_t Flags;
    std::uint32_t Type;
    std::uint32_t ID;
    std::uint32_t LocId;
    char SerialNumber[16];
    char Description[64];
    std::uint32_t ftHandle; // the library's handle slot; unused here
};
static_assert(sizeof(FT_DEVICE_LIST_INFO_NODE) == 100);
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, Description) == 32);

class IFtPort {
public:
    virtual ~IFtPort() = default;

    // Takes a snapshot of the attached devices and reports their number.
    virtual FT_STATUS CreateDeviceInfoList(std::uint32_t* count) = 0;
    // Fills up to *count records of the last snapshot; *count becomes the number filled.
    virtual FT_STATUS GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, std::uint32_t* count) = 0;
    virtual FT_STATUS Open(int index, FT_HANDLE* handle) = 0;
    virtual FT_STATUS SetBaudRate(FT_HANDLE handle, std::uint32_t baud) = 0;
    virtual FT_STATUS SetTimeouts(FT_HANDLE handle, std::uint32_t readMs,
                                  std::uint32_t writeMs) = 0;
    virtual FT_STATUS Purge(FT_HANDLE handle, std::uint32_t mask) = 0;
    virtual FT_STATUS Write(FT_HANDLE handle, const void* data, std::uint32_t size,
                            std::uint32_t* written) = 0;
    // Blocks until `size` bytes arrived or the read time-out ran out; *got says how many.
    virtual FT_STATUS Read(FT_HANDLE handle, void* data, std::uint32_t size,
                           std::uint32_t* got) = 0;
    virtual FT_STATUS Close(FT_HANDLE handle) = 0;

    // Why the last Open failed, in words a user can act on; empty when it did not fail.
    virtual std::string LastOpenError() const { return {}; }
};

} // namespace qor
