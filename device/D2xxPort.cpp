#include "device/D2xxPort.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/WinErrors.h"

namespace qor {
namespace {

// More bridges than this on one machine is a library fault, not a list to allocate for.
constexpr DWORD MaxListedDevices = 1024;

d2xx::Handle AsLibraryHandle(FT_HANDLE handle) {
    // The port's handles are the library's pointers, carried as numbers.
    return reinterpret_cast<d2xx::Handle>(handle); // NOLINT(performance-no-int-to-ptr)
}

// The address of an export by its ordinal, as the wanted function type.
template <typename Fn> bool Resolve(HMODULE module, WORD ordinal, Fn& target) {
    const FARPROC address = ::GetProcAddress(module, MAKEINTRESOURCEA(ordinal));
    // Function pointers of any type convert to each other; the ordinal's type is the API's.
    target = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(address));
    return address != nullptr;
}

std::string DescribeOpenFailure(d2xx::Status status) {
    if (status == FT_DEVICE_NOT_OPENED) {
        return "the device cannot be opened; another program may be using it";
    }
    return "the device cannot be opened (D2XX status " + std::to_string(status) + ")";
}

} // namespace

TD2xxPort::TD2xxPort(const std::string& library) {
    HMODULE module = ::LoadLibraryExA(library.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (module == nullptr) {
        LibraryError = win::LastErrorText("the D2XX library '" + library + "' cannot be loaded");
        return;
    }
    win::TModule owner(module);
    if (!Bind(module)) {
        LibraryError = "the D2XX library '" + library + "' lacks an entry point the updater needs";
        Calls = {};
        return;
    }
    Module = std::move(owner);
}

bool TD2xxPort::Bind(HMODULE module) {
    using namespace d2xx;
    return Resolve(module, Ordinal::CreateDeviceInfoList, Calls.CreateDeviceInfoList) &&
           Resolve(module, Ordinal::GetDeviceInfoList, Calls.GetDeviceInfoList) &&
           Resolve(module, Ordinal::Open, Calls.Open) &&
           Resolve(module, Ordinal::SetBaudRate, Calls.SetBaudRate) &&
           Resolve(module, Ordinal::SetTimeouts, Calls.SetTimeouts) &&
           Resolve(module, Ordinal::Purge, Calls.Purge) &&
           Resolve(module, Ordinal::Write, Calls.Write) &&
           Resolve(module, Ordinal::Read, Calls.Read) &&
           Resolve(module, Ordinal::Close, Calls.Close);
}

FT_STATUS TD2xxPort::CreateDeviceInfoList(std::uint32_t* count) {
    *count = 0;
    ListCount = 0;
    if (!Loaded()) {
        return FT_DEVICE_NOT_FOUND;
    }
    DWORD listed = 0;
    const d2xx::Status status = Calls.CreateDeviceInfoList(&listed);
    if (listed > MaxListedDevices) {
        return FT_IO_ERROR;
    }
    ListCount = listed;
    *count = listed;
    return status;
}

FT_STATUS TD2xxPort::GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, std::uint32_t* count) {
    if (!Loaded() || ListCount == 0) {
        *count = 0;
        return FT_DEVICE_NOT_FOUND;
    }
    // The library fills one of its own records for every device of its list, whatever the
    // caller asked for, so the array is sized by the count it reported.
    std::vector<d2xx::TNode> library(ListCount);
    DWORD filled = ListCount;
    const d2xx::Status status = Calls.GetDeviceInfoList(library.data(), &filled);
    if (status != FT_OK) {
        *count = 0;
        return status;
    }
    const std::size_t n = std::min<std::size_t>({filled, ListCount, *count});
    for (std::size_t i = 0; i < n; ++i) {
        const d2xx::TNode& from = library[i];
        FT_DEVICE_LIST_INFO_NODE& to = nodes[i];
        to = FT_DEVICE_LIST_INFO_NODE{};
        to.Flags = from.Flags;
        to.Type = from.Type;
        to.ID = from.ID;
        to.LocId = from.LocId;
        // Copied within the fields and terminated, whatever the library left in them.
        std::memcpy(to.SerialNumber, from.SerialNumber, sizeof to.SerialNumber - 1);
        std::memcpy(to.Description, from.Description, sizeof to.Description - 1);
    }
    *count = static_cast<std::uint32_t>(n);
    return FT_OK;
}

FT_STATUS TD2xxPort::Open(int index, FT_HANDLE* handle) {
    *handle = 0;
    if (!Loaded()) {
        OpenError = LibraryError;
        return FT_DEVICE_NOT_FOUND;
    }
    d2xx::Handle opened = nullptr;
    const d2xx::Status status = Calls.Open(index, &opened);
    if (status != FT_OK) {
        OpenError = DescribeOpenFailure(status);
        return status;
    }
    OpenError.clear();
    *handle = reinterpret_cast<FT_HANDLE>(opened);
    return FT_OK;
}

FT_STATUS TD2xxPort::SetBaudRate(FT_HANDLE handle, std::uint32_t baud) {
    return Loaded() ? Calls.SetBaudRate(AsLibraryHandle(handle), baud) : FT_INVALID_HANDLE;
}

FT_STATUS TD2xxPort::SetTimeouts(FT_HANDLE handle, std::uint32_t readMs, std::uint32_t writeMs) {
    return Loaded() ? Calls.SetTimeouts(AsLibraryHandle(handle), readMs, writeMs)
                    : FT_INVALID_HANDLE;
}

FT_STATUS TD2xxPort::Purge(FT_HANDLE handle, std::uint32_t mask) {
    return Loaded() ? Calls.Purge(AsLibraryHandle(handle), mask) : FT_INVALID_HANDLE;
}

FT_STATUS TD2xxPort::Write(FT_HANDLE handle, const void* data, std::uint32_t size,
                           std::uint32_t* written) {
    *written = 0;
    if (!Loaded()) {
        return FT_INVALID_HANDLE;
    }
    DWORD count = 0;
    // The library does not write to the buffer; its signature just is not const.
    const d2xx::Status status =
        Calls.Write(AsLibraryHandle(handle), const_cast<void*>(data), size, &count);
    *written = std::min<DWORD>(count, size);
    return status;
}

FT_STATUS TD2xxPort::Read(FT_HANDLE handle, void* data, std::uint32_t size, std::uint32_t* got) {
    *got = 0;
    if (!Loaded()) {
        return FT_INVALID_HANDLE;
    }
    DWORD count = 0;
    const d2xx::Status status = Calls.Read(AsLibraryHandle(handle), data, size, &count);
    // A count above what was asked for would send the caller past its buffer.
    *got = std::min<DWORD>(count, size);
    return status;
}

FT_STATUS TD2xxPort::Close(FT_HANDLE handle) {
    return Loaded() ? Calls.Close(AsLibraryHandle(handle)) : FT_INVALID_HANDLE;
}

} // namespace qor
