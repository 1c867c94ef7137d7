#include "device/TtyPort.h"

#include "platform/PosixFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <numeric>
#include <optional>
#include <system_error>
#include <utility>

namespace qor {
namespace {

// While the device nodes stay as they are, the last listing stands; every tenth listing (a
// second at the monitor's pace) looks again, for a /dev the kernel does not fill itself.
constexpr int ListingsPerRelist = 10;

using TClock = std::chrono::steady_clock;

struct TSpeed {
    std::uint32_t Baud;
    speed_t Code;
};

constexpr TSpeed Speeds[] = {
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1500000, B1500000},
    {2000000, B2000000}, {3000000, B3000000},
};

std::optional<std::string> ReadSmallFile(const std::string& path) {
    const posix::TFileHandle fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid()) {
        return std::nullopt;
    }
    char buffer[256];
    const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n < 0) {
        return std::nullopt;
    }
    std::string text(buffer, static_cast<std::size_t>(n));
    if (!text.empty() && text.back() == '\n') {
        text.pop_back(); // sysfs ends its values with one newline; anything else is the value
    }
    return text;
}

std::optional<std::string> RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) {
        return std::nullopt;
    }
    return std::string(resolved);
}

// Names in natural order: the trailing numbers compare as numbers.
bool NaturalLess(const std::string& a, const std::string& b) {
    const auto split = [](const std::string& s) {
        std::size_t digits = s.size();
        while (digits > 0 && std::isdigit(static_cast<unsigned char>(s[digits - 1])) != 0) {
            --digits;
        }
        const std::string number = s.substr(digits);
        return std::make_pair(s.substr(0, digits),
                              number.empty() || number.size() > 9 ? 0UL : std::stoul(number));
    };
    const auto left = split(a);
    const auto right = split(b);
    return left != right ? left < right : a < b;
}

int RemainingMs(TClock::time_point deadline) {
    const auto left = deadline - TClock::now();
    if (left <= TClock::duration::zero()) {
        return 0;
    }
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

bool WouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK;
}

// What the USB device above a tty says of itself: its product string and serial number, both
// attributes of the one device directory; nothing for a tty that is not on USB.
struct TUsbBridge {
    std::string Product;
    std::string Serial; // empty: the bridge has none
};

std::optional<TUsbBridge> TtyUsbBridge(const std::string& sysfsRoot, const std::string& name) {
    const std::string device = sysfsRoot + "/class/tty/" + name + "/device";
    // One readlink sorts out consoles, on-board and virtual ttys cheaply.
    char link[PATH_MAX];
    const ssize_t n = ::readlink((device + "/subsystem").c_str(), link, sizeof link - 1);
    if (n <= 0) {
        return std::nullopt;
    }
    const std::string subsystem(link, static_cast<std::size_t>(n));
    const std::string kind = subsystem.substr(subsystem.rfind('/') + 1);
    if (kind != "usb-serial" && kind != "usb") {
        return std::nullopt;
    }
    const auto root = RealPath(sysfsRoot);
    auto dir = RealPath(device);
    if (!root || !dir) {
        return std::nullopt;
    }
    // Walk up from the tty's device (an interface or the serial port) to the USB device.
    while (dir->size() > root->size() && dir->compare(0, root->size(), *root) == 0) {
        if (auto product = ReadSmallFile(*dir + "/product")) {
            return TUsbBridge{std::move(*product), ReadSmallFile(*dir + "/serial").value_or("")};
        }
        dir->erase(dir->rfind('/'));
    }
    return TUsbBridge{}; // on USB, but without a product string
}

