// A fresh directory of one test below the system's temporary directory, removed with all it
// holds. Its name is new on every run, so runs of the same test side by side keep apart.
#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace qor::test {

class TScratchDir {
public:
    TScratchDir() {
        std::random_device seed;
        const auto base = std::filesystem::temp_directory_path();
        for (int attempt = 0; attempt < 100 && Root.empty(); ++attempt) {
            const auto candidate = base / ("qor-test-" + std::to_string(seed()));
            std::error_code error;
            // create_directory is false for a directory that was there: someone else's.
            if (std::filesystem::create_directory(candidate, error)) {
                Root = candidate.string();
            }
        }
    }
    TScratchDir(const TScratchDir&) = delete;
    TScratchDir& operator=(const TScratchDir&) = delete;
    ~TScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(Root, ignored);
    }
    const std::string& Path() const { return Root; }
    std::string operator/(const std::string& name) const {
        return (std::filesystem::path(Root) / name).string();
    }

private:
    std::string Root;
};

} // namespace qor::test
