// deve-cli report serve, the live page, in a real browser: deve-cli serves
// a store on the loopback, headless Chromium (driven through chromedriver's
// WebDriver interface) opens the page, and the test reads what the page
// shows from its DOM and the browser's console. The page must load with no
// console message, show a run stored while it is open, and say "store
// unreachable since" when the database stops, and recover when it is back;
// the PostgreSQL case reads through the documented read-only role. The
// server's answers to bad requests and its stop on SIGINT and SIGTERM are
// checked over HTTP without the browser.
#include "cli_process.h"
#include "connect.h"
#include "odbc.h"
#include "report.h"
#include "report_rows.h"
#include "schema.h"
#include "test_databases.h"
#include "test_support/system.h"
#include "url.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using namespace deve::cli::report;
using nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr int kRefresh = 2;  // the page's period in these tests, seconds

std::string program(const char *variable, std::initializer_list<const char *> candidates) {
    const char *given = std::getenv(variable);
    if (given != nullptr && *given != '\0') {
        return given;
    }
    for (const char *candidate : candidates) {
        if (std::filesystem::exists(candidate)) {
            return candidate;
        }
    }
    return "";
}
std::string chromium() { return program("DEVE_CHROMIUM", {"/usr/bin/chromium", "/usr/bin/chromium-browser"}); }
std::string chromedriver() { return program("DEVE_CHROMEDRIVER", {"/usr/bin/chromedriver"}); }

