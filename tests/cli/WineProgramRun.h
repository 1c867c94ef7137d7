// The product's qor7316-update.exe run as a process under Wine, as a bench on Windows runs
// it: a copy lives in the test's folder beside the stand-in FTD2XX.dll, where the program
// looks for the library first. Command lines and paths go through the wide calls.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/WinText.h"

namespace qor::test {

struct TRun {
    DWORD Exit = 0xFFFFFFFF;
    std::string Out;
};

inline std::filesystem::path ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::filesystem::path(std::wstring(path, length)).parent_path();
}

inline std::filesystem::path ProductProgram() {
    return ProgramFolder() / L"qor7316-update.exe";
}

// Runs `program` with `arguments` (UTF-8), its output and errors into one file of `dir`, or
// with `toConsole` into the console this test has; the stand-in's bus holds `devices`.
inline TRun RunProgram(const std::filesystem::path& program, const std::string& arguments,
                       const std::string& devices, const std::filesystem::path& dir,
                       bool toConsole = false) {
    ::SetEnvironmentVariableW(L"QOR_STANDIN_DEVICES", win::Widen(devices).c_str());
    const std::filesystem::path outPath = dir / L"out.txt";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = toConsole ? ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                           OPEN_EXISTING, 0, nullptr)
                           : ::CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                           &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(out, INVALID_HANDLE_VALUE);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = out;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    std::wstring commandLine = L"\"" + program.wstring() + L"\" " + win::Widen(arguments);
    TRun run;
    if (::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                         nullptr, &startup, &process)) {
        ::WaitForSingleObject(process.hProcess, 60000);
        ::GetExitCodeProcess(process.hProcess, &run.Exit);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    } else {
        ADD_FAILURE() << "cannot start " << program << ": " << ::GetLastError();
    }
    ::CloseHandle(out);
    ::SetEnvironmentVariableW(L"QOR_STANDIN_DEVICES", nullptr);
    std::ifstream in(outPath, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    run.Out = text.str();
    return run;
}

} // namespace qor::test
