// The report read from a real store, SQLite and PostgreSQL alike: rows put
// in with plain INSERTs, read back through the report's queries, and the
// figures checked against the ones worked by hand.
#include "connect.h"
#include "odbc.h"
#include "report.h"
#include "report_rows.h"
#include "report_store.h"
#include "schema.h"
#include "test_databases.h"
#include "url.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <tuple>

namespace {

using namespace deve::cli::report;
using storetest::Kind;
using storetest::TestDatabase;

constexpr double kEightS = 2.1380899352993950;  // the sample deviation of 2, 4, 4, 4, 5, 5, 7, 9

class ReportStore : public ::testing::TestWithParam<Kind> {
protected:
    void SetUp() override {
        if (GetParam() == Kind::Postgresql && !storetest::postgres_admin_url()) {
            GTEST_SKIP() << "no PostgreSQL server for the tests (run them through ctest)";
        }
        database_ = std::make_unique<TestDatabase>(GetParam());
        const deve::store::UrlResult url = deve::store::parse_store_url(database_->url());
        ASSERT_TRUE(url.url) << url.error;
        db_ = deve::store::connect(env_, *url.url, true);
        deve::store::init_schema(*db_, "test", "2026-12-01T00:00:00.000Z");
        fill();
    }

    // The worked line of the unit tests: boards A to F and a run that named
    // no serial; eight error rates 2, 4, 4, 4, 5, 5, 7, 9 against per <= 8.
    void fill() {
        Rows rows;
        const auto run = [&rows](const std::string &id, const std::string &started, const std::string &station,
                                 const std::string &board, const std::string &verdict, const std::string &lot) {
            deve::cli::report::Run r;
            r.run_id = id;
            r.started_ms = *parse_time(started, 0);
            r.station = station;
            r.operator_name = "ann";
            r.serial = board.size() == 1 ? board : "";
            r.board = board;
            r.verdict = verdict;
            r.exit_code = verdict == "pass" ? 0 : 1;
            r.lot = lot;
            rows.runs.push_back(r);
        };
        run("r1", "2026-12-07T08:00", "FT-1", "A", "fail", "L1");
        run("r2", "2026-12-07T09:00", "FT-1", "A", "pass", "L1");
        run("r3", "2026-12-07T08:10", "FT'1 \"east\"", "B", "pass", "L1");
        run("r4", "2026-12-07T08:20", "FT-1", "C", "incomplete", "L1");
        run("r5", "2026-12-07T08:30", "FT-1", "D", "pass", "L1");
        run("r6", "2026-12-08T10:00", "FT-1", "D", "fail", "L1");
        run("r7", "2026-12-07T08:40", "FT-1", "E", "incomplete", "L1");
        run("r8", "2026-12-08T10:10", "FT-1", "E", "pass", "L1");
        run("r9", "2026-12-08T10:20", "FT-1", "F", "pass", "L2");
        run("r10", "2026-12-08T11:00", "FT-2", "02:00:00:00:00:99", "error", "");
        const std::vector<std::pair<std::string, double>> per{{"r1", 9}, {"r2", 2}, {"r3", 4}, {"r5", 4},
                                                              {"r6", 5}, {"r8", 5}, {"r9", 7}, {"r4", 4}};
        for (const auto &[id, value] : per) {
            rows.steps.push_back(Step{id, 2, "rx", "2G ch6 11n-HT20 MCS7", value <= 8 ? "pass" : "fail",
                                      parse_time("2026-12-07T08:00:01", 0), ""});
            Measurement m;
            m.run_id = id;
            m.step_seq = 2;
            m.name = "per";
            m.unit = "%";
            m.value = value;
            m.high = 8.0;
            m.limit_set = "2G HT20";
            m.passed = value <= 8;
            rows.measurements.push_back(m);
        }
        const std::string mac_a = "02:00:00:00:00:0a";
        reporttest::insert_rows(*db_, rows, {{"r1", "A", "0x74000000", mac_a}, {"r2", "A", "0x74000000", mac_a}},
                                {{"r2", 3, "MAC", mac_a, "pass"}});
    }

    // The report as the database sums it, every run listed.
    Report report(const Window &w, bool list_runs = true) {
        ReportOptions options;
        options.list_runs = list_runs;
        return read_report(*db_, w, options, 0);
    }

