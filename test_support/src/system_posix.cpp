// POSIX side of the test-support seam: setenv, dlopen/dlsym, fork/exec.
#include "test_support/system.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace test_support {

void set_env(const std::string &name, const std::string &value) {
    if (value.empty()) {
        unsetenv(name.c_str());
    } else {
        setenv(name.c_str(), value.c_str(), 1);
    }
}

void unset_env(const std::string &name) { unsetenv(name.c_str()); }

void *find_export(const std::string &module, const char *name) {
    void *handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    return handle != nullptr ? dlsym(handle, name) : nullptr;
}

ProgramRun run_program(const std::string &program, const std::vector<std::string> &args,
                       const std::vector<std::pair<std::string, std::string>> &env) {
    ProgramRun run;
    int out[2];
    if (pipe(out) != 0) {
        run.output = "cannot make a pipe for " + program;
        return run;
    }
    const pid_t child = fork();
    if (child < 0) {
        close(out[0]);
        close(out[1]);
        run.output = "cannot start " + program;
        return run;
    }
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(out[1], STDERR_FILENO);
        close(out[0]);
        close(out[1]);
        for (const auto &[name, value] : env) {
            set_env(name, value);
        }
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
    close(out[1]);
    char buffer[4096];
    for (ssize_t got; (got = read(out[0], buffer, sizeof buffer)) > 0;) {
        run.output.append(buffer, static_cast<std::size_t>(got));
    }
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (run.exit_code == 127 && run.output.empty()) {
        run.output = "cannot start " + program;
    }
    return run;
}

void remove_tree(const std::filesystem::path &dir) {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

unsigned long process_id() { return static_cast<unsigned long>(getpid()); }

const char *null_device() { return "/dev/null"; }

bool make_fifo(const std::filesystem::path &path) { return mkfifo(path.c_str(), 0600) == 0; }

bool make_character_device(const std::filesystem::path &path) {
    constexpr unsigned kMemoryDevices = 1;  // the major number of the null device
    constexpr unsigned kNull = 3;
    return geteuid() == 0 && mknod(path.c_str(), S_IFCHR | 0600, makedev(kMemoryDevices, kNull)) == 0;
}

const char *system_library() { return "libc.so.6"; }

}  // namespace test_support
