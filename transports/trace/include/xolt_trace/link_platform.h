// The recording and replay transports' seam to the operating system: the
// environment, clocks and ids, loading the recorded transport, and a file
// that is only ever appended to. One implementation per platform
// (link_platform_posix.cpp, link_platform_windows.cpp).
#pragma once

#include <cstdint>
#include <string>

namespace xolt_trace::platform {

// An environment variable (UTF-8); empty when unset.
std::string environment(const char *name);

// Microseconds on a monotonic clock.
std::uint64_t monotonic_us();
std::uint64_t thread_id();
std::uint64_t process_id();
// Now, in UTC: "2026-12-09T05:30:00.123Z".
std::string utc_now();

// Whether the path names its file from the root ("/x", "C:\x", "\\server\x").
bool is_absolute(const std::string &path);

// Loads the module at an absolute path. Null on failure, with the operating
// system's reason in `error`.
void *load_module(const std::string &path, std::string &error);
void *find_symbol(void *module, const char *name);
void unload_module(void *module);
// The file of the module that holds `address`.
std::string module_file(const void *address);

// A file opened for appending: each append is one write at the file's end,
// which another appender (a thread, another process) cannot split, and which
// is in the file once the call returns, even if the process is killed next.
class AppendFile {
public:
    AppendFile() = default;
    ~AppendFile();
    AppendFile(const AppendFile &) = delete;
    AppendFile &operator=(const AppendFile &) = delete;

    bool open(const std::string &path, std::string &error);
    bool append(const std::string &bytes);
    bool is_open() const { return handle_ != nullptr; }

private:
    void *handle_ = nullptr;
};

}  // namespace xolt_trace::platform
