// Windows side of deve-cli's platform seam: the console's control events for
// the interrupts, the library's output through a temporary file, the loaded
// transport among the process's modules, the console for the terminal.
#include "platform.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "common/wide_text.h"
// psapi.h needs windows.h before it.
#include <psapi.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <system_error>

namespace deve::cli::platform {

namespace {

using wide_text::narrow;


// The interrupts are reported by their POSIX numbers, so the exit codes and
// the records are the same on every platform (130, 143, 129).
constexpr int kSigHup = 1;
constexpr int kSigInt = 2;
constexpr int kSigTerm = 15;

std::atomic<int> received_signal{0};
// Set once the program has made the radio safe and is exiting: Windows ends
// the process when the handler of a closing console returns.
HANDLE finished = nullptr;

void mark_finished() {
    if (finished != nullptr) {
        SetEvent(finished);
    }
}

// Ctrl-C and Ctrl-Break interrupt as SIGINT does; closing the console window
// is a hang-up; logging off and shutting down terminate. The handler runs on
// a thread of its own and only sets the flag (the library is not re-entrant:
// the radio is stopped by the main flow).
BOOL WINAPI on_console_event(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        received_signal = kSigInt;
        return TRUE;
    case CTRL_CLOSE_EVENT:
        received_signal = kSigHup;
        break;
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        received_signal = kSigTerm;
        break;
    default:
        return FALSE;
    }
    // Windows ends the process as soon as this returns (or after its own
    // time-out): wait for the main flow to stop the radio and close the link.
    WaitForSingleObject(finished, INFINITE);
    return TRUE;
}

// Where the library's default transport name comes from.
constexpr const wchar_t *kDefaultTransport = L"xolt.dll";
// An entry point every transport has (the library itself exports only the
// register forwarders).
constexpr const char *kTransportSymbol = "xolt_open";


std::wstring module_file(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);  // cut short: a long path
    }
}

// A temporary file that Windows removes when its last handle closes.
HANDLE temporary_file(std::wstring &path) {
    wchar_t dir[MAX_PATH + 1] = {};
    wchar_t name[MAX_PATH + 1] = {};
    if (GetTempPathW(MAX_PATH + 1, dir) == 0 || GetTempFileNameW(dir, L"dve", 0, name) == 0) {
        return INVALID_HANDLE_VALUE;
    }
    path = name;
    return CreateFileW(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

// The temporary file again, for reading with a file position of its own.
std::FILE *reader_of(const std::wstring &path) {
    const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_TEMPORARY, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE *file = _fdopen(fd, "rb");
    if (file == nullptr) {
        _close(fd);
    }
    return file;
}

// The loaded module that itself exports the transport's entry point.
HMODULE loaded_transport_module() {
    HMODULE modules[1024];
    DWORD needed = 0;
    if (!K32EnumProcessModules(GetCurrentProcess(), modules, sizeof modules, &needed)) {
        return nullptr;
    }
    const DWORD count = needed / sizeof(HMODULE);
    for (DWORD i = 0; i < count && i < 1024; ++i) {
        if (GetProcAddress(modules[i], kTransportSymbol) != nullptr) {
            return modules[i];
        }
    }
    return nullptr;
}

}  // namespace

void install_signal_handlers() {
    finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atexit(mark_finished);
    SetConsoleCtrlHandler(on_console_event, TRUE);
}

int pending_signal() { return received_signal; }

void end_by_signal(int) {}

const char *signal_name(int signal) {
    switch (signal) {
    case kSigInt: return "SIGINT";
    case kSigTerm: return "SIGTERM";
    case kSigHup: return "SIGHUP";
    default: return "signal";
    }
}

// The library writes through the C library's standard output (descriptor 1),
// which it shares with the program: descriptor 1 becomes a temporary file,
// read back through a handle of its own. Both the capture and the results are
// binary, so every line ends in LF, as on POSIX.
std::FILE *LibraryOutput::divert() {
    std::fflush(stdout);
    std::wstring path;
    const HANDLE file = temporary_file(path);
    const int capture_fd =
        file != INVALID_HANDLE_VALUE ? _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_BINARY) : -1;
    if (capture_fd < 0) {
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
        return nullptr;
    }
    capture_ = reader_of(path);
    const int original = capture_ != nullptr ? _dup(_fileno(stdout)) : -1;
    std::FILE *results = original >= 0 ? _fdopen(original, "wb") : nullptr;
    if (results == nullptr || _dup2(capture_fd, _fileno(stdout)) != 0) {
        if (results != nullptr) {
            std::fclose(results);
        } else if (original >= 0) {
            _close(original);
        }
        if (capture_ != nullptr) {
            std::fclose(capture_);
            capture_ = nullptr;
        }
        _close(capture_fd);
        return nullptr;
    }
    _close(capture_fd);  // descriptor 1 holds the file now
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(original, _O_BINARY);  // the descriptor's mode, which fdopen's "b" leaves alone
    return results;
}

