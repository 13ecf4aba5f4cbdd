// deve-cli for a production station: a session that keeps the link open,
// the quick open, the run's metadata and the end record's list of failures.
#include "sim_board.h"

#include <QJsonArray>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

using clitest::CliRun;
using clitest::number;
using clitest::one;
using clitest::text;

class CliSession : public clitest::SimBoard {};

TEST_F(CliSession, LinesShareOneLinkAndTheEndListsWhatFailed) {
    const std::string input = "# station check\n"
                              "info\n"
                              "\n"
                              "rx --frames 200 --seconds 3 --max-per 0   # cannot pass\n"
                              "efuse read 'Freq_offset'\n"
                              "quit\n"
                              "info\n";
    const CliRun r = run({"--json", "--meta", "serial=SN-0042", "--meta", "station=7", "session"}, {}, input);
    EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
    const auto all = clitest::records(r.out);
    EXPECT_EQ(types(all), (std::vector<std::string>{"open", "info", "line_end", "rx_sample", "rx", "line_end",
                                                    "efuse_read", "line_end", "close", "end"}));
    EXPECT_EQ(number(one(all, "efuse_read"), "step"), 3);  // steps go on across the lines
    const QJsonObject rx = one(all, "rx");
    EXPECT_EQ(text(rx, "ended_by"), "frames");
    EXPECT_GE(number(rx, "frames"), 200);
    for (const char *type : {"open", "end"}) {
        const QJsonObject o = one(all, type);
        EXPECT_EQ(text(o.value("meta").toObject(), "serial"), "SN-0042") << type;
        EXPECT_EQ(text(o.value("meta").toObject(), "station"), "7") << type;
        EXPECT_FALSE(text(o, "version").empty()) << type;
    }
    const QJsonArray failures = one(all, "end").value("failures").toArray();
    ASSERT_EQ(failures.size(), 1);
    EXPECT_EQ(number(failures.at(0).toObject(), "step"), 2);
    EXPECT_EQ(text(failures.at(0).toObject(), "kind"), "fail");
    EXPECT_TRUE(contains(text(failures.at(0).toObject(), "reason"), "max-per <= 0")) << r.out;
}

TEST_F(CliSession, EveryLineEndsWithARecordThatSaysItIsDone) {
    // A client that writes one line and waits reads its records up to the
    // line_end: the line's number in the input, the steps it ran, its
    // verdict. A line the session refuses ends with one too, before close.
    const std::string input = "info\n"
                              "# a comment line runs nothing and has no record\n"
                              "tune --band 2G --channel 6 rx --frames 100 --seconds 3 --max-per 0\n"
                              "temp\n"
                              "no such command\n"
                              "info\n";
    const CliRun r = run({"--json", "--open", "quick", "session"}, {}, "cal\n" + input);
    EXPECT_EQ(r.exit_code, 2) << r.out << r.err;
    const auto all = clitest::records(r.out);
    const auto ends = clitest::of_type(all, "line_end");
    ASSERT_EQ(ends.size(), 5u) << r.out;
    const struct {
        int line;
        std::vector<int> steps;
        const char *verdict;
    } expected[] = {{1, {1}, "pass"}, {2, {2}, "pass"}, {4, {3, 4}, "fail"}, {5, {5}, "pass"}, {6, {}, "error"}};
    for (std::size_t i = 0; i < ends.size(); ++i) {
        const QJsonObject &e = ends[i];
        EXPECT_EQ(number(e, "line"), expected[i].line) << i;
        std::vector<int> steps;
        for (const QJsonValue v : e.value("steps").toArray()) {
            steps.push_back(v.toInt());
        }
        EXPECT_EQ(steps, expected[i].steps) << i;
        EXPECT_EQ(text(e, "verdict"), expected[i].verdict) << i;
        EXPECT_EQ(number(e, "schema"), 5);
    }
    // Each line_end follows every record of its steps: nothing of a line
    // comes after it.
    for (const QJsonObject &o : all) {
        const int step = static_cast<int>(number(o, "step"));
        if (step == 0) {
            continue;
        }
        for (std::size_t i = 0; i < ends.size(); ++i) {
            for (const QJsonValue v : ends[i].value("steps").toArray()) {
                if (v.toInt() == step) {
                    EXPECT_LT(number(o, "seq"), number(ends[i], "seq")) << text(o, "type");
                }
            }
        }
    }
    EXPECT_EQ(text(all.at(all.size() - 3), "type"), "line_end");  // the refusal's, then close and end
    // The command line has no lines.
    EXPECT_TRUE(clitest::of_type(clitest::records(run({"--json", "--open", "quick", "info"}).out), "line_end").empty());
}

