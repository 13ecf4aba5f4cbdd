// POSIX side of starting a second program: fork, the streams set up in the
// child, execv; poll and read for its output, waitpid for its end.
#include "test_support/system.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern char **environ;

namespace test_support {

struct StartedProgram::State {
    pid_t pid = -1;
    bool own_group = false;
    std::string start_error;
    int out = -1;  // read ends of the pipes; -1 once at their end
    int err = -1;
    std::string output;
    std::string error_output;
    std::optional<ProgramExit> exit;
    bool kill_sent = false;

    ~State() {
        for (int fd : {out, err}) {
            if (fd >= 0) {
                close(fd);
            }
        }
    }

    void ended(int status) {
        ProgramExit e;
        e.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        e.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + e.signal;
        e.killed = kill_sent && e.signal == SIGKILL;
        exit = e;
    }
};

namespace {

void close_pair(int fds[2]) {
    for (int i = 0; i < 2; ++i) {
        if (fds[i] >= 0) {
            close(fds[i]);
            fds[i] = -1;
        }
    }
}

// In the child, before the program: its environment.
void set_child_environment(const StartOptions &options) {
    std::vector<std::string> removed;
    for (char **e = environ; *e != nullptr; ++e) {
        for (const std::string &prefix : options.env_removed_prefixes) {
            if (std::strncmp(*e, prefix.c_str(), prefix.size()) == 0) {
                removed.emplace_back(*e, std::strchr(*e, '=') - *e);
            }
        }
    }
    for (const std::string &name : removed) {
        unsetenv(name.c_str());
    }
    for (const auto &[name, value] : options.env) {
        setenv(name.c_str(), value.c_str(), 1);
    }
}

}  // namespace

StartedProgram start_program(const std::string &program, const std::vector<std::string> &args,
                             const StartOptions &options) {
    StartedProgram started;
    StartedProgram::State &s = *started.state_;
    s.own_group = options.own_process_group;
    int in[2] = {-1, -1};
    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    const bool input_pipe = options.input.has_value() && options.input_file.empty();
    const bool output_pipe = options.output_file.empty();
    const bool error_pipe = options.error == StartOptions::Error::Pipe && options.error_descriptor < 0;
    if ((input_pipe && pipe(in) != 0) || (output_pipe && pipe(out) != 0) || (error_pipe && pipe(err) != 0)) {
        s.start_error = "cannot make a pipe for " + program;
        close_pair(in);
        close_pair(out);
        close_pair(err);
        return started;
    }
    if (options.output_unread && out[0] >= 0) {
        close(out[0]);  // before the child starts: no write of its can land
        out[0] = -1;
    }
    std::fflush(nullptr);  // nothing buffered is written twice
    const pid_t child = fork();
    if (child < 0) {
        s.start_error = "cannot start " + program + ": " + std::strerror(errno);
        close_pair(in);
        close_pair(out);
        close_pair(err);
        return started;
    }
    if (child == 0) {
        if (options.own_process_group) {
            setpgid(0, 0);
        }
        if (!options.input_file.empty()) {
            dup2(open(options.input_file.c_str(), O_RDONLY), STDIN_FILENO);
        } else if (input_pipe) {
            dup2(in[0], STDIN_FILENO);
        }
        if (output_pipe) {
            dup2(out[1], STDOUT_FILENO);
        } else {
            dup2(open(options.output_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
        }
        if (options.error_descriptor >= 0) {
            dup2(options.error_descriptor, STDERR_FILENO);
        } else if (options.error == StartOptions::Error::WithOutput) {
            dup2(STDOUT_FILENO, STDERR_FILENO);
        } else if (error_pipe) {
            dup2(err[1], STDERR_FILENO);
        }
        close_pair(in);
        close_pair(out);
        close_pair(err);
        set_child_environment(options);
        std::vector<std::string> words{program};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char *> argv;
        for (std::string &w : words) {
            argv.push_back(w.data());
        }
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    if (options.own_process_group) {
        setpgid(child, child);  // whichever of the two runs first
    }
    s.pid = child;
    if (input_pipe) {
        close(in[0]);
        // The input is small: it fits in the pipe.
        const std::string &input = *options.input;
        if (!input.empty()) {
            const ssize_t written = write(in[1], input.data(), input.size());
            (void)written;
        }
        close(in[1]);
    }
    if (out[1] >= 0) {
        close(out[1]);
    }
    if (err[1] >= 0) {
        close(err[1]);
    }
    s.out = out[0];
    s.err = err[0];
    return started;
}

StartedProgram::StartedProgram() : state_(std::make_unique<State>()) {}
StartedProgram::StartedProgram(StartedProgram &&) noexcept = default;
StartedProgram &StartedProgram::operator=(StartedProgram &&) noexcept = default;

StartedProgram::~StartedProgram() {
    if (state_ && state_->pid > 0 && !state_->exit) {
        kill();
        int status = 0;
        waitpid(state_->pid, &status, 0);
    }
}

bool StartedProgram::started() const { return state_->pid > 0; }
const std::string &StartedProgram::start_error() const { return state_->start_error; }
unsigned long StartedProgram::pid() const { return state_->pid > 0 ? static_cast<unsigned long>(state_->pid) : 0; }
const std::string &StartedProgram::output() const { return state_->output; }
const std::string &StartedProgram::error_output() const { return state_->error_output; }

bool StartedProgram::read_output(int timeout_ms) {
    State &s = *state_;
    if (s.out < 0 && s.err < 0) {
        return false;
    }
    pollfd fds[2] = {{s.out, POLLIN, 0}, {s.err, POLLIN, 0}};
    if (::poll(fds, 2, timeout_ms) <= 0) {
        return true;
    }
    char buffer[4096];
    for (int i = 0; i < 2; ++i) {
        int &fd = i == 0 ? s.out : s.err;
        if (fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
            continue;
        }
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0) {
            close(fd);
            fd = -1;
            continue;
        }
        (i == 0 ? s.output : s.error_output).append(buffer, static_cast<std::size_t>(got));
    }
    return s.out >= 0 || s.err >= 0;
}

std::optional<ProgramExit> StartedProgram::poll() {
    State &s = *state_;
    if (!s.exit && s.pid > 0) {
        int status = 0;
        if (waitpid(s.pid, &status, WNOHANG) == s.pid) {
            s.ended(status);
        }
    }
    return s.exit;
}

ProgramExit StartedProgram::wait() {
    State &s = *state_;
    while (read_output(-1)) {
    }
    if (!s.exit && s.pid > 0) {
        int status = 0;
        while (waitpid(s.pid, &status, 0) < 0 && errno == EINTR) {
        }
        s.ended(status);
    }
    return s.exit.value_or(ProgramExit{});
}

void StartedProgram::kill() {
    State &s = *state_;
    if (s.pid <= 0 || s.exit) {
        return;
    }
    s.kill_sent = true;
    ::kill(s.own_group ? -s.pid : s.pid, SIGKILL);
    // Its pipes are read no further: a child of its may hold them open.
    for (int *fd : {&s.out, &s.err}) {
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    }
}

}  // namespace test_support
