// The device port on Windows: the FTDI D2XX library, loaded when the port is made and called
// through the entry points it exports by ordinal. Without the library (no driver installed)
// or with one that lacks an entry point, the port simply lists no device. The library's
// types stay inside this back-end.
#pragma once

#include <memory>
#include <string>

#include "device/DevicePort.h"

namespace qor {

class TD2xxLibrary;

class TD2xxPort : public IDevicePort {
public:
    static constexpr const char* LibraryName = "FTD2XX.dll";

    // `library` is looked for in the program's folder and the system folders, never in the
    // current directory; a path names the file itself.
    explicit TD2xxPort(const std::string& library = LibraryName);
    ~TD2xxPort() override;
    TD2xxPort(const TD2xxPort&) = delete;
    TD2xxPort& operator=(const TD2xxPort&) = delete;

    // Whether the library and all its entry points were found; LoadError says why not.
    bool Loaded() const;
    const std::string& LoadError() const;

    std::vector<TPortEntry> List() override;
    // Whether the library was found, and the bridges it lists.
    std::vector<std::string> Facts() override;
    // Without the library: which one is missing and what installs it.
    std::string Unavailable() override;
    // The library opens a device for one program at a time.
    TResult<std::unique_ptr<IPortConnection>> Open(std::size_t index, std::uint32_t baud) override;

private:
    // Shared with the connections, which may outlive a listing but not the library.
    std::shared_ptr<TD2xxLibrary> Library;
};

} // namespace qor
