// Windows side of the platform seam: the transport loaded by full path with
// LoadLibraryExW, a high-resolution waitable timer with a final spin for the
// fine delay, and the environment read as UTF-16.
#include "bus.h"
#include "pe_image.h"
#include "platform.h"

#include <windows.h>

#include "common/wide_text.h"

#include <algorithm>
#include <atomic>
#include <cwctype>
#include <exception>
#include <vector>

namespace velmo::platform {

namespace {

using wide_text::narrow;
using wide_text::widen;


// CREATE_WAITABLE_TIMER_HIGH_RESOLUTION (Windows 10 1803 and later), which
// older headers lack.
constexpr DWORD kHighResolutionTimer = 0x00000002;

// How long before its due time a delay stops sleeping and spins: a
// high-resolution timer wakes a sleeper up to about a millisecond late (and
// so does every timer under Wine); a plain one rounds up to the 15.6 ms tick.
constexpr std::int64_t kSpinMarginHighResolution = 2 * 10000;  // 100 ns units
constexpr std::int64_t kSpinMarginPlain = 16 * 10000;

// The transport's own dependencies are looked for beside it and in the
// system's folders, never in the current directory or on PATH.
constexpr DWORD kTransportSearch = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;



std::string format_error(DWORD code) {
    wchar_t *text = nullptr;
    const DWORD size = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                          FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::string result = size != 0 && text != nullptr ? narrow(std::wstring(text, size))
                                                      : "error " + std::to_string(code);
    LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == ' ')) {
        result.pop_back();
    }
    return result;
}

// A path filled in by a call that is given a buffer and returns the length it
// wrote (or, when the buffer is too small, the length it needs or the buffer's
// size): called again with a larger buffer until the path fits, so a long
// path is never cut short.
template <typename Fill>
std::wstring fill_path(Fill fill) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = fill(path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(std::max<std::size_t>(path.size() * 2, length + 1));
    }
}

std::wstring file_of_module(HMODULE module) {
    return fill_path([module](wchar_t *buffer, DWORD size) { return GetModuleFileNameW(module, buffer, size); });
}

std::wstring directory_of(const std::wstring &path) {
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring{} : path.substr(0, slash);
}

// Directory of this DLL, found through one of its own addresses.
std::wstring own_directory() {
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&own_directory), &self)) {
        return {};
    }
    return directory_of(file_of_module(self));
}

std::wstring program_directory() { return directory_of(file_of_module(nullptr)); }

std::wstring system_directory() {
    return fill_path([](wchar_t *buffer, DWORD size) { return GetSystemDirectoryW(buffer, size); });
}

// A path made absolute against the current directory.
std::wstring absolute(const std::wstring &path) {
    const std::wstring full = fill_path(
        [&path](wchar_t *buffer, DWORD size) { return GetFullPathNameW(path.c_str(), size, buffer, nullptr); });
    return full.empty() ? path : full;
}

bool names_a_directory(const std::wstring &file) { return file.find_first_of(L"\\/:") != std::wstring::npos; }

bool file_exists(const std::wstring &path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Paths of MAX_PATH characters and more are passed in their extended form
// (\\?\C:\..., \\?\UNC\server\share\...), which is not cut at MAX_PATH.
std::wstring extended(const std::wstring &path) {
    if (path.size() < MAX_PATH || path.rfind(L"\\\\?\\", 0) == 0) {
        return path;
    }
    if (path.rfind(L"\\\\", 0) == 0) {
        return L"\\\\?\\UNC\\" + path.substr(2);
    }
    return L"\\\\?\\" + path;
}

// Where the transport file is looked for. A path (with a directory or a
// drive) is made absolute against the current directory. A bare file name is
// looked for in the program's folder, then the system folder, then the
// folder of this library; never in the current directory or on PATH.
std::vector<std::wstring> candidates(const std::wstring &file) {
    if (names_a_directory(file)) {
        return {absolute(file)};
    }
    std::vector<std::wstring> paths;
    for (const std::wstring &dir : {program_directory(), system_directory(), own_directory()}) {
        if (!dir.empty()) {
            paths.push_back(dir + L"\\" + file);
        }
    }
    return paths;
}

// One waitable timer for one delay: high-resolution where Windows offers it,
// else a plain one (with a wider spin margin).
enum class TimerKind { Unknown, HighResolution, Plain };
std::atomic<TimerKind> timer_kind{TimerKind::Unknown};

HANDLE create_timer() {
    if (timer_kind != TimerKind::Plain) {
        HANDLE timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_MANUAL_RESET | kHighResolutionTimer,
                                              TIMER_ALL_ACCESS);
        if (timer != nullptr) {
            timer_kind = TimerKind::HighResolution;
            return timer;
        }
        if (GetLastError() != ERROR_INVALID_PARAMETER) {
            return nullptr;
        }
        timer_kind = TimerKind::Plain;  // a Windows older than 10 1803
    }
    return CreateWaitableTimerW(nullptr, TRUE, nullptr);
}

std::int64_t now_100ns() {
    static const std::int64_t frequency = [] {
        LARGE_INTEGER f{};
        QueryPerformanceFrequency(&f);
        return static_cast<std::int64_t>(f.QuadPart);
    }();
    LARGE_INTEGER count{};
    QueryPerformanceCounter(&count);
    const std::int64_t ticks = count.QuadPart;
    return ticks / frequency * 10000000 + ticks % frequency * 10000000 / frequency;
}

