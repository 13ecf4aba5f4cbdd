#include "module_loader.h"

#include <windows.h>

#include <string>

namespace deve::module_loader {

namespace {

std::wstring widen(const std::string &text) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    if (length <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), length);
    wide.resize(static_cast<std::size_t>(length - 1));
    return wide;
}

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

}  // namespace

void *open(const std::string &file, std::string &error) {
    // No system pop-up for a missing file: the console reports it itself.
    DWORD previous = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previous);
    HMODULE module = LoadLibraryW(widen(file).c_str());
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

}  // namespace deve::module_loader
