// deve-cli report over runs that deve-cli itself stored: station runs on the
// simulated board write to an SQLite store, and the report's figures are
// checked against the values the runs' own records gave.
#include "sim_board.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>

namespace {

using namespace clitest;

class CliReport : public SimBoard {
protected:
    // The SQLite driver is the host's, also for deve-cli.exe under Wine: the
    // host's path.
    std::string store() const { return "sqlite:" + path("results.db"); }

    // One station run: rx against --max-per; the rx record's error rate.
    double station_run(const std::string &serial, const std::string &max_per, int expected_exit) {
        const CliRun r = run({"--json", "--store", store(), "--meta", "serial=" + serial, "--meta", "station=FT-1",
                              "--meta", "lot=L7", "tune", "--band", "2G", "--channel", "6", "--mode", "11n-HT20",
                              "rx", "--frames", "200", "--seconds", "5", "--max-per", max_per});
        EXPECT_EQ(r.exit_code, expected_exit) << r.err;
        return number(one(records(r.out), "rx"), "per");
    }

    QJsonObject report(const std::vector<std::string> &words) {
        std::vector<std::string> args{"--store", store(), "report"};
        args.insert(args.end(), words.begin(), words.end());
        const CliRun r = run(args);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(r.out));
        EXPECT_TRUE(doc.isObject()) << r.out;
        return doc.object();
    }
};

TEST_F(CliReport, FiguresOfStoredRunsMatchTheirRecords) {
    ASSERT_EQ(run({"--store", store(), "store", "init"}).exit_code, 0);
    // SN1 fails a tight limit, then passes; SN2 passes at once.
    station_run("SN1", "0.001", 1);
    const double second = station_run("SN1", "50", 0);
    const double third = station_run("SN2", "50", 0);

    // Every run is listed when asked for (--runs); the count always.
    const QJsonObject all = report({"--json", "--runs"});
    EXPECT_EQ(all["runs"].toArray().size(), 3);
    EXPECT_EQ(all["run_count"].toInt(), 3);
    EXPECT_FALSE(report({"--json"}).contains("runs"));
    const QJsonObject yield = all["yield"].toObject()["all"].toObject();
    EXPECT_EQ(yield["boards"].toInt(), 2);
    EXPECT_EQ(yield["first_pass"].toInt(), 1);
    EXPECT_EQ(yield["final_pass"].toInt(), 2);
    const QJsonArray lots = all["yield"].toObject()["lot"].toArray();
    ASSERT_EQ(lots.size(), 1);
    EXPECT_EQ(lots[0].toObject()["group"].toString(), "L7");

    // The error rate against per <= 50: the two runs' values.
    bool found = false;
    for (const QJsonValue &value : all["measurements"].toArray()) {
        const QJsonObject m = value.toObject();
        if (m["name"].toString() != "per" || m["high"].toDouble() != 50) {
            continue;
        }
        found = true;
        EXPECT_EQ(m["command"].toString(), "rx");
        EXPECT_TRUE(m["point"].toString().startsWith("2G ch6")) << m["point"].toString().toStdString();
        EXPECT_EQ(m["n"].toInt(), 2);
        EXPECT_NEAR(m["mean"].toDouble(), (second + third) / 2, 1e-9);
        EXPECT_NEAR(m["stddev"].toDouble(), std::fabs(second - third) / std::sqrt(2.0), 1e-9);
        EXPECT_TRUE(m["cp"].isNull());
    }
    EXPECT_TRUE(found);
    const QJsonArray pareto = all["pareto"].toArray();
    ASSERT_EQ(pareto.size(), 1);
    EXPECT_EQ(pareto[0].toObject()["count"].toInt(), 1);

    // One board's history, oldest first.
    const QJsonObject board = report({"board", "SN1", "--json"});
    const QJsonArray runs = board["runs"].toArray();
    ASSERT_EQ(runs.size(), 2);
    EXPECT_EQ(runs[0].toObject()["verdict"].toString(), "fail");
    EXPECT_EQ(runs[1].toObject()["verdict"].toString(), "pass");
    // CSV lines end in CR LF, text lines in LF, on Windows too.
    const CliRun csv = run({"--store", store(), "report", "--csv"});
    ASSERT_EQ(csv.exit_code, 0) << csv.err;
    ASSERT_NE(csv.out.find("\r\n"), std::string::npos);
    for (std::size_t nl = csv.out.find('\n'); nl != std::string::npos; nl = csv.out.find('\n', nl + 1)) {
        ASSERT_TRUE(nl >= 2 && csv.out[nl - 1] == '\r' && csv.out[nl - 2] != '\r') << nl;
    }
    const CliRun text = run({"--store", store(), "report"});
    ASSERT_EQ(text.exit_code, 0) << text.err;
    EXPECT_EQ(text.out.find('\r'), std::string::npos);
    // A window that ends before the runs holds none of them.
    EXPECT_EQ(report({"--json", "--until", "2000-01-01"})["run_count"].toInt(), 0);
}

// A board that failed before its MAC burn: looked up by the MAC on its
// label, its history still has the failure.
TEST_F(CliReport, BoardByMacHasItsRunsFromBeforeTheBurn) {
    ASSERT_EQ(run({"--store", store(), "store", "init"}).exit_code, 0);
    station_run("SN5", "0.001", 1);
    const CliRun burn = run({"--json", "--store", store(), "--meta", "serial=SN5", "--meta", "station=FT-2", "mac",
                             "write", "02:00:00:00:00:55", "--yes"});
    ASSERT_EQ(burn.exit_code, 0) << burn.err;
    for (const char *key : {"SN5", "02:00:00:00:00:55", "020000000055"}) {
        const QJsonArray runs = report({"board", key, "--json"})["runs"].toArray();
        ASSERT_EQ(runs.size(), 2) << key;
        EXPECT_EQ(runs[0].toObject()["verdict"].toString(), "fail") << key;
        EXPECT_EQ(runs[1].toObject()["verdict"].toString(), "pass") << key;
    }
}

TEST_F(CliReport, RefusalsAreClearAndExitTwo) {
    // No store named.
    CliRun r = run({"report"}, {{"DEVE_STORE", ""}});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.err.find("--store"), std::string::npos) << r.err;
    // A store with no schema yet, and a malformed URL.
    r = run({"--store", store(), "report"});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.err.find("store init"), std::string::npos) << r.err;
    r = run({"--store", "mysql://db/line", "report"});
    EXPECT_EQ(r.exit_code, 2);
    // Options that do not go together, and a time that is none.
    for (const std::vector<std::string> &words :
         {std::vector<std::string>{"--json", "--csv"}, {"--since", "last week"}, {"--since", "2026-12-08", "--until",
                                                                                  "2026-12-01"},
          {"board", "SN1", "--html", "x.html"}, {"board"}}) {
        std::vector<std::string> args{"--store", store(), "report"};
        args.insert(args.end(), words.begin(), words.end());
        EXPECT_EQ(run(args).exit_code, 2) << words.front();
    }
}

}  // namespace
