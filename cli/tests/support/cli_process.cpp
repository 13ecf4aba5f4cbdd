#include "cli_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

extern char **environ;

namespace clitest {

namespace {

void close_fd(int &fd) {
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

std::string environment(const char *name) {
    const char *value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

std::string cli_program() {
    const std::string program = environment("DEVE_CLI_PROGRAM");
    return program.empty() ? DEVE_CLI_PATH : program;
}

bool windows_program() {
    const std::string program = cli_program();
    return program.size() > 4 && program.compare(program.size() - 4, 4, ".exe") == 0;
}

std::string program_path(const std::string &path) {
    if (!windows_program()) {
        return path;
    }
    std::string windows = "Z:" + std::filesystem::absolute(path).string();
    std::replace(windows.begin(), windows.end(), '/', '\\');
    return windows;
}

std::vector<std::string> CliRun::out_lines() const {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t nl = out.find('\n'); nl != std::string::npos; nl = out.find('\n', start)) {
        lines.push_back(out.substr(start, nl - start));
        start = nl + 1;
    }
    if (start < out.size()) {
        lines.push_back(out.substr(start));
    }
    return lines;
}

CliRun run_cli(const std::vector<std::string> &args, const CliOptions &options) {
    const std::string launcher = environment("DEVE_CLI_LAUNCHER");
    if (launcher.empty()) {
        return run_program(cli_program(), args, options);
    }
    std::vector<std::string> words{cli_program()};
    words.insert(words.end(), args.begin(), args.end());
    CliRun result = run_program(launcher, words, options);
    if (windows_program()) {
        // Standard error is in text mode on Windows: CRLF.
        for (std::size_t cr = result.err.find("\r\n"); cr != std::string::npos; cr = result.err.find("\r\n", cr)) {
            result.err.erase(cr, 1);
        }
    }
    return result;
}

CliRun run_program(const std::string &program_path, const std::vector<std::string> &args,
                   const CliOptions &options) {
    int in_pipe[2];
    int out_pipe[2];
    int err_pipe[2];
    if (pipe(in_pipe) != 0 || pipe(out_pipe) != 0 || pipe(err_pipe) != 0) {
        throw std::runtime_error("pipe failed");
    }
    if (options.output_unread) {
        close_fd(out_pipe[0]);  // before the child starts: no write of its can land
    }
    const pid_t child = fork();
    if (child < 0) {
        throw std::runtime_error("fork failed");
    }
    if (child == 0) {
        if (options.own_process_group) {
            setpgid(0, 0);
        }
        const int input = options.input_path.empty() ? in_pipe[0] : open(options.input_path.c_str(), O_RDONLY);
        dup2(input, STDIN_FILENO);
        dup2(out_pipe[1], STDOUT_FILENO);
        dup2(options.stderr_fd >= 0 ? options.stderr_fd : err_pipe[1], STDERR_FILENO);
        for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) {
            if (fd >= 0) {
                close(fd);
            }
        }
        std::vector<std::string> names;
        for (char **e = environ; *e != nullptr; ++e) {
            if (std::strncmp(*e, "XOLT_", 5) == 0) {
                names.emplace_back(*e, std::strchr(*e, '=') - *e);
            }
        }
        for (const std::string &n : names) {
            unsetenv(n.c_str());
        }
        // DEVE_CLI_TEST_ENV=NAME=VALUE,NAME=VALUE: settings every run of the
        // suite gets (the recording transport in front of the board).
        const std::string common = environment("DEVE_CLI_TEST_ENV");
        for (std::size_t at = 0; at < common.size();) {
            std::size_t end = common.find(',', at);
            end = end == std::string::npos ? common.size() : end;
            const std::string pair = common.substr(at, end - at);
            const std::size_t eq = pair.find('=');
            if (eq != std::string::npos) {
                setenv(pair.substr(0, eq).c_str(), pair.substr(eq + 1).c_str(), 1);
            }
            at = end + 1;
        }
        for (const auto &[name, value] : options.env) {
            setenv(name.c_str(), value.c_str(), 1);
        }
        std::vector<char *> argv;
        std::string program = program_path;
        argv.push_back(program.data());
        std::vector<std::string> copies = args;
        for (std::string &a : copies) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    if (options.own_process_group) {
        setpgid(child, child);  // whichever of the two runs first
    }
    close(in_pipe[0]);
    close(out_pipe[1]);
    close(err_pipe[1]);
    int to_child = in_pipe[1];
    int from_out = out_pipe[0];
    int from_err = err_pipe[0];
    // The input is small: it fits in the pipe.
    if (!options.input.empty()) {
        const ssize_t written = write(to_child, options.input.data(), options.input.size());
        (void)written;
    }
    close_fd(to_child);

    CliRun run;
    std::size_t delivered = 0;  // bytes of run.out handed to on_line
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeout_seconds);
    while (from_out >= 0 || from_err >= 0) {
        pollfd fds[2] = {{from_out, POLLIN, 0}, {from_err, POLLIN, 0}};
        const int ready = poll(fds, 2, 200);
        if (std::chrono::steady_clock::now() > deadline) {
            kill(options.own_process_group ? -child : child, SIGKILL);
            break;
        }
        if (ready <= 0) {
            continue;
        }
        char buffer[4096];
        for (int i = 0; i < 2; ++i) {
            int &fd = i == 0 ? from_out : from_err;
            if (fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
                continue;
            }
            const ssize_t got = read(fd, buffer, sizeof buffer);
            if (got <= 0) {
                close_fd(fd);
                continue;
            }
            (i == 0 ? run.out : run.err).append(buffer, static_cast<std::size_t>(got));
        }
        if (options.on_line) {
            for (std::size_t nl = run.out.find('\n', delivered); nl != std::string::npos;
                 nl = run.out.find('\n', delivered)) {
                options.on_line(run.out.substr(delivered, nl - delivered), child);
                delivered = nl + 1;
            }
        }
    }
    close_fd(from_out);
    close_fd(from_err);
    int status = 0;
    waitpid(child, &status, 0);
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return run;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "deve-cli-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void write_fuse_file(const std::string &path, const std::vector<std::uint32_t> &words) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (std::size_t i = 0; i < 8; ++i) {
        const std::uint32_t w = i < words.size() ? words[i] : 0;
        for (int b = 0; b < 4; ++b) {
            out.put(static_cast<char>((w >> (8 * b)) & 0xFFu));
        }
    }
}

}  // namespace clitest
