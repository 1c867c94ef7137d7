#include "firmware/FirmwareImage.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "firmware/ImageFiles.h"

namespace qor {
namespace {

using test::MakeImage;
using test::TBytes;
using test::TTempDir;
using test::WithTrailer;

TEST(FirmwareImageCheck, TrailerMustBeStoredLeastSignificantByteFirst) {
    TBytes image = MakeImage(100, "102a");
    EXPECT_EQ(CheckFirmwareImage(image), TImageCheck::Valid);
    std::swap(image[96], image[99]);
    std::swap(image[97], image[98]);
    ASSERT_NE(image[96], image[99]); // else the two orders read the same
    EXPECT_EQ(CheckFirmwareImage(image), TImageCheck::ChecksumMismatch);
}

TEST(FirmwareImageCheck, AnyFlippedByteFailsTheCheck) {
    const TBytes image = MakeImage(600, "102a");
    for (const std::size_t at :
         {std::size_t{0}, std::size_t{300}, std::size_t{576}, std::size_t{599}}) {
        TBytes flipped = image;
        flipped[at] ^= 0x01;
        EXPECT_EQ(CheckFirmwareImage(flipped), TImageCheck::ChecksumMismatch) << at;
    }
}

TEST(FirmwareImageCheck, FilesTooShortForTheVersionFieldAreRefusedEvenWithAMatchingTrailer) {
    EXPECT_EQ(CheckFirmwareImage({}), TImageCheck::Empty);
    // The CRC of no bytes is 0, so four zero bytes carry a matching trailer.
    EXPECT_EQ(CheckFirmwareImage(TBytes(4, 0)), TImageCheck::TooShort);
    for (std::size_t size = 1; size < 24; ++size) {
        const TBytes image = size >= 4 ? WithTrailer(TBytes(size - 4, 0x5A)) : TBytes(size, 0);
        EXPECT_EQ(CheckFirmwareImage(image), TImageCheck::TooShort) << size;
    }
    EXPECT_EQ(CheckFirmwareImage(WithTrailer(TBytes(20, 0x5A))), TImageCheck::Valid);
}

TEST(FirmwareImageLoad, TakesSizeAndRawVersionFromTheBytesThatWereChecked) {
    TTempDir dir;
    const TBytes image = MakeImage(24, "102a");
    const std::string path = dir.Write("smallest.bin", image);
    const TFirmwareFile file = ReadFirmwareFile(path);
    ASSERT_TRUE(CheckFirmwareFile(file));

    // Whatever lands at the path after the check is not what gets loaded.
    dir.Write("smallest.bin", TBytes(10, 0xFF));
    TMainState state;
    ASSERT_TRUE(LoadFirmwareFile(file, state));
    EXPECT_TRUE(state.FWLoaded);
    EXPECT_EQ(state.FWSize, 24U);
    ASSERT_NE(state.FWBuffer, nullptr);
    EXPECT_EQ(*state.FWBuffer, image);
    EXPECT_EQ(state.FWVersion, "102a");
}

TEST(FirmwareImageLoad, KeepsTheVersionFieldsBytesUndecoded) {
    TTempDir dir;
    const TFirmwareFile file = ReadFirmwareFile(dir.Write("v.bin", MakeImage(64, "1\xE4\x80"
                                                                                 "b")));
    TMainState state;
    ASSERT_TRUE(LoadFirmwareFile(file, state));
    EXPECT_EQ(state.FWVersion, "1\xE4\x80"
                               "b");
}

TEST(FirmwareImageLoad, RefusesWhatCannotHoldAVersionFieldAndLeavesTheStateAlone) {
    TMainState state;
    TTempDir dir;
    ASSERT_TRUE(
        LoadFirmwareFile(ReadFirmwareFile(dir.Write("a.bin", MakeImage(512, "111a"))), state));
    const TImageBytes before = state.FWBuffer;

    EXPECT_FALSE(LoadFirmwareFile(ReadFirmwareFile(dir.Write("z.bin", TBytes(4, 0))), state));
    EXPECT_FALSE(LoadFirmwareFile(ReadFirmwareFile((dir.Path / "missing.bin").string()), state));
    EXPECT_EQ(state.FWBuffer, before);
    EXPECT_EQ(state.FWVersion, "111a");
    EXPECT_EQ(state.FWSize, 512U);
}

TEST(FirmwareImageRead, ReportsWhyAFileCouldNotBeRead) {
    TTempDir dir;
    const TFirmwareFile missing = ReadFirmwareFile((dir.Path / "missing.bin").string());
    EXPECT_EQ(missing.Error, TFirmwareFileError::CannotOpen);
    EXPECT_EQ(missing.SystemError, ENOENT);
    EXPECT_FALSE(CheckFirmwareFile(missing));

    const TFirmwareFile directory = ReadFirmwareFile(dir.Path.string());
    EXPECT_NE(directory.Error, TFirmwareFileError::None);
    EXPECT_FALSE(CheckFirmwareFile(directory));

    const TFirmwareFile empty = ReadFirmwareFile(dir.Write("empty.bin", {}));
    EXPECT_EQ(empty.Error, TFirmwareFileError::None);
    ASSERT_NE(empty.Bytes, nullptr);
    EXPECT_TRUE(empty.Bytes->empty());
    EXPECT_FALSE(CheckFirmwareFile(empty));
}

TEST(FirmwareImageRead, ReadsFilesLargerThanOneChunkWhole) {
    TTempDir dir;
    const TBytes image = MakeImage(129024 + 100, "130b");
    const TFirmwareFile file = ReadFirmwareFile(dir.Write("big.bin", image));
    ASSERT_NE(file.Bytes, nullptr);
    EXPECT_EQ(*file.Bytes, image);
    EXPECT_TRUE(CheckFirmwareFile(file));
}

TEST(FirmwareImageRead, RefusesFilesAboveTheSizeLimitAndTakesOneAtIt) {
    TTempDir dir;
    const TBytes atLimit = MakeImage(ImageMaximumSize, "999a");
    const TFirmwareFile file = ReadFirmwareFile(dir.Write("limit.bin", atLimit));
    EXPECT_EQ(file.Error, TFirmwareFileError::None);
    EXPECT_TRUE(CheckFirmwareFile(file));

    TBytes above = atLimit;
    above.push_back(0);
    const TFirmwareFile tooLarge = ReadFirmwareFile(dir.Write("above.bin", above));
    EXPECT_EQ(tooLarge.Error, TFirmwareFileError::TooLarge);
    EXPECT_EQ(tooLarge.Bytes, nullptr);
    EXPECT_FALSE(CheckFirmwareFile(tooLarge));
}

TEST(FirmwareImageVariant, LetterAtTwentyOneFromTheEndMustMatchTheDevice) {
    const TBytes a = MakeImage(100, "102a");
    const TBytes b = MakeImage(100, "102b");
    const TBytes other = MakeImage(100, "102c");
    EXPECT_TRUE(FirmwareFitsDevice(a, 0));
    EXPECT_FALSE(FirmwareFitsDevice(b, 0));
    EXPECT_TRUE(FirmwareFitsDevice(b, 1));
    EXPECT_FALSE(FirmwareFitsDevice(a, 1));
    for (const auto* image : {&a, &b, &other}) {
        EXPECT_FALSE(FirmwareFitsDevice(*image, 2));
        EXPECT_FALSE(FirmwareFitsDevice(*image, 3));
    }
    EXPECT_FALSE(FirmwareFitsDevice(other, 0));
    EXPECT_FALSE(FirmwareFitsDevice(TBytes(20, 'a'), 0));
}

TEST(FirmwareImageName, LastComponentAtEitherSeparator) {
    EXPECT_EQ(ShownFileName("C:\\fw\\new\\qor-7316 image.bin"), "qor-7316 image.bin");
    EXPECT_EQ(ShownFileName("/home/user/fw/qor-7316 image.bin"), "qor-7316 image.bin");
    EXPECT_EQ(ShownFileName("/run/user/1000/qor-7316-updater/qor-7316.bin"), "qor-7316.bin");
    EXPECT_EQ(ShownFileName("C:\\Users\\me\\AppData\\Local\\Temp\\qor-7316.bin"), "qor-7316.bin");
    EXPECT_EQ(ShownFileName("plain.bin"), "plain.bin");
    EXPECT_EQ(ShownFileName(""), "");
}

} // namespace
} // namespace qor