std::vector<std::string> LibraryOutput::take_lines() {
    std::vector<std::string> lines;
    if (capture_ == nullptr) {
        return lines;
    }
    std::fflush(stdout);
    // The reading handle keeps its own position: each call goes on where the
    // last one stopped. (ReadFile itself: the C library's _read stops for good
    // at the first end of file.)
    const HANDLE reader = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(capture_)));
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(reader, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        offset_ += static_cast<long>(got);
        partial_.append(buffer, got);
    }
    std::size_t start = 0;
    for (std::size_t nl = partial_.find('\n'); nl != std::string::npos; nl = partial_.find('\n', start)) {
        lines.push_back(partial_.substr(start, nl - start));
        start = nl + 1;
    }
    partial_.erase(0, start);
    return lines;
}

std::string requested_transport_file() {
    const DWORD size = GetEnvironmentVariableW(L"XOLT_LIBRARY", nullptr, 0);
    if (size > 1) {
        std::wstring value(size, L'\0');
        value.resize(GetEnvironmentVariableW(L"XOLT_LIBRARY", value.data(), size));
        if (!value.empty()) {
            return narrow(value);
        }
    }
    return narrow(kDefaultTransport);
}

bool transport_exports(const char *name) {
    const HMODULE transport = loaded_transport_module();
    return transport != nullptr && GetProcAddress(transport, name) != nullptr;
}

std::string loaded_transport_file() {
    const HMODULE transport = loaded_transport_module();
    return transport != nullptr ? narrow(module_file(transport)) : std::string();
}

std::string state_directory() {
    const wchar_t *local = _wgetenv(L"LOCALAPPDATA");
    return local != nullptr && *local != L'\0' ? narrow(local) + "\\deve-cli" : std::string();
}

std::string host_name() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &size) ? narrow(std::wstring(name, size)) : std::string();
}

void binary_output(std::FILE *stream) {
    std::fflush(stream);
    _setmode(_fileno(stream), _O_BINARY);
}

bool is_terminal(std::FILE *stream) {
    if (stream == nullptr) {
        return false;
    }
    DWORD mode = 0;
    return GetConsoleMode(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))), &mode) != 0;
}

LineRead read_line() {
    std::string line;
    char c = 0;
    for (;;) {
        errno = 0;
        const int got = _read(0, &c, 1);
        if (got < 0 && received_signal != 0) {
            return {};  // interrupted: the run looks at the signal
        }
        if (got < 0) {
            return {std::nullopt, "standard input could not be read: " + std::generic_category().message(errno)};
        }
        if ((got == 0 && line.empty()) || received_signal != 0) {
            return {};  // end of input, or a signal arrived
        }
        if (got == 0 || c == '\n') {
            break;
        }
        if (line.size() == kSessionLineMaxBytes) {
            return {std::nullopt, line_too_long()};
        }
        line += c;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return {std::move(line), {}};
}

}  // namespace deve::cli::platform
