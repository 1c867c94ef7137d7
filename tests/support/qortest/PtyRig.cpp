#include "qortest/PtyRig.h"

#include "sim/VirtualBus.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <system_error>

namespace qor::test {
namespace fs = std::filesystem;
namespace {

constexpr int PollMs = 20;
// A reply is read by the host before its pty goes away with the device.
constexpr auto LeaveDelay = std::chrono::milliseconds(100);

std::uint64_t NowUs() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

void WriteAll(int fd, const TByteVector& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

} // namespace

TPtyRig::TPtyRig() {
    std::string pattern = (fs::temp_directory_path() / "qor-ptyrig-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::system_error(errno, std::generic_category(), "mkdtemp");
    }
    Root = pattern;
    for (const char* dir : {"sys/class/tty", "sys/bus/usb-serial", "sys/bus/usb", "dev"}) {
        fs::create_directories(Root / dir);
    }
}

TPtyRig::~TPtyRig() {
    Stopping = true;
    Stop();
    std::error_code ignored;
    fs::remove_all(Root, ignored);
}

TVirtualDevice& TPtyRig::AddDevice(const std::string& name, const std::string& description,
                                   const TBootloaderConfig& config) {
    Bridges.push_back(std::make_unique<TBridge>(name, description, config));
    TBridge& bridge = *Bridges.back();
    // Arrival times are taken when the player reads, not when the bytes were sent: a player
    // that was not scheduled for a while must not take that for a gap between two frames.
    bridge.Device.FrameGapUs = std::uint64_t{60} * 1000 * 1000;
    bridge.UsbPath = "devices/pci0000:00/0000:00:14.0/usb1/1-" + std::to_string(Bridges.size());
    bridge.Device.SerialNumber = TVirtualBus::VirtualSerial(Bridges.size() - 1);
    return bridge.Device;
}

void TPtyRig::Plug(std::size_t index) {
    TBridge& bridge = *Bridges.at(index);
    const std::lock_guard lock(TreeMutex);
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char slave[128] = {};
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
        ::ptsname_r(master, slave, sizeof slave) != 0) {
        throw std::system_error(errno, std::generic_category(), "pty");
    }
    bridge.Master = master;
    // As the kernel adds a tty: its device and its own directory whole, then the class entry
    // that the back-end walks, in one step (a symlink), so no listing can find the entry
    // before what it leads to. The node comes first, as a watch of /dev may see it early.
    fs::create_symlink(slave, Root / "dev" / bridge.Name);
    const fs::path sys = Root / "sys";
    const fs::path usb = sys / bridge.UsbPath;
    const fs::path device = usb / (usb.filename().string() + ":1.0") / bridge.Name;
    const fs::path tty = device / "tty" / bridge.Name;
    fs::create_directories(tty);
    std::ofstream(usb / "product") << bridge.Description << "\n";
    if (!bridge.Device.SerialNumber.empty()) {
        std::ofstream(usb / "serial") << bridge.Device.SerialNumber << "\n";
    }
    fs::create_directory_symlink(fs::relative(sys / "bus/usb-serial", device),
                                 device / "subsystem");
    fs::create_directory_symlink(fs::relative(device, tty), tty / "device");
    const fs::path entry = sys / "class/tty" / bridge.Name;
    fs::create_directory_symlink(fs::relative(tty, entry.parent_path()), entry);
    bridge.Device.Plug();
    bridge.Player = std::thread([this, &bridge] { Play(bridge); });
}

void TPtyRig::PlugAllAfter(std::chrono::milliseconds delay) {
    Plugger = std::thread([this, delay] {
        const auto at = std::chrono::steady_clock::now() + delay;
        while (!Stopping && std::chrono::steady_clock::now() < at) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        for (std::size_t i = 0; !Stopping && i < Bridges.size(); ++i) {
            Plug(i);
        }
    });
}

void TPtyRig::Stop() {
    Stopping = true;
    if (Plugger.joinable()) {
        Plugger.join();
    }
    for (const auto& bridge : Bridges) {
        if (bridge->Player.joinable()) {
            bridge->Player.join();
        }
    }
}

void TPtyRig::Play(TBridge& bridge) {
    std::vector<TReplyBurst> replies;
    std::uint8_t buffer[1024];
    while (!Stopping && bridge.Device.Listed()) {
        pollfd p{bridge.Master, POLLIN, 0};
        const int ready = ::poll(&p, 1, PollMs);
        if (ready <= 0) {
            continue;
        }
        if ((p.revents & POLLIN) == 0) {
            // No host has the tty open (yet, or any more).
            std::this_thread::sleep_for(std::chrono::milliseconds(PollMs));
            continue;
        }
        const ssize_t n = ::read(bridge.Master, buffer, sizeof buffer);
        if (n <= 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(PollMs));
            continue;
        }
        replies.clear();
        bridge.Device.Receive(buffer, static_cast<std::size_t>(n), NowUs(), 0, replies);
        for (const TReplyBurst& burst : replies) {
            if (burst.DelayUs != 0) {
                std::this_thread::sleep_for(std::chrono::microseconds(burst.DelayUs));
            }
            WriteAll(bridge.Master, burst.Bytes);
            if (burst.SwitchOffAfter) {
                std::this_thread::sleep_for(LeaveDelay);
                bridge.Device.SwitchOff();
            }
        }
    }
    Leave(bridge);
}

void TPtyRig::Leave(TBridge& bridge) {
    const std::lock_guard lock(TreeMutex);
    std::error_code ignored;
    fs::remove_all(Root / "sys/class/tty" / bridge.Name, ignored);
    fs::remove(Root / "dev" / bridge.Name, ignored);
    ::close(bridge.Master);
    bridge.Master = -1;
}

} // namespace qor::test
