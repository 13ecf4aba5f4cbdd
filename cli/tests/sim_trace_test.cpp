// Recording the link with the recording transport, playing it back with the
// replay transport and no board, reading the traces, and the link check:
// deve-cli end to end on the simulated board.
#include "sim_board.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <signal.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

namespace {

using clitest::CliRun;
using clitest::Env;
using clitest::number;
using clitest::one;
using clitest::text;

const std::string kTap = XOLT_TAP_PATH;
const std::string kReplay = XOLT_REPLAY_PATH;
const std::string kBoard = SIM_XOLT_PATH;

// The station's flow on one link: identity, eFuse items, the trim search
// with the best trim burnt, the MAC address burnt, transmit and receive at
// two operating points against the station's limits.
const std::string kStation = "info\n"
                             "efuse read\n"
                             "trim find --from 100 --to 200 --burn --yes\n"
                             "mac write 02:00:00:00:00:42 --if-blank --yes\n"
                             "tune --band 2G --channel 6 --mode 11n-HT20\n"
                             "tx --frames 2000 --seconds 5\n"
                             "rx --frames 1000 --seconds 5\n"
                             "tune --band 5G --channel 36 --mode 11g-OFDM --rate 7-OFDM-54M\n"
                             "tx --frames 2000 --seconds 5\n"
                             "rx --frames 1000 --seconds 5\n";

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void write_file(const std::string &path, const std::string &text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// The entry lines of a trace file, in order (the header and section lines
// left out): entry i of deve-cli's numbering is lines[i - 1].
std::vector<std::string> entry_lines(const std::string &trace) {
    std::vector<std::string> lines;
    std::istringstream in(trace);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("xolt-trace ", 0) != 0 && line.rfind("begin ", 0) != 0) {
            lines.push_back(line);
        }
    }
    return lines;
}

// The 1-based index of the first entry line that starts with `prefix` and
// holds `part`; 0 when none.
std::size_t first_entry(const std::vector<std::string> &lines, const std::string &prefix, const std::string &part) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind(prefix, 0) == 0 && lines[i].find(part) != std::string::npos) {
            return i + 1;
        }
    }
    return 0;
}

// A run's records without what time decides: the times, the run id, the
// elapsed time and the rates (also as measured values of limits and in a
// transmit run's sequential test), the
// once-a-second samples (their split of the
// frames follows the clock) and the record numbers they shift; and the
// transport's file names.
std::vector<std::string> timeless(const std::vector<QJsonObject> &all) {
    std::vector<std::string> out;
    for (QJsonObject o : all) {
        const QString type = o.value("type").toString();
        if (type == "tx_sample" || type == "rx_sample") {
            continue;
        }
        for (const char *key : {"time", "started_at", "run_id", "seq", "elapsed", "frames_per_second",
                                "transport_requested", "transport_loaded", "seconds"}) {
            o.remove(key);
        }
        // A measured rate per second is a time too, and so is the log-likelihood
        // ratio of a transmit rate's sequential test.
        if (type == "tx" && o.value("sequential").isObject()) {
            QJsonObject sequential = o.value("sequential").toObject();
            sequential.remove("llr");
            o.insert("sequential", sequential);
        }
        QJsonArray limits = o.value("limits").toArray();
        for (int i = 0; i < limits.size(); ++i) {
            QJsonObject limit = limits.at(i).toObject();
            if (limit.value("unit").toString() == "frame/s") {
                limit.remove("value");
                limits.replace(i, limit);
            }
        }
        if (o.contains("limits")) {
            o.insert("limits", limits);
        }
        out.push_back(QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString());
    }
    return out;
}

class CliTrace : public clitest::SimBoard {
protected:
    std::string trace() const { return path("link.trace"); }
    Env tap() const { return {{"XOLT_LIBRARY", kTap}, {"XOLT_TAP_TARGET", kBoard}, {"XOLT_TAP_FILE", trace()}}; }
    static Env replay(const std::string &file, const std::string &mode = "strict") {
        return {{"XOLT_LIBRARY", kReplay}, {"XOLT_REPLAY_FILE", file}, {"XOLT_REPLAY_MODE", mode}};
    }
};

