// The product's qor7316-update.exe run as a process, through the stand-in FTD2XX.dll beside
// it (a copy of both lives in this test's folder), as a bench on Windows runs it.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "qortest/ImageFiles.h"
#include "sim/SampleImage.h"

namespace qor::test {
namespace {

using ::testing::HasSubstr;

struct TRun {
    DWORD Exit = 0xFFFFFFFF;
    std::string Out;
};

std::string ProgramFolder() {
    char path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

// Runs the program beside this test with `arguments`, its output into a file.
TRun RunProgram(const std::string& arguments, const std::string& devices, const TTempDir& dir) {
    ::SetEnvironmentVariableA("QOR_STANDIN_DEVICES", devices.c_str());
    const std::string outPath = (dir.Path / "out.txt").string();
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = ::CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(out, INVALID_HANDLE_VALUE);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = out;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    const std::string program = ProgramFolder() + "qor7316-update.exe";
    std::string commandLine = "\"" + program + "\" " + arguments;
    TRun run;
    if (::CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                         nullptr, &startup, &process)) {
        ::WaitForSingleObject(process.hProcess, 60000);
        ::GetExitCodeProcess(process.hProcess, &run.Exit);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    } else {
        ADD_FAILURE() << "cannot start " << program << ": " << ::GetLastError();
    }
    ::CloseHandle(out);
    ::SetEnvironmentVariableA("QOR_STANDIN_DEVICES", nullptr);
    std::ifstream in(outPath, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    run.Out = text.str();
    return run;
}

TEST(WineCommandLine, FlashesThroughTheD2xxLibrary) {
    TTempDir dir;
    const std::string image =
        dir.Write("qor-7316-b-1.6b.bin", MakeSampleImage({TImageVariant::B, "1.6b", std::nullopt}));
    const TRun run = RunProgram("flash \"" + image + "\" --json --lang en",
                                "FT232R USB UART|a;QOR 7316|b", dir);
    EXPECT_EQ(run.Exit, 0u) << run.Out;
    EXPECT_THAT(run.Out, HasSubstr(R"("unit":"blocks","block":251,"permille":996})"));
    // The version the device reports after the update is the image's: it holds the image.
    EXPECT_THAT(run.Out, HasSubstr(R"({"event":"result","exit":0,"outcome":"success",)"
                                   R"("blocks_written":252,"firmware_version":"1.6b",)"));
}

TEST(WineCommandLine, TellsTheOutcomesApartThroughTheD2xxLibrary) {
    TTempDir dir;
    const std::string image =
        dir.Write("a.bin", MakeSampleImage({TImageVariant::A, "1.6a", std::nullopt}));
    EXPECT_EQ(RunProgram("flash \"" + image + "\"", "QOR 7316|b", dir).Exit, 4u);
    EXPECT_EQ(RunProgram("flash \"" + image + "\"", "QOR 7316|app", dir).Exit, 1u);
    EXPECT_EQ(RunProgram("info --wait 0", "FT232R USB UART|a", dir).Exit, 1u);
    const TRun list = RunProgram("list", "QOR 7316|a;QOR 7316|b", dir);
    EXPECT_EQ(list.Exit, 0u);
    // A console program's text lines on Windows.
    EXPECT_EQ(list.Out, "VQ0\tQOR 7316\r\nVQ1\tQOR 7316\r\n");
}

} // namespace
} // namespace qor::test
