#include "device/D2xxPort.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "device/D2xxApi.h"
#include "platform/WinErrors.h"
#include "platform/WinHandles.h"
#include "platform/WinText.h"

namespace qor {
namespace {

// More bridges than this on one machine is a library fault, not a list to allocate for.
constexpr DWORD MaxListedDevices = 1024;

using d2xx::StatusDeviceNotOpened;
using d2xx::StatusOk;
// The bridge hands short replies to the host when its latency timer fires: 16 ms by default,
// which would stretch every exchange to the next 16 ms.
constexpr UCHAR LowestLatencyMs = 1;

// The export at `ordinal` as the function type it is wanted as; null when the library lacks it.
template <typename Fn> Fn Resolve(HMODULE module, WORD ordinal) {
    const FARPROC address = ::GetProcAddress(module, MAKEINTRESOURCEA(ordinal));
    // Function pointers of any type convert to each other; the ordinal's type is the API's.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(address));
}

std::string Field(const char* text, std::size_t capacity) {
    return {text, strnlen(text, capacity)};
}

// The library knows no port names: a device goes by its serial number, the steadiest thing
// its list holds, and one without by its place on the USB bus ("loc-1A2"), so that every
// device listed has a name of its own.
std::string PortName(const d2xx::TNode& node, const std::string& serial) {
    if (!serial.empty()) {
        return serial;
    }
    char name[16];
    std::snprintf(name, sizeof name, "loc-%lX", static_cast<unsigned long>(node.LocId));
    return name;
}

} // namespace

// The loaded library and its entry points.
class TD2xxLibrary {
public:
    explicit TD2xxLibrary(const std::string& name) : Name(name) {
        HMODULE module =
            ::LoadLibraryExW(win::Widen(name).c_str(), nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
        if (module == nullptr) {
            Error = win::LastErrorText("the D2XX library '" + name + "' cannot be loaded");
            return;
        }
        win::TModule owner(module);
        using namespace d2xx;
        CreateDeviceInfoList =
            Resolve<CreateDeviceInfoListFn>(module, Ordinal::CreateDeviceInfoList);
        GetDeviceInfoList = Resolve<GetDeviceInfoListFn>(module, Ordinal::GetDeviceInfoList);
        Open = Resolve<OpenFn>(module, Ordinal::Open);
        SetBaudRate = Resolve<SetBaudRateFn>(module, Ordinal::SetBaudRate);
        SetTimeouts = Resolve<SetTimeoutsFn>(module, Ordinal::SetTimeouts);
        Purge = Resolve<PurgeFn>(module, Ordinal::Purge);
        Write = Resolve<WriteFn>(module, Ordinal::Write);
        Read = Resolve<ReadFn>(module, Ordinal::Read);
        Close = Resolve<CloseFn>(module, Ordinal::Close);
        if (!(CreateDeviceInfoList && GetDeviceInfoList && Open && SetBaudRate && SetTimeouts &&
              Purge && Write && Read && Close)) {
            Error = "the D2XX library '" + name + "' lacks an entry point the updater needs";
            Incomplete = true;
            return;
        }
        // Older libraries may lack it; the bridge's default then stands.
        SetLatencyTimer = Resolve<SetLatencyTimerFn>(module, Ordinal::SetLatencyTimer);
        Module = std::move(owner);
    }

    bool Loaded() const { return Module != nullptr; }

    win::TModule Module;
    std::string Name;
    std::string Error;
    bool Incomplete = false; // found, but too old or damaged
    d2xx::CreateDeviceInfoListFn CreateDeviceInfoList = nullptr;
    d2xx::GetDeviceInfoListFn GetDeviceInfoList = nullptr;
    d2xx::OpenFn Open = nullptr;
    d2xx::SetBaudRateFn SetBaudRate = nullptr;
    d2xx::SetTimeoutsFn SetTimeouts = nullptr;
    d2xx::PurgeFn Purge = nullptr;
    d2xx::WriteFn Write = nullptr;
    d2xx::ReadFn Read = nullptr;
    d2xx::CloseFn Close = nullptr;
    d2xx::SetLatencyTimerFn SetLatencyTimer = nullptr;
};

namespace {

TPortIo Failed(const char* what, d2xx::Status status, std::size_t count = 0) {
    TPortIo io;
    io.Status = TPortStatus::Failed;
    io.Count = count;
    io.Detail = std::string(what) + " failed (D2XX status " + std::to_string(status) + ")";
    return io;
}

// One open device: the library's handle, closed with the object. The library keeps its
// time-outs per handle; they are set only when a call asks for other ones.
class TD2xxConnection : public IPortConnection {
public:
    static constexpr ULONG NotSet = ~ULONG{0};

    TD2xxConnection(std::shared_ptr<TD2xxLibrary> library, d2xx::Handle handle)
        : Library(std::move(library)), Handle(handle) {}
    ~TD2xxConnection() override { Library->Close(Handle); }
    TD2xxConnection(const TD2xxConnection&) = delete;
    TD2xxConnection& operator=(const TD2xxConnection&) = delete;

