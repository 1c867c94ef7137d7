// The product's qor7316-update.exe run as a process, through the stand-in FTD2XX.dll beside
// it (a copy of both lives in this test's folder), as a bench on Windows runs it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "WineProgramRun.h"
#include "qortest/ImageFiles.h"
#include "sim/SampleImage.h"

namespace qor::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

TRun RunProgram(const std::string& arguments, const std::string& devices, const TTempDir& dir) {
    return qor::test::RunProgram(ProductProgram(), arguments, devices, dir.Path);
}

TEST(WineCommandLine, FlashesThroughTheD2xxLibrary) {
    TTempDir dir;
    const std::string image =
        dir.Write("qor-7316-b-1.6b.bin", MakeSampleImage({TImageVariant::B, "1.6b", std::nullopt}));
    const TRun run =
        RunProgram("flash \"" + image + "\" --json --lang en", "FT232R USB UART|a;QOR 7316|b", dir);
    EXPECT_EQ(run.Exit, 0u) << run.Out;
    EXPECT_THAT(run.Out, HasSubstr(R"("unit":"blocks","port":"VQ731601","serial":"VQ731601",)"
                                   R"("block":251,"permille":996})"));
    // The version the device reports after the update is the image's: it holds the image.
    EXPECT_THAT(run.Out, HasSubstr(R"({"event":"result","port":"VQ731601","serial":"VQ731601",)"
                                   R"("exit":0,"outcome":"success",)"
                                   R"("blocks_written":252,"firmware_version":"1.6b",)"));
}

TEST(WineCommandLine, TellsTheOutcomesApartThroughTheD2xxLibrary) {
    TTempDir dir;
    const std::string image =
        dir.Write("a.bin", MakeSampleImage({TImageVariant::A, "1.6a", std::nullopt}));
    EXPECT_EQ(RunProgram("flash \"" + image + "\"", "QOR 7316|b", dir).Exit, 4u);
    EXPECT_EQ(RunProgram("flash \"" + image + "\"", "QOR 7316|app", dir).Exit, 1u);
    EXPECT_EQ(RunProgram("info --wait 0", "FT232R USB UART|a", dir).Exit, 1u);
    const TRun list = RunProgram("list", "QOR 7316|a;QOR 7316|b|serial=FT7316B2", dir);
    EXPECT_EQ(list.Exit, 0u);
    // A console program's text lines on Windows; the library names a port by its serial number.
    EXPECT_EQ(list.Out, "VQ731600\tVQ731600\tQOR 7316\r\nFT7316B2\tFT7316B2\tQOR 7316\r\n");
    EXPECT_EQ(
        RunProgram("info --serial FT7316B2 --json", "QOR 7316|a;QOR 7316|b|serial=FT7316B2", dir)
            .Exit,
        0u);
}

// The devices written at once, each on a thread of its own through the library's handles.
TEST(WineCommandLine, FlashAllWritesEveryDeviceThroughTheD2xxLibrary) {
    TTempDir dir;
    const std::string image =
        dir.Write("a.bin", MakeSampleImage({TImageVariant::A, "1.6a", std::nullopt}));
    const TRun run = RunProgram("flash \"" + image + "\" --all --expect 3 --json",
                                "QOR 7316|a;FT232R USB UART|a;QOR 7316|a;QOR 7316|b", dir);
    EXPECT_EQ(run.Exit, 4u) << run.Out;
    EXPECT_THAT(run.Out, HasSubstr(R"("devices":[{"port":"VQ731600","serial":"VQ731600",)"
                                   R"("variant":"a","firmware_before":"1.0a",)"
                                   R"("firmware_after":"1.6a","exit":0,"outcome":"success",)"));
    EXPECT_THAT(run.Out, HasSubstr(R"({"port":"VQ731602","serial":"VQ731602","variant":"a",)"
                                   R"("firmware_before":"1.0a","firmware_after":"1.6a",)"
                                   R"("exit":0,"outcome":"success",)"));
    EXPECT_THAT(run.Out, HasSubstr(R"({"port":"VQ731603","serial":"VQ731603","variant":"b",)"
                                   R"("firmware_before":"1.0b","firmware_after":"1.0b",)"
                                   R"("exit":4,)"));
}

// A technician's image below their own profile: the path reaches the program whole.
TEST(WineCommandLine, AnImageBelowAFolderWithAnUmlautIsFlashed) {
    TTempDir dir;
    const std::filesystem::path folder = dir.Path / L"J\u00FCrgen";
    std::filesystem::create_directory(folder);
    const TBytes image = MakeSampleImage({TImageVariant::A, "1.6a", std::nullopt});
    std::ofstream(folder / L"image.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    const std::string path = win::Narrow((folder / L"image.bin").wstring());

    const TRun run = RunProgram("flash \"" + path + "\" --json", "QOR 7316|a", dir);

    EXPECT_EQ(run.Exit, 0u) << run.Out;
    EXPECT_THAT(run.Out, HasSubstr("J\u00FCrgen")) << "the record names the file as it is";
}

// Without the bridge's driver the program says which library is missing and what to install.
TEST(WineCommandLine, WithoutTheD2xxLibraryListNamesItAndWhatToInstall) {
    TTempDir dir;
    const std::filesystem::path alone = dir.Path / L"qor7316-update.exe";
    std::filesystem::copy_file(ProductProgram(), alone);

    const TRun run = qor::test::RunProgram(alone, "list", "QOR 7316|a", dir.Path);

    EXPECT_EQ(run.Exit, 1u) << run.Out;
    EXPECT_THAT(run.Out, HasSubstr("FTD2XX.dll is not installed: install the D2XX driver"));
}

TEST(WineCommandLine, TheHelpNamesWindowsWaysOfStopping) {
    TTempDir dir;
    const TRun run = RunProgram("--help", "", dir);
    EXPECT_EQ(run.Exit, 0u);
    EXPECT_THAT(run.Out, HasSubstr("interrupted (Ctrl+C, Ctrl+Break, closing the console window)"));
    EXPECT_THAT(run.Out, Not(HasSubstr("SIGTERM")));
}

} // namespace
} // namespace qor::test
