// The radio is left safe on every way out, also when the operator presses
// Ctrl-C or the program is terminated; progress shows on a terminal only.
#include "sim_board.h"

#include <QJsonArray>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <regex>
#include <thread>

namespace {

using clitest::CliRun;
using clitest::number;
using clitest::one;
using clitest::text;

class CliSafety : public clitest::SimBoard {};

// The values written to a register, in order, from the board's access trace.
std::vector<std::uint32_t> writes_to(const std::string &trace, const char *address) {
    std::vector<std::uint32_t> out;
    const std::regex line(std::string("xolt: write ") + address + " <- 0x([0-9A-F]{8})");
    for (auto it = std::sregex_iterator(trace.begin(), trace.end(), line); it != std::sregex_iterator(); ++it) {
        out.push_back(static_cast<std::uint32_t>(std::stoul((*it)[1].str(), nullptr, 16)));
    }
    return out;
}

// Runs a test for a long time and sends `signal` once the first sample of
// `sample_type` is out.
CliRun interrupted(const std::function<CliRun(std::function<void(const std::string &, pid_t)>)> &go,
                   const char *sample_type, int signal) {
    bool sent = false;
    return go([&](const std::string &line, pid_t child) {
        if (!sent && line.find(std::string("\"type\":\"") + sample_type + "\"") != std::string::npos) {
            kill(child, signal);
            sent = true;
        }
    });
}

TEST_F(CliSafety, CtrlCDuringTransmissionLeavesTheGeneratorOff) {
    const auto started = std::chrono::steady_clock::now();
    const CliRun r = interrupted(
        [&](auto on_line) {
            return run({"--json", "tx", "--seconds", "60"}, {{"XOLT_TRACE", "1"}}, {}, on_line);
        },
        "tx_sample", SIGINT);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
    EXPECT_EQ(r.exit_code, 130);
    if (!clitest::windows_program()) {
        EXPECT_EQ(r.signal, SIGINT);  // the program ends by the signal itself, once the radio is safe
    }
    const auto all = clitest::records(r.out);
    EXPECT_EQ(text(one(all, "interrupted"), "signal"), "SIGINT");
    const QJsonObject tx = one(all, "tx");
    EXPECT_FALSE(tx.value("complete").toBool());
    EXPECT_EQ(text(tx, "verdict"), "fail");
    const QJsonObject close = one(all, "close");
    EXPECT_EQ(text(close, "transmitter"), "off");
    EXPECT_EQ(text(close, "radio_mode"), "standby");
    EXPECT_EQ(number(one(all, "end"), "exit_code"), 130);
    const QJsonObject cut = one(all, "end").value("failures").toArray().at(0).toObject();
    EXPECT_EQ(text(cut, "kind"), "interrupted");
    EXPECT_EQ(text(cut, "command"), "tx");

    // The chip's own record: the generator was started, and the last word
    // written to its control register switches it off (bit 0 clear).
    const std::vector<std::uint32_t> generator = writes_to(r.err, "0xCCB0E018");
    ASSERT_FALSE(generator.empty()) << r.err.substr(0, 2000);
    EXPECT_NE(std::find(generator.begin(), generator.end(), 0x0055083Du), generator.end());
    EXPECT_EQ(generator.back() & 1u, 0u);
    const std::vector<std::uint32_t> mode = writes_to(r.err, "0xCCB0A400");
    ASSERT_FALSE(mode.empty());
    EXPECT_EQ((mode.back() >> 8) & 7u, 0u);  // RG_MODE: standby
}

TEST_F(CliSafety, TerminationDuringReceptionStopsTheCounters) {
    if (clitest::windows_program()) {
        GTEST_SKIP() << "Wine ends a Windows program outright on SIGTERM; only Ctrl-C (SIGINT) reaches its console "
                        "handler";
    }
    const CliRun r = interrupted(
        [&](auto on_line) {
            return run({"--json", "rx", "--seconds", "60"}, {{"XOLT_TRACE", "1"}}, {}, on_line);
        },
        "rx_sample", SIGTERM);
    EXPECT_EQ(r.exit_code, 143);
    EXPECT_EQ(r.signal, SIGTERM);
    const auto all = clitest::records(r.out);
    EXPECT_EQ(text(one(all, "interrupted"), "signal"), "SIGTERM");
    EXPECT_EQ(text(one(all, "close"), "receiver"), "off");
    // The OFDM counter block (mode 11n-HT20) was counting and ends stopped.
    const std::vector<std::uint32_t> counters = writes_to(r.err, "0xCCB0F3F8");
    ASSERT_FALSE(counters.empty());
    EXPECT_NE(std::find(counters.begin(), counters.end(), 0x00100001u), counters.end());
    EXPECT_EQ(counters.back() & 0x00100000u, 0u);
}

// A station script that runs deve-cli and then goes on to the next board
// stops at Ctrl-C, as it would for any other program: Ctrl-C reaches the
// terminal's whole foreground job, the shell waits for deve-cli, and stops
// only when deve-cli ends by the signal (not merely with exit code 130).
// The radio is safe first, and the records end with the end record. A
// hang-up ends the program by the same signal too.
TEST_F(CliSafety, CtrlCStopsTheScriptThatRanTheProgram) {
    if (clitest::windows_program()) {
        GTEST_SKIP() << "a Windows program ends with an exit code, not by a signal";
    }
    if (access("/bin/bash", X_OK) != 0) {
        GTEST_SKIP() << "no /bin/bash";
    }
    clitest::CliOptions options;
    options.env = {{"XOLT_FUSE_FILE", fuse_file()}};
    options.own_process_group = true;
    bool sent = false;
    options.on_line = [&sent](const std::string &line, pid_t shell) {
        if (!sent && line.find("\"type\":\"tx_sample\"") != std::string::npos) {
            kill(-shell, SIGINT);
            sent = true;
        }
    };
    const CliRun r = clitest::run_program(
        "/bin/bash", {"-c", "\"$0\" --json tx --seconds 60; echo \"after: $?\"", clitest::cli_program()}, options);
    ASSERT_TRUE(sent) << r.err;
    EXPECT_FALSE(contains(r.out, "after:")) << r.out.substr(r.out.size() > 300 ? r.out.size() - 300 : 0);
    EXPECT_EQ(r.signal, SIGINT);
    const auto all = clitest::records(r.out);
    EXPECT_EQ(text(one(all, "close"), "transmitter"), "off");
    EXPECT_EQ(text(all.back(), "type"), "end");

    const CliRun hangup = interrupted(
        [&](auto on_line) { return run({"--json", "rx", "--seconds", "60"}, {}, {}, on_line); }, "rx_sample", SIGHUP);
    EXPECT_EQ(hangup.signal, SIGHUP);
    EXPECT_EQ(hangup.exit_code, 129);
    EXPECT_EQ(text(one(clitest::records(hangup.out), "close"), "receiver"), "off");
}

TEST_F(CliSafety, PipedOutputGetsNoProgress) {
    const CliRun r = run({"cal", "dpd", "off"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err.find('\r'), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find('\r'), std::string::npos);
    EXPECT_FALSE(contains(r.err, "calibrating")) << r.err;
}

// Runs the program with standard error on a pseudo-terminal and returns what
// the terminal showed.
std::string on_a_terminal(const std::vector<std::string> &args, const std::string &fuse_file, int &exit_code) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    EXPECT_GE(master, 0);
    EXPECT_EQ(grantpt(master), 0);
    EXPECT_EQ(unlockpt(master), 0);
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    EXPECT_GE(slave, 0);
    std::string shown;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        char buffer[1024];
        while (!done) {
            pollfd fd{master, POLLIN, 0};
            if (poll(&fd, 1, 50) > 0) {
                const ssize_t got = read(master, buffer, sizeof buffer);
                if (got > 0) {
                    shown.append(buffer, static_cast<std::size_t>(got));
                }
            }
        }
    });
    clitest::CliOptions options;
    options.env = {{"XOLT_FUSE_FILE", fuse_file}};
    options.stderr_fd = slave;
    exit_code = clitest::run_cli(args, options).exit_code;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    done = true;
    reader.join();
    close(slave);
    close(master);
    return shown;
}

