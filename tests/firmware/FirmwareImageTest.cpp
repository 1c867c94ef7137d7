#include "firmware/FirmwareImage.h"

#include <gtest/gtest.h>

#include "firmware/DeviceVariant.h"
#include "qortest/ImageFiles.h"

namespace qor {
namespace {

using test::MakeImage;
using test::TBytes;
using test::WithTrailer;

std::optional<TImageFault> FaultOf(TBytes bytes) {
    const auto image = ParseFirmwareImage(std::move(bytes));
    if (image) {
        return std::nullopt;
    }
    return image.Error().Fault;
}

TFirmwareImage Image(std::size_t size, const std::string& version) {
    return ParseFirmwareImage(MakeImage(size, version)).Value();
}

std::optional<TFitFault> FitFaultOf(const TDeviceVariant& variant, const TFirmwareImage& image) {
    const auto fit = variant.CheckFit(image);
    if (fit) {
        return std::nullopt;
    }
    return fit.Error();
}

TEST(FirmwareImageCheck, TrailerMustBeStoredLeastSignificantByteFirst) {
    TBytes image = MakeImage(100, "102a");
    EXPECT_EQ(FaultOf(image), std::nullopt);
    std::swap(image[96], image[99]);
    std::swap(image[97], image[98]);
    ASSERT_NE(image[96], image[99]); // else the two orders read the same
    EXPECT_EQ(FaultOf(image), TImageFault::ChecksumMismatch);
}

TEST(FirmwareImageCheck, AnyFlippedByteFailsTheCheck) {
    const TBytes image = MakeImage(600, "102a");
    for (const std::size_t at :
         {std::size_t{0}, std::size_t{300}, std::size_t{576}, std::size_t{599}}) {
        TBytes flipped = image;
        flipped[at] ^= 0x01;
        EXPECT_EQ(FaultOf(flipped), TImageFault::ChecksumMismatch) << at;
    }
}

TEST(FirmwareImageCheck, FilesTooShortForTheVersionFieldAreRefusedEvenWithAMatchingTrailer) {
    EXPECT_EQ(FaultOf({}), TImageFault::Empty);
    // The CRC of no bytes is 0, so four zero bytes carry a matching trailer.
    EXPECT_EQ(FaultOf(TBytes(4, 0)), TImageFault::TooShort);
    for (std::size_t size = 1; size < 24; ++size) {
        const TBytes image = size >= 4 ? WithTrailer(TBytes(size - 4, 0x5A)) : TBytes(size, 0);
        EXPECT_EQ(FaultOf(image), TImageFault::TooShort) << size;
    }
    EXPECT_EQ(FaultOf(WithTrailer(TBytes(20, 0x5A))), std::nullopt);
}

TEST(FirmwareImageCheck, RefusesImagesAboveTheSizeLimitAndTakesOneAtIt) {
    EXPECT_EQ(FaultOf(MakeImage(ImageMaximumSize, "999a")), std::nullopt);
    EXPECT_EQ(FaultOf(MakeImage(ImageMaximumSize + 1, "999a")), TImageFault::TooLarge);
}

TEST(FirmwareImageValue, TakesSizeVersionAndLetterFromTheCheckedBytes) {
    const TBytes bytes = MakeImage(24, "102a");
    const TFirmwareImage image = ParseFirmwareImage(bytes).Value();
    EXPECT_EQ(image.Size(), 24U);
    EXPECT_TRUE(std::ranges::equal(image.Bytes(), bytes));
    EXPECT_EQ(image.Version(), "102a");
    EXPECT_EQ(image.VariantLetter(), 'a');
    EXPECT_EQ(image.Crc(), CalcCrc32(bytes.data(), 20));

    // Copies share the bytes: an update keeps what the window lets go.
    const TFirmwareImage copy = image;
    EXPECT_EQ(copy.Bytes().data(), image.Bytes().data());
}

TEST(FirmwareImageValue, KeepsTheVersionFieldsBytesUndecoded) {
    EXPECT_EQ(Image(64, "1\xE4\x80"
                        "b")
                  .Version(),
              "1\xE4\x80"
              "b");
}

TEST(DeviceVariant, TheGeometryNamesTheVariant) {
    EXPECT_EQ(TDeviceVariant::FromGeometry(512, 124).Kind(), TVariantKind::A);
    EXPECT_EQ(TDeviceVariant::FromGeometry(1024, 126).Kind(), TVariantKind::B);
    EXPECT_EQ(TDeviceVariant::FromGeometry(512, 126).Kind(), TVariantKind::Other);
    EXPECT_EQ(TDeviceVariant::FromGeometry(256, 124).Kind(), TVariantKind::Other);
    EXPECT_EQ(TDeviceVariant::FromGeometry(0, 124).Kind(), TVariantKind::Other);
    EXPECT_EQ(TDeviceVariant::FromGeometry(512, 124).Letter(), 'a');
    EXPECT_EQ(TDeviceVariant::FromGeometry(1024, 126).Letter(), 'b');
    EXPECT_EQ(TDeviceVariant::FromGeometry(256, 128).Letter(), std::nullopt);
    EXPECT_EQ(TDeviceVariant::FromGeometry(256, 128).Kind(), TVariantKind::Other);
    EXPECT_EQ(TDeviceVariant::FromLetter('b')->FlashSize(), 129024U);
    EXPECT_EQ(TDeviceVariant::FromLetter('c'), std::nullopt);
}

TEST(DeviceVariant, TheDownloadPathIsBForAnyDeviceButA) {
    EXPECT_EQ(TDeviceVariant::FromGeometry(512, 124).DownloadPath(), "/qor-7316-a.bin");
    EXPECT_EQ(TDeviceVariant::FromGeometry(1024, 126).DownloadPath(), "/qor-7316-b.bin");
    EXPECT_EQ(TDeviceVariant::FromGeometry(256, 128).DownloadPath(), "/qor-7316-b.bin");
    EXPECT_EQ(DownloadPathOf(TVariantKind::Other), "/qor-7316-b.bin");
}

TEST(DeviceVariant, TheLetterAtTwentyOneFromTheEndMustMatchTheDevice) {
    const TDeviceVariant a = TDeviceVariant::FromGeometry(512, 124);
    const TDeviceVariant b = TDeviceVariant::FromGeometry(1024, 126);
    const TDeviceVariant other = TDeviceVariant::FromGeometry(256, 128);
    EXPECT_TRUE(a.Fits(Image(100, "102a")));
    EXPECT_EQ(FitFaultOf(a, Image(100, "102b")), TFitFault::WrongVariant);
    EXPECT_TRUE(b.Fits(Image(100, "102b")));
    EXPECT_FALSE(b.Fits(Image(100, "102a")));
    for (const char* version : {"102a", "102b", "102c"}) {
        EXPECT_FALSE(other.Fits(Image(100, version))) << version;
    }
    EXPECT_FALSE(a.Fits(Image(100, "102c")));
}

TEST(DeviceVariant, TheWrittenBlocksMustStayInsideTheFlash) {
    const TDeviceVariant a = TDeviceVariant::FromGeometry(512, 124);
    EXPECT_TRUE(a.Fits(Image(63488, "102a")));
    EXPECT_TRUE(a.Fits(Image(63488 + 511, "102a"))) << "the rest of a block stays here";
    EXPECT_EQ(FitFaultOf(a, Image(63488 + 512, "102a")), TFitFault::TooLarge);
    EXPECT_EQ(FitFaultOf(a, Image(129024, "102a")), TFitFault::TooLarge);
    const TDeviceVariant b = TDeviceVariant::FromGeometry(1024, 126);
    EXPECT_TRUE(b.Fits(Image(129024, "102b")));
    EXPECT_FALSE(b.Fits(Image(129024 + 512, "102b")));
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
