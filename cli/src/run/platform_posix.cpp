#include "platform.h"

#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <system_error>

namespace deve::cli::platform {

namespace {

volatile std::sig_atomic_t received_signal = 0;

extern "C" void on_signal(int signal) { received_signal = signal; }

// Where the library's default transport name comes from.
constexpr const char *kDefaultTransport = "libxolt.so";

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

std::string requested_transport_file() {
    const char *file = std::getenv("XOLT_LIBRARY");
    return file != nullptr && *file != '\0' ? file : kDefaultTransport;
}

bool transport_exports(const std::string &file, const char *name) {
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