TEST_F(CliSession, ACommandFileIsCheckedBeforeTheLinkOpens) {
    const std::string file = path("station.cmd");
    {
        std::ofstream out(file);
        out << "info\ntune --band 5G --channel 14\n";
    }
    const CliRun bad = run({"--json", "session", "--commands", file});
    EXPECT_EQ(bad.exit_code, 2);
    const auto refused = clitest::records(bad.out);
    EXPECT_TRUE(clitest::of_type(refused, "open").empty()) << bad.out;
    EXPECT_TRUE(contains(text(one(refused, "error"), "message"), "channel '14' is not offered on band 5G"));

    {
        std::ofstream out(file);
        out << "efuse burn Freq_offset 140 --yes\nefuse read Freq_offset\n";
    }
    // Fuse work needs no calibrated radio: the quick open is enough, and a
    // radio test is refused there.
    const CliRun quick = run({"--json", "--open", "quick", "session", "--commands", file});
    EXPECT_EQ(quick.exit_code, 0) << quick.out;
    const auto all = clitest::records(quick.out);
    EXPECT_EQ(text(one(all, "open"), "open"), "quick");
    EXPECT_EQ(text(one(all, "efuse_burn"), "outcome"), "burned");
    const CliRun tx = run({"--json", "--open", "quick", "tx", "--frames", "10"});
    EXPECT_EQ(tx.exit_code, 2);
    EXPECT_EQ(text(one(clitest::records(tx.out), "error"), "kind"), "refused");
}

TEST_F(CliSession, TheStationScriptRunsEndToEnd) {
    const std::string log = path("SN7.jsonl");
    clitest::CliOptions options;
    options.env = {{"XOLT_FUSE_FILE", fuse_file()}, {"DEVE_CLI", DEVE_CLI_PATH}, {"STATION", "line-2"}};
    const CliRun r = clitest::run_program("/bin/sh", {DEVE_CLI_STATION, "SN7", "02:00:00:00:00:07", log}, options);
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "SN7: trim 15")) << r.out;
    std::ifstream in(log);
    const std::string lines((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The session, then the fresh open that verifies the fuses.
    const std::size_t second = lines.find("\"type\":\"open\"", lines.find("\"type\":\"end\""));
    ASSERT_NE(second, std::string::npos) << lines;
    const auto session = clitest::records(lines.substr(0, lines.rfind('\n', second) + 1));
    const auto verify = clitest::records(lines.substr(lines.rfind('\n', second) + 1));
    EXPECT_EQ(text(one(session, "open").value("meta").toObject(), "serial"), "SN7");
    EXPECT_EQ(text(one(session, "trim"), "verdict"), "pass");
    EXPECT_EQ(clitest::of_type(session, "rx").size(), 3u);
    for (const QJsonObject &rx : clitest::of_type(session, "rx")) {
        EXPECT_FALSE(text(rx, "limit_set").empty());
        EXPECT_EQ(text(rx, "verdict"), "pass");
    }
    for (const QJsonObject &burn : clitest::of_type(session, "efuse_burn")) {
        EXPECT_EQ(text(burn, "outcome"), "burned");
    }
    EXPECT_EQ(text(one(verify, "open"), "open"), "quick");
    for (const QJsonObject &burn : clitest::of_type(verify, "efuse_burn")) {
        EXPECT_EQ(text(burn, "outcome"), "unchanged");
    }
}

TEST_F(CliSession, ALimitFileAppliesByOperatingPointAndTheCommandLineOverrides) {
    const std::string file = path("limits.json");
    {
        std::ofstream out(file);
        out << R"({"sets": [
            {"name": "2G", "band": "2G", "limits": {"max-per": 0, "min-frames": 50}},
            {"name": "5G rx", "command": "rx", "band": "5G", "limits": {"max-per": 50}}]})";
    }
    const CliRun r = run({"--json", "--limits", file, "rx", "--frames", "100", "rx", "--frames", "100", "--max-per",
                          "50", "tune", "--band", "5G", "--channel", "36", "rx", "--frames", "100", "tx", "--frames",
                          "100"});
    EXPECT_EQ(r.exit_code, 1) << r.out;
    const auto rx = clitest::of_type(clitest::records(r.out), "rx");
    ASSERT_EQ(rx.size(), 3u);
    const auto limit = [](const QJsonObject &o, int i) { return o.value("limits").toArray().at(i).toObject(); };
    EXPECT_EQ(text(rx[0], "limit_set"), "2G");
    EXPECT_EQ(text(rx[0], "verdict"), "fail");  // 0 % cannot be met
    EXPECT_EQ(number(limit(rx[0], 0), "limit"), 0);
    EXPECT_EQ(text(limit(rx[0], 1), "source"), "set 2G");
    EXPECT_EQ(number(limit(rx[1], 0), "limit"), 50);  // the option wins over the set
    EXPECT_EQ(text(limit(rx[1], 0), "source"), "option");
    EXPECT_EQ(text(rx[1], "verdict"), "pass");
    EXPECT_EQ(text(rx[2], "limit_set"), "5G rx");
    const QJsonObject tx = one(clitest::records(r.out), "tx");
    EXPECT_TRUE(tx.value("limit_set").isNull());  // no set for tx on 5G
    EXPECT_TRUE(tx.value("limits").toArray().isEmpty());

    std::ofstream(file) << R"({"sets": [{"name": "typo", "limits": {"max_per": 8}}]})";
    const CliRun bad = run({"--limits", file, "info"});
    EXPECT_EQ(bad.exit_code, 2);
    EXPECT_TRUE(bad.out.empty());  // refused before the link opens
    EXPECT_TRUE(contains(bad.err, "unknown limit \"max_per\"")) << bad.err;
}

