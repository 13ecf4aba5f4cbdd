// Windows side of deve-cli's platform seam: the console's control events for
// the interrupts, the transport asked for, the console for the terminal.
#include "platform.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "common/wide_text.h"

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

bool transport_exports(const std::string &file, const char *name) {
    const HMODULE transport = file.empty() ? nullptr : GetModuleHandleW(wide_text::widen(file).c_str());
    return transport != nullptr && GetProcAddress(transport, name) != nullptr;
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
