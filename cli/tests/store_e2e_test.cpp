// deve-cli with --store on the simulated board, the same suite on SQLite
// and on PostgreSQL: a station flow lands complete and agrees with the
// run's records, a run that dies part-way stays incomplete, a spool
// uploaded twice is stored once, the server stopped mid-run costs no
// result, and a store that cannot take the run is refused before the link
// opens. The database is read back through the store's ODBC layer.
#include "cli_process.h"
#include "records.h"

#include "connect.h"
#include "odbc.h"
#include "test_databases.h"
#include "url.h"
#include "test_support/system.h"

#include <gtest/gtest.h>

#include <QJsonArray>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>

namespace {

using namespace clitest;
using deve::store::odbc::Cell;
using deve::store::odbc::Row;
using deve::store::odbc::Type;
using storetest::Kind;
using storetest::TestDatabase;

const std::string kLimits = DEVE_STATION_LIMITS;
const char *kMac = "02:00:00:00:00:42";

// The quantity each limit of a tx or rx record bounds.
const std::map<std::string, std::string> kQuantity{
    {"min-frames", "frames"}, {"min-fps", "frames_per_second"}, {"max-per", "per"}, {"max-errors", "errors"}};

class Store {
public:
    explicit Store(const std::string &url) {
        const deve::store::UrlResult parsed = deve::store::parse_store_url(url);
        db_ = deve::store::connect(env_, *parsed.url, true);
    }
    std::vector<Row> rows(const std::string &sql, const std::string &run_id, const std::vector<Type> &types = {}) {
        return db_->query(sql, {run_id}, types);
    }
    std::optional<std::string> one(const std::string &sql, const std::string &run_id) {
        return db_->scalar(sql, {run_id}).text();
    }
    std::string count(const std::string &table) {
        return std::to_string(*db_->scalar("SELECT COUNT(*) FROM " + table, {}, Type::Integer).integer());
    }
    deve::store::odbc::Connection &db() { return *db_; }

private:
    deve::store::odbc::Environment env_;
    std::unique_ptr<deve::store::odbc::Connection> db_;
};

class StoreRuns : public ::testing::TestWithParam<Kind> {
protected:
    void SetUp() override {
        if (GetParam() == Kind::Postgresql && !storetest::postgres_admin_url()) {
            GTEST_SKIP() << "no PostgreSQL server for the tests (run them through ctest)";
        }
        database_ = std::make_unique<TestDatabase>(GetParam());
        spool_ = (database_->dir() / "spool").string();
        fuse_ = (database_->dir() / "board.bin").string();
    }

    CliOptions options() const {
        CliOptions o;
        o.env = {{"XOLT_FUSE_FILE", program_path(fuse_)}, {"DEVE_SPOOL", program_path(spool_)}, {"DEVE_STORE", ""}};
        return o;
    }
    CliRun cli(std::vector<std::string> args, CliOptions o) const { return run_cli(args, o); }
    CliRun cli(std::vector<std::string> args) const { return run_cli(args, options()); }
    void init() const {
        const CliRun r = cli({"--store", database_->url(), "store", "init"});
        ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    }
    std::string session_file(const std::string &text) const {
        const std::string file = (database_->dir() / "commands.txt").string();
        std::ofstream(file) << text;
        return file;
    }

