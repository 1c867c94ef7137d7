#include "presenter/FirmwareLoading.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/TextTable.h"
#include "device/Protocol.h"
#include "presenter/MainPresenter.h"
#include "qortest/ImageFiles.h"
#include "qortest/RecordingMessageBox.h"
#include "sim/VirtualBus.h"

namespace qor {
namespace {

using test::MakeImage;
using test::TBytes;
using test::TRecordingMessageBox;
using test::TShownMessage;
using test::TTempDir;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const TShownMessage InvalidFile{"Ungültige Firmware-Datei!", "Fehler"};

class FirmwareLoadingTest : public ::testing::Test {
protected:
    // A device of variant a with an image already loaded.
    void SetUp() override {
        ASSERT_TRUE(Open(Dir.Write("old.bin", MakeImage(1024, "100a"))));
        Messages.Shown.clear();
    }

    bool Open(const std::string& path, std::uint8_t language = LangEnglish) {
        return OpenLocalFirmware(path, Device, State, language, Messages);
    }
    // The download dialog's image, or none when it brought none.
    bool Accept(bool ok, const TBytes& body) {
        return AcceptDownloadedFirmware(
            ok ? std::optional(TDownloadedImage{body, "http://server/qor-7316-a.bin",
                                                Dir.Path.string() + "/qor-7316.bin"})
               : std::nullopt,
            Device, State, LangEnglish, Messages);
    }

