#include "module_loader.h"

#include <windows.h>

#include "common/wide_text.h"

#include <string>

namespace deve::module_loader {

namespace {

using wide_text::widen;


// A module's own DLLs come from its folder and the system folders, never the
// current directory or PATH.
constexpr DWORD kSearch = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;


std::string message_of(DWORD code) {
    char *buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        0, reinterpret_cast<char *>(&buffer), 0, nullptr);
    std::string text = length != 0 && buffer != nullptr ? std::string(buffer, length) : "error " + std::to_string(code);
    LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

// The program's own folder, with a trailing backslash; however long.
std::wstring program_folder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

bool is_bare_name(const std::wstring &file) { return file.find_first_of(L"\\/:") == std::wstring::npos; }

bool file_exists(const std::wstring &path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A path is loaded as it is; a bare name from the program's folder when the
// file is there, else from the system folder.
HMODULE load(const std::wstring &file) {
    if (!is_bare_name(file)) {
        return LoadLibraryExW(file.c_str(), nullptr, kSearch);
    }
    const std::wstring beside = program_folder() + file;
    if (file_exists(beside)) {
        return LoadLibraryExW(beside.c_str(), nullptr, kSearch);
    }
    return LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace

void *open(const std::string &file, std::string &error) {
    // No system pop-up for a missing file: the console reports it itself.
    DWORD previous = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previous);
    HMODULE module = load(widen(file));
    const DWORD code = GetLastError();
    SetThreadErrorMode(previous, nullptr);
    if (module == nullptr) {
        error = message_of(code);
    }
    return reinterpret_cast<void *>(module);
}

void *find(void *module, const char *name) {
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void *find_loaded(const std::string &file, const char *name) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, widen(file).c_str(), &module)) {
        return nullptr;
    }
    return reinterpret_cast<void *>(GetProcAddress(module, name));
}

}  // namespace deve::module_loader
