// The live page's figures read from a real store, SQLite and PostgreSQL
// alike: the yield per station, aggregated by the database, against the
// report's own count of the same rows; the tiles' states, the last failures
// and the pools' free addresses against a line worked by hand.
#include "connect.h"
#include "live.h"
#include "odbc.h"
#include "report.h"
#include "report_rows.h"
#include "report_store.h"
#include "schema.h"
#include "test_databases.h"
#include "url.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>
#include <random>

namespace {

using namespace deve::cli::report;
using deve::store::odbc::Value;
using storetest::Kind;
using storetest::TestDatabase;

// The runs that started in [since, until), at the stations given (all when none).
Window window_of(std::optional<std::int64_t> since, std::optional<std::int64_t> until,
                 std::vector<std::string> stations = {}) {
    Window w;
    w.since_ms = since;
    w.until_ms = until;
    w.stations = std::move(stations);
    return w;
}

class LiveStore : public ::testing::TestWithParam<Kind> {
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
    }

    deve::cli::report::Run run(const std::string &id, std::int64_t started, const std::string &station,
                               const std::string &serial, const std::string &verdict) {
        deve::cli::report::Run r;
        r.run_id = id;
        r.started_ms = started;
        r.station = station;
        r.serial = serial;
        r.board = serial;
        r.verdict = verdict;
        if (verdict != "incomplete") {
            r.ended_ms = started + 60'000;
            r.exit_code = verdict == "pass" ? 0 : 1;
        }
        return r;
    }

    std::unique_ptr<TestDatabase> database_;
    deve::store::odbc::Environment env_;
    std::unique_ptr<deve::store::odbc::Connection> db_;
};

// Random lines (boards by serial, by MAC alone or by neither, retests at one
// station and at another, every verdict): the database's count per station
// is the report's, for the whole store and for a window.
TEST_P(LiveStore, YieldPerStationIsTheReports) {
    std::mt19937 random(7);
    const std::int64_t t0 = *parse_time("2026-12-08T06:00Z", 0);
    Rows rows;
    const char *verdicts[] = {"pass", "pass", "pass", "fail", "error", "interrupted", "incomplete"};
    for (int i = 0; i < 300; ++i) {
        const int board = static_cast<int>(random() % 60);
        deve::cli::report::Run r =
            run("run-" + std::to_string(i), t0 + static_cast<std::int64_t>(random() % 36'000'000),
                "st" + std::to_string(random() % 11), "", verdicts[random() % 7]);
        const int kind = board % 6;  // 0: MAC only; 1: neither; else a serial
        r.serial = kind >= 2 ? "SN" + std::to_string(board) : "";
        r.board = kind == 0 ? "02:00:00:00:00:" + std::to_string(10 + board) : r.serial;
        rows.runs.push_back(r);
    }
    reporttest::insert_rows(*db_, rows);

    const std::int64_t now = t0 + 40'000'000;
    for (const Window &window :
         {Window{}, window_of(t0 + 3'600'000, t0 + 30'000'000), window_of(std::nullopt, std::nullopt, {"st3"})}) {
        SCOPED_TRACE(window_text(window));
        const Report expected = read_report(*db_, window, ReportOptions{}, now);
        const LiveFigures live = read_live(*db_, window, now);
        ASSERT_EQ(live.stations.size(), expected.by_station.size());
        std::map<std::string, std::size_t> verdict_runs;
        for (std::size_t i = 0; i < live.stations.size(); ++i) {
            const LiveStation &got = live.stations[i];
            const auto want = std::find_if(expected.by_station.begin(), expected.by_station.end(),
                                           [&](const Yield &y) { return y.group == got.station; });
            ASSERT_NE(want, expected.by_station.end()) << got.station;
            EXPECT_EQ(got.runs, want->runs) << got.station;
            EXPECT_EQ(got.boards, want->boards) << got.station;
            EXPECT_EQ(got.first_pass, want->first_pass) << got.station;
            EXPECT_EQ(got.final_pass, want->final_pass) << got.station;
            EXPECT_EQ(got.passed + got.failed + got.errors + got.interrupted + got.incomplete, got.runs);
            verdict_runs["pass"] += got.passed;
            verdict_runs["fail"] += got.failed;
            verdict_runs["error"] += got.errors;
            verdict_runs["interrupted"] += got.interrupted;
            verdict_runs["incomplete"] += got.incomplete;
        }
        for (const auto &[verdict, n] : expected.verdicts) {
            EXPECT_EQ(verdict_runs[verdict], n) << verdict;
        }
        // Stations in their natural order: st2 before st10.
        for (std::size_t i = 1; i < live.stations.size(); ++i) {
            const std::string &a = live.stations[i - 1].station;
            const std::string &b = live.stations[i].station;
            EXPECT_TRUE(a.size() < b.size() || (a.size() == b.size() && a < b)) << a << " before " << b;
        }
    }
}

