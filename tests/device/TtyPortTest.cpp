#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "device/BootloaderClient.h"
#include "device/DeviceLink.h"
#include "device/FrameCodec.h"
#include "device/Protocol.h"
#include "device/TtyPort.h"
#include "platform/PosixFiles.h"
#include "qortest/PermissionsApply.h"

using namespace qor;
namespace fs = std::filesystem;

namespace {

// A fake sysfs tree and /dev whose USB serial ttys are pseudo-terminals.
class TtyPort : public ::testing::Test {
protected:
    fs::path Root;
    std::vector<posix::TFileHandle> Masters;

    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "qor-tty-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        Root = pattern;
        fs::create_directories(Root / "sys/class/tty");
        fs::create_directories(Root / "sys/bus/usb-serial");
        fs::create_directories(Root / "sys/bus/usb");
        fs::create_directories(Root / "sys/bus/platform");
        fs::create_directories(Root / "dev");
        // Ttys that are not on USB are left out.
        AddTty("ttyS0", "devices/platform/serial8250/ttyS0", "platform");
        fs::create_directories(Root / "sys/class/tty/tty0");
    }

    void TearDown() override { fs::remove_all(Root); }

    fs::path Sys() const { return Root / "sys"; }

    void AddTty(const std::string& name, const std::string& devicePath, const std::string& bus) {
        const fs::path device = Sys() / devicePath;
        fs::create_directories(device);
        fs::create_directory_symlink(fs::relative(Sys() / "bus" / bus, device),
                                     device / "subsystem");
        fs::create_directories(Sys() / "class/tty" / name);
        fs::create_directory_symlink(fs::relative(device, Sys() / "class/tty" / name),
                                     Sys() / "class/tty" / name / "device");
    }

    // A USB-serial bridge with this product string (and serial number, if any), its tty a pty;
    // returns the pty master.
    int AddBridge(const std::string& name, const std::string& product, const std::string& port,
                  const std::string& serial = "") {
        const std::string usb = "devices/pci0000:00/0000:00:14.0/usb1/" + port;
        AddTty(name, usb + "/" + port + ":1.0/" + name, "usb-serial");
        std::ofstream(Sys() / usb / "product") << product << "\n";
        if (!serial.empty()) {
            std::ofstream(Sys() / usb / "serial") << serial << "\n";
        }
        posix::TFileHandle master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
        EXPECT_TRUE(master.Valid());
        EXPECT_EQ(::grantpt(master.Get()), 0);
        EXPECT_EQ(::unlockpt(master.Get()), 0);
        char slave[128];
        EXPECT_EQ(::ptsname_r(master.Get(), slave, sizeof slave), 0);
        fs::create_symlink(slave, Root / "dev" / name);
        Masters.push_back(std::move(master));
        return Masters.back().Get();
    }

    std::vector<std::string> Descriptions(TTtyPort& port) {
        std::vector<std::string> out;
        for (const TPortEntry& entry : port.List()) {
            out.push_back(entry.Description);
        }
        return out;
    }

    TTtyPort MakePort() { return TTtyPort(Sys().string(), (Root / "dev").string()); }
};

std::vector<std::uint8_t> ReadFrom(int fd, std::size_t size, int timeoutMs = 2000) {
    std::vector<std::uint8_t> bytes;
    while (bytes.size() < size) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) {
            break;
        }
        std::uint8_t buffer[600];
        const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, size - bytes.size()));
        if (n <= 0) {
            break;
        }
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    return bytes;
}

} // namespace

TEST_F(TtyPort, ListsUsbSerialTtysByProductInNaturalOrder) {
    AddBridge("ttyUSB10", "Ten", "1-4");
    AddBridge("ttyUSB2", "QOR 7316", "1-2", "FT7316A1");
    AddBridge("ttyUSB1", "FT232R USB UART", "1-1");
    TTtyPort port = MakePort();
    EXPECT_EQ(Descriptions(port), (std::vector<std::string>{"FT232R USB UART", "QOR 7316", "Ten"}));
    EXPECT_EQ(port.List()[1].Name, "ttyUSB2");
    // The serial number beside the product string; a bridge without one has none.
    EXPECT_EQ(port.List()[1].Serial, "FT7316A1");
    EXPECT_EQ(port.List()[0].Serial, "");
}

