// deve-cli report against a small line in a store, one table of cases run on
// SQLite and on PostgreSQL alike: a board looked up by its MAC address, its
// serial or a run id; windows given with offsets from UTC; the filters; the
// failing runs. Every case is checked by the report's JSON.
#include "cli_process.h"

#include "connect.h"
#include "odbc.h"
#include "report.h"
#include "report_rows.h"
#include "schema.h"
#include "test_databases.h"
#include "url.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <set>

namespace {

using namespace deve::cli::report;
using deve::store::odbc::Value;
using storetest::Kind;
using storetest::TestDatabase;

const char *kMac1 = "02:00:00:00:00:01";
const char *kMac2 = "02:00:00:00:00:02";
const char *kMac3 = "02:00:00:00:00:03";

// The line, on the 9th (UTC):
//   board SN1, chip C1: r0 04:10 error at the open (only its serial known),
//     r1 04:30 fail (per 9 against per <= 8) before its MAC burn, r2 05:10
//     pass with MAC 1, r3 06:00 pass carrying MAC 1 but no serial;
//   board SN1 again, its chip replaced by C9: r6 07:00 incomplete, MAC 3;
//   board SN2: r4 03:50 fail, r5 05:20 pass with MAC 2;
//   board SN3: r7 on the 8th at 23:30, lot L2.
// Station st1 runs on two PCs, pc-a and pc-b. Pool line-a gave MAC 1 and 3,
// line-b MAC 2.
void fill(deve::store::odbc::Connection &db) {
    Rows rows;
    std::vector<BoardIdentity> ids;
    const auto run = [&](const char *id, const char *started, const char *station, const char *host, const char *serial,
                         const char *chip, const char *mac, const char *verdict) {
        Run r;
        r.run_id = id;
        r.started_ms = *parse_time(started, 0);
        r.station = station;
        r.host = host;
        r.operator_name = "ann";
        r.serial = serial;
        r.board = *serial != '\0' ? serial : mac;
        r.lot = r.run_id == "r7" ? "L2" : "L1";
        r.verdict = verdict;
        r.exit_code = r.verdict == "pass" ? 0 : 1;
        rows.runs.push_back(r);
        ids.push_back(BoardIdentity{id, serial, chip, mac});
    };
    run("r0", "2026-12-09T04:10Z", "st1", "pc-a", "SN1", "", "", "error");
    run("r1", "2026-12-09T04:30Z", "st1", "pc-a", "SN1", "C1", "", "fail");
    run("r2", "2026-12-09T05:10Z", "st2", "pc-c", "SN1", "C1", kMac1, "pass");
    run("r3", "2026-12-09T06:00Z", "st10", "pc-d", "", "C1", kMac1, "pass");
    run("r4", "2026-12-09T03:50Z", "st1", "pc-b", "SN2", "C2", "", "fail");
    run("r5", "2026-12-09T05:20Z", "st1", "pc-b", "SN2", "C2", kMac2, "pass");
    run("r6", "2026-12-09T07:00Z", "st2", "pc-c", "SN1", "C9", kMac3, "incomplete");
    run("r7", "2026-12-08T23:30Z", "st2", "pc-c", "SN3", "C3", "", "pass");
    rows.steps.push_back(Step{"r0", 1, "tx", "2G ch6 11n-HT20 MCS7", "error", std::nullopt, "link"});
    const auto per = [&](const char *id, double value) {
        rows.steps.push_back(Step{id, 1, "tx", "2G ch6 11n-HT20 MCS7", "pass", std::nullopt, ""});
        rows.steps.push_back(Step{id, 2, "rx", "2G ch6 11n-HT20 MCS7", value <= 8 ? "pass" : "fail", std::nullopt, ""});
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
        // The run stopped at its frame count: the count is the limit itself.
        m.name = "frames";
        m.unit = "frame";
        m.value = 1000.0 + value; // the last reading overshoots the count
        m.high.reset();
        m.low = 1000.0;
        m.passed = true;
        rows.measurements.push_back(m);
    };
    per("r1", 9);
    per("r2", 3);
    per("r3", 2);
    per("r4", 12);
    per("r5", 4);
    per("r7", 5);
    reporttest::insert_rows(db, rows, ids);
    const std::string at = "2026-12-09T05:00:00.000Z";
    for (const char *pool : {"line-a", "line-b"}) {
        db.execute("INSERT INTO pools (name, created_at) VALUES (?, ?)", {std::string(pool), at});
    }
    for (const auto &[mac, pool, run_id, serial, chip] :
         {std::make_tuple(kMac1, "line-a", "r2", "SN1", "C1"), std::make_tuple(kMac2, "line-b", "r5", "SN2", "C2"),
          std::make_tuple(kMac3, "line-a", "r6", "SN1", "C9")}) {
        db.execute(
            "INSERT INTO mac_addresses (mac, pool, state, run_id, serial, "
            "chip_id, adopted, burned_at, "
            "changed_at) VALUES (?, ?, 'burned', ?, ?, ?, 0, ?, ?)",
            {std::string(mac), std::string(pool), std::string(run_id), std::string(serial), std::string(chip), at, at});
    }
}

std::set<std::string> run_ids(const nlohmann::json &runs) {
    std::set<std::string> ids;
    for (const nlohmann::json &run : runs) {
        ids.insert(run.value("run_id", ""));
    }
    return ids;
}

struct Case {
    const char *name;
    std::vector<std::string> args; // after "report"
    int exit_code = 0;
    std::set<std::string> runs; // the runs the JSON lists (checked when exit_code is 0)
    std::function<void(const nlohmann::json &)> check;
};

const std::vector<Case> &cases() {
    static const std::vector<Case> all{
        // Lookups: a board by its MAC has its runs from before the burn.
        {"board by MAC", {"board", kMac1}, 0, {"r0", "r1", "r2", "r3"}, nullptr},
        {"board by MAC in another form", {"board", "02-00-00-00-00-01"}, 0, {"r0", "r1", "r2", "r3"}, nullptr},
        {"board by serial", {"board", "SN1"}, 0, {"r0", "r1", "r2", "r3", "r6"}, nullptr},
        {"board by a run with no serial", {"board", "r3"}, 0, {"r0", "r1", "r2", "r3"}, nullptr},
        {"board by the MAC of a replaced chip",
         {"board", kMac3},
         0,
         {"r0", "r6"},
         [](const nlohmann::json &doc) { EXPECT_EQ(doc["chip_ids"], nlohmann::json::array({"C9"})) << doc.dump(); }},
        {"board by serial, another board", {"board", "SN2"}, 0, {"r4", "r5"}, nullptr},
        {"no such board", {"board", "SN9"}, 0, {}, nullptr},
        // Zones: times with an offset from UTC.
        {"an hour at +01:00",
         {"--since", "2026-12-09T05:00+01:00", "--until", "2026-12-09T06:00+0100"},
         0,
         {"r0", "r1"},
         [](const nlohmann::json &doc) {
             EXPECT_EQ(doc["window"]["since"], "2026-12-09T04:00:00.000Z");
             EXPECT_EQ(doc["window"]["until"], "2026-12-09T05:00:00.000Z");
         }},
        {"the same hour at -05:00",
         {"--since", "2026-12-08T23:00-05:00", "--until", "2026-12-09T00:00-05"},
         0,
         {"r0", "r1"},
         nullptr},
        {"a shift east of UTC spans two UTC days",
         {"--since", "2026-12-09T00:00+01:00", "--until", "2026-12-09T04:00Z"},
         0,
         {"r7", "r4"},
         nullptr},
        {"an offset past 14 hours",
         {"--since", "2026-12-09T05:00+25:00"},
         2,
         {},
         [](const nlohmann::json &doc) {
             EXPECT_NE(doc.value("message", "").find("-14:00 and +14:00"), std::string::npos) << doc.dump();
         }},
        {"an offset on a date alone", {"--since", "2026-12-09+01:00"}, 2, {}, nullptr},
        // Filters, each a condition; repeated, any of the values.
        {"one station, both its PCs",
         {"--station", "st1"},
         0,
         {"r0", "r1", "r4", "r5"},
         [](const nlohmann::json &doc) {
             // Two PCs with one station name are two groups.
             const nlohmann::json &by = doc["yield"]["station"];
             ASSERT_EQ(by.size(), 2u) << by.dump();
             EXPECT_EQ(by[0]["host"], "pc-a");
             EXPECT_EQ(by[1]["host"], "pc-b");
             EXPECT_EQ(doc["window"]["station"], "st1");
         }},
        {"two stations",
         {"--station", "st10", "--station", "st2"},
         0,
         {"r2", "r3", "r6", "r7"},
         [](const nlohmann::json &doc) {
             EXPECT_EQ(doc["window"]["stations"], nlohmann::json::array({"st10", "st2"}));
             EXPECT_TRUE(doc["window"]["station"].is_null());
             EXPECT_NE(doc["window"]["text"].get<std::string>().find("station st10 or st2"), std::string::npos);
         }},
        {"a host", {"--host", "pc-b"}, 0, {"r4", "r5"}, nullptr},
        {"a station on one PC", {"--station", "st1", "--host", "pc-a"}, 0, {"r0", "r1"}, nullptr},
        {"serials", {"--serial", "SN2", "--serial", "SN3"}, 0, {"r4", "r5", "r7"}, nullptr},
        {"a pool", {"--pool", "line-a"}, 0, {"r0", "r1", "r2", "r3", "r6"}, nullptr},
        {"another pool", {"--pool", "line-b"}, 0, {"r4", "r5"}, nullptr},
        {"verdicts", {"--verdict", "fail", "--verdict", "incomplete"}, 0, {"r1", "r4", "r6"}, nullptr},
        {"a lot", {"--lot", "L2"}, 0, {"r7"}, nullptr},
        {"a station's name is a value", {"--station", "st1' OR '1'='1"}, 0, {}, nullptr},
        {"a verdict that is none", {"--verdict", "passed"}, 2, {}, nullptr},
        {"filters do not go with board", {"--station", "st1", "board", "SN1"}, 2, {}, nullptr},
        // The stations in natural order, each PC apart.
        {"every run",
         {},
         0,
         {"r0", "r1", "r2", "r3", "r4", "r5", "r6", "r7"},
         [](const nlohmann::json &doc) {
             std::vector<std::string> groups;
             for (const nlohmann::json &y : doc["yield"]["station"]) {
                 groups.push_back(y["group"].get<std::string>() + "@" + y["host"].get<std::string>());
             }
             EXPECT_EQ(groups, (std::vector<std::string>{"st1@pc-a", "st1@pc-b", "st2@pc-c", "st10@pc-d"}));
         }},
        // The failing runs: the latest first, bounded, the rest counted.
        {"the latest two failing runs",
         {"--failing", "2"},
         0,
         {"r0", "r1", "r2", "r3", "r4", "r5", "r6", "r7"},
         [](const nlohmann::json &doc) {
             const nlohmann::json &f = doc["failing"];
             EXPECT_EQ(f["total"], 4);
             EXPECT_EQ(f["left_out"], 2);
             ASSERT_EQ(f["runs"].size(), 2u) << f.dump();
             EXPECT_EQ(f["runs"][0]["run_id"], "r6");
             EXPECT_TRUE(f["runs"][0]["step"].is_null());
             EXPECT_EQ(f["runs"][1]["run_id"], "r1");
             EXPECT_EQ(f["runs"][1]["host"], "pc-a");
             EXPECT_EQ(f["runs"][1]["step"], "rx 2G ch6 11n-HT20 MCS7");
             EXPECT_EQ(f["runs"][1]["limit"]["value"], 9.0);
             EXPECT_EQ(f["runs"][1]["limit"]["high"], 8.0);
         }},
        {"the failing runs of a window",
         {"--until", "2026-12-09T04:20Z"},
         0,
         {"r7", "r4", "r0"},
         [](const nlohmann::json &doc) {
             const nlohmann::json &f = doc["failing"];
             EXPECT_EQ(f["total"], 2);
             ASSERT_EQ(f["runs"].size(), 2u) << f.dump();
             EXPECT_EQ(f["runs"][0]["run_id"], "r0");
             EXPECT_EQ(f["runs"][0]["outcome"], "error");
             EXPECT_EQ(f["runs"][0]["kind"], "link");
             EXPECT_EQ(f["runs"][1]["limit"]["value"], 12.0);
         }},
        {"no failing run listed",
         {"--failing", "0"},
         0,
         {"r0", "r1", "r2", "r3", "r4", "r5", "r6", "r7"},
         [](const nlohmann::json &doc) {
             EXPECT_EQ(doc["failing"]["total"], 4);
             EXPECT_TRUE(doc["failing"]["runs"].empty());
         }},
        // Capability: the packet error rate has a Cpk; the frame count a run
        // stopped at has none, and the report says why.
        {"capability only where it means something",
         {"--since", "2026-12-09T00:00Z"},
         0,
         {"r0", "r1", "r2", "r3", "r4", "r5", "r6"},
         [](const nlohmann::json &doc) {
             ASSERT_EQ(doc["measurements"].size(), 2u) << doc["measurements"].dump();
             for (const nlohmann::json &m : doc["measurements"]) {
                 if (m["name"] == "per") {
                     EXPECT_EQ(m["n"], 5);
                     EXPECT_TRUE(m["cpk"].is_number()) << m.dump();
                     EXPECT_TRUE(m["no_capability"].is_null()) << m.dump();
                 } else {
                     EXPECT_EQ(m["name"], "frames");
                     EXPECT_TRUE(m["cpk"].is_null()) << m.dump();
                     EXPECT_TRUE(m["no_capability"].is_string()) << m.dump();
                 }
             }
         }},
    };
    return all;
}

class ReportCases : public ::testing::TestWithParam<Kind> {};

TEST_P(ReportCases, EachCaseByItsJson) {
    if (GetParam() == Kind::Postgresql && !storetest::postgres_admin_url()) {
        GTEST_SKIP() << "no PostgreSQL server for the tests (run them through ctest)";
    }
    TestDatabase database(GetParam());
    {
        const deve::store::UrlResult url = deve::store::parse_store_url(database.url());
        ASSERT_TRUE(url.url) << url.error;
        deve::store::odbc::Environment env;
        const auto db = deve::store::connect(env, *url.url, true);
        deve::store::init_schema(*db, "test", "2026-12-01T00:00:00.000Z");
        fill(*db);
    }
    for (const Case &c : cases()) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args{"--json", "--store", database.url(), "report"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        // A report lists its runs only when asked; a board's history always.
        if (c.args.empty() || c.args.front() != "board") {
            args.push_back("--runs");
        }
        const clitest::CliRun run = clitest::run_cli(args);
        ASSERT_EQ(run.exit_code, c.exit_code) << run.out << run.err;
        // The report is one object; a refusal, its error record first.
        const nlohmann::json doc = nlohmann::json::parse(run.out.substr(0, run.out.find('\n')), nullptr, false);
        ASSERT_TRUE(doc.is_object()) << run.out;
        if (c.exit_code == 0) {
            EXPECT_EQ(run_ids(doc["runs"]), c.runs) << doc["runs"].dump();
        } else {
            EXPECT_EQ(doc["type"], "error") << run.out;
        }
        if (c.check) {
            c.check(doc);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Databases, ReportCases, ::testing::Values(Kind::Sqlite, Kind::Postgresql),
                         [](const auto &param_info) { return std::string(storetest::kind_name(param_info.param)); });

} // namespace
