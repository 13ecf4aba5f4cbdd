// Windows side of the board's seam: the environment read as UTF-16
// (GetEnvironmentVariableW), %LOCALAPPDATA% for the default fuse file,
// CreateFileW/MoveFileExW for files replaced whole, and LockFileEx (whose
// locks Windows drops when the process ends) for lock files.
#include "platform.h"

#include <windows.h>

#include "common/wide_text.h"

#include <vector>

namespace xolt::platform {

namespace {

using wide_text::narrow;
using wide_text::widen;




std::wstring wide_environment(const char *name) {
    const std::wstring wide_name = widen(name);
    const DWORD size = GetEnvironmentVariableW(wide_name.c_str(), nullptr, 0);
    if (size == 0) {
        return {};
    }
    std::vector<wchar_t> buffer(size);
    const DWORD length = GetEnvironmentVariableW(wide_name.c_str(), buffer.data(), size);
    return length > 0 && length < size ? std::wstring(buffer.data(), length) : std::wstring{};
}

std::string system_error(const char *what) {
    const DWORD code = GetLastError();
    wchar_t *text = nullptr;
    const DWORD size = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                          FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::string reason = size != 0 && text != nullptr ? narrow(std::wstring(text, size)) : std::string{};
    LocalFree(text);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.')) {
        reason.pop_back();
    }
    if (reason.empty()) {
        reason = "error " + std::to_string(code);
    }
    return std::string(what) + ": " + reason;
}

HANDLE handle_of(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

OVERLAPPED at(std::uint64_t offset) {
    OVERLAPPED position{};
    position.Offset = static_cast<DWORD>(offset);
    position.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return position;
}

// Writes all of `count` bytes at the file's position.
bool write_all(HANDLE file, const unsigned char *bytes, std::size_t count) {
    while (count > 0) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(count);
        if (!WriteFile(file, bytes, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        bytes += written;
        count -= written;
    }
    return true;
}

bool lock_byte(std::intptr_t handle, std::uint64_t offset, DWORD flags) {
    OVERLAPPED position = at(offset);
    return LockFileEx(handle_of(handle), LOCKFILE_EXCLUSIVE_LOCK | flags, 0, 1, 0, &position) != 0;
}

}  // namespace

std::string environment(const char *name) { return narrow(wide_environment(name)); }

Path environment_path(const char *name) { return Path(wide_environment(name)); }

Path default_fuse_file() {
    const std::wstring local = wide_environment("LOCALAPPDATA");
    if (!local.empty()) {
        return Path(local) / L"xolt" / L"efuse.bin";
    }
    return Path(L"xolt-efuse.bin");
}

std::uint32_t process_id() { return static_cast<std::uint32_t>(GetCurrentProcessId()); }

ReadResult read_file(const Path &file, unsigned char *bytes, std::size_t capacity, std::size_t &count,
                     std::string &error) {
    count = 0;
    const HANDLE in = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (in == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
            return ReadResult::MISSING;
        }
        error = system_error("cannot open it");
        return ReadResult::FAILED;
    }
    while (count < capacity) {
        DWORD got = 0;
        if (!ReadFile(in, bytes + count, static_cast<DWORD>(capacity - count), &got, nullptr)) {
            error = system_error("cannot read it");
            CloseHandle(in);
            return ReadResult::FAILED;
        }
        if (got == 0) {
            break;
        }
        count += got;
    }
    CloseHandle(in);
    return ReadResult::READ;
}

bool replace_file(const Path &file, const unsigned char *bytes, std::size_t count, std::string &error) {
    Path temporary;
    HANDLE out = INVALID_HANDLE_VALUE;
    for (unsigned attempt = 0; out == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = temporary_for(file, attempt);
        out = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (out == INVALID_HANDLE_VALUE && (GetLastError() != ERROR_FILE_EXISTS || attempt == TEMPORARY_ATTEMPTS)) {
            error = system_error("cannot create a new file beside it");
            return false;
        }
    }
    bool stored = write_all(out, bytes, count) && FlushFileBuffers(out);
    if (!stored) {
        error = system_error("cannot write a new file beside it");
    }
    CloseHandle(out);
    if (stored &&
        !MoveFileExW(temporary.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        stored = false;
        error = system_error("cannot rename the new file over it");
    }
    if (!stored) {
        DeleteFileW(temporary.c_str());
    }
    return stored;
}

std::unique_ptr<LockFile> LockFile::open(const Path &file, std::string &error) {
    const HANDLE handle =
        CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = system_error("cannot open the lock file");
        return nullptr;
    }
    return std::unique_ptr<LockFile>(new LockFile(reinterpret_cast<std::intptr_t>(handle)));
}

LockFile::~LockFile() { CloseHandle(handle_of(handle_)); }

bool LockFile::try_lock(std::uint64_t offset) { return lock_byte(handle_, offset, LOCKFILE_FAIL_IMMEDIATELY); }

bool LockFile::lock(std::uint64_t offset) { return lock_byte(handle_, offset, 0); }

void LockFile::unlock(std::uint64_t offset) {
    OVERLAPPED position = at(offset);
    UnlockFileEx(handle_of(handle_), 0, 1, 0, &position);
}

bool LockFile::write_text(const std::string &text) {
    const HANDLE file = handle_of(handle_);
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN) || !SetEndOfFile(file)) {
        return false;
    }
    return write_all(file, reinterpret_cast<const unsigned char *>(text.data()), text.size());
}

std::string LockFile::read_text() {
    char buffer[64];
    DWORD got = 0;
    OVERLAPPED position = at(0);
    if (!ReadFile(handle_of(handle_), buffer, sizeof buffer, &got, &position)) {
        return {};
    }
    return std::string(buffer, got);
}

}  // namespace xolt::platform
