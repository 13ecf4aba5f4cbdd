// What tests and benchmarks do through the operating system: environment
// variables, loading a module to look up its exports, and running a second
// program. One implementation per platform (system_posix.cpp,
// system_windows.cpp); the build picks one. Names, values, paths and output
// are UTF-8.
#pragma once

#include <filesystem>
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
// environment variables added to this process's own, and waits for it.
ProgramRun run_program(const std::string &program, const std::vector<std::string> &args,
                       const std::vector<std::pair<std::string, std::string>> &env = {});

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