TEST_F(CliTrace, AStationFlowReplaysWithoutTheBoardAndAChangedWriteFailsAtItsEntry) {
    const std::vector<std::string> station = {"--json", "--limits", DEVE_STATION_LIMITS, "session"};
    const CliRun recorded = run(station, tap(), kStation);
    ASSERT_EQ(recorded.exit_code, 0) << recorded.out << recorded.err;
    const auto live = clitest::records(recorded.out);
    EXPECT_EQ(clitest::of_type(live, "efuse_burn").size(), 2u);  // the trim and the MAC address
    const std::vector<std::string> lines = entry_lines(read_file(trace()));
    ASSERT_GT(lines.size(), 1000u);

    // No board: the fuse file is gone, the records are the same.
    std::filesystem::remove(fuse_file());
    for (const char *mode : {"strict", "writes"}) {
        const CliRun again = run(station, replay(trace(), mode), kStation);
        EXPECT_EQ(again.exit_code, 0) << mode << again.out << again.err;
        const std::vector<std::string> replayed = timeless(clitest::records(again.out));
        const std::vector<std::string> recorded = timeless(live);
        ASSERT_EQ(replayed.size(), recorded.size()) << mode;
        for (std::size_t i = 0; i < recorded.size(); ++i) {
            EXPECT_EQ(replayed[i], recorded[i]) << mode;
        }
        EXPECT_FALSE(std::filesystem::exists(fuse_file()));
    }

    // The library's sequence changed: the LDO supply writes another power
    // management word. Strict and write-order replays stop at that write.
    const std::size_t supply = first_entry(lines, "write_reg ", "ccb0b008");
    ASSERT_NE(supply, 0u);
    for (const char *mode : {"strict", "writes"}) {
        const CliRun changed = run({"--json", "--supply", "LDO", "--limits", DEVE_STATION_LIMITS, "session"},
                                   replay(trace(), mode), kStation);
        EXPECT_EQ(changed.exit_code, 3) << mode << changed.out;
        EXPECT_TRUE(contains(changed.err, "xolt_replay: the call differs from the trace at entry " +
                                              std::to_string(supply) +
                                              ": recorded write_reg ADR_PMU_CONTROL <- 0x00000001, got write_reg "
                                              "ADR_PMU_CONTROL <- 0x00000000"))
            << mode << changed.err;
    }

    // A write of the transmit test seeded with another value in the trace:
    // the replay runs up to that write and stops there.
    const std::size_t generator = first_entry(lines, "write_reg ", "ccb0e018");
    ASSERT_NE(generator, 0u);
    std::string seeded;
    std::vector<std::string> changed_lines = lines;
    std::smatch value;
    ASSERT_TRUE(std::regex_search(lines[generator - 1], value, std::regex("ccb0e018 ([0-9a-f]{8})$")));
    const std::uint32_t original = static_cast<std::uint32_t>(std::stoul(value[1].str(), nullptr, 16));
    char replaced[9];
    std::snprintf(replaced, sizeof replaced, "%08x", original ^ 0x4u);
    changed_lines[generator - 1] = std::regex_replace(lines[generator - 1], std::regex("[0-9a-f]{8}$"), replaced);
    const std::string text_of_trace = read_file(trace());
    seeded = text_of_trace.substr(0, text_of_trace.find('\n', text_of_trace.find("begin ")) + 1);
    for (const std::string &l : changed_lines) {
        seeded += l + "\n";
    }
    write_file(path("seeded.trace"), seeded);
    const CliRun caught = run(station, replay(path("seeded.trace")), kStation);
    EXPECT_EQ(caught.exit_code, 3) << caught.out;
    EXPECT_TRUE(contains(caught.err, "at entry " + std::to_string(generator) + ": recorded write_reg ADR_PKTGEN_CONTROL <- 0x" +
                                         replaced))
        << caught.err;

    // trace diff finds the same entry between the recording and the seeded one.
    const CliRun diff = run({"--json", "trace", "diff", trace(), path("seeded.trace")});
    EXPECT_EQ(diff.exit_code, 1) << diff.out << diff.err;
    const QJsonObject d = one(clitest::records(diff.out), "trace_diff");
    EXPECT_EQ(number(d.value("first_difference").toObject(), "index"), static_cast<double>(generator));
    EXPECT_EQ(number(d, "differing_after"), 0);
    const CliRun same = run({"trace", "diff", trace(), trace()});
    EXPECT_EQ(same.exit_code, 0) << same.out;
    EXPECT_TRUE(contains(same.out, "the same calls in the same order")) << same.out;
}