    std::unique_ptr<TestDatabase> database_;
    std::string spool_;
    std::string fuse_;
};

TEST_P(StoreRuns, AStationFlowLandsCompleteAndAgreesWithItsRecords) {
    init();
    const std::string commands = session_file(std::string("info\nefuse read\n"
                                                          "tune --band 5G --channel 36 --mode 11g-OFDM --rate 7-OFDM-54M\n"
                                                          "tx --frames 2000 --seconds 5\n"
                                                          "rx --frames 1000 --seconds 5\n"
                                                          "tune --band 2G --channel 6 --mode 11n-HT20\n"
                                                          "rx --frames 1000 --seconds 5\n"
                                                          "temp\nmac write ") +
                                              kMac + " --if-blank --yes\n");
    const CliRun run = cli({"--json", "--store", database_->url(), "--limits", program_path(kLimits), "--meta",
                            "serial=SN0042", "--meta", "station=line-3", "--meta", "fixture=F7", "session",
                            "--commands", program_path(commands)});
    const std::vector<QJsonObject> all = records(run.out);
    ASSERT_FALSE(all.empty()) << run.err;
    const QJsonObject open = one(all, "open");
    const QJsonObject end = one(all, "end");
    const std::string run_id = text(end, "run_id");
    // Pass or fail (the receive error rate of the simulated board varies):
    // the store shows it as it is.
    EXPECT_TRUE(run.exit_code == 0 || run.exit_code == 1) << run.err;
    EXPECT_EQ(run.exit_code, static_cast<int>(number(end, "exit_code")));
    EXPECT_EQ(text(end, "store"), "stored");
    EXPECT_EQ(text(open, "limits_sha256").size(), 64u);
    EXPECT_EQ(text(open, "started_at"), text(end, "started_at"));
    EXPECT_LT(text(open, "started_at"), text(open, "time"));

    Store store(database_->url());
    const std::vector<Row> runs = store.rows(
        "SELECT verdict, exit_code, started_at, ended_at, serial, station, limits_sha256, commands_sha256, spooled, "
        "limits_path FROM runs WHERE run_id = ?",
        run_id, {Type::Text, Type::Integer, Type::Text, Type::Text, Type::Text, Type::Text, Type::Text, Type::Text,
                 Type::Integer, Type::Text});
    ASSERT_EQ(runs.size(), 1u) << "the run " << run_id << " is not in the store";
    EXPECT_EQ(runs[0][0].text(), text(end, "verdict"));
    EXPECT_EQ(runs[0][1].integer(), static_cast<int>(number(end, "exit_code")));
    EXPECT_EQ(runs[0][2].text(), text(open, "started_at"));
    EXPECT_EQ(runs[0][3].text(), text(end, "time"));
    EXPECT_EQ(runs[0][4].text(), "SN0042");
    EXPECT_EQ(runs[0][5].text(), "line-3");
    EXPECT_EQ(runs[0][6].text(), text(open, "limits_sha256"));
    EXPECT_EQ(runs[0][7].text(), text(open, "commands_sha256"));
    EXPECT_EQ(runs[0][8].integer(), 0);
    EXPECT_EQ(store.one("SELECT value FROM run_meta WHERE run_id = ? AND name = 'fixture'", run_id), "F7");

    // Every step, with the outcome the end record gives it.
    std::map<int, std::string> failed;
    for (const auto &f : end.value("failures").toArray()) {
        failed[f.toObject().value("step").toInt()] = f.toObject().value("kind").toString().toStdString();
    }
    const std::vector<Row> steps =
        store.rows("SELECT seq, command, outcome, error_kind, started_at, ended_at FROM steps WHERE run_id = ? "
                   "ORDER BY seq",
                   run_id, {Type::Integer, Type::Text, Type::Text, Type::Text, Type::Time, Type::Time});
    ASSERT_EQ(steps.size(), 10u);
    for (const Row &s : steps) {
        const int seq = static_cast<int>(*s[0].integer());
        const auto f = failed.find(seq);
        EXPECT_EQ(s[2].text(), f == failed.end() ? "pass" : f->second == "fail" ? "fail" : "error") << "step " << seq;
        ASSERT_TRUE(s[4] && s[5]) << "step " << seq;
        EXPECT_LE(*s[4].time(), *s[5].time()) << "step " << seq;
    }
    EXPECT_EQ(steps[0][1].text(), "open");
    EXPECT_EQ(steps[9][1].text(), "mac write");

    // Every limit of every tx and rx record, as a measurement with its limit.
    int checked = 0;
    int wanted = 0;
    for (const char *type : {"tx", "rx"}) {
        for (const QJsonObject &r : of_type(all, type)) {
            const std::string step = std::to_string(r.value("step").toInt());
            // The station's sets choose the sequential test: a decided run is
            // judged on its rate alone, an undecided one on min-frames too.
            const std::string ending = text(r, "ending");
            wanted += ending == "decided pass" || ending == "decided fail" ? 1 : 2;
            const std::vector<Row> how =
                store.db().query("SELECT ending, frames_used FROM steps WHERE run_id = ? AND seq = ?",
                                 {run_id, std::int64_t{std::stoi(step)}}, {Type::Text, Type::Integer});
            ASSERT_EQ(how.size(), 1u) << type << " step " << step;
            EXPECT_EQ(how[0][0].text(), ending);
            EXPECT_EQ(how[0][1].integer(), static_cast<std::int64_t>(number(r, "frames")));
            for (const auto &l : r.value("limits").toArray()) {
                const QJsonObject limit = l.toObject();
                const std::string name = limit.value("name").toString().toStdString();
                const std::vector<Row> m = store.db().query(
                    "SELECT value, low, high, limit_set, passed, unit FROM measurements WHERE run_id = ? AND "
                    "step_seq = ? AND name = ?",
                    {run_id, std::int64_t{std::stoi(step)}, kQuantity.at(name)},
                    {Type::Real, Type::Real, Type::Real, Type::Text, Type::Integer, Type::Text});
                ASSERT_EQ(m.size(), 1u) << type << " step " << step << " " << name;
                // 15 significant digits: SQLite's ODBC driver reads real
                // numbers through SQLite's text of them.
                const double value = limit.value("value").toDouble();
                EXPECT_NEAR(*m[0][0].real(), value, std::abs(value) * 1e-14) << name;
                const bool at_least = limit.value("relation").toString() == ">=";
                const Cell &bound = at_least ? m[0][1] : m[0][2];
                ASSERT_TRUE(bound) << name;
                EXPECT_DOUBLE_EQ(*bound.real(), limit.value("limit").toDouble()) << name;
                EXPECT_EQ(m[0][3].text(), text(r, "limit_set"));
                EXPECT_EQ(m[0][4].integer(), limit.value("pass").toBool() ? 1 : 0) << name;
                EXPECT_EQ(m[0][5].text(), limit.value("unit").toString().toStdString());
                ++checked;
            }
        }
    }
    EXPECT_EQ(checked, wanted);
    EXPECT_GE(wanted, 3);

    const std::vector<Row> board = store.rows("SELECT serial, mac FROM boards WHERE run_id = ?", run_id);
    ASSERT_EQ(board.size(), 1u);
    EXPECT_EQ(board[0][0].text(), "SN0042");
    EXPECT_EQ(board[0][1].text(), kMac);
    EXPECT_EQ(store.one("SELECT outcome FROM burns WHERE run_id = ? AND item = 'MAC'", run_id),
              text(one(all, "efuse_burn"), "outcome"));
}

TEST_P(StoreRuns, ARunThatDiesPartWayStaysIncomplete) {
    init();
    // Options that send a signal at the first receive sample.
    bool sent = false;
    const auto signal_at_rx = [this, &sent](int signal) {
        sent = false;
        CliOptions o = options();
        o.on_line = [&sent, signal](const std::string &line, pid_t child) {
            if (!sent && line.find("\"type\":\"rx_sample\"") != std::string::npos) {
                sent = true;
                kill(child, signal);
            }
        };
        return o;
    };
    const CliRun died = cli({"--json", "--store", database_->url(), "--meta", "serial=SN7", "tune", "--band", "2G",
                             "tx", "--frames", "500", "rx", "--seconds", "30"},
                            signal_at_rx(SIGKILL));
    ASSERT_TRUE(sent) << died.out << died.err;
    const std::string run_id = text(records(died.out).front(), "run_id");

    // And one that is stopped by SIGTERM ends as interrupted.
    const CliRun interrupted =
        cli({"--json", "--store", database_->url(), "rx", "--seconds", "30"}, signal_at_rx(SIGTERM));

    Store store(database_->url());
    const std::vector<Row> runs = store.rows("SELECT verdict, ended_at, exit_code FROM runs WHERE run_id = ?", run_id);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0][0].text(), "incomplete");
    EXPECT_FALSE(runs[0][1]);
    EXPECT_FALSE(runs[0][2]);
    // The steps that ended are there; the rx under way is not.
    const std::vector<Row> steps = store.rows("SELECT command FROM steps WHERE run_id = ? ORDER BY seq", run_id);
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[2][0].text(), "tx");

    if (!windows_program()) {  // Wine does not hand SIGTERM to the program as a console event
        EXPECT_EQ(interrupted.exit_code, 128 + SIGTERM) << interrupted.err;
        const std::string other = text(one(records(interrupted.out), "end"), "run_id");
        EXPECT_EQ(store.one("SELECT verdict FROM runs WHERE run_id = ?", other), "interrupted");
    }
}

