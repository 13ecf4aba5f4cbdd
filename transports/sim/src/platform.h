// The board's seam to the operating system: its environment, the default
// place of the fuse file, files replaced whole, and lock files. One
// implementation per platform (platform_posix.cpp, platform_windows.cpp); the
// build picks one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace xolt::platform {

using Path = std::filesystem::path;

// Value of an environment variable as UTF-8; empty when unset.
std::string environment(const char *name);

// Value of an environment variable as a path, in the platform's own encoding
// (UTF-16 on Windows, so any file name works); empty when unset.
Path environment_path(const char *name);

// Where the fuse array lives when XOLT_FUSE_FILE is not set.
Path default_fuse_file();

// The id of this process.
std::uint32_t process_id();

enum class ReadResult { READ, MISSING, FAILED };

// Reads up to `capacity` bytes from the start of `file` into `bytes`;
// `count` is how many were there. MISSING when the file does not exist;
// FAILED (with `error`) when it exists but cannot be read.
ReadResult read_file(const Path &file, unsigned char *bytes, std::size_t capacity, std::size_t &count,
                     std::string &error);

// Replaces `file` whole with `count` bytes: they are written to a new file of
// a unique name in the same folder, flushed to the disk and renamed over
// `file`, so a reader sees the old contents or the new, never a mix. On
// failure (false, with `error`) `file` is as it was and the new file is gone.
bool replace_file(const Path &file, const unsigned char *bytes, std::size_t count, std::string &error);

// The new file's name at the attempt-th try: beside `file`, and unique to
// this process (a name left by a process that died is passed over).
inline Path temporary_for(const Path &file, unsigned attempt) {
    Path name = file;
    name += "." + std::to_string(process_id()) + "." + std::to_string(attempt) + ".tmp";
    return name;
}
constexpr unsigned TEMPORARY_ATTEMPTS = 100;

// A lock file held open by this process. Locks are exclusive locks of single
// bytes at an offset, far past the file's text so that they never cover it.
// The operating system drops every lock when the process ends, however it
// ends. Two LockFile objects of one file in one process must not be used: on
// POSIX closing either one drops the locks taken through the other.
class LockFile {
public:
    // Opens the file, creating it when absent. Null (with `error`) on failure.
    static std::unique_ptr<LockFile> open(const Path &file, std::string &error);
    ~LockFile();
    LockFile(const LockFile &) = delete;
    LockFile &operator=(const LockFile &) = delete;

    // Takes the lock of the byte at `offset` when no other process holds it;
    // false at once when one does.
    bool try_lock(std::uint64_t offset);
    // Takes the lock of the byte at `offset`, waiting for the process that
    // holds it to let it go. False only on a system error.
    bool lock(std::uint64_t offset);
    void unlock(std::uint64_t offset);

    // Replaces the file's text; reads it (empty when unreadable).
    bool write_text(const std::string &text);
    std::string read_text();

private:
    explicit LockFile(std::intptr_t handle) : handle_(handle) {}
    std::intptr_t handle_;  // file descriptor (POSIX) or HANDLE (Windows)
};

}  // namespace xolt::platform
