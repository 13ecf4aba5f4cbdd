// Runs the deve-cli program as a child process on the simulated board, with
// its own environment, standard input, and its output collected.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace clitest {

// The deve-cli under test: DEVE_CLI_PROGRAM when set (deve-cli.exe, say),
// else the one built with the tests; started through DEVE_CLI_LAUNCHER when
// that is set (wine64).
std::string cli_program();
// True when the program under test is a Windows program (run under Wine).
bool windows_program();
// A path of this machine as the program under test names it: Z:\tmp\x for
// /tmp/x when it is a Windows program.
std::string program_path(const std::string &path);

struct CliRun {
    int exit_code = -1;  // 128 + signal when the program was killed
    int signal = 0;      // the signal that killed it; 0 when it exited
    std::string out;     // standard output
    // Standard error (empty when it went to a terminal); a Windows program's
    // CRLF line ends read as LF.
    std::string err;
    std::vector<std::string> out_lines() const;
};

struct CliOptions {
    // Set in the child after every XOLT_* variable of the test's own
    // environment has been removed (and after those of DEVE_CLI_TEST_ENV,
    // NAME=VALUE,NAME=VALUE, which every run of the suite gets).
    std::vector<std::pair<std::string, std::string>> env;
    // Written to the program's standard input, which is then closed.
    std::string input;
    // Called for every line of standard output as it arrives, with the
    // child's process id.
    std::function<void(const std::string &line, pid_t child)> on_line;
    // When >= 0: the program's standard error (a terminal, say) instead of
    // a pipe.
    int stderr_fd = -1;
    // When set: standard input opened from this path (a folder, say)
    // instead of `input`.
    std::string input_path;
    // Standard output a pipe whose reader has gone: every write fails.
    bool output_unread = false;
    // The program runs in a process group of its own (as a terminal's
    // foreground job), which a signal to -pid reaches as a whole.
    bool own_process_group = false;
    // The program is killed after this many seconds.
    int timeout_seconds = 120;
};

// Runs deve-cli (cli_program(), through the launcher) with these arguments
// (without the program name).
CliRun run_cli(const std::vector<std::string> &args, const CliOptions &options = {});
// Runs another program the same way (without a launcher).
CliRun run_program(const std::string &program, const std::vector<std::string> &args, const CliOptions &options);

// A fresh directory under the system's temporary directory, removed by the
// destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Writes a fuse file of the simulated board: eight words, little endian.
void write_fuse_file(const std::string &path, const std::vector<std::uint32_t> &words);

}  // namespace clitest
