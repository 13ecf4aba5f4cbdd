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
#include <cstdio>
#include <map>
#include <random>
#include <set>

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

    deve::store::odbc::Environment env_;
    std::unique_ptr<TestDatabase> database_;
    std::unique_ptr<deve::store::odbc::Connection> db_;
};

TEST_P(ReportStore, FiguresOfTheWorkedLine) {
    const Report r = build_report(read_rows(*db_, Window{}), Window{}, 0);
    ASSERT_EQ(r.rows.runs.size(), 10u);
    EXPECT_EQ(r.rows.runs.front().run_id, "r1");  // in order of start
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
    Rows rows = read_rows(*db_, w);
    ASSERT_EQ(rows.runs.size(), 3u);
    EXPECT_EQ(rows.runs[0].run_id, "r8");
    EXPECT_EQ(rows.measurements.size(), 2u);  // r8's and r9's
    // Before the 8th: the six runs of the 7th.
    w = Window{};
    w.until_ms = parse_time("2026-12-08", 0);
    EXPECT_EQ(read_rows(*db_, w).runs.size(), 6u);
    // A station whose name holds quotes is a value like any other.
    w = Window{};
    w.stations = {"FT'1 \"east\""};
    rows = read_rows(*db_, w);
    ASSERT_EQ(rows.runs.size(), 1u);
    EXPECT_EQ(rows.runs[0].run_id, "r3");
    EXPECT_EQ(rows.steps.size(), 1u);
    w = Window{};
    w.stations = {"FT-1' OR '1'='1"};
    EXPECT_TRUE(read_rows(*db_, w).runs.empty());
    w = Window{};
    w.lots = {"L2"};
    w.since_ms = parse_time("2026-12-01", 0);
    EXPECT_EQ(read_rows(*db_, w).runs.size(), 1u);
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

INSTANTIATE_TEST_SUITE_P(Databases, ReportStore, ::testing::Values(Kind::Sqlite, Kind::Postgresql),
                         [](const auto &param_info) { return std::string(storetest::kind_name(param_info.param)); });

}  // namespace