    TTempDir Dir;
    TConnectedVariant Device = TDeviceVariant::FromGeometry(512, 124);
    TMainModel State;
    TRecordingMessageBox Messages;
};

TEST_F(FirmwareLoadingTest, AFittingLocalFileReplacesTheImageAndShowsItsName) {
    const TBytes image = MakeImage(63488, "102a");
    const std::string path = Dir.Write("qor-7316 image.bin", image);
    EXPECT_TRUE(Open(path));
    EXPECT_THAT(Messages.Shown, IsEmpty());
    ASSERT_TRUE(State.FWLoaded());
    EXPECT_TRUE(std::ranges::equal(State.FWImage->Bytes(), image));
    EXPECT_EQ(State.FWImage->Size(), 63488U);
    EXPECT_EQ(State.FWVersion, "102a");
    EXPECT_EQ(State.FWFilename, "qor-7316 image.bin");
    EXPECT_EQ(State.FWSource, path);
}

TEST_F(FirmwareLoadingTest, InvalidFilesAreReportedInGermanInEveryLanguageAndDropTheImage) {
    TBytes flipped = MakeImage(1024, "102a");
    flipped[10] ^= 0x80;
    const std::vector<std::string> paths = {
        Dir.Write("empty.bin", {}),
        (Dir.Path / "missing.bin").string(),
        Dir.Write("flipped.bin", flipped),
        Dir.Write("zeros.bin", TBytes(4, 0)),
        Dir.Path.string(),
    };
    for (std::uint8_t language = 0; language < 4; ++language) {
        for (const auto& path : paths) {
            ASSERT_TRUE(Open(Dir.Write("good.bin", MakeImage(1024, "100a")), language));
            Messages.Shown.clear();
            EXPECT_FALSE(Open(path, language)) << path;
            EXPECT_THAT(Messages.Shown, ElementsAre(InvalidFile)) << path;
            EXPECT_FALSE(State.FWLoaded());
            EXPECT_EQ(State.FWFilename, "good.bin"); // kept, but no longer shown
        }
    }
}

TEST_F(FirmwareLoadingTest, AFileForTheOtherVariantIsRefusedInTheCurrentLanguage) {
    EXPECT_FALSE(Open(Dir.Write("b.bin", MakeImage(1024, "102b"))));
    EXPECT_THAT(Messages.Shown, ElementsAre(TShownMessage{"Invalid firmware!", "Error"}));
    EXPECT_FALSE(State.FWLoaded());

    Messages.Shown.clear();
    EXPECT_FALSE(Open(Dir.Write("b.bin", MakeImage(1024, "102b")), LangGerman));
    EXPECT_THAT(Messages.Shown, ElementsAre(TShownMessage{"Ungültige Firmware!", "Fehler"}));
}

TEST_F(FirmwareLoadingTest, AnImageLargerThanTheDevicesFlashIsRefusedLikeAWrongVariant) {
    for (const std::size_t size :
         {std::size_t{63488 + 512}, std::size_t{129024}, std::size_t{16} * 1024 * 1024 - 1}) {
        Messages.Shown.clear();
        EXPECT_FALSE(Open(Dir.Write("big.bin", MakeImage(size, "102a")))) << size;
        EXPECT_THAT(Messages.Shown, ElementsAre(TShownMessage{"Invalid firmware!", "Error"}));
        EXPECT_FALSE(State.FWLoaded());
    }
    // Bytes past the last whole block stay on the PC: the trailer of a full image may.
    EXPECT_TRUE(Open(Dir.Write("full.bin", MakeImage(63488 + 4, "102a"))));
}

TEST_F(FirmwareLoadingTest, AnUnknownDeviceVariantOrNoDeviceTakesNoFile) {
    for (const TConnectedVariant& device :
         {TConnectedVariant(TDeviceVariant::FromGeometry(256, 124)),
          TConnectedVariant(Fail(TError{"no device answers"})),
          TConnectedVariant(Fail(TError{"the device did not report its page size"}))}) {
        Device = device;
        for (const char* version : {"102a", "102b"}) {
            Messages.Shown.clear();
            EXPECT_FALSE(Open(Dir.Write("x.bin", MakeImage(1024, version)), LangSpanish));
            EXPECT_THAT(Messages.Shown,
                        ElementsAre(TShownMessage{Txt(TxtInvalidFirmware, LangSpanish),
                                                  Txt(TxtError, LangSpanish)}));
            EXPECT_FALSE(State.FWLoaded());
        }
    }
}

TEST_F(FirmwareLoadingTest, ARefusedImageIsNeverShownAsLoadedWhileItsBoxIsOpen) {
    bool loadedDuringBox = true;
    Messages.WhileShown = [&] {
        loadedDuringBox = State.FWLoaded();
    };
    Open(Dir.Write("b.bin", MakeImage(1024, "102b")));
    EXPECT_FALSE(loadedDuringBox);
}

TEST_F(FirmwareLoadingTest, ADownloadedBodyIsLoadedUnderItsTemporaryName) {
    const TBytes image = MakeImage(63488, "130a");
    EXPECT_TRUE(Accept(true, image));
    EXPECT_THAT(Messages.Shown, IsEmpty());
    ASSERT_TRUE(State.FWLoaded());
    EXPECT_TRUE(std::ranges::equal(State.FWImage->Bytes(), image));
    EXPECT_EQ(State.FWFilename, "qor-7316.bin");
    EXPECT_EQ(State.FWVersion, "130a");
    EXPECT_EQ(State.FWSource, "http://server/qor-7316-a.bin");
}

TEST_F(FirmwareLoadingTest, ADownloadedImageMustFitTheDeviceConnectedNow) {
    // A device of neither layout is served the "b" image: it must not load.
    Device = TDeviceVariant::FromGeometry(256, 128);
    EXPECT_FALSE(Accept(true, MakeImage(32768, "130b")));
    EXPECT_THAT(Messages.Shown, ElementsAre(TShownMessage{"Invalid firmware!", "Error"}));
    EXPECT_FALSE(State.FWLoaded());

    // Nor an image for the device that was there when the download began.
    Messages.Shown.clear();
    Device = TDeviceVariant::FromGeometry(1024, 126);
    EXPECT_FALSE(Accept(true, MakeImage(63488, "130a")));
    EXPECT_THAT(Messages.Shown, ElementsAre(TShownMessage{"Invalid firmware!", "Error"}));
    EXPECT_FALSE(State.FWLoaded());
}

TEST_F(FirmwareLoadingTest, AnUnsuccessfulDownloadDropsTheImageSilently) {
    EXPECT_FALSE(Accept(false, MakeImage(1024, "102a")));
    EXPECT_THAT(Messages.Shown, IsEmpty());
    EXPECT_FALSE(State.FWLoaded());
}

TEST_F(FirmwareLoadingTest, AnInvalidDownloadedBodyIsReportedAndDropsTheImage) {
    EXPECT_FALSE(Accept(true, TBytes(4, 0)));
    EXPECT_THAT(Messages.Shown, ElementsAre(InvalidFile));
    EXPECT_FALSE(State.FWLoaded());
}

// A device that is listed but whose bootloader has not answered its full query takes no
// image, also when an earlier device's values are still held.
TEST(ImageGate, NothingIsTakenUntilTheListedDeviceHasAnsweredItsFullQuery) {
    TTempDir dir;
    const TBytes image = MakeImage(63488, "130a");
    const std::string path = dir.Write("fits.bin", image);
    TVirtualBus bus;
    TVirtualDevice& device = bus.AddDevice("QOR 7316", TBootloaderConfig::VariantA());
    TRecordingMessageBox messages;
    TSettings settings;
    settings.CfgLanguage = LangEnglish;
    TMainPresenter presenter(bus, messages, settings);
    const auto refused = [&](const char* when) {
        EXPECT_FALSE(presenter.OpenLocalFirmware(path)) << when;
        EXPECT_FALSE(presenter.AcceptDownload(TDownloadedImage{image, "server", "qor-7316.bin"}))
            << when;
        EXPECT_FALSE(presenter.State().FWLoaded()) << when;
        presenter.DisplayTick();
        EXPECT_FALSE(presenter.View().BOpenLocal) << when;
        EXPECT_FALSE(presenter.View().BDownload) << when;
    };

    presenter.SerialTick(); // listed and open; the first full query comes on the fourth tick
    refused("before the first full query");
    while (!presenter.BootloaderReady()) {
        ASSERT_LT(device.FrameCount(CmdGetBootVersion), 10u);
        presenter.SerialTick();
    }
    ASSERT_TRUE(presenter.OpenLocalFirmware(path));

    // The device goes and comes back running its application: listed, silent.
    device.Unplug();
    presenter.SerialTick();
    device.Plug();
    device.SwitchOn(TDeviceMode::Application);
    for (int tick = 0; tick < 8; ++tick) {
        presenter.SerialTick();
    }
    ASSERT_EQ(presenter.View().LQORStatus.Text.rfind("Connect", 0), 0u);
    messages.Shown.clear();
    refused("while the listed device does not answer");
}

} // namespace
} // namespace qor
