// SPDX-License-Identifier: Apache-2.0
#pragma once
// A scratch directory for one test, removed with everything in it afterwards.

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

class TempDirectory {
public:
    TempDirectory() {
        std::string pattern = (std::filesystem::temp_directory_path() / "flashutil-image-XXXXXX").string();
        Path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempDirectory() {
        std::error_code ignored;
        if (!Path_.empty())
            std::filesystem::remove_all(Path_, ignored);
    }
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    const std::string& Path() const { return Path_; }
    std::string operator/(const std::string& name) const { return Path_ + "/" + name; }

private:
    std::string Path_;
};

inline void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}
