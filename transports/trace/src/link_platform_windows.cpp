// Windows side of the transports' seam: LoadLibraryExW by full path, the
// performance counter, and a file opened for appending only.
#include "xolt_trace/link_platform.h"

#include <windows.h>

#include "common/wide_text.h"

#include <cstdio>
#include <string>

namespace xolt_trace::platform {

namespace {

using wide_text::narrow;
using wide_text::widen;

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
    return result + " (error " + std::to_string(code) + ")";
}

}  // namespace

std::string environment(const char *name) {
    const std::wstring wide_name = widen(name);
    const DWORD size = GetEnvironmentVariableW(wide_name.c_str(), nullptr, 0);
    if (size == 0) {
        return {};
    }
    std::wstring value(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(wide_name.c_str(), value.data(), size);
    value.resize(length < size ? length : 0);
    return narrow(value);
}

std::uint64_t monotonic_us() {
    static const std::uint64_t frequency = [] {
        LARGE_INTEGER f{};
        QueryPerformanceFrequency(&f);
        return static_cast<std::uint64_t>(f.QuadPart);
    }();
    LARGE_INTEGER count{};
    QueryPerformanceCounter(&count);
    const std::uint64_t ticks = static_cast<std::uint64_t>(count.QuadPart);
    return ticks / frequency * 1000000u + ticks % frequency * 1000000u / frequency;
}

std::uint64_t thread_id() { return GetCurrentThreadId(); }

std::uint64_t process_id() { return GetCurrentProcessId(); }

std::string utc_now() {
    SYSTEMTIME t{};
    GetSystemTime(&t);
    char text[40];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
}

bool is_absolute(const std::string &path) {
    const bool drive = path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    const bool unc = path.size() >= 2 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/');
    return drive || unc;
}

void *load_module(const std::string &path, std::string &error) {
    // No error pop-up for a missing or broken DLL: the transport says why.
    DWORD previous = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous);
    // Its own dependencies beside it and in the system's folders only.
    HMODULE module = LoadLibraryExW(widen(path).c_str(), nullptr,
                                    LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (module == nullptr) {
        error = format_error(GetLastError());
    }
    SetThreadErrorMode(previous, nullptr);
    return reinterpret_cast<void *>(module);
}

void *find_symbol(void *module, const char *name) {
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void unload_module(void *module) { FreeLibrary(static_cast<HMODULE>(module)); }

std::string module_file(const void *address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &module)) {
        return {};
    }
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            return narrow(path);
        }
        path.resize(path.size() * 2);
    }
}

AppendFile::~AppendFile() {
    if (handle_ != nullptr) {
        CloseHandle(static_cast<HANDLE>(handle_));
    }
}

bool AppendFile::open(const std::string &path, std::string &error) {
    // FILE_APPEND_DATA alone: every write goes to the end of the file.
    HANDLE file = CreateFileW(widen(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = format_error(GetLastError());
        return false;
    }
    handle_ = file;
    return true;
}

bool AppendFile::append(const std::string &bytes) {
    if (handle_ == nullptr) {
        return false;
    }
    DWORD written = 0;
    return WriteFile(static_cast<HANDLE>(handle_), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

}  // namespace xolt_trace::platform
