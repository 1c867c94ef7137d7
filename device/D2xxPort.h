// The device port on Windows: the FTDI D2XX library, loaded when the port is made and called
// through the entry points it exports by ordinal. Without the library (no driver installed)
// or with one that lacks an entry point, the port simply lists no device.
#pragma once

#include <string>

#include "device/D2xxApi.h"
#include "device/FtPort.h"
#include "platform/WinHandles.h"

namespace qor {

class TD2xxPort : public IFtPort {
public:
    static constexpr const char* LibraryName = "FTD2XX.dll";

    // `library` is looked for in the program's folder and the system folders, never in the
    // current directory; a path names the file itself.
    explicit TD2xxPort(const std::string& library = LibraryName);

    // Whether the library and all its entry points were found; LoadError says why not.
    bool Loaded() const { return Module != nullptr; }
    const std::string& LoadError() const { return LibraryError; }

    FT_STATUS CreateDeviceInfoList(std::uint32_t* count) override;
    FT_STATUS GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, std::uint32_t* count) override;
    FT_STATUS Open(int index, FT_HANDLE* handle) override;
    FT_STATUS SetBaudRate(FT_HANDLE handle, std::uint32_t baud) override;
    FT_STATUS SetTimeouts(FT_HANDLE handle, std::uint32_t readMs, std::uint32_t writeMs) override;
    FT_STATUS Purge(FT_HANDLE handle, std::uint32_t mask) override;
    FT_STATUS Write(FT_HANDLE handle, const void* data, std::uint32_t size,
                    std::uint32_t* written) override;
    FT_STATUS Read(FT_HANDLE handle, void* data, std::uint32_t size, std::uint32_t* got) override;
    FT_STATUS Close(FT_HANDLE handle) override;
    std::string LastOpenError() const override { return OpenError; }

private:
    struct TEntryPoints {
        d2xx::CreateDeviceInfoListFn CreateDeviceInfoList = nullptr;
        d2xx::GetDeviceInfoListFn GetDeviceInfoList = nullptr;
        d2xx::OpenFn Open = nullptr;
        d2xx::SetBaudRateFn SetBaudRate = nullptr;
        d2xx::SetTimeoutsFn SetTimeouts = nullptr;
        d2xx::PurgeFn Purge = nullptr;
        d2xx::WriteFn Write = nullptr;
        d2xx::ReadFn Read = nullptr;
        d2xx::CloseFn Close = nullptr;
    };

    bool Bind(HMODULE module);

    win::TModule Module;
    TEntryPoints Calls;
    std::string LibraryError;
    // The count the library reported for its current list: what it will fill.
    DWORD ListCount = 0;
    std::string OpenError;
};

} // namespace qor