// A line that hands over a limit file expects every run judged: a run no
// set covers fails (unless --unjudged-ok), a set a run cannot meet is
// refused before the link opens, and the end record gives each limit broken
// with the value measured.
TEST_F(CliSession, ALimitFileJudgesEveryRun) {
    const std::string file = path("limits.json");
    std::ofstream(file) << R"({"sets": [
        {"name": "rx 2G", "command": "rx", "band": "2G", "limits": {"max-per": 0, "min-frames": 1000}}]})";
    const CliRun unreachable = run({"--json", "--limits", file, "info", "rx", "--frames", "500"});
    EXPECT_EQ(unreachable.exit_code, 2);
    EXPECT_TRUE(clitest::of_type(clitest::records(unreachable.out), "open").empty());
    EXPECT_TRUE(contains(unreachable.err, "limit set \"rx 2G\" asks for at least 1000 frames")) << unreachable.err;

    const CliRun r = run({"--json", "--limits", file, "rx", "--frames", "1000", "tx", "--frames", "100"});
    EXPECT_EQ(r.exit_code, 1) << r.out;
    const auto all = clitest::records(r.out);
    EXPECT_EQ(text(one(all, "tx"), "verdict"), "fail");
    const QJsonArray failures = one(all, "end").value("failures").toArray();
    ASSERT_EQ(failures.size(), 2);
    const QJsonObject per = failures.at(0).toObject();
    EXPECT_EQ(text(per, "kind"), "fail");
    const QJsonObject broken = per.value("limit").toObject();
    EXPECT_EQ(text(broken, "name"), "max-per");
    EXPECT_EQ(number(broken, "limit"), 0);
    EXPECT_EQ(number(broken, "value"), number(one(all, "rx"), "per"));
    EXPECT_GT(number(broken, "value"), 0);
    const QJsonObject unjudged = failures.at(1).toObject();
    EXPECT_EQ(text(unjudged, "command"), "tx");
    EXPECT_EQ(text(unjudged, "reason"), "no limit set for 2G CH1_2412MHz, 11n-HT20 HT20-MCS7");
    EXPECT_TRUE(unjudged.value("limit").isNull());

    const CliRun allowed = run({"--json", "--limits", file, "--unjudged-ok", "tx", "--frames", "100"});
    EXPECT_EQ(allowed.exit_code, 0) << allowed.out;
}