    deve::store::odbc::Environment env_;
    std::unique_ptr<TestDatabase> database_;
    std::unique_ptr<deve::store::odbc::Connection> db_;
};

TEST_P(ReportStore, FiguresOfTheWorkedLine) {
    const Report r = report(Window{});
    EXPECT_EQ(r.run_count, 10u);
    ASSERT_EQ(r.runs.size(), 10u);
    EXPECT_EQ(r.runs.front().run_id, "r1");  // in order of start
    EXPECT_FALSE(report(Window{}, false).runs_listed);
    // 7 boards: A-F by serial, r10 by its MAC.
    EXPECT_EQ(r.overall.boards, 7u);
    EXPECT_EQ(r.overall.first_pass, 3u);
    EXPECT_EQ(r.overall.final_pass, 4u);
    ASSERT_EQ(r.measurements.size(), 1u);
    const MeasurementStats &per = r.measurements.front();
    EXPECT_EQ(per.command, "rx");
    EXPECT_EQ(per.point, "2G ch6 11n-HT20 MCS7");
    EXPECT_EQ(per.figures.n, 8u);
    EXPECT_FALSE(per.low);
    EXPECT_EQ(per.high, 8.0);
    EXPECT_EQ(per.failed, 1u);
    EXPECT_DOUBLE_EQ(*per.figures.mean, 5.0);
    EXPECT_NEAR(*per.figures.stddev, kEightS, 1e-12);
    EXPECT_FALSE(per.figures.cp);
    EXPECT_NEAR(*per.figures.cpk, 3.0 / (3 * kEightS), 1e-12);
    // r4 and r7 stopped with no failed step; r6 failed and r10 erred with none stored.
    ASSERT_EQ(r.pareto.size(), 4u);
    EXPECT_EQ(r.pareto[0].step, "(run)");
    EXPECT_EQ(r.pareto[0].limit, "incomplete");
    EXPECT_EQ(r.pareto[0].count, 2u);
    EXPECT_TRUE(std::any_of(r.pareto.begin(), r.pareto.end(), [](const ParetoItem &p) {
        return p.step == "rx 2G ch6 11n-HT20 MCS7" && p.limit == "per <= 8 [2G HT20]" && p.count == 1;
    }));
}

TEST_P(ReportStore, WindowStationAndLotSelectRuns) {
    // The 8th, from 10:05: r8, r9, r10.
    Window w;
    w.since_ms = parse_time("2026-12-08T10:05", 0);
    Report r = report(w);
    ASSERT_EQ(r.runs.size(), 3u);
    EXPECT_EQ(r.runs[0].run_id, "r8");
    ASSERT_EQ(r.measurements.size(), 1u);
    EXPECT_EQ(r.measurements[0].figures.n, 2u);  // r8's and r9's
    // Before the 8th: the six runs of the 7th.
    w = Window{};
    w.until_ms = parse_time("2026-12-08", 0);
    EXPECT_EQ(report(w).run_count, 6u);
    // A station whose name holds quotes is a value like any other.
    w = Window{};
    w.stations = {"FT'1 \"east\""};
    r = report(w);
    ASSERT_EQ(r.runs.size(), 1u);
    EXPECT_EQ(r.runs[0].run_id, "r3");
    ASSERT_EQ(r.measurements.size(), 1u);
    EXPECT_EQ(r.measurements[0].figures.n, 1u);
    w = Window{};
    w.stations = {"FT-1' OR '1'='1"};
    EXPECT_EQ(report(w).run_count, 0u);
    w = Window{};
    w.lots = {"L2"};
    w.since_ms = parse_time("2026-12-01", 0);
    EXPECT_EQ(report(w).run_count, 1u);
}

TEST_P(ReportStore, BoardHistoryBySerialMacOrRunId) {
    const BoardHistory by_serial = read_board(*db_, "A");
    ASSERT_EQ(by_serial.rows.runs.size(), 2u);
    EXPECT_EQ(by_serial.rows.runs[0].run_id, "r1");
    EXPECT_EQ(by_serial.rows.measurements.size(), 2u);
    ASSERT_EQ(by_serial.burns.size(), 1u);
    EXPECT_EQ(by_serial.burns[0].item, "MAC");
    ASSERT_EQ(by_serial.identities.size(), 2u);
    EXPECT_EQ(by_serial.identities[0].mac, "02:00:00:00:00:0a");

    // The MAC typed another way finds the same board; a run id finds its board's every run.
    EXPECT_EQ(read_board(*db_, "02-00-00-00-00-0A").rows.runs.size(), 2u);
    EXPECT_EQ(read_board(*db_, "r2").rows.runs.size(), 2u);
    // The run that named no serial, by its MAC.
    const BoardHistory unnamed = read_board(*db_, "020000000099");
    ASSERT_EQ(unnamed.rows.runs.size(), 1u);
    EXPECT_EQ(unnamed.rows.runs[0].run_id, "r10");
    EXPECT_TRUE(read_board(*db_, "Z").rows.runs.empty());
    EXPECT_TRUE(read_board(*db_, "A' OR '1'='1").rows.runs.empty());
}

// A reference board tested every shift has hundreds of runs; the page
// shows the latest of them, oldest first, and says how many there are.
TEST_P(ReportStore, AFailingBoardShowsItsLatestRuns) {
    Rows rows;
    const std::size_t many = kBoardRunsShown + 7;
    for (std::size_t i = 0; i < many; ++i) {
        deve::cli::report::Run r;
        r.run_id = "ref-" + std::to_string(100 + i);
        r.started_ms = *parse_time("2026-12-10", 0) + static_cast<std::int64_t>((i * 37) % many) * 3600000;
        r.station = "FT-9";
        r.serial = r.board = "REF";
        r.verdict = i % 3 == 0 ? "fail" : "pass";
        rows.runs.push_back(r);
    }
    reporttest::insert_rows(*db_, rows);
    Window w;
    w.serials = {"REF"};
    FailingRuns failing = read_failing_runs(*db_, w, 5);
    read_failing_boards(*db_, failing);
    ASSERT_EQ(failing.boards.size(), 1u);
    const FailingRuns::BoardRuns &board = failing.boards.front();
    EXPECT_EQ(board.total, many);
    ASSERT_EQ(board.runs.size(), kBoardRunsShown);
    std::vector<deve::cli::report::Run> by_start = rows.runs;
    std::sort(by_start.begin(), by_start.end(),
              [](const auto &a, const auto &b) { return a.started_ms < b.started_ms; });
    for (std::size_t i = 0; i < kBoardRunsShown; ++i) {
        EXPECT_EQ(board.runs[i].run_id, by_start[many - kBoardRunsShown + i].run_id) << i;
    }
}

// Boards of a line at random: each has runs before its MAC burn (some with
// only the serial, as when the open failed), the burn, and runs after it,
// some of which name no serial; every board's chip id is the same, as on
// boards of one chip revision. Each board looked up by its serial, by its
// MAC address or by any of its run ids has exactly its own runs.
TEST_P(ReportStore, EveryLookupOfABoardHasExactlyItsRuns) {
    std::mt19937 random(7);
    Rows rows;
    std::vector<BoardIdentity> ids;
    std::map<std::string, std::set<std::string>> runs_of;  // board serial -> run ids
    std::map<std::string, std::string> mac_of;
    std::int64_t at = *parse_time("2026-12-10", 0);
    for (int b = 0; b < 12; ++b) {
        const std::string serial = "B" + std::to_string(b);
        char mac[18];
        std::snprintf(mac, sizeof mac, "02:00:00:00:01:%02x", b);
        mac_of[serial] = mac;
        const int before = static_cast<int>(random() % 3);
        const int after = 1 + static_cast<int>(random() % 3);
        for (int i = 0; i < before + after; ++i) {
            deve::cli::report::Run r;
            r.run_id = serial + "-" + std::to_string(i);
            r.started_ms = at += 60000;
            const bool burnt = i >= before;
            const bool no_serial = burnt && i > before && random() % 2 == 0;
            r.serial = no_serial ? "" : serial;
            r.board = no_serial ? mac : serial;
            r.verdict = burnt ? "pass" : "fail";
            rows.runs.push_back(r);
            const bool open_failed = !burnt && random() % 2 == 0;
            ids.push_back(BoardIdentity{r.run_id, r.serial, open_failed ? "" : "0x7c000000", burnt ? mac : ""});
            runs_of[serial].insert(r.run_id);
        }
    }
    reporttest::insert_rows(*db_, rows, ids);
    const auto ids_of = [](const BoardHistory &h) {
        std::set<std::string> out;
        for (const auto &run : h.rows.runs) {
            out.insert(run.run_id);
        }
        return out;
    };
    for (const auto &[serial, runs] : runs_of) {
        EXPECT_EQ(ids_of(read_board(*db_, serial)), runs) << serial;
        EXPECT_EQ(ids_of(read_board(*db_, mac_of[serial])), runs) << mac_of[serial];
        for (const std::string &run_id : runs) {
            EXPECT_EQ(ids_of(read_board(*db_, run_id)), runs) << run_id;
        }
    }
}

// A made-up line drawn from a seed: boards retested across midnight and
// across the change to summer time, boards known only by their MAC and runs
// with no board, steps that never ended or erred, values missing, and a
// frequency far from zero with a spread of a few hertz.
Rows seeded_line(unsigned seed) {
    std::mt19937 random(seed);
    const auto pick = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    std::normal_distribution<double> normal(0, 1);
    Rows rows;
    const std::int64_t start = *parse_time("2026-03-27T18:00", 0);
    const char *stations[] = {"st1", "st2", "st10"};
    const char *verdicts[] = {"pass", "pass", "pass", "pass", "fail", "incomplete", "error", "interrupted"};
    int run_number = 0;
    for (int board = 0; board < 90; ++board) {
        std::int64_t at = start + pick(5 * 24 * 60) * 60000LL + pick(60000);
        for (int attempt = 0, runs = 1 + pick(3); attempt < runs; ++attempt) {
            Run r;
            r.run_id = "run-" + std::to_string(++run_number);
            r.started_ms = at;
            r.ended_ms = at + 40000;
            r.station = stations[pick(3)];
            r.lot = board % 7 == 0 ? "" : "L" + std::to_string(board % 3);
            const int kind = board % 10;
            r.serial = kind < 8 ? "SN" + std::to_string(board) : "";
            r.board = kind < 8 ? r.serial : kind == 8 ? "02:00:00:00:01:" + std::to_string(10 + board) : "";
            r.verdict = verdicts[pick(8)];
            rows.runs.push_back(r);
            at += (30 + pick(400)) * 60000LL;
            const std::string point = "2G ch6 11n-HT20 MCS7";
            const bool open_failed = r.verdict == "error" && pick(2) == 0;
            rows.steps.push_back(Step{r.run_id, 0, "open", "", open_failed ? "error" : "pass", r.started_ms,
                                      open_failed ? "link" : ""});
            if (open_failed) {
                continue;
            }
            const bool fail = r.verdict == "fail";
            const std::string outcome = r.verdict == "incomplete" ? "" : fail ? "fail" : "pass";
            // A second script at st2 runs rx before tx (one step number, two
            // steps), and some runs repeat rx at the same point.
            const bool swapped = r.station == "st2" && pick(2) == 0;
            const int tx = swapped ? 2 : 1;
            const int rx = swapped ? 1 : 2;
            const bool again = pick(4) == 0;
            rows.steps.push_back(Step{r.run_id, tx, "tx", point, outcome, r.started_ms, fail ? "fail" : ""});
            rows.steps.push_back(Step{r.run_id, rx, "rx", point, r.verdict == "interrupted" ? "interrupted" : "pass",
                                      r.started_ms, ""});
            if (again) {
                rows.steps.push_back(Step{r.run_id, 3, "rx", point, "pass", r.started_ms, ""});
            }
            const auto measure = [&](int seq, const char *name, const char *unit, std::optional<double> value,
                                     std::optional<double> low, std::optional<double> high, const char *set) {
                Measurement m;
                m.run_id = r.run_id;
                m.step_seq = seq;
                m.command = seq == tx ? "tx" : "rx";
                m.point = point;
                m.name = name;
                m.unit = unit;
                m.value = value;
                m.low = low;
                m.high = high;
                m.limit_set = set;
                m.passed = !(low || high) || (value && (!low || *value >= *low) && (!high || *value <= *high));
                rows.measurements.push_back(m);
            };
            measure(tx, "frames", "frame", 2000.0 + pick(40), 2000.0, std::nullopt, "tx");
            measure(tx, "frames_per_second", "frame/s", 1150 + 60 * normal(random) - (fail ? 200 : 0), 1000.0,
                    std::nullopt, "tx");
            measure(tx, "frequency", "Hz", 2.437e9 + 3 * normal(random), 2.437e9 - 10, 2.437e9 + 10, "");
            for (int seq : {rx, again ? 3 : 0}) {
                if (seq == 0) {
                    continue;
                }
                const std::optional<double> per =
                    pick(12) == 0 ? std::nullopt : std::optional<double>(pick(120) / 10.0);
                measure(seq, "per", "%", per, std::nullopt, 10.0, "rx HT20");
                measure(seq, "errors", "frame", per ? std::optional<double>(*per * 10) : std::nullopt, std::nullopt,
                        std::nullopt, "");
            }
        }
    }
    return rows;
}

// The rows of the runs a window picks.
Rows in_window(const Rows &rows, const Window &w) {
    Rows out;
    std::set<std::string> ids;
    for (const Run &r : rows.runs) {
        if ((!w.since_ms || r.started_ms >= *w.since_ms) && (!w.until_ms || r.started_ms < *w.until_ms) &&
            (w.stations.empty() || std::count(w.stations.begin(), w.stations.end(), r.station) != 0) &&
            (w.lots.empty() || std::count(w.lots.begin(), w.lots.end(), r.lot) != 0)) {
            out.runs.push_back(r);
            ids.insert(r.run_id);
        }
    }
    for (const Step &s : rows.steps) {
        if (ids.count(s.run_id) != 0) {
            out.steps.push_back(s);
        }
    }
    for (const Measurement &m : rows.measurements) {
        if (ids.count(m.run_id) != 0) {
            out.measurements.push_back(m);
        }
    }
    return out;
}

void expect_near(const std::optional<double> &a, const std::optional<double> &b, const std::string &what,
                 double relative = 1e-9) {
    ASSERT_EQ(a.has_value(), b.has_value()) << what;
    if (a) {
        EXPECT_NEAR(*a, *b, relative * std::max(1.0, std::fabs(*a))) << what;
    }
}

void expect_same_yields(const std::vector<Yield> &a, const std::vector<Yield> &b, const std::string &what) {
    ASSERT_EQ(a.size(), b.size()) << what;
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(std::tie(a[i].group, a[i].runs, a[i].boards, a[i].first_pass, a[i].final_pass),
                  std::tie(b[i].group, b[i].runs, b[i].boards, b[i].first_pass, b[i].final_pass))
            << what << " " << a[i].group;
    }
}

