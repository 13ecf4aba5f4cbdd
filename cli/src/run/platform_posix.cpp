#include "platform.h"

#include <dlfcn.h>
#include <link.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace deve::cli::platform {

namespace {

volatile std::sig_atomic_t received_signal = 0;

extern "C" void on_signal(int signal) { received_signal = signal; }

// Where the library's default transport name comes from.
constexpr const char *kDefaultTransport = "libxolt.so";
// An entry point every transport has.
constexpr const char *kTransportSymbol = "xolt_open";

}  // namespace

void install_signal_handlers() {
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a wait ends at once
    for (int s : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(s, &action, nullptr);
    }
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}

int pending_signal() { return received_signal; }

void end_by_signal(int signal) {
    std::fflush(nullptr);
    struct sigaction default_action {};
    default_action.sa_handler = SIG_DFL;
    sigemptyset(&default_action.sa_mask);
    sigaction(signal, &default_action, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    raise(signal);
}

const char *signal_name(int signal) {
    switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "signal";
    }
}

std::FILE *LibraryOutput::divert() {
    std::fflush(stdout);
    const int original = dup(STDOUT_FILENO);
    if (original < 0) {
        return nullptr;
    }
    capture_ = std::tmpfile();
    std::FILE *results = fdopen(original, "w");
    if (capture_ == nullptr || results == nullptr || dup2(fileno(capture_), STDOUT_FILENO) < 0) {
        if (results != nullptr) {
            std::fclose(results);
        } else {
            close(original);
        }
        if (capture_ != nullptr) {
            std::fclose(capture_);
            capture_ = nullptr;
        }
        return nullptr;
    }
    return results;
}

std::vector<std::string> LibraryOutput::take_lines() {
    std::vector<std::string> lines;
    if (capture_ == nullptr) {
        return lines;
    }
    std::fflush(stdout);
    char buffer[4096];
    for (;;) {
        const ssize_t got = pread(fileno(capture_), buffer, sizeof buffer, offset_);
        if (got <= 0) {
            break;
        }
        offset_ += got;
        partial_.append(buffer, static_cast<std::size_t>(got));
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
    const char *file = std::getenv("XOLT_LIBRARY");
    return file != nullptr && *file != '\0' ? file : kDefaultTransport;
}

bool transport_exports(const char *name) {
    const std::string file = loaded_transport_file();
    if (file.empty()) {
        return false;
    }
    void *handle = dlopen(file.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr) {
        return false;
    }
    dlerror();
    void *symbol = dlsym(handle, name);
    // Defined in the transport itself, not in one of its dependencies.
    Dl_info where{};
    const bool here = dlerror() == nullptr && symbol != nullptr && dladdr(symbol, &where) != 0 &&
                      where.dli_fname != nullptr && file == where.dli_fname;
    dlclose(handle);  // only drops the reference NOLOAD took
    return here;
}

std::string loaded_transport_file() {
    // The loaded object that itself defines the transport's entry point.
    std::string found;
    dl_iterate_phdr(
        [](struct dl_phdr_info *info, std::size_t, void *data) -> int {
            if (info->dlpi_name == nullptr || *info->dlpi_name == '\0') {
                return 0;
            }
            void *handle = dlopen(info->dlpi_name, RTLD_LAZY | RTLD_NOLOAD);
            if (handle == nullptr) {
                return 0;
            }
            void *symbol = dlsym(handle, kTransportSymbol);
            Dl_info where{};
            const bool here = symbol != nullptr && dladdr(symbol, &where) != 0 && where.dli_fname != nullptr &&
                              std::strcmp(where.dli_fname, info->dlpi_name) == 0;
            dlclose(handle);
            if (here) {
                *static_cast<std::string *>(data) = info->dlpi_name;
                return 1;
            }
            return 0;
        },
        &found);
    return found;
}

void binary_output(std::FILE *) {}

bool is_terminal(std::FILE *stream) { return stream != nullptr && isatty(fileno(stream)) == 1; }

std::string state_directory() {
    if (const char *state = std::getenv("XDG_STATE_HOME"); state != nullptr && *state == '/') {
        return std::string(state) + "/deve-cli";
    }
    const char *home = std::getenv("HOME");
    return home != nullptr && *home != '\0' ? std::string(home) + "/.local/state/deve-cli" : std::string();
}

std::string host_name() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) {
        return {};
    }
    return name;
}

LineRead read_line() {
    std::string line;
    char c = 0;
    for (;;) {
        errno = 0;
        const ssize_t got = read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR) {
            return {};  // interrupted: the run looks at the signal
        }
        if (got < 0) {
            return {std::nullopt, "standard input could not be read: " + std::generic_category().message(errno)};
        }
        if ((got == 0 && line.empty())) {
            return {};  // end of input
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
