// A fake sysfs tree and /dev whose USB-serial ttys are pseudo-terminals, each played on its
// master side by a virtual device in a thread of its own: the real tty back-end, pointed at
// the tree, talks to a device that answers as the virtual bus's devices do, faults included.
// A device that unplugs (or switches off after a power-off request) leaves the tree and hangs
// up its pty, as a real bridge's tty does.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/VirtualDevice.h"

namespace qor::test {

class TPtyRig {
public:
    TPtyRig();
    ~TPtyRig();
    TPtyRig(const TPtyRig&) = delete;
    TPtyRig& operator=(const TPtyRig&) = delete;

    // A device behind a bridge reporting `description` as its tty `name` ("ttyUSB0"); set up
    // its fault plan before plugging it in.
    TVirtualDevice& AddDevice(const std::string& name, const std::string& description,
                              const TBootloaderConfig& config = {});
    TVirtualDevice& Device(std::size_t index) { return Bridges.at(index)->Device; }

    // Puts the device's tty into the tree and starts playing it.
    void Plug(std::size_t index);
    // Plugs every device in once `delay` has passed, from a thread of its own.
    void PlugAllAfter(std::chrono::milliseconds delay);
    // Waits until every device's thread has ended (after it left the tree) or `timeout` passed.
    void Stop();

    std::string SysfsRoot() const { return (Root / "sys").string(); }
    std::string DevRoot() const { return (Root / "dev").string(); }

private:
    struct TBridge {
        std::string Name;
        std::string Description;
        TVirtualDevice Device;
        std::string UsbPath; // below sys/
        int Master = -1;
        std::thread Player;
        TBridge(std::string name, std::string description, const TBootloaderConfig& config)
            : Name(std::move(name)), Description(description),
              Device(std::move(description), config) {}
    };

    void Play(TBridge& bridge);
    void Leave(TBridge& bridge);

    std::filesystem::path Root;
    std::vector<std::unique_ptr<TBridge>> Bridges;
    std::mutex TreeMutex;
    std::atomic<bool> Stopping{false};
    std::thread Plugger;
};

} // namespace qor::test