    TPortIo Write(std::span<const std::uint8_t> bytes, TMilliseconds timeout) override {
        UseTimeouts(ReadMs == NotSet ? 0 : ReadMs, static_cast<ULONG>(timeout.count()));
        DWORD count = 0;
        // The library does not write to the buffer; its signature just is not const.
        const d2xx::Status status = Library->Write(Handle, const_cast<std::uint8_t*>(bytes.data()),
                                                   static_cast<DWORD>(bytes.size()), &count);
        const std::size_t sent = std::min<std::size_t>(count, bytes.size());
        if (status != StatusOk) {
            return Failed("writing", status, sent);
        }
        TPortIo io;
        io.Count = sent;
        return io;
    }

    TPortIo Read(std::span<std::uint8_t> bytes, TMilliseconds timeout) override {
        UseTimeouts(static_cast<ULONG>(timeout.count()), WriteMs == NotSet ? 0 : WriteMs);
        DWORD count = 0;
        const d2xx::Status status =
            Library->Read(Handle, bytes.data(), static_cast<DWORD>(bytes.size()), &count);
        // A count above what was asked for would send the caller past its buffer.
        const std::size_t got = std::min<std::size_t>(count, bytes.size());
        if (status != StatusOk) {
            return Failed("reading", status, got);
        }
        TPortIo io;
        io.Count = got;
        return io;
    }

    TPortIo Purge() override {
        const d2xx::Status status = Library->Purge(Handle, d2xx::PurgeRx | d2xx::PurgeTx);
        return status == StatusOk ? TPortIo{} : Failed("purging", status);
    }

    void UseTimeouts(ULONG readMs, ULONG writeMs) {
        if (readMs != ReadMs || writeMs != WriteMs) {
            Library->SetTimeouts(Handle, readMs, writeMs);
            ReadMs = readMs;
            WriteMs = writeMs;
        }
    }

private:
    std::shared_ptr<TD2xxLibrary> Library;
    d2xx::Handle Handle;
    // Not yet set: the library's own default would wait for ever.
    ULONG ReadMs = NotSet;
    ULONG WriteMs = NotSet;
};

} // namespace

TD2xxPort::TD2xxPort(const std::string& library)
    : Library(std::make_shared<TD2xxLibrary>(library)) {
}

TD2xxPort::~TD2xxPort() = default;

bool TD2xxPort::Loaded() const {
    return Library->Loaded();
}

const std::string& TD2xxPort::LoadError() const {
    return Library->Error;
}

std::vector<TPortEntry> TD2xxPort::List() {
    if (!Loaded()) {
        return {};
    }
    DWORD listed = 0;
    Library->CreateDeviceInfoList(&listed); // its count is what matters: 0 means none
    if (listed == 0 || listed > MaxListedDevices) {
        return {};
    }
    // The library fills one of its own records for every device of its list, so the array is
    // sized by the count it reported.
    std::vector<d2xx::TNode> nodes(listed);
    DWORD filled = listed;
    if (Library->GetDeviceInfoList(nodes.data(), &filled) != StatusOk) {
        return {};
    }
    std::vector<TPortEntry> ports;
    ports.reserve(std::min(filled, listed));
    for (DWORD i = 0; i < std::min(filled, listed); ++i) {
        std::string serial = Field(nodes[i].SerialNumber, sizeof nodes[i].SerialNumber);
        ports.push_back({PortName(nodes[i], serial),
                         Field(nodes[i].Description, sizeof nodes[i].Description), serial});
    }
    return ports;
}

std::string TD2xxPort::Unavailable() {
    if (Loaded()) {
        return {};
    }
    // The library comes with the driver of the device's USB bridge, which the updater cannot
    // bring along.
    return Library->Name + (Library->Incomplete ? " is too old or damaged" : " is not installed") +
           ": install the D2XX driver for the FTDI USB bridge (FTDI's CDM driver package)";
}

std::vector<std::string> TD2xxPort::Facts() {
    if (!Loaded()) {
        return {"D2XX library not available: " + LoadError()};
    }
    std::vector<std::string> facts{std::string("D2XX library loaded") +
                                   (Library->SetLatencyTimer != nullptr
                                        ? ", latency timer set to 1 ms on open"
                                        : ", without a latency timer call")};
    for (const TPortEntry& entry : List()) {
        facts.push_back("bridge " + entry.Name + ": \"" + entry.Description + "\", serial " +
                        ShownSerial(entry));
    }
    return facts;
}

TResult<std::unique_ptr<IPortConnection>> TD2xxPort::Open(std::size_t index, std::uint32_t baud) {
    if (!Loaded()) {
        return Fail(TError{Library->Error});
    }
    d2xx::Handle handle = nullptr;
    const d2xx::Status status = Library->Open(static_cast<int>(index), &handle);
    if (status != StatusOk) {
        return Fail(TError{status == StatusDeviceNotOpened
                               ? "the device cannot be opened; another program may be using it"
                               : "the device cannot be opened (D2XX status " +
                                     std::to_string(status) + ")"});
    }
    auto connection = std::make_unique<TD2xxConnection>(Library, handle);
    Library->SetBaudRate(handle, baud);
    if (Library->SetLatencyTimer != nullptr) {
        Library->SetLatencyTimer(handle, LowestLatencyMs);
    }
    return std::unique_ptr<IPortConnection>(std::move(connection));
}

} // namespace qor