// Tiles, failures and pools of a line worked by hand.
TEST_P(LiveStore, TilesFailuresAndPools) {
    const std::int64_t now = *parse_time("2026-12-09T12:00Z", 0);
    const std::int64_t minute = 60'000;
    Rows rows;
    rows.runs.push_back(run("a1", now - 50 * minute, "FT-1", "SN1", "fail"));
    rows.runs.push_back(run("a2", now - 40 * minute, "FT-1", "SN1", "pass"));  // host pc1: idle
    rows.runs.push_back(run("a3", now - 3 * minute, "FT-1", "SN2",
                            "incomplete"));  // host pc2: testing
    rows.runs.push_back(run("b1", now - 45 * minute, "FT-2", "SN3", "error"));
    rows.runs.push_back(run("b2", now - 30 * minute, "FT-2", "SN4", "incomplete"));  // stalled
    // A run whose station died at 09:00: older than the window's start of 10:00.
    rows.runs.push_back(run("old", now - 180 * minute, "FT-3", "SN9", "fail"));
    for (int i = 0; i < 25; ++i) {
        rows.runs.push_back(
            run("c" + std::to_string(i), now - (100 - i) * minute, "RF-1", "SN" + std::to_string(100 + i), "fail"));
    }
    // a1 failed its receive test on its error rate, b1 stopped in error.
    rows.steps.push_back(Step{"a1", 1, "open", "", "pass", now - 50 * minute, ""});
    rows.steps.push_back(Step{"a1", 2, "rx", "2G ch6 11n-HT20 MCS7", "fail", now - 49 * minute, ""});
    Measurement per;
    per.run_id = "a1";
    per.step_seq = 2;
    per.name = "per";
    per.unit = "%";
    per.value = 12.5;
    per.high = 8.0;
    per.passed = false;
    rows.measurements.push_back(per);
    rows.steps.push_back(Step{"b1", 3, "tx", "5G ch36 11a-OFDM 6M", "error", now - 44 * minute, "link"});
    // b2's last step ended 28 minutes ago; a3's began 3 minutes ago.
    rows.steps.push_back(Step{"b2", 1, "open", "", "pass", now - 28 * minute, ""});
    rows.steps.push_back(Step{"a3", 1, "open", "", "pass", now - 2 * minute, ""});
    reporttest::insert_rows(*db_, rows);
    for (const auto &[id, host] : std::vector<std::pair<std::string, std::string>>{
             {"a1", "pc1"}, {"a2", "pc1"}, {"a3", "pc2"}, {"b1", "pc3"}, {"b2", "pc3"}}) {
        db_->execute("UPDATE runs SET host = ? WHERE run_id = ?", {host, id});
    }
    db_->execute("UPDATE steps SET detail = ?, error_kind = 'link' WHERE run_id = ?", {std::string("the link broke"), std::string("b1")});
    // Pool P: 100 addresses, 30 handed out (one of them given back); pool Q
    // all taken.
    db_->execute("INSERT INTO pools (name, created_at) VALUES ('P', "
                 "'2026-12-01T00:00:00.000Z'), "
                 "('Q', '2026-12-01T00:00:00.000Z')");
    db_->execute("INSERT INTO pool_ranges (first_mac, last_mac, next_mac, pool, "
                 "first_text, last_text, added_at) "
                 "VALUES (1000, 1099, 1030, 'P', 'a', 'b', 'c'), (5000, 5009, "
                 "5010, 'Q', 'd', 'e', 'f')");
    db_->execute("INSERT INTO mac_addresses (mac, pool, state, changed_at) "
                 "VALUES ('m1', 'P', 'released', 'x'), "
                 "('m2', 'P', 'burned', 'x'), ('m3', 'Q', 'burned', 'x')");

    const Window window = window_of(now - 120 * minute, std::nullopt);
    const LiveFigures live = read_live(*db_, window, now);

    struct TileCase {
        std::string station, host, state, run_id, last_command;
    };
    const std::vector<TileCase> tiles{{"FT-1", "pc1", "idle", "a2", ""},
                                      {"FT-1", "pc2", "testing", "a3", "open"},
                                      {"FT-2", "pc3", "incomplete", "b2", "open"},
                                      {"RF-1", "", "idle", "c24", ""}};
    ASSERT_EQ(live.tiles.size(), tiles.size());
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        SCOPED_TRACE(tiles[i].station + " " + tiles[i].host);
        EXPECT_EQ(live.tiles[i].station, tiles[i].station);
        EXPECT_EQ(live.tiles[i].host, tiles[i].host);
        EXPECT_EQ(state_name(live.tiles[i].state), tiles[i].state);
        EXPECT_EQ(live.tiles[i].run_id, tiles[i].run_id);
        if (!tiles[i].last_command.empty()) {
            EXPECT_EQ(live.tiles[i].last_command, tiles[i].last_command);
        }
    }
    EXPECT_EQ(live.tiles[2].last_activity_ms, now - 28 * minute);

    // The newest first: a1 (50 min), b1 (45 min), then RF-1's 20 newest of 25.
    ASSERT_EQ(live.failures.size(), 22u);
    EXPECT_EQ(live.failures[0].run_id, "b1");
    EXPECT_EQ(live.failures[0].step, "tx 5G ch36 11a-OFDM 6M");
    EXPECT_EQ(live.failures[0].outcome, "error (link)");
    EXPECT_EQ(live.failures[0].detail, "the link broke");
    EXPECT_EQ(live.failures[1].run_id, "a1");
    EXPECT_EQ(live.failures[1].step, "rx 2G ch6 11n-HT20 MCS7");
    EXPECT_EQ(live.failures[1].detail, "per 12.5 %, limit per <= 8");
    EXPECT_EQ(live.failures[1].host, "pc1");
    EXPECT_EQ(live.failures[2].run_id, "c24");
    EXPECT_EQ(live.failures.back().run_id, "c5");

    ASSERT_EQ(live.pools.size(), 2u);
    EXPECT_EQ(live.pools[0].pool, "P");
    EXPECT_EQ(live.pools[0].size, 100u);
    EXPECT_EQ(live.pools[0].free, 71u);  // 70 never taken, 1 released
    EXPECT_EQ(live.pools[1].free, 0u);

    // The page's JSON: all stations show at most kLiveFailures failures;
    // one station, its own.
    const StoreState up{true, std::nullopt, ""};
    const nlohmann::json all = nlohmann::json::parse(live_json(&live, LiveView{}, up, now));
    EXPECT_EQ(all["figures"]["failures"].size(), kLiveFailures);
    EXPECT_EQ(all["figures"]["tiles"].size(), 4u);
    const nlohmann::json ft2 = nlohmann::json::parse(live_json(&live, LiveView{{"FT-2"}}, up, now));
    ASSERT_EQ(ft2["figures"]["failures"].size(), 1u);
    EXPECT_EQ(ft2["figures"]["failures"][0]["run_id"], "b1");
    ASSERT_EQ(ft2["figures"]["stations"].size(), 1u);
    EXPECT_EQ(ft2["figures"]["stations"][0]["runs"], 2);
    EXPECT_EQ(ft2["figures"]["stations"][0]["boards"], 2);
    EXPECT_EQ(ft2["figures"]["stations"][0]["final_yield"], 0.0);
    const StoreState down{false, now - 90'000, "connection refused"};
    const nlohmann::json away = nlohmann::json::parse(live_json(&live, LiveView{}, down, now));
    EXPECT_FALSE(away["store"]["reachable"].get<bool>());
    EXPECT_EQ(away["store"]["unreachable_since"], "2026-12-09T11:58:30.000Z");
    EXPECT_TRUE(away["figures"].is_object());  // the last figures stay, marked by their time
}

INSTANTIATE_TEST_SUITE_P(Databases, LiveStore, ::testing::Values(Kind::Sqlite, Kind::Postgresql),
                         [](const auto &param_info) { return std::string(storetest::kind_name(param_info.param)); });

}  // namespace
