// The HTML report in a real browser: deve-cli writes the page from an SQLite
// store holding a week of a line, headless Chromium loads it with no
// network, and a check of this test's own, put into a copy of the page,
// measures every chart as the browser laid it out and leaves the figures in
// the DOM that Chromium prints. Any console message (a blocked load, a
// malformed SVG attribute, a script error) fails the page.
#include "cli_process.h"
#include "connect.h"
#include "report.h"
#include "report_rows.h"
#include "schema.h"
#include "test_databases.h"
#include "url.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace {

using namespace deve::cli::report;

// Runs on DOMContentLoaded, before Chromium prints the DOM: each SVG's and
// each bar's box as laid out, and whether the bars sit inside their chart.
constexpr const char *kCheckScript = R"(<script>
document.addEventListener('DOMContentLoaded', function () {
  var result = {svgs: 0, drawn: 0, bars: 0, barsInside: 0, texts: 0, textsDrawn: 0};
  document.querySelectorAll('svg').forEach(function (svg) {
    result.svgs++;
    var box = svg.getBBox();
    var view = svg.viewBox.baseVal;
    if (box.width > 0 && box.height > 0) result.drawn++;
    svg.querySelectorAll('rect').forEach(function (rect) {
      var b = rect.getBBox();
      result.bars++;
      if (b.width > 0 && b.height > 0 && b.x >= view.x && b.y >= view.y &&
          b.x + b.width <= view.x + view.width + 0.01 && b.y + b.height <= view.y + view.height + 0.01)
        result.barsInside++;
    });
    svg.querySelectorAll('text').forEach(function (text) {
      result.texts++;
      if (text.textContent.length === 0 || text.getComputedTextLength() > 0) result.textsDrawn++;
    });
  });
  // The failing runs: each board's link leads to a section of the page
  // that holds that board's runs.
  result.failingRows = document.querySelectorAll('table.failing tr').length - 1;
  result.links = 0; result.linksResolved = 0; result.linksToTheirBoard = 0;
  document.querySelectorAll('a[href^="#"]').forEach(function (a) {
    result.links++;
    var target = document.getElementById(a.getAttribute('href').slice(1));
    if (!target) return;
    result.linksResolved++;
    var title = target.querySelector('h3');
    if (title && title.textContent === 'Board ' + a.textContent &&
        target.querySelectorAll('tr').length > 1) result.linksToTheirBoard++;
  });
  result.boardLinks = document.querySelectorAll('table.failing a').length;
  var out = document.createElement('pre');
  out.id = 'render-check';
  out.textContent = JSON.stringify(result);
  document.body.appendChild(out);
});
</script>
)";

std::string chromium() {
    const char *given = std::getenv("DEVE_CHROMIUM");
    if (given != nullptr && *given != '\0') {
        return given;
    }
    for (const char *candidate : {"/usr/bin/chromium", "/usr/bin/chromium-browser"}) {
        if (std::filesystem::exists(candidate)) {
            return candidate;
        }
    }
    return "";
}