// Wine draws a Windows program's console on the terminal itself, with cursor
// and erase sequences, and a space may come as a cursor move: the text as it
// reads on the screen.
std::string as_read(const std::string &shown) {
    std::string text;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        if (shown[i] != '\x1b' || i + 1 >= shown.size() || shown[i + 1] != '[') {
            text += shown[i];
            continue;
        }
        std::size_t end = i + 2;
        while (end < shown.size() && (std::isdigit(static_cast<unsigned char>(shown[end])) != 0 ||
                                      shown[end] == '?' || shown[end] == ';')) {
            ++end;
        }
        if (end < shown.size() && shown[end] == 'C') {  // cursor forward
            const std::string count = shown.substr(i + 2, end - i - 2);
            text.append(count.empty() ? 1 : std::stoul(count), ' ');
        }
        i = end;
    }
    return text;
}

TEST_F(CliSafety, ProgressShowsOnATerminal) {
    int code = -1;
    const std::string shown = as_read(on_a_terminal({"cal"}, fuse_file(), code));
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(contains(shown, "open: ")) << shown;
    EXPECT_TRUE(contains(shown, "calibrat")) << shown;
    if (!clitest::windows_program()) {  // Wine's drawing rewrites the carriage returns
        EXPECT_TRUE(contains(shown, "\r")) << shown;
    }
    const std::string quiet = as_read(on_a_terminal({"--no-progress", "cal"}, fuse_file(), code));
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(contains(quiet, "calibrat")) << quiet;
}

}  // namespace
