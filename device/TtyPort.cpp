#include "device/TtyPort.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <system_error>
#include <utility>

namespace qor {
namespace {

using TClock = std::chrono::steady_clock;

constexpr std::uint32_t FlagOpened = 1;

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

// The product string of the USB device above a tty; nothing for a tty that is not on USB.
std::optional<std::string> TtyUsbProduct(const std::string& sysfsRoot, const std::string& name) {
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
            return product;
        }
        dir->erase(dir->rfind('/'));
    }
    return std::string(); // on USB, but without a product string
}

} // namespace

TTtyPort::TTtyPort(std::string sysfsRoot, std::string devRoot)
    : SysfsRoot(std::move(sysfsRoot)), DevRoot(std::move(devRoot)) {
}

std::string TTtyPort::DescribeOpenError(int error, const std::string& path) {
    switch (error) {
    case EACCES:
    case EPERM:
        return "Permission denied opening " + path +
               " \u2014 add your user to the 'dialout' group or install the udev rule";
    case EBUSY:
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

FT_STATUS TTtyPort::CreateDeviceInfoList(std::uint32_t* count) {
    Snapshot.clear();
    *count = 0;
    DIR* dir = ::opendir((SysfsRoot + "/class/tty").c_str());
    if (dir == nullptr) {
        return FT_IO_ERROR;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.empty() || name[0] == '.') {
            continue;
        }
        if (auto product = TtyUsbProduct(SysfsRoot, name)) {
            Snapshot.push_back({name, std::move(*product)});
        }
    }
    ::closedir(dir);
    std::sort(Snapshot.begin(), Snapshot.end(),
              [](const TTtyEntry& a, const TTtyEntry& b) { return NaturalLess(a.Name, b.Name); });
    *count = static_cast<std::uint32_t>(Snapshot.size());
    return FT_OK;
}

FT_STATUS TTtyPort::GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, std::uint32_t* count) {
    const std::size_t n = std::min<std::size_t>(*count, Snapshot.size());
    for (std::size_t i = 0; i < n; ++i) {
        FT_DEVICE_LIST_INFO_NODE& node = nodes[i];
        node = {};
        const TTtyEntry& tty = Snapshot[i];
        const bool opened = std::any_of(Handles.begin(), Handles.end(),
                                        [&](const auto& h) { return h.second.Name == tty.Name; });
        node.Flags = opened ? FlagOpened : 0;
        node.LocId = static_cast<std::uint32_t>(i);
        const std::size_t len = std::min(tty.Description.size(), sizeof node.Description - 1);
        std::memcpy(node.Description, tty.Description.data(), len);
        const std::size_t nameLen = std::min(tty.Name.size(), sizeof node.SerialNumber - 1);
        std::memcpy(node.SerialNumber, tty.Name.data(), nameLen);
    }
    *count = static_cast<std::uint32_t>(n);
    return FT_OK;
}

FT_STATUS TTtyPort::Open(int index, FT_HANDLE* handle) {
    OpenError.clear();
    if (index < 0 || static_cast<std::size_t>(index) >= Snapshot.size()) {
        OpenError = "No serial device at list position " + std::to_string(index) + ".";
        return FT_DEVICE_NOT_FOUND;
    }
    const std::string& name = Snapshot[static_cast<std::size_t>(index)].Name;
    const std::string path = DevRoot + "/" + name;
    for (const auto& [id, tty] : Handles) {
        if (tty.Name == name) {
            OpenError = path + " is already open";
            return FT_DEVICE_NOT_OPENED;
        }
    }
    posix::TFileHandle fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.Valid()) {
        OpenError = DescribeOpenError(errno, path);
        return FT_DEVICE_NOT_OPENED;
    }
    termios tio{};
    if (::tcgetattr(fd.Get(), &tio) != 0) {
        OpenError = DescribeOpenError(errno, path);
        return FT_DEVICE_NOT_OPENED;
    }
    // Keep other programs off the line while we hold it, as the bridge's own driver would.
    ::ioctl(fd.Get(), TIOCEXCL);
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS | CSIZE);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::tcsetattr(fd.Get(), TCSANOW, &tio) != 0) {
        OpenError = DescribeOpenError(errno, path);
        return FT_DEVICE_NOT_OPENED;
    }
    TOpenTty& tty = Handles[NextHandle];
    tty.Fd = std::move(fd);
    tty.Name = name;
    *handle = NextHandle++;
    return FT_OK;
}

TTtyPort::TOpenTty* TTtyPort::Find(FT_HANDLE handle) {
    const auto it = Handles.find(handle);
    return it == Handles.end() ? nullptr : &it->second;
}

