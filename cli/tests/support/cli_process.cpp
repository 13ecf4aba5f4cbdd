#include "cli_process.h"

#include "test_support/system.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace clitest {

namespace {

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
    test_support::StartOptions start;
    // The test's own XOLT_* variables do not reach the program: it gets its
    // board from the options alone.
    start.env_removed_prefixes = {"XOLT_"};
    // DEVE_CLI_TEST_ENV=NAME=VALUE,NAME=VALUE: settings every run of the
    // suite gets (the recording transport in front of the board); the run's
    // own settings come after them and win.
    const std::string common = environment("DEVE_CLI_TEST_ENV");
    for (std::size_t at = 0; at < common.size();) {
        std::size_t end = common.find(',', at);
        end = end == std::string::npos ? common.size() : end;
        const std::string pair = common.substr(at, end - at);
        const std::size_t eq = pair.find('=');
        if (eq != std::string::npos) {
            start.env.emplace_back(pair.substr(0, eq), pair.substr(eq + 1));
        }
        at = end + 1;
    }
    start.env.insert(start.env.end(), options.env.begin(), options.env.end());
    start.input = options.input;
    start.input_file = options.input_path;
    start.error_descriptor = options.stderr_fd;
    start.output_unread = options.output_unread;
    start.own_process_group = options.own_process_group;
    test_support::StartedProgram child = test_support::start_program(program_path, args, start);
    if (!child.started()) {
        throw std::runtime_error(child.start_error());
    }
    const auto pid = static_cast<pid_t>(child.pid());
    std::size_t delivered = 0;  // bytes of the output handed to on_line
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeout_seconds);
    for (bool open = true; open;) {
        open = child.read_output(200);
        if (std::chrono::steady_clock::now() > deadline) {
            child.kill();
            break;
        }
        if (options.on_line) {
            const std::string &out = child.output();
            for (std::size_t nl = out.find('\n', delivered); nl != std::string::npos; nl = out.find('\n', delivered)) {
                options.on_line(out.substr(delivered, nl - delivered), pid);
                delivered = nl + 1;
            }
        }
    }
    const test_support::ProgramExit exit = child.wait();
    CliRun run;
    run.exit_code = exit.exit_code;
    run.signal = exit.signal;
    run.out = child.output();
    run.err = child.error_output();
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
