// The download's file services kept in memory: a fixed temporary directory and a record of
// what was written, with a write or the directory that can be made to fail.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "download/DownloadFiles.h"

namespace qor::test {

struct TMemoryFiles {
    std::string Directory = "/run/user/1000/";
    bool NoDirectory = false;
    bool FailWrite = false;
    std::map<std::string, std::vector<std::uint8_t>> Written;
    int Writes = 0;

    TDownloadFiles Services() {
        return {
            [this]() -> TResult<std::string> {
                if (NoDirectory) {
                    return Fail(TError{"no private directory"});
                }
                return Directory;
            },
            [this](const std::string& path, std::span<const std::uint8_t> bytes) -> TResult<void> {
                ++Writes;
                if (FailWrite) {
                    return Fail(TError{"disk full"});
                }
                Written[path].assign(bytes.begin(), bytes.end());
                return {};
            }};
    }
};

} // namespace qor::test
