// POSIX side of the test-support seam: setenv, dlopen/dlsym, special files
// (starting a program: process_posix.cpp).
#include "test_support/system.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdlib>

namespace test_support {

void set_env(const std::string &name, const std::string &value) {
    if (value.empty()) {
        unsetenv(name.c_str());
    } else {
        setenv(name.c_str(), value.c_str(), 1);
    }
}

void unset_env(const std::string &name) { unsetenv(name.c_str()); }

void *find_export(const std::string &module, const char *name) {
    void *handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    return handle != nullptr ? dlsym(handle, name) : nullptr;
}

void remove_tree(const std::filesystem::path &dir) {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

unsigned long process_id() { return static_cast<unsigned long>(getpid()); }

const char *null_device() { return "/dev/null"; }

bool make_fifo(const std::filesystem::path &path) { return mkfifo(path.c_str(), 0600) == 0; }

bool make_character_device(const std::filesystem::path &path) {
    constexpr unsigned kMemoryDevices = 1;  // the major number of the null device
    constexpr unsigned kNull = 3;
    return geteuid() == 0 && mknod(path.c_str(), S_IFCHR | 0600, makedev(kMemoryDevices, kNull)) == 0;
}

const char *system_library() { return "libc.so.6"; }

}  // namespace test_support
