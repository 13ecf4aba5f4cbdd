// What tests and benchmarks do through the operating system: environment
// variables, loading a module to look up its exports, and running a second
// program (to its end, or started and then watched, read and killed). One implementation per platform (system_posix.cpp,
// system_windows.cpp); the build picks one. Names, values, paths and output
// are UTF-8.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace test_support {

// Sets an environment variable of this process, seen by getenv and by the
// platform's own environment calls alike. An empty value removes it (Windows
// has no empty variables).
void set_env(const std::string &name, const std::string &value);
void unset_env(const std::string &name);

// The address of an export of a module, loaded by path and kept loaded for
// the life of the program (so a state it holds survives other code loading
// and unloading the same file). Null when the module or the export is
// missing.
void *find_export(const std::string &module, const char *name);

template <typename Fn>
Fn find_export_as(const std::string &module, const char *name) {
    return reinterpret_cast<Fn>(find_export(module, name));
}

// A second program's exit code and its standard output and error together;
// a program that could not be started gives a nonzero code and says why.
struct ProgramRun {
    int exit_code = -1;
    std::string output;
};

// Runs a program with these arguments (without the program's name) and these
// environment variables added to this process's own, and waits for it:
// start_program with standard error beside standard output.
ProgramRun run_program(const std::string &program, const std::vector<std::string> &args,
                       const std::vector<std::pair<std::string, std::string>> &env = {});

// How a started program's standard streams and environment are set.
struct StartOptions {
    // Variables of this process whose names begin with one of these are
    // left out of the program's environment; then `env` is added.
    std::vector<std::string> env_removed_prefixes;
    std::vector<std::pair<std::string, std::string>> env;
    // Standard input: these bytes and then its end. Unset: this process's
    // own standard input.
    std::optional<std::string> input;
    // Standard input read from this file (a folder, say) instead.
    std::string input_file;
    // Standard output to this file, created or emptied, instead of a pipe.
    std::string output_file;
    // Standard error: a pipe of its own (error_output()), the same place as
    // standard output, or this process's own standard error.
    enum class Error { Pipe, WithOutput, Inherited };
    Error error = Error::Pipe;
    // Standard error to this C runtime file descriptor (a terminal, say)
    // instead; -1 for none.
    int error_descriptor = -1;
    // Standard output a pipe whose reader is gone before the program starts:
    // every write of the program's fails.
    bool output_unread = false;
    // The program leads a process group of its own, as a terminal's
    // foreground job (Windows: CREATE_NEW_PROCESS_GROUP); kill() ends the
    // group on POSIX.
    bool own_process_group = false;
};

// How a started program ended.
struct ProgramExit {
    int exit_code = -1;   // 128 + the signal when a signal ended it (POSIX)
    int signal = 0;       // the signal that ended it; 0 when it exited
    bool killed = false;  // kill() ended it before it ended on its own
};

// A second program started and not yet waited for. Its standard output and
// error, where they are pipes, are read by read_output() and wait(); the
// destructor kills and waits for a program still running.
class StartedProgram {
public:
    StartedProgram();
    StartedProgram(StartedProgram &&) noexcept;
    StartedProgram &operator=(StartedProgram &&) noexcept;
    ~StartedProgram();

    // Whether the program started; why not, when it did not.
    bool started() const;
    const std::string &start_error() const;
    // Its process identifier (0 when it did not start).
    unsigned long pid() const;

    // Reads what the program has written, waiting up to `timeout_ms` for
    // something to read; false once every pipe has reached its end.
    bool read_output(int timeout_ms);
    const std::string &output() const;
    const std::string &error_output() const;

    // Its end when it has ended, without waiting.
    std::optional<ProgramExit> poll();
    // Reads the pipes to their end, then waits for the program's end.
    ProgramExit wait();
    // Ends the program at once (SIGKILL, TerminateProcess), its process
    // group with it when it has one of its own, and reads its pipes no
    // further (what was read stays); wait() then gives its end.
    void kill();

    struct State;  // one per platform

private:
    std::unique_ptr<State> state_;
    friend StartedProgram start_program(const std::string &, const std::vector<std::string> &,
                                        const StartOptions &);
};

// Starts a program with these arguments (without the program's name) and
// returns at once.
StartedProgram start_program(const std::string &program, const std::vector<std::string> &args,
                             const StartOptions &options = {});

// This process's identifier, for file names of its own.
unsigned long process_id();

// Removes a directory and everything in it, also paths longer than Windows'
// MAX_PATH; nothing when it is not there.
void remove_tree(const std::filesystem::path &dir);

// The null device: "/dev/null", "NUL".
const char *null_device();

// Special files of a test's own, for code that must refuse them: a FIFO, and
// a character device node (with the null device's numbers, so that nothing
// written to it goes anywhere). False when the platform has none, or (the
// device) when this process may not make one: only root may.
bool make_fifo(const std::filesystem::path &path);
bool make_character_device(const std::filesystem::path &path);

// A library of the system that every program can load: "libc.so.6",
// "kernel32.dll".
const char *system_library();

}  // namespace test_support