TEST_F(CliTrace, StatsCountTheCallsByEntryPointAndRegister) {
    const CliRun recorded = run({"--json", "--open", "quick", "info", "reg", "read", "0xC0000010"}, tap());
    ASSERT_EQ(recorded.exit_code, 0) << recorded.err;
    const std::vector<std::string> lines = entry_lines(read_file(trace()));
    const auto revision_reads = static_cast<double>(
        std::count_if(lines.begin(), lines.end(), [](const std::string &l) { return l.rfind("read_reg ", 0) == 0 &&
                                                                                    l.find(" c0000010 ") != std::string::npos; }));
    const CliRun stats = run({"trace", "stats", trace(), "--json"});
    ASSERT_EQ(stats.exit_code, 0) << stats.err;
    const QJsonObject s = one(clitest::records(stats.out), "trace_stats");
    EXPECT_EQ(number(s, "entries"), static_cast<double>(lines.size()));
    double calls = 0;
    for (const QJsonValue &v : s.value("entry_points").toArray()) {
        calls += number(v.toObject(), "calls");
    }
    EXPECT_EQ(calls, static_cast<double>(lines.size()));
    bool found = false;
    for (const QJsonValue &v : s.value("registers").toArray()) {
        if (text(v.toObject(), "name") == "ADR_CHIP_REVISION") {
            found = true;
            EXPECT_EQ(number(v.toObject(), "reads"), revision_reads);
            EXPECT_EQ(number(v.toObject(), "writes"), 0);
        }
    }
    EXPECT_TRUE(found) << stats.out;
    EXPECT_LE(number(s, "median_us"), number(s, "p99_us"));
    EXPECT_LE(number(s, "p99_us"), number(s, "max_us"));
    const CliRun show = run({"trace", "show", trace()});
    EXPECT_EQ(show.exit_code, 0);
    EXPECT_TRUE(contains(show.out, "read_reg ADR_CHIP_REVISION -> 0x30303643")) << show.out.substr(0, 2000);
}

TEST_F(CliTrace, ATraceCutByAKillReadsToItsLastWholeEntryAndTakesTheNextRecording) {
    bool killed = false;
    clitest::CliOptions options;
    options.env = tap();
    options.env.emplace_back("XOLT_FUSE_FILE", fuse_file());
    options.on_line = [&](const std::string &line, pid_t child) {
        if (!killed && contains(line, "\"type\":\"tx_sample\"")) {
            kill(child, SIGKILL);
            killed = true;
        }
    };
    const CliRun r = clitest::run_cli({"--json", "tx", "--seconds", "60"}, options);
    ASSERT_TRUE(killed);
    EXPECT_EQ(r.signal, SIGKILL);
    std::string file = read_file(trace());
    const std::size_t whole = entry_lines(file.substr(0, file.rfind('\n') + 1)).size();
    ASSERT_GT(whole, 100u);
    // Cut inside the last line, as a kill in the middle of a write would.
    file.resize(file.rfind('\n', file.size() - 2) + 5);
    write_file(trace(), file);
    const CliRun show = run({"--json", "trace", "stats", trace()});
    EXPECT_EQ(show.exit_code, 0) << show.err;
    const QJsonObject s = one(clitest::records(show.out), "trace_stats");
    EXPECT_EQ(number(s, "entries"), static_cast<double>(whole - 1));
    EXPECT_TRUE(s.value("cut").toBool());

    // The next recording takes the cut line off and appends a section.
    ASSERT_EQ(run({"--open", "quick", "info"}, tap()).exit_code, 0);
    const CliRun after = run({"--json", "trace", "stats", trace()});
    ASSERT_EQ(after.exit_code, 0) << after.err;
    const QJsonObject a = one(clitest::records(after.out), "trace_stats");
    EXPECT_FALSE(a.value("cut").toBool());
    EXPECT_EQ(a.value("sections").toArray().size(), 2);
    // The second run replays from its own section.
    Env second = replay(trace());
    second.emplace_back("XOLT_REPLAY_SECTION", "2");
    EXPECT_EQ(run({"--open", "quick", "info"}, second).exit_code, 0);
}

