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
        return {[this](std::string& error) -> std::optional<std::string> {
                    if (NoDirectory) {
                        error = "no private directory";
                        return std::nullopt;
                    }
                    return Directory;
                },
                [this](const std::string& path, std::span<const std::uint8_t> bytes,
                       std::string& error) {
                    ++Writes;
                    if (FailWrite) {
                        error = "disk full";
                        return false;
                    }
                    Written[path].assign(bytes.begin(), bytes.end());
                    return true;
                }};
    }
};

} // namespace qor::test
