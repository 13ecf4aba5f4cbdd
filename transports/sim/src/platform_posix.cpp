// POSIX side of the board's seam: getenv, the XDG state folder, open/read/
// rename with fsync for files replaced whole, and fcntl record locks (which
// the kernel drops when the process ends) for lock files.
#include "platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace xolt::platform {

namespace {

std::string system_error(const char *what) { return std::string(what) + ": " + std::strerror(errno); }

// Writes all of `count` bytes at the file's position.
bool write_all(int fd, const unsigned char *bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t written = ::write(fd, bytes, count);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
    return true;
}

// Flushes a folder's entries (a rename in it) to the disk; best effort.
void sync_folder(const Path &folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool set_lock(int fd, short type, std::uint64_t offset, bool wait) {
    struct flock range {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = static_cast<off_t>(offset);
    range.l_len = 1;
    for (;;) {
        if (::fcntl(fd, wait ? F_SETLKW : F_SETLK, &range) == 0) {
            return true;
        }
        if (errno != EINTR) {
            return false;
        }
    }
}

}  // namespace

std::string environment(const char *name) {
    const char *value = std::getenv(name);
    return value != nullptr ? value : "";
}

Path environment_path(const char *name) { return Path(environment(name)); }

Path default_fuse_file() {
    const std::string state = environment("XDG_STATE_HOME");
    if (!state.empty()) {
        return Path(state) / "xolt" / "efuse.bin";
    }
    const std::string home = environment("HOME");
    if (!home.empty()) {
        return Path(home) / ".local" / "state" / "xolt" / "efuse.bin";
    }
    return Path("xolt-efuse.bin");
}

std::uint32_t process_id() { return static_cast<std::uint32_t>(::getpid()); }

ReadResult read_file(const Path &file, unsigned char *bytes, std::size_t capacity, std::size_t &count,
                     std::string &error) {
    count = 0;
    // Without waiting for a writer, should a FIFO have taken the file's
    // place since the board looked.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) {
            return ReadResult::MISSING;
        }
        error = system_error("cannot open it");
        return ReadResult::FAILED;
    }
    struct stat about {};
    if (::fstat(fd, &about) != 0 || !S_ISREG(about.st_mode)) {
        error = "it is not a regular file";
        ::close(fd);
        return ReadResult::FAILED;
    }
    while (count < capacity) {
        const ssize_t got = ::read(fd, bytes + count, capacity - count);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            error = system_error("cannot read it");
            ::close(fd);
            return ReadResult::FAILED;
        }
        if (got == 0) {
            break;
        }
        count += static_cast<std::size_t>(got);
    }
    ::close(fd);
    return ReadResult::READ;
}

bool replace_file(const Path &file, const unsigned char *bytes, std::size_t count, std::string &error) {
    Path temporary;
    int fd = -1;
    for (unsigned attempt = 0; fd < 0; ++attempt) {
        temporary = temporary_for(file, attempt);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && (errno != EEXIST || attempt == TEMPORARY_ATTEMPTS)) {
            error = system_error("cannot create a new file beside it");
            return false;
        }
    }
    bool stored = write_all(fd, bytes, count) && ::fsync(fd) == 0;
    if (!stored) {
        error = system_error("cannot write a new file beside it");
    }
    if (::close(fd) != 0 && stored) {
        stored = false;
        error = system_error("cannot write a new file beside it");
    }
    struct stat about {};
    if (stored && ::lstat(file.c_str(), &about) == 0 && !S_ISREG(about.st_mode)) {
        stored = false;  // never renamed over a device, FIFO, socket or link
        error = "it is not a regular file";
    }
    if (stored && ::rename(temporary.c_str(), file.c_str()) != 0) {
        stored = false;
        error = system_error("cannot rename the new file over it");
    }
    if (!stored) {
        ::unlink(temporary.c_str());
        return false;
    }
    sync_folder(file.parent_path());
    return true;
}

std::unique_ptr<LockFile> LockFile::open(const Path &file, std::string &error) {
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = system_error("cannot open the lock file");
        return nullptr;
    }
    return std::unique_ptr<LockFile>(new LockFile(fd));
}

LockFile::~LockFile() { ::close(static_cast<int>(handle_)); }

bool LockFile::try_lock(std::uint64_t offset) { return set_lock(static_cast<int>(handle_), F_WRLCK, offset, false); }

bool LockFile::lock(std::uint64_t offset) { return set_lock(static_cast<int>(handle_), F_WRLCK, offset, true); }

void LockFile::unlock(std::uint64_t offset) { set_lock(static_cast<int>(handle_), F_UNLCK, offset, false); }

bool LockFile::write_text(const std::string &text) {
    const int fd = static_cast<int>(handle_);
    if (::ftruncate(fd, 0) != 0) {
        return false;
    }
    return ::pwrite(fd, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size());
}

std::string LockFile::read_text() {
    char buffer[64];
    const ssize_t got = ::pread(static_cast<int>(handle_), buffer, sizeof buffer, 0);
    return got > 0 ? std::string(buffer, static_cast<std::size_t>(got)) : std::string();
}

}  // namespace xolt::platform
