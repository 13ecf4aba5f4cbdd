// Windows side of the test-support seam: _wputenv (which keeps the C
// library's and the system's environment in step), LoadLibraryW/GetProcAddress
// and CreateProcessW with a pipe for the output.
#include "test_support/system.h"

#include <windows.h>

#include "common/wide_text.h"

#include <cstdlib>
#include <optional>

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

std::optional<std::wstring> current_value(const std::wstring &name) {
    const wchar_t *value = _wgetenv(name.c_str());
    return value != nullptr ? std::optional<std::wstring>(value) : std::nullopt;
}

void put(const std::wstring &name, const std::wstring &value) { _wputenv((name + L"=" + value).c_str()); }

// One argument as CommandLineToArgvW reads it back: quoted, with the
// backslashes before a quote doubled.
std::wstring quoted(const std::wstring &arg) {
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, L'\\');
    return out + L"\"";
}

}  // namespace

void set_env(const std::string &name, const std::string &value) { put(widen(name), widen(value)); }

void unset_env(const std::string &name) { put(widen(name), L""); }

void *find_export(const std::string &module, const char *name) {
    HMODULE handle = LoadLibraryW(full_path(module).c_str());
    return handle != nullptr ? reinterpret_cast<void *>(GetProcAddress(handle, name)) : nullptr;
}

ProgramRun run_program(const std::string &program, const std::vector<std::string> &args,
                       const std::vector<std::pair<std::string, std::string>> &env) {
    ProgramRun run;
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inheritable, 0)) {
        run.output = "cannot make a pipe for " + program;
        return run;
    }
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);

    const std::wstring path = full_path(program);
    std::wstring command = quoted(path);
    for (const std::string &arg : args) {
        command += L" " + quoted(widen(arg));
    }
    // The child inherits this process's environment: the extra variables are
    // set for the start and restored afterwards.
    std::vector<std::pair<std::wstring, std::optional<std::wstring>>> saved;
    for (const auto &[name, value] : env) {
        const std::wstring wide_name = widen(name);
        saved.emplace_back(wide_name, current_value(wide_name));
        put(wide_name, widen(value));
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = write_end;
    startup.hStdError = write_end;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(path.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &process);
    for (auto it = saved.rbegin(); it != saved.rend(); ++it) {
        put(it->first, it->second.value_or(L""));
    }
    CloseHandle(write_end);
    if (!started) {
        CloseHandle(read_end);
        run.output = "cannot start " + program + " (error " + std::to_string(GetLastError()) + ")";
        return run;
    }
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        run.output.append(buffer, got);
    }
    CloseHandle(read_end);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    run.exit_code = static_cast<int>(code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return run;
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
