// Starting a second program: its streams, its environment, its end, and a
// kill in the middle of its run; and running one to its end.
#include "test_support/system.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

using test_support::StartOptions;

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

std::string read_file(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(StartedProgram, GetsItsInputAndEnvironmentAndGivesItsOutputsAndExitCode) {
    test_support::set_env("PROBE_REMOVED", "still here");
    StartOptions options;
    options.input = "abc";
    options.env = {{"PROBE_ADDED", "yes"}};
    options.env_removed_prefixes = {"PROBE_REM"};
    test_support::StartedProgram probe = test_support::start_program(PROCESS_PROBE_PATH, {"echo"}, options);
    ASSERT_TRUE(probe.started()) << probe.start_error();
    EXPECT_GT(probe.pid(), 0u);
    const test_support::ProgramExit exit = probe.wait();
    EXPECT_EQ(exit.exit_code, 3);
    EXPECT_EQ(exit.signal, 0);
    EXPECT_FALSE(exit.killed);
    EXPECT_TRUE(contains(probe.output(), "input:abc")) << probe.output();
    EXPECT_TRUE(contains(probe.output(), "added:yes")) << probe.output();
    EXPECT_TRUE(contains(probe.output(), "removed:(none)")) << probe.output();
    EXPECT_FALSE(contains(probe.output(), "standard error"));
    EXPECT_TRUE(contains(probe.error_output(), "a line on standard error")) << probe.error_output();
    ASSERT_TRUE(probe.poll().has_value());
    EXPECT_EQ(probe.poll()->exit_code, 3);

    // Both streams into one file; this process's own variable reaches it.
    const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                       ("process_test_" + std::to_string(test_support::process_id()) + ".log");
    options = {};
    options.input = "";
    options.output_file = file.string();
    options.error = StartOptions::Error::WithOutput;
    test_support::StartedProgram logged = test_support::start_program(PROCESS_PROBE_PATH, {"echo"}, options);
    EXPECT_EQ(logged.wait().exit_code, 3);
    const std::string log = read_file(file);
    std::filesystem::remove(file);
    EXPECT_TRUE(contains(log, "removed:still here")) << log;
    EXPECT_TRUE(contains(log, "a line on standard error")) << log;
    EXPECT_TRUE(logged.output().empty());
    test_support::unset_env("PROBE_REMOVED");
}

TEST(StartedProgram, KilledInTheMiddleOfItsRunEndsAtOnce) {
    const auto started = std::chrono::steady_clock::now();
    test_support::StartedProgram probe = test_support::start_program(PROCESS_PROBE_PATH, {"wait"}, {});
    ASSERT_TRUE(probe.started()) << probe.start_error();
    // "ready" and its line end (CR LF on Windows) before the sleep.
    while (!contains(probe.output(), "ready") && probe.read_output(10000)) {
    }
    ASSERT_TRUE(contains(probe.output(), "ready")) << probe.output();
    EXPECT_FALSE(probe.poll().has_value());  // asleep, still running
    probe.kill();
    const test_support::ProgramExit exit = probe.wait();
    EXPECT_TRUE(exit.killed);
    EXPECT_NE(exit.exit_code, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
    EXPECT_EQ(probe.output().rfind("ready", 0), 0u) << probe.output();

    // One that ended on its own is not reported as killed.
    test_support::StartedProgram ended = test_support::start_program(PROCESS_PROBE_PATH, {"echo"}, {});
    while (ended.read_output(10000)) {
    }
    while (!ended.poll()) {
    }
    ended.kill();
    EXPECT_FALSE(ended.wait().killed);
}

TEST(RunProgram, GivesOutputAndCodeAndSaysWhenItCannotStart) {
    const test_support::ProgramRun run = test_support::run_program(PROCESS_PROBE_PATH, {"echo"}, {{"PROBE_ADDED", "2"}});
    EXPECT_EQ(run.exit_code, 3);
    EXPECT_TRUE(contains(run.output, "added:2")) << run.output;
    EXPECT_TRUE(contains(run.output, "a line on standard error")) << run.output;

    const std::string missing = (std::filesystem::temp_directory_path() / "no-such-program.exe").string();
    const test_support::ProgramRun none = test_support::run_program(missing, {});
    EXPECT_NE(none.exit_code, 0);
    EXPECT_TRUE(contains(none.output, "cannot start")) << none.output;
}

}  // namespace
