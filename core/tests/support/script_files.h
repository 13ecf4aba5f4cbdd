// Register script files for the tests, written to a temporary directory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace scripts {

// A register line: "DIList" at column 0, the address at column 28 and the
// value at column 39, as the chip's register dumps lay them out.
inline std::string line(std::uint32_t address, std::uint32_t value) {
    char text[64];
    std::snprintf(text, sizeof text, "DIList %-21s%08X   %08X", "{", address, value);
    return text;
}

// A unique path in the temporary directory.
inline std::filesystem::path temp_path(const std::string &name) {
    static std::mt19937_64 random{std::random_device{}()};
    return std::filesystem::temp_directory_path() / ("deve_" + std::to_string(random()) + "_" + name);
}

// A file with the given contents, removed on destruction.
class TempFile {
public:
    TempFile(const std::string &name, const std::string &contents) : path_(temp_path(name)) {
        std::ofstream(path_, std::ios::binary) << contents;
    }
    ~TempFile() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;
    std::string path() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

}  // namespace scripts