FT_STATUS TTtyPort::SetBaudRate(FT_HANDLE handle, std::uint32_t baud) {
    TOpenTty* tty = Find(handle);
    if (tty == nullptr) {
        return FT_INVALID_HANDLE;
    }
    const auto* speed = std::find_if(std::begin(Speeds), std::end(Speeds),
                                     [baud](const TSpeed& s) { return s.Baud == baud; });
    if (speed == std::end(Speeds)) {
        return FT_INVALID_BAUD_RATE;
    }
    termios tio{};
    if (::tcgetattr(tty->Fd.Get(), &tio) != 0 || ::cfsetispeed(&tio, speed->Code) != 0 ||
        ::cfsetospeed(&tio, speed->Code) != 0 || ::tcsetattr(tty->Fd.Get(), TCSANOW, &tio) != 0) {
        return FT_IO_ERROR;
    }
    return FT_OK;
}

FT_STATUS TTtyPort::SetTimeouts(FT_HANDLE handle, std::uint32_t readMs, std::uint32_t writeMs) {
    TOpenTty* tty = Find(handle);
    if (tty == nullptr) {
        return FT_INVALID_HANDLE;
    }
    tty->ReadMs = readMs;
    tty->WriteMs = writeMs;
    return FT_OK;
}

FT_STATUS TTtyPort::Purge(FT_HANDLE handle, std::uint32_t mask) {
    TOpenTty* tty = Find(handle);
    if (tty == nullptr) {
        return FT_INVALID_HANDLE;
    }
    const bool rx = (mask & FT_PURGE_RX) != 0;
    const bool tx = (mask & FT_PURGE_TX) != 0;
    if (!rx && !tx) {
        return FT_OK;
    }
    const int queue = rx && tx ? TCIOFLUSH : (rx ? TCIFLUSH : TCOFLUSH);
    return ::tcflush(tty->Fd.Get(), queue) == 0 ? FT_OK : FT_IO_ERROR;
}

FT_STATUS TTtyPort::Write(FT_HANDLE handle, const void* data, std::uint32_t size,
                          std::uint32_t* written) {
    *written = 0;
    TOpenTty* tty = Find(handle);
    if (tty == nullptr) {
        return FT_INVALID_HANDLE;
    }
    const auto deadline = TClock::now() + std::chrono::milliseconds(tty->WriteMs);
    const auto* in = static_cast<const std::uint8_t*>(data);
    while (*written < size) {
        const ssize_t n = ::write(tty->Fd.Get(), in + *written, size - *written);
        if (n > 0) {
            *written += static_cast<std::uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && !WouldBlock(errno)) {
            return FT_IO_ERROR;
        }
        const int left = RemainingMs(deadline);
        if (left == 0) {
            break; // time-out: the count says how far it got
        }
        pollfd p{tty->Fd.Get(), POLLOUT, 0};
        const int ready = ::poll(&p, 1, left);
        if (ready < 0 && errno != EINTR) {
            return FT_IO_ERROR;
        }
        if (ready > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            return FT_IO_ERROR;
        }
    }
    return FT_OK;
}

FT_STATUS TTtyPort::Read(FT_HANDLE handle, void* data, std::uint32_t size, std::uint32_t* got) {
    *got = 0;
    TOpenTty* tty = Find(handle);
    if (tty == nullptr) {
        return FT_INVALID_HANDLE;
    }
    const auto deadline = TClock::now() + std::chrono::milliseconds(tty->ReadMs);
    auto* out = static_cast<std::uint8_t*>(data);
    bool signalledReady = false;
    while (*got < size) {
        const ssize_t n = ::read(tty->Fd.Get(), out + *got, size - *got);
        if (n > 0) {
            *got += static_cast<std::uint32_t>(n);
            signalledReady = false;
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if ((n < 0 && !WouldBlock(errno)) || (n == 0 && signalledReady)) {
            return FT_IO_ERROR; // hung up: the bridge is gone
        }
        const int left = RemainingMs(deadline);
        if (left == 0) {
            break;
        }
        pollfd p{tty->Fd.Get(), POLLIN, 0};
        const int ready = ::poll(&p, 1, left);
        if (ready < 0 && errno != EINTR) {
            return FT_IO_ERROR;
        }
        if (ready > 0) {
            if ((p.revents & POLLIN) == 0) {
                return FT_IO_ERROR; // POLLHUP, POLLERR or POLLNVAL without data
            }
            signalledReady = true;
        }
    }
    return FT_OK;
}

FT_STATUS TTtyPort::Close(FT_HANDLE handle) {
    return Handles.erase(handle) == 1 ? FT_OK : FT_INVALID_HANDLE;
}

} // namespace qor