TEST_F(CliTrace, BadTracesAndTargetsAreRefusedWithTheReason) {
    write_file(path("foreign.trace"), "{\"schema\":4}\n");
    write_file(path("newer.trace"), "xolt-trace 2\nbegin 1 t x\n");
    write_file(path("cut.trace"), "xolt-tra");
    write_file(path("empty.trace"), "");
    const struct {
        std::string file;
        const char *says;
    } traces[] = {
        {path("missing.trace"), "cannot open the trace"},
        {path("foreign.trace"), "is not a trace"},
        {path("newer.trace"), "is a trace of version 2, newer than this reader's (1)"},
        {path("cut.trace"), "is not a trace"},
        {path("empty.trace"), "is empty: not a trace"},
    };
    for (const auto &t : traces) {
        const CliRun show = run({"--json", "trace", "show", t.file});
        EXPECT_EQ(show.exit_code, 2) << t.file;
        EXPECT_TRUE(contains(show.err, t.says)) << show.err;
        EXPECT_EQ(text(one(clitest::records(show.out), "error"), "kind"), "refused");
        // The replay transport says the same, and the link does not open.
        const CliRun replayed = run({"--json", "info"}, replay(t.file));
        EXPECT_EQ(replayed.exit_code, 3) << t.file << replayed.out;
        EXPECT_TRUE(contains(replayed.err, "xolt_replay: ") && contains(replayed.err, t.says)) << replayed.err;
    }

    write_file(path("not-a-library.so"), "just text\n");
    const struct {
        std::string target;
        std::string says;
    } targets[] = {
        {path("not-a-library.so"), "xolt_tap: cannot load the transport to record, " + path("not-a-library.so") + ": "},
        {VELMO_LIBRARY_PATH, std::string(VELMO_LIBRARY_PATH) + " is not a transport: it lacks xolt_init, xolt_select, "
                                                               "xolt_open, xolt_close, xolt_burst_read_reg"},
        {kTap, "XOLT_TAP_TARGET names the recording transport itself"},
        {"libxolt.so", "XOLT_TAP_TARGET must be an absolute path"},
    };
    for (const auto &t : targets) {
        const CliRun r = run({"--json", "info"}, {{"XOLT_LIBRARY", kTap}, {"XOLT_TAP_TARGET", t.target},
                                                  {"XOLT_TAP_FILE", trace()}});
        EXPECT_EQ(r.exit_code, 3) << t.target;
        EXPECT_TRUE(contains(r.err, t.says)) << r.err;
    }
    write_file(path("foreign.txt"), "not a trace\n");
    const CliRun foreign = run({"info"}, {{"XOLT_LIBRARY", kTap}, {"XOLT_TAP_TARGET", kBoard},
                                          {"XOLT_TAP_FILE", path("foreign.txt")}});
    EXPECT_EQ(foreign.exit_code, 3);
    EXPECT_TRUE(contains(foreign.err, "is not a trace of version 1")) << foreign.err;
    EXPECT_EQ(read_file(path("foreign.txt")), "not a trace\n");  // left as it was
}

TEST_F(CliTrace, LinkCheckReadsOnlyAndTellsTheTransportAndTheChip) {
    const CliRun r = run({"--json", "link", "check", "--reads", "50"}, {{"XOLT_TRACE", "1"}});
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    const QJsonObject c = one(clitest::records(r.out), "link_check");
    for (const char *name : {"xolt_init", "xolt_download_fw", "xolt_open_refusal"}) {
        EXPECT_TRUE(c.value("entry_points").toObject().value(name).toBool()) << name;
    }
    EXPECT_EQ(text(c, "transport"), std::filesystem::canonical(kBoard).string());
    EXPECT_EQ(number(c, "size"), static_cast<double>(std::filesystem::file_size(kBoard)));
    EXPECT_EQ(text(c, "format"), "ELF");
    EXPECT_EQ(text(c, "revision"), "0x30303643");
    EXPECT_TRUE(c.value("family").toBool());
    EXPECT_EQ(number(c, "reads"), 50);
    EXPECT_LE(number(c, "median_us"), number(c, "max_us"));
    // The board's own account: reads, and not one write.
    EXPECT_TRUE(contains(r.err, "xolt: read")) << r.err.substr(0, 500);
    EXPECT_FALSE(contains(r.err, "xolt: write")) << r.err.substr(0, 2000);

    // Through the recording transport: the trace holds no write either.
    const CliRun recorded = run({"--json", "link", "check", "--reads", "20"}, tap());
    EXPECT_EQ(recorded.exit_code, 0) << recorded.err;
    const std::vector<std::string> lines = entry_lines(read_file(trace()));
    EXPECT_EQ(first_entry(lines, "write_reg", ""), 0u);
    EXPECT_EQ(first_entry(lines, "burst_write", ""), 0u);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string &l) { return l.rfind("read_reg", 0) == 0; }),
              21);

    // A revision word that is not one of the family is a fail.
    const CliRun other = run({"--json", "link", "check"}, {{"XOLT_REVISION", "0x12345678"}});
    EXPECT_EQ(other.exit_code, 1) << other.out;
    EXPECT_FALSE(one(clitest::records(other.out), "link_check").value("family").toBool());
    // A link that does not open.
    const CliRun refused = run({"--json", "link", "check"}, {{"XOLT_FAULT_OPEN", "5"}});
    EXPECT_EQ(refused.exit_code, 3);
    EXPECT_FALSE(one(clitest::records(refused.out), "link_check").value("opened").toBool());
}

}  // namespace