// Whether a DLL that `importer` imports can be found: already loaded, beside
// the importer, or in the system folder (the places kTransportSearch looks).
// The API sets (api-ms-win-..., ext-ms-...) are resolved by the system itself.
bool dependency_found(const std::wstring &dll, const std::wstring &importer) {
    std::wstring lower = dll;
    for (wchar_t &c : lower) {
        c = static_cast<wchar_t>(std::towlower(c));
    }
    if (lower.rfind(L"api-ms-win-", 0) == 0 || lower.rfind(L"ext-ms-", 0) == 0 ||
        GetModuleHandleW(dll.c_str()) != nullptr) {
        return true;
    }
    for (const std::wstring &dir : {directory_of(importer), system_directory()}) {
        if (!dir.empty() && file_exists(extended(dir + L"\\" + dll))) {
            return true;
        }
    }
    return false;
}

// The first DLL the file imports that cannot be found; empty when all are
// there (then another DLL further down the chain is missing, or the cause is
// another one).
std::string missing_dependency(const std::wstring &path) {
    const std::vector<std::uint8_t> bytes = read_file_head(narrow(path), kExplainReadLimit);
    const std::optional<pe::Image> image = pe::read(bytes);
    if (!image) {
        return {};
    }
    for (const std::string &dll : image->imports) {
        if (!dependency_found(widen(dll), path)) {
            return dll;
        }
    }
    return {};
}

}  // namespace

const char *default_transport_name() { return "xolt.dll"; }

ModuleHandle load_module(const std::string &file, LoadFailure &failure) {
    // No error pop-up for a missing or broken DLL: the library reports it.
    DWORD previous = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous);
    HMODULE module = nullptr;
    const std::vector<std::wstring> paths = candidates(widen(file));
    for (const std::wstring &path : paths) {
        // The first file that is there is the one: one that does not load (a
        // wrong architecture, a missing dependency) is reported, not passed
        // over for another.
        if (!file_exists(extended(path))) {
            continue;
        }
        module = LoadLibraryExW(extended(path).c_str(), nullptr, kTransportSearch);
        if (module == nullptr) {
            const DWORD code = GetLastError();
            failure.path = narrow(path);
            failure.system_text = format_error(code);
            if (code == ERROR_MOD_NOT_FOUND) {
                try {
                    failure.missing_dependency = missing_dependency(path);
                } catch (const std::exception &) {
                    // The file could not be read: the system's words stand alone.
                }
            }
            if (path.size() >= MAX_PATH) {
                log("ERROR: %s is %u characters long, more than Windows' MAX_PATH (260), and did not load: %s\n",
                    failure.path.c_str(), static_cast<unsigned>(path.size()), failure.system_text.c_str());
            }
        }
        break;
    }
    if (module == nullptr && failure.path.empty()) {
        // No file was there: say where it was looked for.
        std::string places;
        for (const std::wstring &path : paths) {
            places += (places.empty() ? "" : ", ") + narrow(path);
        }
        failure.system_text = file + " is not there (looked for: " + places + ")";
    }
    SetThreadErrorMode(previous, nullptr);
    return reinterpret_cast<ModuleHandle>(module);
}

std::string module_path(ModuleHandle module) { return narrow(file_of_module(static_cast<HMODULE>(module))); }

OwnModule own_module() {
#if defined(__x86_64__) || defined(_M_X64)
    constexpr std::uint16_t machine = pe::kMachineAmd64;
#elif defined(__i386__) || defined(_M_IX86)
    constexpr std::uint16_t machine = pe::kMachineI386;
#elif defined(__aarch64__) || defined(_M_ARM64)
    constexpr std::uint16_t machine = pe::kMachineArm64;
#else
    constexpr std::uint16_t machine = 0;
#endif
    return OwnModule{"velmo.dll", true, machine, 0, 0};
}

void *find_symbol(ModuleHandle module, const char *name) {
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(module), name));
}

bool unload_module(ModuleHandle module) { return FreeLibrary(static_cast<HMODULE>(module)) != 0; }

// The delay sleeps on a waitable timer until shortly before its due time and
// spins the rest on the performance counter, so neither the timer tick nor a
// late wake-up lengthens the hundred short waits of a calibration.
void timer_delay(std::int64_t units_100ns) {
    if (units_100ns <= 0) {
        return;
    }
    const std::int64_t due = now_100ns() + units_100ns;
    if (HANDLE timer = units_100ns > kSpinMarginHighResolution ? create_timer() : nullptr) {
        const std::int64_t margin =
            timer_kind == TimerKind::Plain ? kSpinMarginPlain : kSpinMarginHighResolution;
        LARGE_INTEGER sleep{};
        sleep.QuadPart = -(units_100ns - margin);  // negative: relative due time
        if (sleep.QuadPart < 0 && SetWaitableTimer(timer, &sleep, 0, nullptr, nullptr, FALSE)) {
            WaitForSingleObject(timer, INFINITE);
        }
        CloseHandle(timer);
    }
    while (now_100ns() < due) {
        YieldProcessor();
    }
}

void sleep_ms(std::uint32_t ms) { timer_delay(static_cast<std::int64_t>(ms) * 10000); }

std::string environment(const char *name) {
    const std::wstring wide_name = widen(name);
    return narrow(fill_path([&wide_name](wchar_t *buffer, DWORD size) {
        return GetEnvironmentVariableW(wide_name.c_str(), buffer, size);
    }));
}

}  // namespace velmo::platform