// The bridge hands short replies to the host when its latency timer fires, 16 ms by default:
// every exchange would wait for it. Both the kernel's low-latency flag and the FTDI driver's
// timer attribute are asked for; a driver that refuses either (a pty does) keeps its own.
// With ftdi_sio, while the flag is set (also after the port is closed) the chip's timer runs at
// 1 ms and the attribute reads 1, whatever was written to it; the attribute is root's to write.
void AskForLowLatency(int fd, const std::string& latencyAttribute) {
    serial_struct info{};
    if (::ioctl(fd, TIOCGSERIAL, &info) == 0) {
        info.flags |= ASYNC_LOW_LATENCY;
        ::ioctl(fd, TIOCSSERIAL, &info);
    }
    const posix::TFileHandle timer(
        ::open(latencyAttribute.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
    if (timer.Valid()) {
        const char lowest[] = "1";
        (void)::write(timer.Get(), lowest, sizeof lowest - 1);
    }
}

const TSpeed* SpeedOf(std::uint32_t baud) {
    const auto* speed = std::find_if(std::begin(Speeds), std::end(Speeds),
                                     [baud](const TSpeed& s) { return s.Baud == baud; });
    return speed == std::end(Speeds) ? nullptr : speed;
}

TPortIo Failure(TPortStatus status, std::string detail) {
    TPortIo io;
    io.Status = status;
    io.Detail = std::move(detail);
    return io;
}

// An open tty: the descriptor and the lock on it go with this object.
class TTtyConnection : public IPortConnection {
public:
    TTtyConnection(posix::TFileHandle fd, std::string path)
        : Fd(std::move(fd)), Path(std::move(path)) {}

    TPortIo Write(std::span<const std::uint8_t> bytes, TMilliseconds timeout) override {
        TPortIo io;
        const auto deadline = TClock::now() + timeout;
        while (io.Count < bytes.size()) {
            const ssize_t n = ::write(Fd.Get(), bytes.data() + io.Count, bytes.size() - io.Count);
            if (n > 0) {
                io.Count += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && !WouldBlock(errno)) {
                return Broken(io.Count, "cannot write to");
            }
            const int left = RemainingMs(deadline);
            if (left == 0) {
                break; // time-out: the count says how far it got
            }
            pollfd p{Fd.Get(), POLLOUT, 0};
            const int ready = ::poll(&p, 1, left);
            if (ready < 0 && errno != EINTR) {
                return Broken(io.Count, "cannot wait for");
            }
            if (ready > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
                return Gone(io.Count);
            }
        }
        return io;
    }

    TPortIo Read(std::span<std::uint8_t> bytes, TMilliseconds timeout) override {
        TPortIo io;
        const auto deadline = TClock::now() + timeout;
        bool signalledReady = false;
        while (io.Count < bytes.size()) {
            const ssize_t n = ::read(Fd.Get(), bytes.data() + io.Count, bytes.size() - io.Count);
            if (n > 0) {
                io.Count += static_cast<std::size_t>(n);
                signalledReady = false;
                continue;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if ((n < 0 && !WouldBlock(errno)) || (n == 0 && signalledReady)) {
                return Gone(io.Count); // hung up: the bridge is gone
            }
            const int left = RemainingMs(deadline);
            if (left == 0) {
                break;
            }
            pollfd p{Fd.Get(), POLLIN, 0};
            const int ready = ::poll(&p, 1, left);
            if (ready < 0 && errno != EINTR) {
                return Broken(io.Count, "cannot wait for");
            }
            if (ready > 0) {
                if ((p.revents & POLLIN) == 0) {
                    return Gone(io.Count); // POLLHUP, POLLERR or POLLNVAL without data
                }
                signalledReady = true;
            }
        }
        return io;
    }

    TPortIo Purge() override {
        if (::tcflush(Fd.Get(), TCIOFLUSH) != 0) {
            return Broken(0, "cannot purge");
        }
        return {};
    }

private:
    TPortIo Broken(std::size_t count, const char* what) const {
        TPortIo io = Failure(TPortStatus::Failed, posix::ErrorText(what, Path));
        io.Count = count;
        return io;
    }
    TPortIo Gone(std::size_t count) const {
        TPortIo io = Failure(TPortStatus::Gone, Path + " is gone");
        io.Count = count;
        return io;
    }

    posix::TFileHandle Fd;
    std::string Path;
};

} // namespace

TTtyPort::TTtyPort(std::string sysfsRoot, std::string devRoot)
    : SysfsRoot(std::move(sysfsRoot)), DevRoot(std::move(devRoot)),
      TtyClass(SysfsRoot + "/class/tty") {
}

std::string TTtyPort::DescribeOpenError(int error, const std::string& path) {
    switch (error) {
    case EACCES:
    case EPERM:
        return "Permission denied opening " + path +
               " \u2014 add your user to the 'dialout' group or install the udev rule";
    case EBUSY:
    case EWOULDBLOCK:
        return path + " is in use by another program";
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return "Cannot open " + path + ": the device is gone (unplugged?)";
    case ENOTTY:
        return "Cannot open " + path + ": it is not a serial port";
    default:
        return "Cannot open " + path + ": " + std::generic_category().message(error);
    }
}

std::vector<TPortEntry> TTtyPort::List() {
    if (!DevNodes.MayHaveChanged() && ++QuietListings < ListingsPerRelist) {
        return Snapshot;
    }
    QuietListings = 0;
    Snapshot.clear();
    if (TtyClassDir) {
        ::rewinddir(TtyClassDir.get());
    } else {
        TtyClassDir.reset(::opendir(TtyClass.c_str()));
        if (!TtyClassDir) {
            return {};
        }
    }
    Scanned.clear();
    while (const dirent* entry = ::readdir(TtyClassDir.get())) {
        if (entry->d_name[0] != '.' && entry->d_name[0] != '\0') {
            Scanned.emplace_back(entry->d_name);
        }
    }
    // A tty that is not on USB stays so while it exists: it is looked at again only when
    // the set of ttys changes. A machine has dozens of them, and this runs ten times a second,
    // so the names are compared as the directory gives them, without sorting.
    if (Scanned != KnownNames) {
        KnownNames.swap(Scanned);
        MaybeOnUsb.resize(KnownNames.size());
        std::iota(MaybeOnUsb.begin(), MaybeOnUsb.end(), std::size_t{0});
    }
    std::erase_if(MaybeOnUsb, [this](std::size_t index) {
        const std::string& name = KnownNames[index];
        auto bridge = TtyUsbBridge(SysfsRoot, name);
        if (!bridge) {
            return true;
        }
        Snapshot.push_back({name, std::move(bridge->Product), std::move(bridge->Serial)});
        return false;
    });
    std::sort(Snapshot.begin(), Snapshot.end(),
              [](const TPortEntry& a, const TPortEntry& b) { return NaturalLess(a.Name, b.Name); });
    return Snapshot;
}

std::vector<std::string> TTtyPort::Facts() {
    std::vector<std::string> facts{"tty back-end over " + SysfsRoot + " and " + DevRoot};
    for (const TPortEntry& entry : List()) {
        const auto timer =
            ReadSmallFile(SysfsRoot + "/class/tty/" + entry.Name + "/device/latency_timer");
        facts.push_back(entry.Name + ": \"" + entry.Description + "\", serial " +
                        ShownSerial(entry) + ", latency timer " +
                        (timer ? *timer + " ms" : std::string("not known")));
    }
    return facts;
}

TResult<std::unique_ptr<IPortConnection>> TTtyPort::Open(std::size_t index, std::uint32_t baud) {
    if (index >= Snapshot.size()) {
        return Fail(TError{"No serial device at list position " + std::to_string(index) + "."});
    }
    const std::string path = DevRoot + "/" + Snapshot[index].Name;
    const TSpeed* speed = SpeedOf(baud);
    if (speed == nullptr) {
        return Fail(TError{"Cannot open " + path + ": " + std::to_string(baud) +
                           " baud is not a speed the port can take"});
    }
    posix::TFileHandle fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.Valid()) {
        return Fail(TError{DescribeOpenError(errno, path)});
    }
    // Another program holding the lock owns the line, whoever we are: TIOCEXCL alone does
    // not keep root out. The lock goes with the descriptor.
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        return Fail(TError{DescribeOpenError(errno, path)});
    }
    termios tio{};
    if (::tcgetattr(fd.Get(), &tio) != 0) {
        return Fail(TError{DescribeOpenError(errno, path)});
    }
    // Keep other programs off the line while we hold it, as the bridge's own driver would.
    ::ioctl(fd.Get(), TIOCEXCL);
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS | CSIZE);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, speed->Code) != 0 || ::cfsetospeed(&tio, speed->Code) != 0 ||
        ::tcsetattr(fd.Get(), TCSANOW, &tio) != 0) {
        return Fail(TError{DescribeOpenError(errno, path)});
    }
    AskForLowLatency(fd.Get(),
                     SysfsRoot + "/class/tty/" + Snapshot[index].Name + "/device/latency_timer");
    return std::unique_ptr<IPortConnection>(std::make_unique<TTtyConnection>(std::move(fd), path));
}

} // namespace qor