TEST_F(TtyPort, TheLinkFindsTheDeviceByItsExactDescription) {
    AddBridge("ttyUSB0", "qor 7316", "1-1");
    AddBridge("ttyUSB1", "QOR 7316 ", "1-2");
    TTtyPort port = MakePort();
    TDeviceLink link(port);
    EXPECT_FALSE(link.FindDevice());

    const int first = AddBridge("ttyUSB2", "QOR 7316", "1-3");
    AddBridge("ttyUSB3", "QOR 7316", "1-4");
    const auto kept = link.Upkeep();
    EXPECT_EQ(link.DeviceIndex(), 2);
    ASSERT_NE(link.Connection(), nullptr) << kept.Error().Reason;
    // The connection is the first match's tty: what it writes comes out of that pty.
    const std::uint8_t ping[] = {1, 2, 3};
    const TPortIo written = link.Connection()->Write(ping, TMilliseconds(500));
    EXPECT_TRUE(written.Ok());
    EXPECT_EQ(written.Count, 3u);
    EXPECT_EQ(ReadFrom(first, 3), (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST_F(TtyPort, OpensRaw8N1At500000WhereThePtyAllows) {
    const int master = AddBridge("ttyUSB0", "QOR 7316", "1-1");
    TTtyPort port = MakePort();
    auto link = std::make_unique<TDeviceLink>(port);
    const auto kept = link->Upkeep();
    ASSERT_NE(link->Connection(), nullptr) << kept.Error().Reason;
    termios tio{};
    ASSERT_EQ(::tcgetattr(master, &tio), 0); // a pty's master sees the slave's settings
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B500000));

    link.reset();
    port.List();
    const auto odd = port.Open(0, 123456);
    ASSERT_FALSE(odd.Ok());
    EXPECT_NE(odd.Error().Reason.find("123456"), std::string::npos);
}

TEST_F(TtyPort, AReadWithNothingThereReturnsAfterItsTimeOut) {
    AddBridge("ttyUSB0", "QOR 7316", "1-1");
    TTtyPort port = MakePort();
    TDeviceLink link(port);
    (void)link.Upkeep();
    ASSERT_NE(link.Connection(), nullptr);
    std::uint8_t buffer[2];
    const auto start = std::chrono::steady_clock::now();
    const TPortIo read = link.Connection()->Read(buffer, TMilliseconds(30));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(read.Ok());
    EXPECT_EQ(read.Count, 0u);
    EXPECT_GE(waited, std::chrono::milliseconds(30));
    EXPECT_LT(waited, std::chrono::milliseconds(1000));
}

TEST_F(TtyPort, APartialReplyReturnsItsCountAndPurgeDropsInput) {
    const int master = AddBridge("ttyUSB0", "QOR 7316", "1-1");
    TTtyPort port = MakePort();
    TDeviceLink link(port);
    (void)link.Upkeep();
    ASSERT_NE(link.Connection(), nullptr);
    IPortConnection& tty = *link.Connection();
    const std::uint8_t part[] = {0x00, 0x09, 0x00};
    ASSERT_EQ(::write(master, part, sizeof part), 3);
    std::uint8_t buffer[9] = {};
    TPortIo read = tty.Read(buffer, TMilliseconds(30));
    EXPECT_TRUE(read.Ok());
    EXPECT_EQ(read.Count, 3u);
    EXPECT_EQ(buffer[1], 0x09);

    ASSERT_EQ(::write(master, part, sizeof part), 3);
    ::tcdrain(master);
    EXPECT_TRUE(tty.Purge().Ok());
    read = tty.Read(buffer, TMilliseconds(30));
    EXPECT_EQ(read.Count, 0u);
}

TEST_F(TtyPort, AWholeExchangeOverThePty) {
    const int master = AddBridge("ttyUSB0", "QOR 7316", "1-1");
    TTtyPort port = MakePort();
    TDeviceLink link(port);
    TDeviceInfo values;
    TBootloaderClient client(link, values);
    (void)link.Upkeep();
    ASSERT_NE(link.Connection(), nullptr);
    std::vector<std::uint8_t> request;
    std::thread device([&] {
        request = ReadFrom(master, 7);
        const std::vector<std::uint8_t> reply =
            EncodeFrame(CmdGetBootVersion, std::vector<std::uint8_t>{1, 3});
        (void)::write(master, reply.data(), reply.size());
    });
    const auto version = client.QueryVersion();
    device.join();
    EXPECT_EQ(request, (std::vector<std::uint8_t>{0x00, 0x07, 0x00, 0x72, 0xEB, 0x5F, 0xD3}));
    ASSERT_TRUE(version.Ok()) << version.Error().Describe();
    EXPECT_EQ(std::get<TBootVersion>(*version).Minor, 3);
}

TEST_F(TtyPort, AHangUpFailsTheReadWithoutWaitingItOut) {
    AddBridge("ttyUSB0", "QOR 7316", "1-1");
    TTtyPort port = MakePort();
    TDeviceLink link(port);
    (void)link.Upkeep();
    ASSERT_NE(link.Connection(), nullptr);
    Masters.back().Reset();
    std::uint8_t buffer[2];
    const auto start = std::chrono::steady_clock::now();
    const TPortIo read = link.Connection()->Read(buffer, TMilliseconds(5000));
    EXPECT_EQ(read.Status, TPortStatus::Gone);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
    EXPECT_EQ(read.Count, 0u);
}

TEST_F(TtyPort, AnUnopenableNodeGivesAReason) {
    AddBridge("ttyUSB0", "QOR 7316", "1-1");
    fs::remove(Root / "dev/ttyUSB0");
    TTtyPort port = MakePort();
    TDeviceLink link(port);
    auto kept = link.Upkeep();
    EXPECT_EQ(link.Connection(), nullptr);
    const std::string path = (Root / "dev/ttyUSB0").string();
    EXPECT_EQ(kept.Error().Reason, "Cannot open " + path + ": the device is gone (unplugged?)");

    std::ofstream(Root / "dev/ttyUSB0") << "not a tty";
    kept = link.Upkeep();
    EXPECT_EQ(link.Connection(), nullptr);
    EXPECT_EQ(kept.Error().Reason, "Cannot open " + path + ": it is not a serial port");

    ::chmod(path.c_str(), 0);
    const test::TPermissionsApply permissions; // root would open whatever the mode says
    kept = link.Upkeep();
    EXPECT_EQ(link.Connection(), nullptr);
    EXPECT_NE(kept.Error().Reason.find("dialout"), std::string::npos);
}

TEST_F(TtyPort, PermissionProblemsTellTheUserWhatToDo) {
    EXPECT_EQ(TTtyPort::DescribeOpenError(EACCES, "/dev/ttyUSB0"),
              "Permission denied opening /dev/ttyUSB0 \u2014 add your user to the 'dialout' "
              "group or install the udev rule");
    EXPECT_EQ(TTtyPort::DescribeOpenError(EBUSY, "/dev/ttyUSB0"),
              "/dev/ttyUSB0 is in use by another program");
    EXPECT_NE(TTtyPort::DescribeOpenError(EIO, "/dev/ttyUSB0").find("/dev/ttyUSB0"),
              std::string::npos);
}

TEST_F(TtyPort, ATtyIsOursAloneWhileItIsOpenWhoeverAsks) {
    AddBridge("ttyUSB0", "QOR 7316", "1-1");
    // Two programs, each with its own port: root passes TIOCEXCL, not the lock.
    TTtyPort mine = MakePort();
    TTtyPort theirs = MakePort();
    ASSERT_EQ(mine.List().size(), 1u);
    ASSERT_EQ(theirs.List().size(), 1u);
    auto held = mine.Open(0, 500000);
    ASSERT_TRUE(held.Ok()) << held.Error().Reason;

    const auto refused = theirs.Open(0, 500000);
    ASSERT_FALSE(refused.Ok());
    EXPECT_EQ(refused.Error().Reason,
              (Root / "dev/ttyUSB0").string() + " is in use by another program");
    EXPECT_FALSE(mine.Open(0, 500000).Ok()) << "nor twice by one program";
    EXPECT_FALSE(theirs.Open(1, 500000).Ok());

    held.Value().reset(); // closing lets the next one in
    EXPECT_TRUE(theirs.Open(0, 500000).Ok());
}

TEST_F(TtyPort, OpeningAsksTheBridgeForItsLowestLatencyWhereTheDriverLetsIt) {
    AddBridge("ttyUSB0", "QOR 7316", "1-1");
    // The FTDI driver's attribute beside the tty's device; a pty refuses the kernel's flag.
    const fs::path timer = fs::canonical(Sys() / "class/tty/ttyUSB0/device") / "latency_timer";
    std::ofstream(timer) << "16\n";
    TTtyPort port = MakePort();
    ASSERT_EQ(port.List().size(), 1u);
    const auto opened = port.Open(0, 500000);
    ASSERT_TRUE(opened.Ok()) << opened.Error().Reason;
    std::string value;
    std::ifstream(timer) >> value;
    EXPECT_EQ(value, "1");

    // Without the attribute (another driver) the port opens all the same.
    AddBridge("ttyUSB1", "QOR 7316", "1-2");
    ASSERT_EQ(port.List().size(), 2u);
    EXPECT_TRUE(port.Open(1, 500000).Ok());
}

TEST_F(TtyPort, TtysThatAreNotOnUsbAreLookedAtAgainOnlyWhenTheSetChanges) {
    AddBridge("ttyUSB0", "QOR 7316", "1-1");
    TTtyPort port = MakePort();
    EXPECT_EQ(Descriptions(port), (std::vector<std::string>{"QOR 7316"}));
    // ttyS0 turns out to sit on USB after all, which the listing does not look for...
    const fs::path device = fs::canonical(Sys() / "class/tty/ttyS0/device");
    fs::remove(device / "subsystem");
    fs::create_directory_symlink(fs::relative(Sys() / "bus/usb-serial", device),
                                 device / "subsystem");
    std::ofstream(device / "product") << "QOR 7316\n";
    EXPECT_EQ(Descriptions(port).size(), 1u);
    // ...until a tty comes or goes.
    AddBridge("ttyUSB1", "Other", "1-2");
    EXPECT_EQ(Descriptions(port), (std::vector<std::string>{"QOR 7316", "QOR 7316", "Other"}));
}

TEST_F(TtyPort, PlugsAndPullsAreSeenAtOnceAndAQuietDevLeavesSysfsAloneForASecond) {
    TTtyPort port = MakePort();
    EXPECT_TRUE(port.List().empty());
    AddBridge("ttyUSB0", "QOR 7316", "1-1");
    EXPECT_EQ(Descriptions(port), (std::vector<std::string>{"QOR 7316"}));

    // A change in sysfs alone is not looked for at every listing, but within ten of them.
    std::ofstream(Sys() / "devices/pci0000:00/0000:00:14.0/usb1/1-1/product") << "Renamed\n";
    int listings = 1;
    while (Descriptions(port) != std::vector<std::string>{"Renamed"} && listings < 20) {
        ++listings;
    }
    EXPECT_GT(listings, 1);
    EXPECT_LE(listings, 10);

    // Pulled: its node goes, and the next listing knows.
    fs::remove(Root / "dev/ttyUSB0");
    fs::remove_all(Sys() / "class/tty/ttyUSB0");
    EXPECT_TRUE(port.List().empty());
}

TEST_F(TtyPort, WithoutAWatchableDevEveryListingLooks) {
    AddBridge("ttyUSB0", "QOR 7316", "1-1");
    TTtyPort port(Sys().string(), (Root / "no-dev").string());
    EXPECT_EQ(Descriptions(port), (std::vector<std::string>{"QOR 7316"}));
    std::ofstream(Sys() / "devices/pci0000:00/0000:00:14.0/usb1/1-1/product") << "Renamed\n";
    EXPECT_EQ(Descriptions(port), (std::vector<std::string>{"Renamed"}));
}

TEST_F(TtyPort, AMissingSysfsListsNothing) {
    TTtyPort port((Root / "nowhere").string(), "/dev");
    EXPECT_TRUE(port.List().empty());
}
