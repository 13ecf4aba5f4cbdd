// Windows side of starting a second program: CreateProcessW with the
// streams as inheritable handles and an environment block of its own;
// PeekNamedPipe and ReadFile for its output, the process handle for its end.
#include "test_support/system.h"

#include <windows.h>

#include <io.h>

#include "common/wide_text.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <map>
#include <utility>

namespace test_support {

namespace {

using wide_text::widen;

// The code a program ended by kill() exits with, as a shell reports SIGKILL.
constexpr UINT kKilledExitCode = 137;

void close_handle(HANDLE &h) {
    if (h != nullptr && h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
    }
    h = nullptr;
}

std::wstring full_path(const std::string &path) {
    const std::wstring wide = widen(path);
    const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0) {
        return wide;
    }
    std::wstring full(size, L'\0');
    full.resize(GetFullPathNameW(wide.c_str(), size, full.data(), nullptr));
    return full;
}

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

std::wstring upper(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return std::towupper(c); });
    return text;
}

// This process's environment less the removed names, with the added ones:
// a block for CREATE_UNICODE_ENVIRONMENT, sorted by name as Windows keeps
// it (names compare without case).
std::wstring environment_block(const StartOptions &options) {
    std::map<std::wstring, std::wstring> vars;  // by upper-case name
    wchar_t *strings = GetEnvironmentStringsW();
    for (const wchar_t *e = strings; e != nullptr && *e != L'\0'; e += wcslen(e) + 1) {
        const std::wstring entry(e);
        const std::size_t eq = entry.find(L'=', 1);  // "=C:=C:\..." names start with '='
        if (eq == std::wstring::npos) {
            continue;
        }
        const std::wstring name = entry.substr(0, eq);
        bool removed = false;
        for (const std::string &prefix : options.env_removed_prefixes) {
            removed = removed || upper(name).rfind(upper(widen(prefix)), 0) == 0;
        }
        if (!removed) {
            vars[upper(name)] = entry;
        }
    }
    FreeEnvironmentStringsW(strings);
    for (const auto &[name, value] : options.env) {
        vars[upper(widen(name))] = widen(name) + L"=" + widen(value);
    }
    std::wstring block;
    for (const auto &[key, entry] : vars) {
        block += entry;
        block += L'\0';
    }
    block += L'\0';
    return block;
}

HANDLE inheritable_file(const std::string &path, bool write) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return CreateFileW(full_path(path).c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inheritable,
                       write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// A pipe whose `child_end` is inherited and whose other end is not.
bool make_pipe(HANDLE &read_end, HANDLE &write_end, bool child_reads) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    if (!CreatePipe(&read_end, &write_end, &inheritable, 0)) {
        return false;
    }
    SetHandleInformation(child_reads ? write_end : read_end, HANDLE_FLAG_INHERIT, 0);
    return true;
}

}  // namespace

struct StartedProgram::State {
    PROCESS_INFORMATION process{};
    std::string start_error;
    HANDLE out = nullptr;  // read ends of the pipes; null once at their end
    HANDLE err = nullptr;
    std::string output;
    std::string error_output;
    std::optional<ProgramExit> exit;
    bool killed = false;

    ~State() {
        close_handle(out);
        close_handle(err);
        close_handle(process.hThread);
        close_handle(process.hProcess);
    }

    void ended() {
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        ProgramExit e;
        e.exit_code = static_cast<int>(code);
        e.killed = killed;
        exit = e;
    }

    // Reads what one pipe holds now; false at its end.
    bool drain(HANDLE &pipe, std::string &into) {
        if (pipe == nullptr) {
            return false;
        }
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) {
            close_handle(pipe);  // the writer has gone and all is read
            return false;
        }
        while (available > 0) {
            char buffer[4096];
            DWORD got = 0;
            if (!ReadFile(pipe, buffer, std::min<DWORD>(available, sizeof buffer), &got, nullptr) || got == 0) {
                close_handle(pipe);
                return false;
            }
            into.append(buffer, got);
            available -= got;
        }
        return true;
    }
};

