// qor7316-update.exe in a console, on a system whose language is German: in_console.sh gives
// this test a console (Wine's, on a pseudo-terminal), which the program shares.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "WineProgramRun.h"
#include "qortest/ImageFiles.h"
#include "sim/SampleImage.h"

namespace qor::test {
namespace {

using ::testing::HasSubstr;

TEST(WineConsole, TheConsoleHasItsOwnCodePageAgainAfterARun) {
    const UINT own = ::GetConsoleOutputCP();
    ASSERT_NE(own, 0u) << "no console: the test runs through in_console.sh";
    ASSERT_TRUE(::SetConsoleOutputCP(850));
    TTempDir dir;

    const TRun run = RunProgram(ProductProgram(), "list", "QOR 7316|a", dir.Path);

    EXPECT_EQ(run.Exit, 0u) << run.Out;
    EXPECT_EQ(::GetConsoleOutputCP(), 850u);
    ::SetConsoleOutputCP(own);
}

// flash --all on the console asks it for the cursor's sequences, where it has to, and gives
// the user's console its own mode back when it ends.
TEST(WineConsole, FlashAllLeavesTheConsolesModeAsItWas) {
    const HANDLE console =
        ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD own = 0;
    ASSERT_TRUE(::GetConsoleMode(console, &own))
        << "no console: the test runs through in_console.sh";
    const DWORD plain = own & ~static_cast<DWORD>(ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    ASSERT_TRUE(::SetConsoleMode(console, plain));
    TTempDir dir;
    const std::string image =
        dir.Write("a.bin", MakeSampleImage({TImageVariant::A, "1.6a", std::nullopt}));

    const TRun run = RunProgram(ProductProgram(), "flash \"" + image + "\" --all --expect 2",
                                "QOR 7316|a;QOR 7316|a", dir.Path, true);

    EXPECT_EQ(run.Exit, 0u);
    DWORD after = 0;
    EXPECT_TRUE(::GetConsoleMode(console, &after));
    EXPECT_EQ(after, plain);
    ::SetConsoleMode(console, own);
    ::CloseHandle(console);
}

// The system's words come in the user's language, in UTF-8 like the rest of the output.
TEST(WineConsole, TheSystemsWordsForAnErrorArriveInUtf8) {
    wchar_t message[256] = {};
    ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     ERROR_INVALID_NAME, 0, message, 256, nullptr);
    if (std::wstring(message).find(L"Ung\u00FCltig") == std::wstring::npos) {
        GTEST_SKIP() << "the system does not speak German here";
    }
    TTempDir dir;

    const TRun run = RunProgram(ProductProgram(), R"(flash "C:\nicht<da>.bin")", "", dir.Path);

    EXPECT_EQ(run.Exit, 3u) << run.Out;
    EXPECT_THAT(run.Out, HasSubstr("Ungültiger Name"));
}

} // namespace
} // namespace qor::test
