// Sample images and the image tool's command line: what comes out must be an image the
// updater accepts for the variant it was made for, and nothing else may come out.
#include <gtest/gtest.h>

#include "firmware/DeviceVariant.h"
#include "firmware/FirmwareImage.h"
#include "platform/RegularFile.h"
#include "sim/SampleImage.h"
#include "tools/ImageToolOptions.h"

namespace qor::test {
namespace {

const TDeviceVariant VariantA = TDeviceVariant::FromGeometry(512, 124);
const TDeviceVariant VariantB = TDeviceVariant::FromGeometry(1024, 126);

std::string VersionOf(const TByteVector& image) {
    const auto at = image.end() - static_cast<std::ptrdiff_t>(ImageVersionFromEnd);
    return {at, at + static_cast<std::ptrdiff_t>(ImageVersionSize)};
}

TEST(SampleImage, IsAValidImageOfTheVariantsFlashSizeThatFitsOnlyItsVariant) {
    for (const auto& [variant, size, deviceVariant] :
         {std::tuple{TImageVariant::A, 63488u, 0}, std::tuple{TImageVariant::B, 129024u, 1}}) {
        const auto recipe = NormaliseRecipe({variant, "1.4", std::nullopt});
        ASSERT_TRUE(recipe.Ok()) << recipe.Error().Reason;
        const TByteVector image = MakeSampleImage(*recipe);
        EXPECT_EQ(image.size(), size);
        const auto parsed = ParseFirmwareImage(image);
        ASSERT_TRUE(parsed.Ok());
        EXPECT_EQ(VersionOf(image), std::string("1.4") + VariantLetterOf(variant));
        EXPECT_TRUE((deviceVariant == 0 ? VariantA : VariantB).Fits(*parsed));
        EXPECT_FALSE((deviceVariant == 0 ? VariantB : VariantA).Fits(*parsed));
    }
}

TEST(SampleImage, SameRecipeSameBytesAndOtherVersionOtherBytes) {
    const auto one = NormaliseRecipe({TImageVariant::A, "1.4a", std::nullopt});
    const auto two = NormaliseRecipe({TImageVariant::A, "1.5a", std::nullopt});
    ASSERT_TRUE(one.Ok()) << one.Error().Reason;
    ASSERT_TRUE(two.Ok()) << two.Error().Reason;
    EXPECT_EQ(MakeSampleImage(*one), MakeSampleImage(*one));
    const TByteVector a = MakeSampleImage(*one);
    const TByteVector b = MakeSampleImage(*two);
    EXPECT_NE(std::vector(a.begin(), a.begin() + 512), std::vector(b.begin(), b.begin() + 512));
}

TEST(SampleImage, RefusesVersionsAndSizesThatCannotMakeAnImage) {
    EXPECT_FALSE(NormaliseRecipe({TImageVariant::A, "1.4b", std::nullopt}).Ok());
    EXPECT_FALSE(NormaliseRecipe({TImageVariant::B, "1.4.1b", std::nullopt}).Ok());
    EXPECT_FALSE(NormaliseRecipe({TImageVariant::A, "1.4a", 23}).Ok());
    const auto smallest = NormaliseRecipe({TImageVariant::A, "1.4a", 24});
    ASSERT_TRUE(smallest.Ok()) << smallest.Error().Reason;
    EXPECT_TRUE(ParseFirmwareImage(MakeSampleImage(*smallest)).Ok());
    EXPECT_FALSE(NormaliseRecipe({TImageVariant::A, "1.4a", ImageMaximumSize}).Ok());
}

TEST(ImageToolOptions, ParsesAFullCommandLine) {
    const auto options = ParseImageToolOptions(
        {"--variant", "b", "--version", "2.0b", "--size", "2048", "-o", "out.bin"});
    ASSERT_TRUE(options.Ok()) << options.Error().Reason;
    EXPECT_EQ(options->Recipe.Variant, TImageVariant::B);
    EXPECT_EQ(options->Recipe.Version, "2.0b");
    EXPECT_EQ(options->Recipe.Size, 2048u);
    EXPECT_EQ(options->Output, "out.bin");
}

TEST(ImageToolOptions, DefaultsToVersion14AndTheFlashSize) {
    const auto options = ParseImageToolOptions({"-o", "x.bin", "--variant", "a"});
    ASSERT_TRUE(options.Ok()) << options.Error().Reason;
    EXPECT_EQ(options->Recipe.Version, "1.4a");
    EXPECT_EQ(options->Recipe.Size, 63488u);
}

TEST(ImageToolOptions, ExplainsWhatIsWrong) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"-o", "x"}, "--variant is missing"},
        {{"--variant", "a"}, "-o FILE is missing"},
        {{"--variant", "c", "-o", "x"}, "--variant is a or b"},
        {{"--variant", "a", "--size", "12k", "-o", "x"}, "--size is a number"},
        {{"--variant", "a", "--size", "-1", "-o", "x"}, "--size is a number"},
        {{"--variant", "a", "-o"}, "-o needs a value"},
        {{"--variant", "a", "--colour", "red", "-o", "x"}, "unknown option"},
        {{"--variant", "a", "--version", "1.4b", "-o", "x"}, "variant letter"},
    };
    for (const auto& [args, expected] : cases) {
        const auto options = ParseImageToolOptions(args);
        ASSERT_FALSE(options.Ok()) << expected;
        const std::string& reason = options.Error().Reason;
        EXPECT_NE(reason.find(expected), std::string::npos) << reason;
    }
}

TEST(ImageToolOptions, HelpWinsOverEverythingElse) {
    const auto options = ParseImageToolOptions({"--help"});
    ASSERT_TRUE(options.Ok()) << options.Error().Reason;
    EXPECT_TRUE(options->Help);
}

// The files the build made with the tool, which the demo's open dialog shows.
TEST(SampleFiles, TheBuildsSamplesAreValidForTheirVariant) {
    for (const auto& [name, deviceVariant] :
         {std::pair{"qor-7316-a-1.4a.bin", 0}, std::pair{"qor-7316-b-1.4b.bin", 1}}) {
        auto bytes = ReadRegularFile(std::string(QOR_SAMPLE_DIR) + "/" + name, ImageMaximumSize);
        ASSERT_TRUE(bytes.Ok()) << name;
        const auto image = ParseFirmwareImage(std::move(bytes.Value()));
        ASSERT_TRUE(image.Ok()) << name;
        EXPECT_TRUE((deviceVariant == 0 ? VariantA : VariantB).Fits(*image));
    }
}

} // namespace
} // namespace qor::test