// The recorded case: a board whose best trim is 151, at 1 ms a register
// access. What the search burns is within a step of 151; a search that
// cannot tell burns nothing. Every reading it used counted its frames with
// the counter block stopped, no more than twice the frames asked.
TEST_F(CliSession, TrimFindOnASlowLinkBurnsTheBoardsTrimOrNothing) {
    const clitest::Env slow{{"XOLT_LINK_LATENCY_US", "1000"}};
    const CliRun r =
        run({"--json", "trim", "find", "--from", "104", "--to", "200", "--max-per", "20", "--burn", "--yes"}, slow);
    const auto all = clitest::records(r.out);
    const QJsonObject trim = one(all, "trim");
    for (const QJsonValue &v : trim.value("points").toArray()) {
        const QJsonObject p = v.toObject();
        const double asked = text(p, "pass") == "fine" ? 200 : 100;
        if (!p.value("rejected").toBool()) {
            EXPECT_LE(number(p, "frames"), 2 * asked) << text(p, "pass") << " " << number(p, "trim");
        }
    }
    if (r.exit_code == 0) {
        EXPECT_NEAR(number(trim, "best"), 151, 1);
        EXPECT_LE(number(trim, "best_per"), 20);
        EXPECT_EQ(text(one(all, "efuse_burn"), "outcome"), "burned");
    } else {
        EXPECT_EQ(r.exit_code, 1) << r.out;
        EXPECT_TRUE(clitest::of_type(all, "efuse_burn").empty());
        EXPECT_EQ(fuse_words()[1], 0u);
    }

    // A best trim outside the acceptance limits burns nothing.
    const CliRun outside = run({"--json", "trim", "find", "--from", "120", "--to", "180", "--max-trim", "140", "--burn",
                                "--yes"});
    EXPECT_EQ(outside.exit_code, 1) << outside.out;
    const auto failed = clitest::records(outside.out);
    EXPECT_TRUE(clitest::of_type(failed, "efuse_burn").empty());
    const QJsonObject limit = one(failed, "end").value("failures").toArray().at(0).toObject().value("limit").toObject();
    EXPECT_EQ(text(limit, "name"), "max-trim");
    EXPECT_EQ(number(limit, "limit"), 140);
    EXPECT_NEAR(number(limit, "value"), 151, 1);
}

TEST_F(CliSession, TrimFindBurnsTheBestTrimAndRunsWithIt) {
    const clitest::Env board{{"XOLT_IDEAL_TRIM", "163"}};
    const CliRun r = run({"--json", "trim", "find", "--from", "130", "--to", "190", "--burn", "--yes", "rx", "--frames",
                          "100"},
                         board);
    EXPECT_EQ(r.exit_code, 0) << r.out;
    const auto all = clitest::records(r.out);
    const QJsonObject trim = one(all, "trim");
    EXPECT_NEAR(number(trim, "best"), 163, 1);
    EXPECT_EQ(text(trim, "method"), "fit");
    const QJsonArray points = trim.value("points").toArray();
    ASSERT_GT(points.size(), 20);
    EXPECT_EQ(text(points.at(0).toObject(), "pass"), "coarse");
    EXPECT_EQ(text(points.last().toObject(), "pass"), "fine");
    const QJsonObject burn = one(all, "efuse_burn");
    EXPECT_EQ(text(burn, "outcome"), "burned");
    EXPECT_EQ(number(burn, "applied_offset"), number(trim, "best"));
    EXPECT_EQ(number(one(all, "rx"), "offset"), number(trim, "best"));
    EXPECT_EQ(fuse_words()[1] & 0xFFFu, 0x4u | static_cast<std::uint32_t>(number(trim, "best")) << 4);

    // A range that does not hold the best fails, and burns nothing.
    const CliRun edge = run({"--json", "trim", "find", "--from", "100", "--to", "130", "--burn", "--yes"}, board);
    EXPECT_EQ(edge.exit_code, 1) << edge.out;
    const auto failed = clitest::records(edge.out);
    EXPECT_TRUE(contains(text(one(failed, "trim"), "verdict"), "fail"));
    EXPECT_TRUE(clitest::of_type(failed, "efuse_burn").empty());
    EXPECT_TRUE(contains(text(one(failed, "end").value("failures").toArray().at(0).toObject(), "reason"),
                         "no trim's error rate stands out"));
}

}  // namespace

