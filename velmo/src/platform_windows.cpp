// Windows side of the platform seam: LoadLibraryExW/GetProcAddress/FreeLibrary
// and a waitable timer for the fine delay.
#include "platform.h"

#include <windows.h>

#include <vector>

namespace velmo::platform {

namespace {

std::wstring widen(const std::string &text) {
    if (text.empty()) {
        return {};
    }
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::vector<wchar_t> buffer(static_cast<size_t>(length));
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, buffer.data(), length);
    return std::wstring(buffer.data());
}

std::string format_error(DWORD code) {
    char *text = nullptr;
    const DWORD size = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                          FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string result = size != 0 && text != nullptr ? std::string(text, size) : "error " + std::to_string(code);
    LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r')) {
        result.pop_back();
    }
    return result;
}

// Directory of this DLL, found through one of its own addresses.
std::wstring own_directory() {
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&own_directory), &self)) {
        return {};
    }
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    std::wstring result(path, length);
    const auto slash = result.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring{} : result.substr(0, slash);
}

}  // namespace

const char *default_transport_name() { return "xolt.dll"; }

ModuleHandle load_module(const std::string &file, std::string &error) {
    // No error pop-up for a missing DLL, and no search of the current directory.
    DWORD previous = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous);
    const std::wstring wide = widen(file);
    HMODULE module = nullptr;
    if (wide.find_first_of(L"\\/") == std::wstring::npos) {
        const std::wstring dir = own_directory();
        if (!dir.empty()) {
            module = LoadLibraryExW((dir + L"\\" + wide).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        }
        if (module == nullptr) {
            module = LoadLibraryExW(wide.c_str(), nullptr,
                                    LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32 |
                                        LOAD_LIBRARY_SEARCH_USER_DIRS);
        }
    } else {
        module = LoadLibraryExW(wide.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    if (module == nullptr) {
        error = format_error(GetLastError());
    }
    SetThreadErrorMode(previous, nullptr);
    return reinterpret_cast<ModuleHandle>(module);
}

void *find_symbol(ModuleHandle module, const char *name) {
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(module), name));
}

bool unload_module(ModuleHandle module) { return FreeLibrary(static_cast<HMODULE>(module)) != 0; }

void timer_delay(std::int64_t units_100ns) {
    HANDLE timer = CreateWaitableTimerW(nullptr, TRUE, nullptr);
    if (timer == nullptr) {
        return;
    }
    LARGE_INTEGER due{};
    due.QuadPart = -units_100ns;  // negative: relative due time
    SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE);
    WaitForSingleObject(timer, INFINITE);
    CloseHandle(timer);
}

void sleep_ms(std::uint32_t ms) { Sleep(ms); }

std::string environment(const char *name) {
    const DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
    if (size == 0) {
        return {};
    }
    std::string value(size, '\0');
    const DWORD written = GetEnvironmentVariableA(name, value.data(), size);
    value.resize(written);
    return value;
}

}  // namespace velmo::platform