StartedProgram start_program(const std::string &program, const std::vector<std::string> &args,
                             const StartOptions &options) {
    StartedProgram started;
    StartedProgram::State &s = *started.state_;
    HANDLE child_in = GetStdHandle(STD_INPUT_HANDLE);
    HANDLE child_out = nullptr;
    HANDLE child_err = GetStdHandle(STD_ERROR_HANDLE);
    HANDLE in_write = nullptr;
    std::vector<HANDLE> to_close;  // this process's copies of the child's ends
    const auto fail = [&](const std::string &why) {
        s.start_error = why;
        for (HANDLE &h : to_close) {
            close_handle(h);
        }
        close_handle(in_write);
        close_handle(s.out);
        close_handle(s.err);
        return std::move(started);
    };

    if (!options.input_file.empty()) {
        child_in = inheritable_file(options.input_file, false);
        to_close.push_back(child_in);
    } else if (options.input) {
        HANDLE read_end = nullptr;
        if (!make_pipe(read_end, in_write, true)) {
            return fail("cannot make a pipe for " + program);
        }
        child_in = read_end;
        to_close.push_back(read_end);
    }
    if (options.output_file.empty()) {
        if (!make_pipe(s.out, child_out, false)) {
            return fail("cannot make a pipe for " + program);
        }
        if (options.output_unread) {
            close_handle(s.out);  // before the child starts: no write of its can land
        }
    } else {
        child_out = inheritable_file(options.output_file, true);
    }
    to_close.push_back(child_out);
    if (options.error_descriptor >= 0) {
        HANDLE own = reinterpret_cast<HANDLE>(_get_osfhandle(options.error_descriptor));
        DuplicateHandle(GetCurrentProcess(), own, GetCurrentProcess(), &child_err, 0, TRUE, DUPLICATE_SAME_ACCESS);
        to_close.push_back(child_err);
    } else if (options.error == StartOptions::Error::WithOutput) {
        child_err = child_out;
    } else if (options.error == StartOptions::Error::Pipe) {
        if (!make_pipe(s.err, child_err, false)) {
            return fail("cannot make a pipe for " + program);
        }
        to_close.push_back(child_err);
    }

    const std::wstring path = full_path(program);
    std::wstring command = quoted(path);
    for (const std::string &arg : args) {
        command += L" " + quoted(widen(arg));
    }
    std::wstring environment = environment_block(options);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = child_in;
    startup.hStdOutput = child_out;
    startup.hStdError = child_err;
    const DWORD flags = CREATE_UNICODE_ENVIRONMENT | (options.own_process_group ? CREATE_NEW_PROCESS_GROUP : 0);
    if (!CreateProcessW(path.c_str(), command.data(), nullptr, nullptr, TRUE, flags, environment.data(), nullptr,
                        &startup, &s.process)) {
        return fail("cannot start " + program + " (error " + std::to_string(GetLastError()) + ")");
    }
    for (HANDLE &h : to_close) {
        close_handle(h);
    }
    if (in_write != nullptr) {
        // The input is small: it fits in the pipe.
        DWORD written = 0;
        if (!options.input->empty()) {
            WriteFile(in_write, options.input->data(), static_cast<DWORD>(options.input->size()), &written, nullptr);
        }
        close_handle(in_write);
    }
    return started;
}

StartedProgram::StartedProgram() : state_(std::make_unique<State>()) {}
StartedProgram::StartedProgram(StartedProgram &&) noexcept = default;
StartedProgram &StartedProgram::operator=(StartedProgram &&) noexcept = default;

StartedProgram::~StartedProgram() {
    if (state_ && state_->process.hProcess != nullptr && !state_->exit) {
        kill();
        WaitForSingleObject(state_->process.hProcess, INFINITE);
    }
}

bool StartedProgram::started() const { return state_->process.hProcess != nullptr; }
const std::string &StartedProgram::start_error() const { return state_->start_error; }
unsigned long StartedProgram::pid() const { return state_->process.dwProcessId; }
const std::string &StartedProgram::output() const { return state_->output; }
const std::string &StartedProgram::error_output() const { return state_->error_output; }

bool StartedProgram::read_output(int timeout_ms) {
    State &s = *state_;
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeout_ms < 0 ? 0 : timeout_ms);
    for (;;) {
        const std::size_t before = s.output.size() + s.error_output.size();
        const bool out_open = s.drain(s.out, s.output);
        const bool err_open = s.drain(s.err, s.error_output);
        if (!out_open && !err_open) {
            return false;
        }
        if (s.output.size() + s.error_output.size() > before) {
            return true;
        }
        if (timeout_ms >= 0 && GetTickCount64() >= deadline) {
            return true;
        }
        Sleep(5);
    }
}

std::optional<ProgramExit> StartedProgram::poll() {
    State &s = *state_;
    if (!s.exit && s.process.hProcess != nullptr && WaitForSingleObject(s.process.hProcess, 0) == WAIT_OBJECT_0) {
        s.ended();
    }
    return s.exit;
}

ProgramExit StartedProgram::wait() {
    State &s = *state_;
    while (read_output(-1)) {
    }
    if (!s.exit && s.process.hProcess != nullptr) {
        WaitForSingleObject(s.process.hProcess, INFINITE);
        s.ended();
    }
    return s.exit.value_or(ProgramExit{});
}

// Only the process itself: Windows has no signal for a whole group.
void StartedProgram::kill() {
    State &s = *state_;
    if (s.process.hProcess == nullptr || s.exit) {
        return;
    }
    // Fails when the program has already ended on its own.
    s.killed = TerminateProcess(s.process.hProcess, kKilledExitCode) != FALSE;
    // Its pipes are read no further: a child of its may hold them open.
    close_handle(s.out);
    close_handle(s.err);
}

}  // namespace test_support
