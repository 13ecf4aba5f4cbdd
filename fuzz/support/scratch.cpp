#include "scratch.h"

#include "fuzz_target.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fuzz {

namespace {

std::filesystem::path folder;

void remove_folder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

// A memory file system where there is one: the targets rewrite their files
// for every input, and on a disk file system replacing a file's contents
// waits for the disk (milliseconds an input).
std::filesystem::path parent_folder() {
    std::error_code ignored;
    const std::filesystem::path memory = "/dev/shm";
    return std::filesystem::is_directory(memory, ignored) ? memory : std::filesystem::temp_directory_path();
}

}  // namespace

std::string scratch_path(const std::string &name) {
    if (folder.empty()) {
        std::string pattern = (parent_folder() / "velmo-fuzz-XXXXXX").string();
        FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr, "cannot make a scratch folder under " + pattern);
        folder = pattern;
        std::atexit(remove_folder);
    }
    return (folder / name).string();
}

void write_file(const std::string &path, const void *data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char *>(data), static_cast<std::streamsize>(size));
    out.flush();
    FUZZ_CHECK(out.good(), "cannot write " + path);
}

}  // namespace fuzz
