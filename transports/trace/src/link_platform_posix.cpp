// POSIX side of the transports' seam: dlopen, clock_gettime, O_APPEND.
#include "xolt_trace/link_platform.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace xolt_trace::platform {

std::string environment(const char *name) {
    const char *value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::uint64_t monotonic_us() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000u;
}

// Asked of the kernel once per thread: a system call on every access would
// cost as much as the rest of the recording.
std::uint64_t thread_id() {
    thread_local const std::uint64_t id = static_cast<std::uint64_t>(syscall(SYS_gettid));
    return id;
}

std::uint64_t process_id() { return static_cast<std::uint64_t>(getpid()); }

std::string utc_now() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm parts{};
    gmtime_r(&now.tv_sec, &parts);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03ldZ", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec, now.tv_nsec / 1000000);
    return text;
}

bool is_absolute(const std::string &path) { return !path.empty() && path[0] == '/'; }

void *load_module(const std::string &path, std::string &error) {
    dlerror();
    void *module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        const char *reason = dlerror();
        error = reason != nullptr ? reason : "unknown error";
    }
    return module;
}

void *find_symbol(void *module, const char *name) {
    dlerror();
    void *address = dlsym(module, name);
    return dlerror() != nullptr ? nullptr : address;
}

void unload_module(void *module) { dlclose(module); }

std::string module_file(const void *address) {
    Dl_info info{};
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    return info.dli_fname;
}

AppendFile::~AppendFile() {
    if (handle_ != nullptr) {
        close(static_cast<int>(reinterpret_cast<std::intptr_t>(handle_)) - 1);
    }
}

bool AppendFile::open(const std::string &path, std::string &error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    // The descriptor plus one, so that descriptor 0 is not taken for none.
    handle_ = reinterpret_cast<void *>(static_cast<std::intptr_t>(fd) + 1);
    return true;
}

bool AppendFile::append(const std::string &bytes) {
    if (handle_ == nullptr) {
        return false;
    }
    const int fd = static_cast<int>(reinterpret_cast<std::intptr_t>(handle_)) - 1;
    // One write: O_APPEND puts it whole at the end. A short write (a full
    // disk) is not continued, so no other appender's line lands inside it.
    ssize_t written;
    do {
        written = ::write(fd, bytes.data(), bytes.size());
    } while (written < 0 && errno == EINTR);
    return written == static_cast<ssize_t>(bytes.size());
}

}  // namespace xolt_trace::platform