// Reads a started program's output until `marker` shows; the text after it
// up to the end of that line.
std::optional<std::string> wait_for_line(test_support::StartedProgram &p, const std::string &marker, int seconds) {
    const auto until = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < until) {
        const std::string &out = p.output();
        const std::size_t at = out.find(marker);
        if (at != std::string::npos) {
            const std::size_t end = out.find('\n', at);
            if (end != std::string::npos) {
                return out.substr(at + marker.size(), end - at - marker.size());
            }
        }
        if (!p.read_output(200) && p.poll()) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

// deve-cli report serve on the loopback, on a free port.
class Served {
public:
    Served(const std::string &store, const std::vector<std::pair<std::string, std::string>> &env,
           std::vector<std::string> more = {}) {
        std::vector<std::string> args{"--store",  store,         "report",    "serve",
                                      "--listen", "127.0.0.1:0", "--refresh", std::to_string(kRefresh)};
        args.insert(args.end(), more.begin(), more.end());
        test_support::StartOptions options;
        options.env = env;
        program_ = test_support::start_program(clitest::cli_program(), args, options);
        const std::optional<std::string> address = wait_for_line(program_, "report serve: http://127.0.0.1:", 30);
        if (address) {
            port_ = std::atoi(address->c_str());
        }
    }
    int port() const { return port_; }
    std::string url(const std::string &path = "/") const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    test_support::StartedProgram &program() { return program_; }

private:
    test_support::StartedProgram program_;
    int port_ = 0;
};

// A small WebDriver client over chromedriver: one headless Chromium session.
class Browser {
public:
    Browser() {
        test_support::StartOptions options;
        options.error = test_support::StartOptions::Error::WithOutput;
        driver_ = test_support::start_program(chromedriver(), {"--port=0"}, options);
        const std::optional<std::string> port = wait_for_line(driver_, "was started successfully on port ", 30);
        if (!port) {
            error_ = "chromedriver did not start: " + driver_.output();
            return;
        }
        http_ = std::make_unique<httplib::Client>("127.0.0.1", std::atoi(port->c_str()));
        http_->set_read_timeout(90, 0);
        const json caps{
            {"capabilities",
             {{"alwaysMatch",
               {{"browserName", "chrome"},
                {"goog:loggingPrefs", {{"browser", "ALL"}}},
                {"goog:chromeOptions",
                 {{"binary", chromium()},
                  {"args",
                   {"--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking", "--no-first-run",
                    "--disable-component-update", "--disable-sync", "--disable-extensions", "--disable-crash-reporter",
                    "--window-size=1280,1000", "--user-data-dir=" + profile_.path()}}}}}}}}};
        const json answer = call("POST", "/session", caps);
        if (!answer.contains("sessionId")) {
            error_ = "no session: " + answer.dump();
            return;
        }
        session_ = "/session/" + answer["sessionId"].get<std::string>();
    }
    ~Browser() {
        if (!session_.empty()) {
            call("DELETE", session_, nullptr);
        }
    }
    const std::string &error() const { return error_; }

    void open(const std::string &url) { call("POST", session_ + "/url", {{"url", url}}); }
    // The value the script returns.
    json run(const std::string &script) {
        return call("POST", session_ + "/execute/sync", {{"script", script}, {"args", json::array()}});
    }
    // The console's messages since the last call.
    std::vector<std::string> console() {
        std::vector<std::string> lines;
        const json logs = call("POST", session_ + "/se/log", {{"type", "browser"}});
        if (logs.is_array()) {
            for (const json &entry : logs) {
                lines.push_back(entry.dump());
            }
        }
        return lines;
    }
    std::string screenshot_base64() {
        const json shot = call("GET", session_ + "/screenshot", nullptr);
        return shot.is_string() ? shot.get<std::string>() : std::string();
    }
    // Waits until the script returns true.
    bool wait_until(const std::string &script, int seconds) {
        const auto until = Clock::now() + std::chrono::seconds(seconds);
        while (Clock::now() < until) {
            if (run(script) == true) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
        return false;
    }

private:
    // One WebDriver command; its "value", or {"sessionId", "value"} for a new
    // session.
    json call(const std::string &method, const std::string &path, const json &body) {
        httplib::Result res = method == "GET"      ? http_->Get(path.c_str())
                              : method == "DELETE" ? http_->Delete(path.c_str())
                                                   : http_->Post(path.c_str(), body.dump(), "application/json");
        if (!res) {
            ADD_FAILURE() << method << " " << path << ": no answer from chromedriver";
            return nullptr;
        }
        const json answer = json::parse(res->body, nullptr, false);
        if (res->status != 200) {
            ADD_FAILURE() << method << " " << path << ": " << res->status << " " << res->body.substr(0, 500);
            return nullptr;
        }
        if (answer.is_object() && answer.contains("value") && answer["value"].is_object() &&
            answer["value"].contains("sessionId")) {
            return answer["value"];
        }
        return answer.is_object() && answer.contains("value") ? answer["value"] : json(nullptr);
    }

    clitest::TempDir profile_;
    test_support::StartedProgram driver_;
    std::unique_ptr<httplib::Client> http_;
    std::string session_;
    std::string error_;
};

// Scripts that read the page.
constexpr const char *kStations = "return Array.from(document.querySelectorAll('#tiles .tile "
                                  "b')).map(function (b) { return b.textContent; })"
                                  ".join(',');";
constexpr const char *kBanner = "var s = document.getElementById('store'); "
                                "return s.className + '|' + s.textContent;";

// A shift of a line: two stations, a failure, a run under way, a pool.
Rows shift_rows(std::int64_t now) {
    Rows rows;
    const auto run = [&rows, now](const std::string &id, int minutes_ago, const std::string &station,
                                  const std::string &serial, const std::string &verdict) {
        deve::cli::report::Run r;
        r.run_id = id;
        r.started_ms = now - minutes_ago * 60'000LL;
        r.station = station;
        r.serial = serial;
        r.board = serial;
        r.verdict = verdict;
        if (verdict != "incomplete") {
            r.ended_ms = r.started_ms + 50'000;
            r.exit_code = verdict == "pass" ? 0 : 1;
        }
        rows.runs.push_back(r);
    };
    for (int i = 0; i < 12; ++i) {
        run("ft1-" + std::to_string(i), 200 - 10 * i, "FT-1", "SN" + std::to_string(100 + i), i == 4 ? "fail" : "pass");
        run("ft2-" + std::to_string(i), 195 - 10 * i, "FT-2", "SN" + std::to_string(100 + i),
            i == 7 ? "error" : "pass");
    }
    run("ft2-now", 1, "FT-2", "SN200", "incomplete");
    rows.steps.push_back(Step{"ft1-4", 2, "rx", "2G ch6 11n-HT20 MCS7", "fail", now - 160 * 60'000LL, ""});
    Measurement per;
    per.run_id = "ft1-4";
    per.step_seq = 2;
    per.command = "rx";
    per.name = "per";
    per.unit = "%";
    per.value = 11.2;
    per.high = 8.0;
    per.passed = false;
    rows.measurements.push_back(per);
    rows.steps.push_back(Step{"ft2-7", 3, "tx", "5G ch36 11a-OFDM 6M", "error", now - 125 * 60'000LL, "link"});
    rows.steps.push_back(Step{"ft2-now", 1, "open", "", "pass", now - 30'000LL, ""});
    return rows;
}

// The PNG that WebDriver gives in base64.
std::string base64_decode(const std::string &text) {
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (const char c : text) {
        const char *digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        const char *at = std::strchr(digits, c);
        if (c == '\0' || at == nullptr) {
            continue;  // padding
        }
        bits = (bits << 6) | static_cast<unsigned>(at - digits);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

std::int64_t now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void fill(deve::store::odbc::Connection &db, std::int64_t now) {
    deve::store::init_schema(db, "test", "2026-12-01T00:00:00.000Z");
    reporttest::insert_rows(db, shift_rows(now));
    db.execute("UPDATE runs SET host = 'pc-ft1' WHERE station = 'FT-1'");
    db.execute("UPDATE runs SET host = 'pc-ft2' WHERE station = 'FT-2'");
    db.execute("UPDATE steps SET error_kind = 'link', detail = 'the board did not answer' WHERE run_id = 'ft2-7'");
    db.execute("INSERT INTO pools (name, created_at) VALUES ('line-A', "
               "'2026-12-01T00:00:00.000Z')");
    db.execute("INSERT INTO pool_ranges (first_mac, last_mac, next_mac, pool, "
               "first_text, last_text, added_at) VALUES "
               "(2199023255552, 2199023256575, 2199023255577, 'line-A', "
               "'02:00:00:00:00:00', '02:00:00:00:03:ff', "
               "'2026-12-01T00:00:00.000Z')");
}

// A new run, as a station would store it.
void store_run(deve::store::odbc::Connection &db, const std::string &id, const std::string &station) {
    Rows rows;
    deve::cli::report::Run r;
    r.run_id = id;
    r.started_ms = now_ms() - 5'000;
    r.ended_ms = now_ms();
    r.station = station;
    r.serial = "SN-" + id;
    r.board = r.serial;
    r.verdict = "pass";
    r.exit_code = 0;
    rows.runs.push_back(r);
    reporttest::insert_rows(db, rows);
}

std::unique_ptr<deve::store::odbc::Connection> open_store(deve::store::odbc::Environment &env, const std::string &url) {
    const deve::store::UrlResult parsed = deve::store::parse_store_url(url);
    EXPECT_TRUE(parsed.url) << parsed.error;
    return deve::store::connect(env, *parsed.url, true);
}

class LivePage : public ::testing::Test {
protected:
    void SetUp() override {
        db_ = open_store(env_, store_.url());
        fill(*db_, now_ms());
    }
    clitest::TempDir dir_;
    storetest::TestDatabase store_{storetest::Kind::Sqlite};
    deve::store::odbc::Environment env_;
    std::unique_ptr<deve::store::odbc::Connection> db_;
};

TEST_F(LivePage, LoadsWithNoConsoleMessageAndShowsANewRun) {
    if (chromium().empty() || chromedriver().empty()) {
        GTEST_SKIP() << "Chromium or chromedriver is not installed "
                        "(scripts/setup.sh installs them)";
    }
    Served served(store_.url(), {});
    ASSERT_NE(served.port(), 0) << served.program().output() << served.program().error_output();
    Browser browser;
    ASSERT_TRUE(browser.error().empty()) << browser.error();
    browser.open(served.url());
    ASSERT_TRUE(browser.wait_until(std::string("return (function(){") + kStations + "})() === 'FT-1,FT-2';", 20))
        << browser.run(kStations);
    // The run under way at FT-2 is testing; the failures list both; the pool
    // has 999 of its 1024 free; the chart has a first-pass and a final bar
    // for each station.
    EXPECT_EQ(browser.run("return document.querySelector('#tiles .tile.testing "
                          "b').textContent;"),
              "FT-2");
    EXPECT_EQ(browser.run("return document.querySelectorAll('#failures tr').length;"), 3);
    EXPECT_EQ(browser.run("return document.querySelector('#pools td.n').textContent;"), "999");
    EXPECT_EQ(browser.run("return document.querySelectorAll('#yield svg rect').length;"), 4);
    EXPECT_EQ(browser.run(kBanner), "ok|");

    // A run stored while the page is open shows within a few periods.
    store_run(*db_, "new-1", "EOL-3");
    EXPECT_TRUE(browser.wait_until(std::string("return (function(){") + kStations + "})() === 'EOL-3,FT-1,FT-2';",
                                   6 * kRefresh))
        << browser.run(kStations);
    const std::vector<std::string> console = browser.console();
    EXPECT_TRUE(console.empty()) << console.front();

    if (const char *shot = std::getenv("DEVE_LIVE_SCREENSHOT"); shot != nullptr && *shot != '\0') {
        // The docs' picture (scripts/screenshots.sh sets the file).
        std::ofstream(shot, std::ios::binary) << base64_decode(browser.screenshot_base64());
    }
}

// Bad requests get their status; the store is never touched by them.
TEST_F(LivePage, AnswersBadRequestsWithTheirStatus) {
    Served served(store_.url(), {});
    ASSERT_NE(served.port(), 0) << served.program().output() << served.program().error_output();
    httplib::Client http("127.0.0.1", served.port());
    struct Case {
        std::string method, path;
        int status;
    };
    const std::vector<Case> cases{
        {"GET", "/", 200},
        {"GET", "/live.js", 200},
        {"GET", "/live.json", 200},
        {"GET", "/live.json?station=FT-1", 200},
        {"GET", "/?station=FT-1&station=FT-2", 200},
        {"GET", "/live.json?stations=FT-1", 400},
        {"GET", "/live.json?station=", 400},
        {"GET", "/live.json?station=%FF%FE", 400},
        {"GET", "/?x", 400},
        {"GET", "/report.html", 404},
        {"GET", "/live.json/", 404},
        {"GET", "/../etc/passwd", 404},
        {"POST", "/", 405},
        {"POST", "/live.json", 405},
        {"PUT", "/live.json", 405},
        {"DELETE", "/", 405},
        {"POST", "/nowhere", 404},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.method + " " + c.path);
        httplib::Result res = c.method == "GET"    ? http.Get(c.path.c_str())
                              : c.method == "POST" ? http.Post(c.path.c_str(), "x=1", "text/plain")
                              : c.method == "PUT"  ? http.Put(c.path.c_str(), "x=1", "text/plain")
                                                   : http.Delete(c.path.c_str());
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, c.status) << res->body;
        if (c.status == 405) {
            EXPECT_EQ(res->get_header_value("Allow"), "GET, HEAD");
        }
        EXPECT_NE(res->get_header_value("Content-Security-Policy").find("default-src 'none'"), std::string::npos);
    }
    // One station's figures hold that station only.
    const auto wait_figures = [&](const std::string &path) {
        for (int i = 0; i < 40; ++i) {
            httplib::Result res = http.Get(path.c_str());
            if (res && res->status == 200) {
                const json page = json::parse(res->body);
                if (page["figures"].is_object()) {
                    return page;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
        return json();
    };
    const json one = wait_figures("/live.json?station=FT-1");
    ASSERT_TRUE(one.is_object());
    ASSERT_EQ(one["figures"]["stations"].size(), 1u);
    EXPECT_EQ(one["figures"]["stations"][0]["station"], "FT-1");
    EXPECT_EQ(one["figures"]["stations"][0]["runs"], 12);
    EXPECT_EQ(one["figures"]["failures"].size(), 1u);
}

// SIGINT and SIGTERM stop it cleanly: exit code 0, said on standard output.
TEST_F(LivePage, StopsCleanlyOnSigintAndSigterm) {
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        Served served(store_.url(), {});
        ASSERT_NE(served.port(), 0) << served.program().error_output();
        httplib::Client http("127.0.0.1", served.port());
        ASSERT_TRUE(http.Get("/live.json"));
        ASSERT_EQ(kill(static_cast<pid_t>(served.program().pid()), signal), 0);
        const auto started = Clock::now();
        const test_support::ProgramExit end = served.program().wait();
        EXPECT_LT(Clock::now() - started, std::chrono::seconds(10));
        EXPECT_EQ(end.exit_code, 0) << served.program().error_output();
        EXPECT_NE(
            served.program().output().find(std::string("stopped by ") + (signal == SIGINT ? "SIGINT" : "SIGTERM")),
            std::string::npos)
            << served.program().output();
    }
}

// The page over PostgreSQL, read through the read-only role of the docs, on
// a server of this test's own that it stops and starts again.
class LivePagePostgres : public ::testing::Test {
protected:
    void SetUp() override {
        state_ = dir_.file("postgres.state");
        const test_support::ProgramRun start =
            test_support::run_program(storetest::on_path("bash"), {DEVE_TEST_POSTGRES_SCRIPT, "start", state_});
        ASSERT_EQ(start.exit_code, 0) << start.output;
        std::ifstream in(state_);
        std::getline(in, admin_);
        std::string folder;
        std::getline(in, folder);
        std::getline(in, port_);
        const std::string base = admin_.substr(0, admin_.rfind('/') + 1);
        {
            deve::store::odbc::Environment env;
            open_store(env, admin_)->execute("CREATE DATABASE results");
        }
        db_ = open_store(env_, base + "results");
        fill(*db_, now_ms());
        // The role of docs/line.md: it may read every table of the store and
        // nothing more.
        for (const char *sql :
             {"CREATE ROLE line_viewer LOGIN PASSWORD 'viewer-secret'",
              "GRANT CONNECT ON DATABASE results TO line_viewer", "GRANT USAGE ON SCHEMA public TO line_viewer",
              "GRANT SELECT ON ALL TABLES IN SCHEMA public TO line_viewer",
              "ALTER DEFAULT PRIVILEGES IN SCHEMA public GRANT SELECT ON TABLES TO "
              "line_viewer"}) {
            db_->execute(sql);
        }
        viewer_ = "postgresql://line_viewer@127.0.0.1:" + port_ + "/results";
    }
    void TearDown() override {
        db_.reset();
        if (!state_.empty()) {
            test_support::run_program(storetest::on_path("bash"), {DEVE_TEST_POSTGRES_SCRIPT, "stop", state_});
        }
    }
    bool control(const char *action) {
        return test_support::run_program(storetest::on_path("bash"), {DEVE_TEST_POSTGRES_SCRIPT, action, state_})
                   .exit_code == 0;
    }
    clitest::TempDir dir_;
    std::string state_;
    std::string admin_;
    std::string port_;
    std::string viewer_;
    deve::store::odbc::Environment env_;
    std::unique_ptr<deve::store::odbc::Connection> db_;
};

TEST_F(LivePagePostgres, ShowsStoreUnreachableAndRecovers) {
    if (chromium().empty() || chromedriver().empty()) {
        GTEST_SKIP() << "Chromium or chromedriver is not installed "
                        "(scripts/setup.sh installs them)";
    }
    // The role reads and cannot write.
    {
        deve::store::odbc::Environment env;
        const deve::store::UrlResult url = deve::store::parse_store_url(viewer_);
        deve::store::odbc::Connection viewer(env, url.url->connection_strings("viewer-secret", false).front(),
                                             "viewer");
        EXPECT_EQ(
            viewer.scalar("SELECT COUNT(*) FROM runs", {}, deve::store::odbc::Type::Integer).integer().value_or(-1),
            25);
        EXPECT_THROW(viewer.execute("DELETE FROM runs"), deve::store::odbc::Error);
    }
    Served served(viewer_, {{"DEVE_STORE_PASSWORD", "viewer-secret"}});
    ASSERT_NE(served.port(), 0) << served.program().output() << served.program().error_output();
    Browser browser;
    ASSERT_TRUE(browser.error().empty()) << browser.error();
    browser.open(served.url());
    ASSERT_TRUE(browser.wait_until(std::string("return (function(){") + kStations + "})() === 'FT-1,FT-2';", 20))
        << browser.run(kStations) << served.program().error_output();

    db_.reset();
    ASSERT_TRUE(control("pause"));
    EXPECT_TRUE(browser.wait_until("return document.getElementById('store').textContent.indexOf("
                                   "'store unreachable since ') === 0;",
                                   8 * kRefresh))
        << browser.run(kBanner);
    // The last figures stay on the page, under the banner.
    EXPECT_EQ(browser.run(kStations), "FT-1,FT-2");

    ASSERT_TRUE(control("resume"));
    db_ = open_store(env_, admin_.substr(0, admin_.rfind('/') + 1) + "results");
    store_run(*db_, "after-1", "EOL-3");
    EXPECT_TRUE(browser.wait_until(std::string("var s = document.getElementById('store'); return "
                                               "s.className === 'ok' "
                                               "&& (function(){") +
                                       kStations + "})() === 'EOL-3,FT-1,FT-2';",
                                   10 * kRefresh))
        << browser.run(kBanner) << " " << browser.run(kStations);

    // A store that hangs: another session holds the runs table locked. The
    // server's answers do not wait for it, and the page says the store is
    // unreachable once the read has not come back for its time-out.
    {
        deve::store::odbc::Transaction lock(*db_);
        db_->execute("LOCK TABLE runs IN ACCESS EXCLUSIVE MODE");
        EXPECT_TRUE(browser.wait_until("return document.getElementById('store').textContent.indexOf("
                                       "'store unreachable since ') === 0;",
                                       40))
            << browser.run(kBanner);
        httplib::Client http("127.0.0.1", served.port());
        const auto asked = Clock::now();
        const httplib::Result res = http.Get("/live.json");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200);
        EXPECT_LT(Clock::now() - asked, std::chrono::seconds(2));
        EXPECT_FALSE(json::parse(res->body)["store"]["reachable"].get<bool>());
    }
    EXPECT_TRUE(browser.wait_until("return document.getElementById('store').className === 'ok';", 10 * kRefresh))
        << browser.run(kBanner);
    const std::vector<std::string> console = browser.console();
    EXPECT_TRUE(console.empty()) << console.front();
}

}  // namespace