// The report the database sums gives the figures of the rows read into
// memory and computed one by one, as the report did before: in every
// window, with the days of a zone that changes to summer time among them,
// and values that are not finite (written by hand: no record holds one)
// left out of the figures. Read on two connections at once, the report is
// the same to the last digit.
TEST_P(ReportStore, SummedByTheDatabaseAsComputedRowByRow) {
    db_->execute("DELETE FROM measurements");
    db_->execute("DELETE FROM steps");
    db_->execute("DELETE FROM burns");
    db_->execute("DELETE FROM boards");
    db_->execute("DELETE FROM runs");
    Rows rows = seeded_line(31);
    const double not_finite[] = {HUGE_VAL, -HUGE_VAL, std::nan("")};
    std::size_t placed = 0;
    for (Measurement &m : rows.measurements) {
        // Step 3 has one command at every station; frequency's step number
        // has two (its groups are summed with their steps joined).
        if ((m.step_seq == 3 && m.name == "per" && m.value) || (m.name == "frequency" && placed % 2 == 1)) {
            if (placed % 4 == 0) {
                m.value = not_finite[(placed / 4) % 3];
                m.passed = false;
            }
            ++placed;
        }
    }
    ASSERT_GT(placed, 12u);
    reporttest::insert_rows(*db_, rows);
    const deve::store::UrlResult url = deve::store::parse_store_url(database_->url());
    const std::unique_ptr<deve::store::odbc::Connection> second = deve::store::connect(env_, *url.url, false);
    std::string error;
    std::optional<Zone> zone = Zone::find("Europe/Berlin", error);
    if (!zone) {
        zone = Zone::find("+01:00", error);
    }
    ASSERT_TRUE(zone) << error;
    std::vector<Window> windows(4);
    windows[1].since_ms = parse_time("2026-03-29", 0);
    windows[1].until_ms = parse_time("2026-03-31T12:00", 0);
    windows[2].stations = {"st10", "st2"};
    windows[3].lots = {"L1"};
    windows[3].since_ms = parse_time("2026-03-30", 0);
    for (const Window &w : windows) {
        const std::string what = window_text(w);
        ReportOptions options{*zone, true, true};
        const Report before = build_report(in_window(rows, w), w, 0, options);
        const Report after = read_report(*db_, w, options, 0);
        const Report beside = read_report(*db_, w, options, 0, second.get());
        EXPECT_EQ(report_json(beside), report_json(after)) << what;
        ASSERT_EQ(beside.histograms.size(), after.histograms.size()) << what;
        for (std::size_t i = 0; i < after.histograms.size(); ++i) {
            EXPECT_EQ(beside.histograms[i].counts, after.histograms[i].counts) << what;
            EXPECT_EQ(beside.histograms[i].outside, after.histograms[i].outside) << what;
        }
        ASSERT_GT(before.run_count, 0u) << what;
        EXPECT_EQ(after.run_count, before.run_count) << what;
        EXPECT_EQ(after.verdicts, before.verdicts) << what;
        ASSERT_EQ(after.runs.size(), before.runs.size()) << what;
        for (std::size_t i = 0; i < before.runs.size(); ++i) {
            EXPECT_EQ(after.runs[i].run_id, before.runs[i].run_id) << what;
        }
        expect_same_yields({after.overall}, {before.overall}, what);
        expect_same_yields(after.by_station, before.by_station, what);
        expect_same_yields(after.by_lot, before.by_lot, what);
        expect_same_yields(after.by_day, before.by_day, what);
        ASSERT_EQ(after.measurements.size(), before.measurements.size()) << what;
        ASSERT_EQ(after.histograms.size(), before.histograms.size()) << what;
        for (std::size_t i = 0; i < before.measurements.size(); ++i) {
            const MeasurementStats &a = after.measurements[i];
            const MeasurementStats &b = before.measurements[i];
            const std::string m = what + " " + b.name + " " + b.point;
            EXPECT_EQ(std::tie(a.command, a.point, a.name, a.unit, a.low, a.high, a.limit_set),
                      std::tie(b.command, b.point, b.name, b.unit, b.low, b.high, b.limit_set))
                << m;
            EXPECT_EQ(std::tie(a.figures.n, a.missing, a.failed, a.no_capability),
                      std::tie(b.figures.n, b.missing, b.failed, b.no_capability))
                << m;
            expect_near(a.figures.mean, b.figures.mean, m + " mean");
            expect_near(a.figures.stddev, b.figures.stddev, m + " stddev");
            expect_near(a.figures.min, b.figures.min, m + " min");
            expect_near(a.figures.max, b.figures.max, m + " max");
            // Cpk takes the mean's distance from a limit: for a frequency of
            // 2.4 GHz a few hertz from its limit, the rounding of the mean
            // row by row (about 1e-6 Hz over these values) shows at 1e-7 of
            // Cpk. The sums about the limit keep that distance exactly.
            expect_near(a.figures.cp, b.figures.cp, m + " cp");
            expect_near(a.figures.cpk, b.figures.cpk, m + " cpk", 1e-6);
            EXPECT_EQ(after.histograms[i].counts, before.histograms[i].counts) << m;
            EXPECT_EQ(after.histograms[i].outside, before.histograms[i].outside) << m;
        }
        ASSERT_EQ(after.pareto.size(), before.pareto.size()) << what;
        for (std::size_t i = 0; i < before.pareto.size(); ++i) {
            const ParetoItem &a = after.pareto[i];
            const ParetoItem &b = before.pareto[i];
            EXPECT_EQ(std::tie(a.count, a.runs), std::tie(b.count, b.runs)) << what << " " << b.step << " " << b.limit;
            EXPECT_NEAR(a.share, b.share, 1e-12) << what;
        }
        // Items of equal count may come in another order; as a set they agree.
        std::set<std::tuple<std::string, std::string, std::size_t, std::size_t>> a_items, b_items;
        for (const ParetoItem &p : after.pareto) {
            a_items.emplace(p.step, p.limit, p.count, p.runs);
        }
        for (const ParetoItem &p : before.pareto) {
            b_items.emplace(p.step, p.limit, p.count, p.runs);
        }
        EXPECT_EQ(a_items, b_items) << what;
    }
}

INSTANTIATE_TEST_SUITE_P(Databases, ReportStore, ::testing::Values(Kind::Sqlite, Kind::Postgresql),
                         [](const auto &param_info) { return std::string(storetest::kind_name(param_info.param)); });

}  // namespace