namespace {

// Crafted input: a read error is an error (never the end of the input), no
// file is read whole or past its size, a message quotes a short excerpt, and
// nothing aborts.
TEST_F(CliSession, BadInputIsRefusedWithItsReasonAndNeverTakenForItsEnd) {
    // Files as the program names them (Z:\... for a Windows program).
    const auto write = [this](const std::string &name, const std::string &text) {
        std::ofstream(path(name), std::ios::binary) << text;
        return clitest::program_path(path(name));
    };
    const std::string deep = write("deep.json", R"({"sets":[{"name":"deep","limits":{"max-per":)" +
                                                    std::string(100000, '[') + std::string(100000, ']') + "}}]}");
    const std::string big = write("big.json", "");
    std::filesystem::resize_file(path("big.json"), (std::uintmax_t{16} << 20) + 1);
    const std::string folder = clitest::program_path(path(""));
    const std::string bom = write("bom.cmd", "\xEF\xBB\xBFinfo\n");
    const std::string long_line = write("long.cmd", "info\n" + std::string(100000, 'x') + "\n");
    const std::string fifo = path("fifo.bin");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::vector<std::string> args;
        std::string input;
        std::string input_path;
        bool output_unread;
        std::string fuses;  // the board's fuse file, when not the test's own
        int exit_code;
        std::string told;  // in the records, or on standard error
    };
    const Case cases[] = {
        {{"--json", "--open", "quick", "session"}, "", path(""), false, "", 2,
         "line 1: standard input could not be read: Is a directory"},
        {{"--limits", folder, "info"}, "", "", false, "", 2, "is a folder, not a file"},
        {{"--limits", deep, "info"}, "", "", false, "", 2, "it nests deeper than 16 levels"},
        {{"--limits", big, "info"}, "", "", false, "", 2, "is larger than 16 MiB (16777217 bytes)"},
        {{"session", "--commands", big}, "", "", false, "", 2, "the command file " + big + " is larger than 16 MiB"},
        {{"--open", "quick", "session", "--commands", bom}, "", "", false, "", 0, "result: pass"},
        {{"--open", "quick", "session", "--commands", long_line}, "", "", false, "", 2,
         "line 2: a line is longer than 4096 bytes"},
        {{"--json", "--open", "quick", "session"}, "info\n" + std::string(3000, 'x') + "\n", "", false, "", 2,
         "'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx... (3000 bytes)' is not a command"},
        {{"--open", "quick", "info"}, "", "", true, "", 2,
         "deve-cli: standard output could not be written (Broken pipe): the results are lost"},
        // The board's own reason, not a setting's: its fuse file is a FIFO.
        {{"--open", "quick", "info"}, "", "", false, fifo, 3,
         "the board's fuse file (XOLT_FUSE_FILE) cannot be used: it is not a regular file"},
    };
    for (const Case &c : cases) {
        if (clitest::windows_program() && (!c.input_path.empty() || c.output_unread || !c.fuses.empty())) {
            continue;  // folders as input, pipes and FIFOs of POSIX
        }
        clitest::CliOptions options;
        options.env = {{"XOLT_FUSE_FILE", clitest::program_path(c.fuses.empty() ? fuse_file() : c.fuses)}};
        options.input = c.input;
        options.input_path = c.input_path;
        options.output_unread = c.output_unread;
        const CliRun r = clitest::run_cli(c.args, options);
        const std::string seen = r.out + r.err;
        EXPECT_EQ(r.exit_code, c.exit_code) << c.args.back() << ": " << seen.substr(0, 2000);
        EXPECT_TRUE(contains(seen, c.told)) << c.told << "\n" << seen.substr(0, 2000);
        EXPECT_LT(seen.size(), 8000u) << c.told;  // no message repeats the input whole
    }
}

}  // namespace