void write_file(const std::string &path, const std::string &text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

struct Rendered {
    int exit_code = -1;
    std::string dom;
    std::vector<std::string> console;  // the console's messages
    nlohmann::json check;              // the check's figures; null when it did not run
};

// Loads `page` with the check put in after <head>, and reads what the
// browser made of it.
Rendered render(const std::string &page, const clitest::TempDir &dir, const std::string &name) {
    const std::size_t head = page.find("<head>");
    if (head == std::string::npos) {
        ADD_FAILURE() << "the page has no <head>";
        return {};
    }
    std::string checked = page;
    checked.insert(head + 6, kCheckScript);
    const std::string file = dir.file(name + ".html");
    write_file(file, checked);
    const std::string profile = dir.file(name + "-profile");
    std::filesystem::create_directory(profile);

    clitest::CliOptions options;
    options.timeout_seconds = 90;
    const clitest::CliRun run = clitest::run_program(
        chromium(),
        {"--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking", "--no-first-run",
         "--disable-component-update", "--disable-sync", "--disable-extensions", "--disable-crash-reporter",
         "--user-data-dir=" + profile, "--enable-logging=stderr", "--v=0", "--dump-dom", "file://" + file},
        options);
    Rendered r;
    r.exit_code = run.exit_code;
    r.dom = run.out;
    std::istringstream err(run.err);
    for (std::string line; std::getline(err, line);) {
        if (line.find(":CONSOLE") != std::string::npos) {
            r.console.push_back(line);
        }
    }
    const std::string open = "<pre id=\"render-check\">";
    const std::size_t at = r.dom.find(open);
    const std::size_t end = at == std::string::npos ? at : r.dom.find("</pre>", at);
    if (end != std::string::npos) {
        r.check = nlohmann::json::parse(r.dom.substr(at + open.size(), end - at - open.size()), nullptr, false);
    }
    return r;
}

// A week of a line: three stations, two lots, an error rate with an upper
// limit, a frame rate with a lower one, a level with both, and a failure
// or two of each.
Rows line_rows() {
    std::mt19937_64 random(3);
    std::normal_distribution<double> per(2.5, 1.2);
    std::normal_distribution<double> fps(1180, 40);
    std::normal_distribution<double> level(10.05, 0.12);
    Rows rows;
    const std::int64_t start = *parse_time("2026-12-01T07:00Z", 0);
    for (int i = 0; i < 120; ++i) {
        deve::cli::report::Run run;
        run.run_id = "run-" + std::to_string(i);
        run.started_ms = start + i * 3'600'000LL;
        run.station = i % 3 == 0 ? "FT-1" : i % 3 == 1 ? "FT-2" : "RF <cal> & trim";
        run.host = "pc-" + std::to_string(i % 3 + 1);
        run.lot = i < 70 ? "L2612A" : "L2612B";
        run.serial = "SN" + std::to_string(1000 + (i % 97));
        run.board = run.serial;
        bool pass = true;
        const auto measure = [&](int seq, const char *command, const char *name, const char *unit, double value,
                                 std::optional<double> low, std::optional<double> high) {
            Measurement m;
            m.run_id = run.run_id;
            m.step_seq = seq;
            m.command = command;
            m.point = "2G ch6 11n-HT20 MCS7";
            m.name = name;
            m.unit = unit;
            m.value = value;
            m.low = low;
            m.high = high;
            m.limit_set = "2G HT20";
            m.passed = (!low || value >= *low) && (!high || value <= *high);
            pass = pass && m.passed;
            rows.measurements.push_back(m);
            rows.steps.push_back(Step{run.run_id, seq, command, m.point, m.passed ? "pass" : "fail",
                                      run.started_ms + seq * 1000, ""});
        };
        measure(2, "rx", "per", "%", std::max(0.0, per(random)), std::nullopt, 6.0);
        measure(3, "tx", "fps", "frames/s", fps(random), 1100.0, std::nullopt);
        measure(4, "cal", "level", "dB", level(random), 9.7, 10.4);
        run.verdict = i == 57 ? "incomplete" : pass ? "pass" : "fail";
        rows.runs.push_back(run);
    }
    return rows;
}

class ReportBrowser : public ::testing::Test {
protected:
    void SetUp() override {
        if (chromium().empty()) {
            GTEST_SKIP() << "Chromium is not installed (scripts/setup.sh installs it; DEVE_CHROMIUM names another)";
        }
        // The line in a store, and deve-cli's page of it.
        const deve::store::UrlResult url = deve::store::parse_store_url(store_.url());
        ASSERT_TRUE(url.url) << url.error;
        {
            deve::store::odbc::Environment env;
            const auto db = deve::store::connect(env, *url.url, true);
            deve::store::init_schema(*db, "test", "2026-12-01T00:00:00.000Z");
            reporttest::insert_rows(*db, line_rows());
        }
        const std::string file = dir_.file("report.html");
        const clitest::CliRun run = clitest::run_cli(
            {"--store", store_.url(), "report", "--since", "2026-12-01", "--until", "2026-12-08", "--html", file});
        ASSERT_EQ(run.exit_code, 0) << run.err;
        std::ifstream in(file, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        page_ = text.str();
        ASSERT_FALSE(page_.empty());
    }
    clitest::TempDir dir_;
    storetest::TestDatabase store_{storetest::Kind::Sqlite};
    std::string page_;
};

TEST_F(ReportBrowser, PageRendersEveryChartWithNoConsoleMessage) {
    const Rendered r = render(page_, dir_, "report");
    ASSERT_EQ(r.exit_code, 0) << r.dom;
    EXPECT_TRUE(r.console.empty()) << r.console.front();
    ASSERT_TRUE(r.check.is_object()) << "the check did not run; the DOM:\n" << r.dom.substr(0, 2000);
    // A histogram for each of the three measurements and the yield chart,
    // every one drawn.
    EXPECT_EQ(r.check["svgs"], 4);
    EXPECT_EQ(r.check["drawn"], 4);
    // Two bars for each of the three stations; each histogram has some.
    EXPECT_GE(r.check["bars"].get<int>(), 2 * 3 + 3 * 5);
    EXPECT_EQ(r.check["barsInside"], r.check["bars"]);
    EXPECT_GT(r.check["texts"].get<int>(), 0);
    EXPECT_EQ(r.check["textsDrawn"], r.check["texts"]);
    // The failing runs are listed, every board linked to its own runs.
    EXPECT_GT(r.check["failingRows"].get<int>(), 0);
    EXPECT_EQ(r.check["boardLinks"], r.check["failingRows"]);
    EXPECT_EQ(r.check["linksResolved"], r.check["links"]);
    EXPECT_EQ(r.check["linksToTheirBoard"], r.check["boardLinks"]);
}

// The same check sees a page that loads from the network, or that carries a
// malformed chart: each is a console message.
TEST_F(ReportBrowser, CheckSeesALoadAndABadChart) {
    const std::size_t body = page_.find("<body>");
    ASSERT_NE(body, std::string::npos);
    std::string fetching = page_;
    fetching.insert(body + 6, "<img src=\"http://192.0.2.1/logo.png\" alt=\"\">");
    const Rendered loads = render(fetching, dir_, "fetching");
    EXPECT_FALSE(loads.console.empty());

    std::string malformed = page_;
    malformed.insert(body + 6, "<svg viewBox=\"0 0 10 10\"><rect width=\"nan\" height=\"4\"/></svg>");
    const Rendered bad = render(malformed, dir_, "malformed");
    EXPECT_FALSE(bad.console.empty());
}

}  // namespace
