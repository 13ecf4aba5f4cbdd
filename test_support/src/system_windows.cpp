// Windows side of the test-support seam: _wputenv (which keeps the C
// library's and the system's environment in step), LoadLibraryW/GetProcAddress
// (starting a program: process_windows.cpp).
#include "test_support/system.h"

#include <windows.h>

#include "common/wide_text.h"

#include <cstdlib>

namespace test_support {

namespace {

using wide_text::widen;

// The absolute form of a path (backslashes, drive and directory filled in),
// as the loader and CreateProcessW want it.
std::wstring full_path(const std::string &path) {
    const std::wstring wide = widen(path);
    const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0) {
        return wide;
    }
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
    full.resize(length);
    return full;
}

void put(const std::wstring &name, const std::wstring &value) { _wputenv((name + L"=" + value).c_str()); }

}  // namespace

void set_env(const std::string &name, const std::string &value) { put(widen(name), widen(value)); }

void unset_env(const std::string &name) { put(widen(name), L""); }

void *find_export(const std::string &module, const char *name) {
    HMODULE handle = LoadLibraryW(full_path(module).c_str());
    return handle != nullptr ? reinterpret_cast<void *>(GetProcAddress(handle, name)) : nullptr;
}

void remove_tree(const std::filesystem::path &dir) {
    // The extended form (\\?\C:\...) is not cut at MAX_PATH.
    std::error_code ignored;
    std::filesystem::remove_all(L"\\\\?\\" + std::filesystem::absolute(dir).wstring(), ignored);
}

unsigned long process_id() { return GetCurrentProcessId(); }

const char *null_device() { return "NUL"; }

// Windows has neither FIFOs nor device nodes in its file system.
bool make_fifo(const std::filesystem::path &) { return false; }
bool make_character_device(const std::filesystem::path &) { return false; }

const char *system_library() { return "kernel32.dll"; }

}  // namespace test_support