TEST_P(StoreRuns, ASpoolUploadedTwiceIsStoredOnce) {
    init();
    // A server that is away from the start: the whole run goes to the spool.
    const CliRun run = cli({"--json", "--store", "postgresql://line@127.0.0.1:1/results", "--meta", "serial=SN9",
                            "tune", "--band", "5G", "--channel", "36", "tx", "--frames", "300", "temp"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const QJsonObject end = one(records(run.out), "end");
    EXPECT_EQ(text(end, "store"), "spooled");
    EXPECT_NE(run.err.find("store upload"), std::string::npos) << run.err;
    const std::string run_id = text(end, "run_id");
    const std::filesystem::path file = std::filesystem::path(spool_) / (run_id + ".jsonl");
    ASSERT_TRUE(std::filesystem::exists(file));
    const std::filesystem::path copy = database_->dir() / "copy.jsonl";
    std::filesystem::copy_file(file, copy);

    const CliRun first = cli({"--store", database_->url(), "store", "upload"});
    EXPECT_EQ(first.exit_code, 0) << first.out << first.err;
    EXPECT_NE(first.out.find("1 runs sent, 0 already stored"), std::string::npos) << first.out;
    EXPECT_FALSE(std::filesystem::exists(file));
    Store store(database_->url());
    const auto counts = [&store] {
        return store.count("runs") + "/" + store.count("steps") + "/" + store.count("measurements") + "/" +
               store.count("boards");
    };
    const std::string after_first = counts();
    EXPECT_EQ(after_first, "1/4/3/1");
    EXPECT_EQ(store.one("SELECT verdict FROM runs WHERE run_id = ?", run_id), "pass");
    EXPECT_EQ(store.one("SELECT spooled FROM runs WHERE run_id = ?", run_id), "1");

    std::filesystem::copy_file(copy, file);
    const CliRun second = cli({"--store", database_->url(), "store", "upload"});
    EXPECT_EQ(second.exit_code, 0) << second.out << second.err;
    EXPECT_NE(second.out.find("0 runs sent, 1 already stored"), std::string::npos) << second.out;
    EXPECT_EQ(counts(), after_first);
}

TEST_P(StoreRuns, AStoreThatCannotTakeTheRunIsRefusedBeforeTheLinkOpens) {
    struct Case {
        std::string what;
        std::string url;
        std::string message;
        std::vector<std::pair<std::string, std::string>> env;
    };
    std::vector<Case> cases{{"malformed URL", "sqlite", "the forms are", {}},
                            {"empty database", database_->url(), "store init", {}}};
    // Not ours, and newer.
    TestDatabase foreign(GetParam());
    TestDatabase newer(GetParam());
    {
        Store f(foreign.url());
        f.db().execute("CREATE TABLE orders (id INTEGER PRIMARY KEY)");
        ASSERT_EQ(cli({"--store", newer.url(), "store", "init"}).exit_code, 0);
        Store n(newer.url());
        n.db().execute("INSERT INTO deve_schema (version, name, applied_at, tool_version) VALUES (99, 'later', "
                       "'2030-01-01T00:00:00.000Z', '9')");
    }
    cases.push_back({"foreign database", foreign.url(), "not deve-cli's", {}});
    cases.push_back({"newer schema", newer.url(), "newer than this deve-cli knows", {}});
    if (GetParam() == Kind::Postgresql) {
        const std::string url = "postgresql://station@127.0.0.1:" + storetest::postgres_port() + "/postgres";
        cases.push_back({"wrong password", url, "refused the user name or the password",
                         {{"DEVE_STORE_PASSWORD", "not-the-password"}}});
        cases.push_back({"missing database",
                         "postgresql://line@127.0.0.1:" + storetest::postgres_port() + "/no_such_database",
                         "no database or user of the name", {}});
    }
    for (const Case &c : cases) {
        CliOptions o = options();
        o.env.insert(o.env.end(), c.env.begin(), c.env.end());
        const CliRun r = cli({"--json", "--store", c.url, "info"}, o);
        EXPECT_TRUE(r.exit_code == 2 || r.exit_code == 3) << c.what << ": " << r.exit_code;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.what << ": " << r.err;
        const std::vector<QJsonObject> all = records(r.out);
        EXPECT_TRUE(of_type(all, "open").empty()) << c.what << ": the link was opened";
        EXPECT_EQ(of_type(all, "end").size(), 1u) << c.what;
    }

    // A read-only SQLite file (root writes any file: the program then runs
    // as nobody).
    if (GetParam() == Kind::Sqlite && !windows_program()) {
        init();
        chmod(database_->sqlite_file().c_str(), 0444);
        chmod(database_->dir().c_str(), 0755);
        std::vector<std::string> args{"--json", "--store", database_->url(), "info"};
        CliRun r;
        if (geteuid() == 0) {
            args.insert(args.begin(), {"-u", "nobody", "--", cli_program()});
            r = run_program(storetest::on_path("runuser"), args, options());
        } else {
            r = cli(args);
        }
        EXPECT_EQ(r.exit_code, 2) << r.out << r.err;
        EXPECT_NE(r.err.find("does not take writes"), std::string::npos) << r.err;
        EXPECT_TRUE(of_type(records(r.out), "open").empty()) << "the link was opened";
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, StoreRuns, ::testing::Values(Kind::Sqlite, Kind::Postgresql),
                         [](const auto &param_info) { return std::string(storetest::kind_name(param_info.param)); });

// The server stopped in the middle of a run, on a private server of this
// test's own (the other tests share theirs).
TEST(StoreAway, TheServerStoppedMidRunCostsNoResult) {
    TempDir dir;
    const std::string state = dir.file("server.state");
    const std::string script = DEVE_TEST_POSTGRES_SCRIPT;
    ASSERT_EQ(test_support::run_program(storetest::on_path("bash"), {script, "start", state}).exit_code, 0);
    struct Stop {
        std::string script, state;
        ~Stop() { test_support::run_program(storetest::on_path("bash"), {script, "stop", state}); }
    } stop{script, state};
    std::ifstream in(state);
    std::string admin;
    std::getline(in, admin);
    const std::string url = admin;  // the server's own database "postgres"

    CliOptions o;
    const std::string spool = dir.file("spool");
    o.env = {{"XOLT_FUSE_FILE", program_path(dir.file("board.bin"))}, {"DEVE_SPOOL", program_path(spool)},
             {"DEVE_STORE", ""}};
    ASSERT_EQ(run_cli({"--store", url, "store", "init"}, o).exit_code, 0);
    bool paused = false;
    o.on_line = [&](const std::string &line, pid_t) {
        if (!paused && line.find("\"type\":\"tx_sample\"") != std::string::npos) {
            paused = true;
            test_support::run_program(storetest::on_path("bash"), {script, "pause", state});
        }
    };
    const CliRun run = run_cli({"--json", "--store", url, "tune", "--band", "5G", "--channel", "36", "tx", "--seconds", "2", "rx",
                                "--seconds", "1", "temp"},
                               o);
    ASSERT_TRUE(paused) << run.out << run.err;
    EXPECT_EQ(run.exit_code, 0) << run.err;
    const std::vector<QJsonObject> all = records(run.out);
    const QJsonObject end = one(all, "end");
    EXPECT_EQ(text(end, "store"), "spooled");
    const std::string run_id = text(end, "run_id");
    ASSERT_EQ(test_support::run_program(storetest::on_path("bash"), {script, "resume", state}).exit_code, 0);

    Store store(url);
    // What was written before the server went is there, and incomplete.
    EXPECT_EQ(store.one("SELECT verdict FROM runs WHERE run_id = ?", run_id), "incomplete");
    const CliRun upload = run_cli({"--store", url, "store", "upload"}, o);
    EXPECT_EQ(upload.exit_code, 0) << upload.out << upload.err;
    EXPECT_EQ(store.one("SELECT verdict FROM runs WHERE run_id = ?", run_id), "pass");
    EXPECT_EQ(store.one("SELECT COUNT(*) FROM steps WHERE run_id = ?", run_id), "5");
    EXPECT_EQ(store.one("SELECT COUNT(*) FROM measurements WHERE run_id = ?", run_id), "6");
    EXPECT_EQ(store.one("SELECT COUNT(*) FROM runs", run_id), "1");
}

}  // namespace
