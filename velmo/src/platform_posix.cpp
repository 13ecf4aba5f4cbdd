// POSIX side of the platform seam: dlopen/dlsym/dlclose/dlinfo and a one-shot
// CLOCK_MONOTONIC timer for the fine delay.
#include "platform.h"

#include <dlfcn.h>
#include <elf.h>
#include <link.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>

namespace velmo::platform {

namespace {

// Directory of this library's own file, found through one of its symbols.
std::string own_directory() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&own_directory), &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    std::string path = info.dli_fname;
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string{} : path.substr(0, slash);
}

std::string last_dl_error() {
    const char *text = dlerror();
    return text != nullptr ? text : "unknown error";
}

}  // namespace

const char *default_transport_name() { return "libxolt.so"; }

ModuleHandle load_module(const std::string &file, LoadFailure &failure) {
    dlerror();
    void *handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle != nullptr) {
        return handle;
    }
    failure.system_text = last_dl_error();
    if (file.find('/') != std::string::npos && access(file.c_str(), F_OK) == 0) {
        failure.path = file;
    }
    // A bare file name is also looked for next to this library, so a transport
    // installed beside libvelmo is found without any search path.
    if (file.find('/') == std::string::npos) {
        const std::string dir = own_directory();
        if (!dir.empty()) {
            dlerror();
            handle = dlopen((dir + "/" + file).c_str(), RTLD_NOW | RTLD_LOCAL);
            if (handle != nullptr) {
                return handle;
            }
            // The file beside the library is the one explained when it is
            // there; otherwise the first search's words stand.
            if (access((dir + "/" + file).c_str(), F_OK) == 0) {
                failure.system_text = last_dl_error();
                failure.path = dir + "/" + file;
            }
        }
    }
    return nullptr;
}

std::string module_path(ModuleHandle module) {
    // The dynamic linker's own record of the object: the path it opened,
    // after its search (a bare name comes back with its directory).
    struct link_map *map = nullptr;
    if (dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr || map->l_name == nullptr) {
        return {};
    }
    return map->l_name;
}

OwnModule own_module() {
#if defined(__x86_64__)
    constexpr std::uint16_t machine = EM_X86_64;
#elif defined(__i386__)
    constexpr std::uint16_t machine = EM_386;
#elif defined(__aarch64__)
    constexpr std::uint16_t machine = EM_AARCH64;
#elif defined(__arm__)
    constexpr std::uint16_t machine = EM_ARM;
#else
    constexpr std::uint16_t machine = EM_NONE;
#endif
    return OwnModule{"libvelmo.so", false, 0, sizeof(void *) == 8 ? ELFCLASS64 : ELFCLASS32, machine};
}

void *find_symbol(ModuleHandle module, const char *name) {
    dlerror();
    void *symbol = dlsym(module, name);
    // dlsym may legitimately return null for a symbol whose value is null, so
    // dlerror() is the authority.
    if (dlerror() != nullptr) {
        return nullptr;
    }
    return symbol;
}

bool unload_module(ModuleHandle module) { return dlclose(module) == 0; }

// A kernel timer wakes a sleeper some 100 us late on a desktop system (timer
// slack plus scheduling), which would add up over a calibration's hundred
// short waits. So the delay sleeps until shortly before its due time and
// spins the rest on the monotonic clock.
void timer_delay(std::int64_t units_100ns) {
    if (units_100ns <= 0) {
        return;
    }
    using Clock = std::chrono::steady_clock;
    constexpr std::chrono::microseconds kSpinMargin{250};
    const auto due = Clock::now() + std::chrono::nanoseconds(units_100ns * 100);
    const auto wake = due - kSpinMargin;
    if (Clock::now() < wake) {
        const auto since_epoch = std::chrono::duration_cast<std::chrono::nanoseconds>(wake.time_since_epoch());
        timespec at{};
        at.tv_sec = static_cast<time_t>(since_epoch.count() / 1000000000);
        at.tv_nsec = static_cast<long>(since_epoch.count() % 1000000000);
        // steady_clock is CLOCK_MONOTONIC on this platform.
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
        }
    }
    while (Clock::now() < due) {
    }
}

void sleep_ms(std::uint32_t ms) { timer_delay(static_cast<std::int64_t>(ms) * 10000); }

std::string environment(const char *name) {
    const char *value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace velmo::platform
