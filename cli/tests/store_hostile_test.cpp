// The line store under hostile and damaged input, on SQLite and PostgreSQL:
// one table per surface (store URLs, the spool, foreign files). Every row
// runs deve-cli and checks its exit code, that no password shows in any of
// its output, and what the store holds afterwards.
#include "cli_process.h"
#include "records.h"

#include "connect.h"
#include "odbc.h"
#include "test_databases.h"
#include "url.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>

namespace {

using namespace clitest;
using storetest::Kind;
using storetest::TestDatabase;

// The passwords the rows put where a careless message would show them.
const std::vector<std::string> kSecrets{"Hunter2pw", "S3cret", "PartTwo"};
// No message quotes more than an excerpt of a huge word.
constexpr std::size_t kMostErrBytes = 2048;

std::string read_file(const std::filesystem::path &file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

void write_file(const std::filesystem::path &file, const std::string &text) {
    std::ofstream(file, std::ios::binary) << text;
}

std::string replaced(std::string text, const std::string &from, const std::string &to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

void expect_no_secret(const CliRun &run, const std::string &row) {
    for (const std::string &secret : kSecrets) {
        EXPECT_EQ(run.out.find(secret), std::string::npos) << row << ": standard output shows " << secret;
        EXPECT_EQ(run.err.find(secret), std::string::npos) << row << ": standard error shows " << secret;
    }
}

class Hostile : public ::testing::TestWithParam<Kind> {
protected:
    void SetUp() override {
        if (GetParam() == Kind::Postgresql && !storetest::postgres_admin_url()) {
            GTEST_SKIP() << "no PostgreSQL server for the tests (run them through ctest)";
        }
        database_ = std::make_unique<TestDatabase>(GetParam());
        spool_ = database_->dir() / "spool";
        CliOptions o;
        o.env = {{"XOLT_FUSE_FILE", program_path((database_->dir() / "board.bin").string())},
                 {"DEVE_SPOOL", program_path(spool_.string())},
                 {"DEVE_STORE", ""}};
        options_ = o;
        const CliRun init = cli({"--store", database_->url(), "store", "init"});
        ASSERT_EQ(init.exit_code, 0) << init.out << init.err;
    }

    CliRun cli(const std::vector<std::string> &args, const CliOptions &o) const { return run_cli(args, o); }
    CliRun cli(const std::vector<std::string> &args) const { return run_cli(args, options_); }

    std::string scalar(const std::string &sql, const std::vector<deve::store::odbc::Value> &params = {}) const {
        const deve::store::UrlResult url = deve::store::parse_store_url(database_->url());
        deve::store::odbc::Environment env;
        const std::unique_ptr<deve::store::odbc::Connection> db = deve::store::connect(env, *url.url, false);
        return db->scalar(sql, params).text().value_or("NULL");
    }
    std::string runs() const { return scalar("SELECT COUNT(*) FROM runs"); }

    std::unique_ptr<TestDatabase> database_;
    std::filesystem::path spool_;
    CliOptions options_;
};

// --store URLs, --meta and the command line's words.
TEST_P(Hostile, StoreUrls) {
    const std::filesystem::path dir = database_->dir();
    // A Windows command line holds at most 32767 characters.
    const std::size_t huge = windows_program() ? 20000 : 131000;
    const std::string big(windows_program() ? 20000 : 100 * 1024, 'w');
    const std::string marker = (dir / "loaded.marker").string();
    // The marker library does write its marker when loaded: the row below
    // that expects none can fail.
    {
        ::setenv("DEVE_TEST_MARKER", marker.c_str(), 1);
        void *handle = ::dlopen(DEVE_TEST_MARKER_LIBRARY, RTLD_NOW);
        ASSERT_NE(handle, nullptr) << ::dlerror();
        ::dlclose(handle);
        ::unsetenv("DEVE_TEST_MARKER");
        ASSERT_TRUE(std::filesystem::exists(marker));
        std::filesystem::remove(marker);
    }
    std::filesystem::create_directories(dir / "Line Data");
    struct Row {
        std::string what;
        std::vector<std::string> args;
        std::vector<std::pair<std::string, std::string>> env;
        int exit_code;
        int runs_added;              // in this test's store
        std::string err_holds;       // empty: anything
        std::function<void(const CliRun &)> more;
    };
    const std::string own = database_->url();
    const std::vector<Row> rows{
        {"a path that names a library to load",
         {"--store", "sqlite:" + (dir / "r.db").string() + ";LoadExt=" + DEVE_TEST_MARKER_LIBRARY,
          "store", "init"},
         {{"DEVE_TEST_MARKER", marker}},
         2, 0, "may not hold ; { or }",
         [&](const CliRun &) {
             EXPECT_FALSE(std::filesystem::exists(marker)) << "the library was loaded";
             EXPECT_FALSE(std::filesystem::exists(dir / "r.db"));
         }},
        {"a path in braces", {"--store", "sqlite:{" + (dir / "x y.db").string() + "}", "store", "init"},
         {}, 2, 0, "may not hold ; { or }", nullptr},
        {"a path with a space and an =",
         {"--store", "sqlite:" + (dir / "Line Data" / "a=b store.db").string(), "store", "init"},
         {}, 0, 0, "",
         [&](const CliRun &) {
             EXPECT_TRUE(std::filesystem::exists(dir / "Line Data" / "a=b store.db"));
             for (const auto &entry : std::filesystem::directory_iterator(dir / "Line Data")) {
                 EXPECT_EQ(entry.path().filename().string().find('{'), std::string::npos) << entry.path();
             }
             const CliRun run = cli({"--json", "--store",
                                     "sqlite:" + (dir / "Line Data" / "a=b store.db").string(), "info"});
             EXPECT_EQ(run.exit_code, 0) << run.err;
             EXPECT_EQ(text(one(records(run.out), "end"), "store"), "stored");
         }},
        {"a password in a postgresql URL", {"--json", "--store", "postgresql://line:Hunter2pw@h/db", "info"}, {}, 2,
         0, "DEVE_STORE_PASSWORD", nullptr},
        {"a password in a postgresql URL from DEVE_STORE", {"--json", "info"},
         {{"DEVE_STORE", "postgresql://line:Hunter2pw@h/db"}}, 2, 0, "DEVE_STORE_PASSWORD", nullptr},
        {"a braced PWD holding a ;",
         {"--json", "--store", "odbc:Driver={No Such Driver};Server=h;PWD={S3cret;PartTwo}", "info"}, {}, 2, 0,
         "PWD=...", nullptr},
        {"a huge host", {"--store", "postgresql://" + std::string(huge, 'h') + "/db", "info"}, {}, 2, 0,
         "longer than 4096 bytes", nullptr},
        {"a host past 255 bytes", {"--store", "postgresql://" + std::string(256, 'h') + "/db", "info"}, {}, 2, 0,
         "longer than 255 bytes", nullptr},
        {"a huge unknown command", {big}, {}, 2, 0, "(" + std::to_string(big.size()) + " bytes)", nullptr},
        {"a huge --meta value", {"--store", own, "--meta", "note=" + big, "info"}, {}, 2, 0, "longer than 4096",
         nullptr},
        {"an empty --store", {"--json", "--store", "", "info"}, {}, 2, 0, "--store: the URL is empty", nullptr},
        {"an empty DEVE_STORE", {"--json", "info"}, {{"DEVE_STORE", ""}}, 0, 0, "",
         [](const CliRun &run) {
             // Windows keeps no empty variable: there it is simply unset.
             const std::string store = text(one(records(run.out), "end"), "store");
             EXPECT_TRUE(store == "none" || (windows_program() && store.empty())) << store;
         }},
        {"a serial of 257 bytes", {"--store", own, "--meta", "serial=" + std::string(257, 's'), "info"}, {}, 2, 0,
         "longer than 256 bytes", nullptr},
        {"the largest --meta values", {"--json", "--store", own, "--meta", "serial=" + std::string(256, 's'),
                                       "--meta", "station=" + std::string(256, 't'), "--meta",
                                       "note=" + std::string(4096, 'n'), "info"},
         {}, 0, 1, "",
         [&](const CliRun &run) {
             const std::string run_id = text(one(records(run.out), "end"), "run_id");
             EXPECT_EQ(scalar("SELECT serial FROM runs WHERE run_id = ?", {run_id}), std::string(256, 's'));
             EXPECT_EQ(scalar("SELECT value FROM run_meta WHERE run_id = ? AND name = 'note'", {run_id}),
                       std::string(4096, 'n'));
         }},
        // Refused before the open with a store named: its end record says
        // the run was not stored, and why.
        {"a limit file that is not there",
         {"--json", "--store", own, "--limits", (dir / "no-limits.json").string(), "info"}, {}, 2, 0, "--limits",
         [&](const CliRun &run) {
             const auto end = one(records(run.out), "end");
             EXPECT_EQ(text(end, "store"), "not stored");
             EXPECT_NE(text(end, "store_reason").find("--limits"), std::string::npos) << run.out;
         }},
        {"a mistyped command with DEVE_STORE", {"--json", "no-such-command"}, {{"DEVE_STORE", own}}, 2, 0, "",
         [&](const CliRun &run) {
             const auto end = one(records(run.out), "end");
             EXPECT_EQ(text(end, "store"), "not stored");
             EXPECT_NE(text(end, "store_reason").find("no-such-command"), std::string::npos) << run.out;
         }},
        {"a mistyped command with no store", {"--json", "no-such-command"}, {}, 2, 0, "",
         [&](const CliRun &run) { EXPECT_EQ(text(one(records(run.out), "end"), "store"), ""); }},
        {"terminal escapes in a --meta value",
         {"--store", own, "--meta", "station=\x1b]0;X\a\x1b[2J", "--meta", "serial=ESC1", "info"}, {}, 0, 1, "",
         [&](const CliRun &) {
             for (const std::vector<std::string> &report :
                  {std::vector<std::string>{"--store", own, "report"},
                   std::vector<std::string>{"--store", own, "report", "board", "ESC1"}}) {
                 const CliRun r = cli(report);
                 EXPECT_EQ(r.exit_code, 0) << r.err;
                 EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << "a raw escape in " << report.back();
                 EXPECT_EQ(r.out.find('\a'), std::string::npos) << "a raw bell in " << report.back();
                 EXPECT_NE(r.out.find("\\x1b]0;X\\x07\\x1b[2J"), std::string::npos) << r.out;
             }
         }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        const std::string before = runs();
        CliOptions o = options_;
        o.env.insert(o.env.end(), row.env.begin(), row.env.end());
        const CliRun run = cli(row.args, o);
        EXPECT_EQ(run.exit_code, row.exit_code) << run.out << run.err.substr(0, 500);
        expect_no_secret(run, row.what);
        EXPECT_LE(run.err.size(), kMostErrBytes) << run.err.substr(0, 200);
        if (!row.err_holds.empty()) {
            EXPECT_NE(run.err.find(row.err_holds), std::string::npos) << run.err.substr(0, 500);
        }
        if (row.exit_code == 2) {
            EXPECT_TRUE(of_type(records(run.out), "open").empty()) << "the link was opened";
        }
        if (row.more) {
            row.more(run);
        }
        EXPECT_EQ(std::stoi(runs()), std::stoi(before) + row.runs_added);
    }
}

// The spool: damaged files are moved aside whole, never half stored, and
// the rest of the spool goes through.
TEST_P(Hostile, Spool) {
    // A run whose store is away from the start: its whole journal in the
    // spool, the template of the rows.
    const CliRun away = cli({"--json", "--store", "postgresql://line@127.0.0.1:1/results", "--meta", "serial=SP1",
                             "info", "temp"});
    ASSERT_EQ(away.exit_code, 0) << away.err;
    const std::string template_id = text(one(records(away.out), "end"), "run_id");
    const std::filesystem::path spooled = spool_ / (template_id + ".jsonl");
    ASSERT_TRUE(std::filesystem::exists(spooled));
    const std::string journal = read_file(spooled);
    std::filesystem::remove(spooled);
    const auto of_run = [&](const std::string &id) { return replaced(journal, template_id, id); };
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < journal.size();) {
        const std::size_t end = journal.find('\n', at);
        lines.push_back(journal.substr(at, end - at));
        at = end + 1;
    }
    ASSERT_GE(lines.size(), 6u);
    const auto joined = [](const std::vector<std::string> &parts) {
        std::string out;
        for (const std::string &p : parts) {
            out += p + "\n";
        }
        return out;
    };
    const auto with_line = [&](std::size_t at, const std::string &line) {
        std::vector<std::string> copy = lines;
        copy.insert(copy.begin() + static_cast<std::ptrdiff_t>(at), line);
        return joined(copy);
    };

    struct Row {
        std::string what;
        std::string id;           // the run id the file's name and records carry
        std::function<std::string(const std::string &id)> content;
        bool fifo = false;
    };
    const std::vector<Row> rows{
        {"cut in the middle of a line", "00000000-0000-4000-8000-000000000001",
         [&](const std::string &id) { const std::string t = of_run(id); return t.substr(0, t.size() - 40); }},
        {"a junk line", "00000000-0000-4000-8000-000000000002",
         [&](const std::string &id) { return replaced(with_line(4, "this is no record"), template_id, id); }},
        {"a step that is not a number", "00000000-0000-4000-8000-000000000003",
         [&](const std::string &id) { return replaced(of_run(id), "\"step\":2", "\"step\":\"two\""); }},
        {"text that is not UTF-8", "00000000-0000-4000-8000-000000000004",
         [&](const std::string &id) { return replaced(of_run(id), "\"temp\"", "\"te\xff\xfe\""); }},
        {"nesting deeper than any record", "00000000-0000-4000-8000-000000000005",
         [&](const std::string &id) {
             return replaced(with_line(3, "{\"type\":\"x\",\"a\":" + std::string(5000, '[') + std::string(5000, ']') +
                                              "}"),
                             template_id, id);
         }},
        {"an empty run id", "00000000-0000-4000-8000-000000000006",
         [&](const std::string &) { return replaced(journal, "\"run_id\":\"" + template_id + "\"", "\"run_id\":\"\""); }},
        {"a run id that is a number", "00000000-0000-4000-8000-000000000007",
         [&](const std::string &) { return replaced(journal, "\"run_id\":\"" + template_id + "\"", "\"run_id\":7"); }},
        {"two runs joined", "00000000-0000-4000-8000-000000000008",
         [&](const std::string &id) { return of_run(id) + of_run("00000000-0000-4000-8000-000000000018"); }},
        {"a NUL in a value", "00000000-0000-4000-8000-000000000009",
         [&](const std::string &id) { return replaced(of_run(id), "\"serial\":\"SP1\"", "\"serial\":\"a\\u0000b\""); }},
        {"no open record (a run refused before the board)", "00000000-0000-4000-8000-000000000010",
         [&](const std::string &id) { return replaced(joined({lines.back()}), template_id, id); }},
        {"a serial past its bound", "00000000-0000-4000-8000-000000000011",
         [&](const std::string &id) {
             return replaced(of_run(id), "\"serial\":\"SP1\"", "\"serial\":\"" + std::string(3000, 's') + "\"");
         }},
        {"a line past its bound", "00000000-0000-4000-8000-000000000012",
         [&](const std::string &id) {
             return replaced(with_line(3, "{\"type\":\"x\",\"a\":\"" + std::string(2 << 20, 'x') + "\"}"), template_id,
                             id);
         }},
        {"a FIFO", "00000000-0000-4000-8000-000000000013", nullptr, true},
    };
    int good = 100;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        if (row.fifo && windows_program()) {
            // Windows has no FIFO in a folder.
            continue;
        }
        std::filesystem::create_directories(spool_);
        const std::filesystem::path bad = spool_ / (row.id + ".jsonl");
        if (row.fifo) {
            ASSERT_EQ(::mkfifo(bad.c_str(), 0600), 0);
        } else {
            write_file(bad, row.content(row.id));
        }
        // A whole run beside it, which goes through.
        const std::string good_id = "00000000-0000-4000-8000-000000000" + std::to_string(++good);
        write_file(spool_ / (good_id + ".jsonl"), of_run(good_id));
        const std::string before = runs();
        CliOptions o = options_;
        o.timeout_seconds = 60;
        const CliRun upload = cli({"--json", "--store", database_->url(), "store", "upload"}, o);
        expect_no_secret(upload, row.what);
        EXPECT_EQ(std::stoi(runs()), std::stoi(before) + 1) << "only the whole run is stored";
        EXPECT_EQ(scalar("SELECT verdict FROM runs WHERE run_id = ?", {good_id}), "pass");
        EXPECT_EQ(scalar("SELECT COUNT(*) FROM steps WHERE run_id = ?", {row.id}), "0") << "half stored";
        EXPECT_EQ(scalar("SELECT COUNT(*) FROM runs WHERE run_id = '' OR run_id = '7'"), "0");
        EXPECT_FALSE(std::filesystem::exists(spool_ / (good_id + ".jsonl")));
        if (row.fifo) {
            EXPECT_EQ(upload.exit_code, 0) << upload.out << upload.err;
            std::filesystem::remove(bad);
            continue;
        }
        EXPECT_EQ(upload.exit_code, 2) << upload.out << upload.err;
        EXPECT_NE(upload.err.find("1 runs sent, 0 already stored, 1 rejected, 0 failed"), std::string::npos)
            << upload.err.substr(0, 500);
        EXPECT_NE(upload.err.find(row.id), std::string::npos) << "the file is not named";
        EXPECT_LE(upload.err.size(), kMostErrBytes);
        // Moved aside whole, with its reason; nothing lost.
        EXPECT_FALSE(std::filesystem::exists(bad));
        const std::filesystem::path aside = spool_ / "rejected" / bad.filename();
        EXPECT_EQ(read_file(aside), row.content(row.id));
        EXPECT_FALSE(read_file(aside.string() + ".reason").empty());
        // The next upload has nothing left to refuse.
        const CliRun again = cli({"--store", database_->url(), "store", "upload"});
        EXPECT_EQ(again.exit_code, 0) << again.err;
    }

    // A MAC pool refused with the store's server down: nothing spooled that
    // could never be sent, as when the board could not be opened.
    std::filesystem::remove_all(spool_);
    const CliRun refused = cli({"--json", "--meta", "serial=SP2", "--store", "postgresql://line@127.0.0.1:1/results", "mac", "write",
                                "--from-pool", "line-a", "--yes"});
    EXPECT_EQ(refused.exit_code, 3) << refused.err;
    EXPECT_EQ(text(one(records(refused.out), "end"), "store"), "not stored");
    EXPECT_FALSE(text(one(records(refused.out), "end"), "store_reason").empty());
    EXPECT_TRUE(!std::filesystem::exists(spool_) || std::filesystem::is_empty(spool_));
    const CliRun after = cli({"--store", database_->url(), "store", "upload"});
    EXPECT_EQ(after.exit_code, 0) << after.err;
}

INSTANTIATE_TEST_SUITE_P(Backends, Hostile, ::testing::Values(Kind::Sqlite, Kind::Postgresql),
                         [](const auto &param_info) { return std::string(storetest::kind_name(param_info.param)); });

// (SQLite paths go to the driver as they are: under Wine, deve-cli.exe
// reaches the host's driver, which reads this machine's paths.)

// SQLite files that are not a store of ours: refused with the reason, and
// left exactly as they were.
TEST(HostileFiles, ForeignAndDamagedFilesAreLeftAsTheyWere) {
    TempDir dir;
    CliOptions o;
    o.env = {{"XOLT_FUSE_FILE", program_path(dir.file("board.bin"))}, {"DEVE_SPOOL", program_path(dir.file("spool"))},
             {"DEVE_STORE", ""}};
    const auto sqlite = [](const std::string &file, const std::string &sql) {
        return run_program(storetest::on_path("sqlite3"), {file, sql}, CliOptions{});
    };
    // A store of ours, cut to 8 KiB.
    const std::string store = dir.file("store.db");
    ASSERT_EQ(run_cli({"--store", "sqlite:" + store, "store", "init"}, o).exit_code, 0);
    write_file(dir.file("cut.db"), read_file(store).substr(0, 8192));
    ASSERT_EQ(sqlite(dir.file("other.db"), "CREATE TABLE orders (id INTEGER); INSERT INTO orders VALUES (1);").exit_code,
              0);
    write_file(dir.file("empty.db"), "");
    std::string noise;
    for (int i = 0; i < 5000; ++i) {
        noise += static_cast<char>((i * 7919 + 13) % 251);
    }
    write_file(dir.file("noise.db"), noise);

    struct Row {
        std::string what;
        std::string file;
        std::vector<std::string> command;
        std::string reason;
    };
    const std::vector<Row> rows{
        {"another program's database", "other.db", {"info"}, "not deve-cli's"},
        {"another program's database, store upload", "other.db", {"store", "upload"}, "not deve-cli's"},
        {"another program's database, report", "other.db", {"report"}, "not deve-cli's"},
        {"an empty file", "empty.db", {"info"}, "no deve-cli schema yet"},
        {"random bytes", "noise.db", {"info"}, "not an SQLite database"},
        {"random bytes, store init", "noise.db", {"store", "init"}, "not an SQLite database"},
        {"a store cut to 8 KiB", "cut.db", {"info"}, "damaged"},
        {"a store cut to 8 KiB, store init", "cut.db", {"store", "init"}, "damaged"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        const std::string file = dir.file(row.file);
        const std::string bytes = read_file(file);
        std::vector<std::string> args{"--store", "sqlite:" + file};
        args.insert(args.end(), row.command.begin(), row.command.end());
        const CliRun run = run_cli(args, o);
        EXPECT_EQ(run.exit_code, 2) << run.out << run.err;
        expect_no_secret(run, row.what);
        EXPECT_NE(run.err.find(row.reason), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("create it with"), row.reason == "no deve-cli schema yet" ? run.err.find("create it with")
                                                                                          : std::string::npos)
            << run.err;
        EXPECT_EQ(read_file(file), bytes) << "the file was changed";
        EXPECT_FALSE(std::filesystem::exists(file + "-wal"));
        EXPECT_FALSE(std::filesystem::exists(file + "-shm"));
    }
    EXPECT_EQ(sqlite(dir.file("other.db"), "PRAGMA journal_mode;").out, "delete\n");

    // A current store on a full disk, then on a read-only one: a small
    // file system of the test's own, in a mount namespace of its own (root
    // only; deve-cli.exe under Wine is left out).
    if (::geteuid() == 0 && !windows_program()) {
        const std::string mount = dir.file("mnt");
        std::filesystem::create_directories(mount);
        const std::string store_url = "sqlite:" + mount + "/s.db";
        const std::string script =
            "mount -t tmpfs -o size=400k tmpfs '" + mount + "' || exit 99\n"
            "\"$0\" --store '" + store_url + "' store init >/dev/null || exit 98\n"
            "dd if=/dev/zero of='" + mount + "/fill' bs=1k 2>/dev/null\n"
            "\"$0\" --store '" + store_url + "' info; echo \"full: $?\" >&2\n"
            "rm '" + mount + "/fill'; mount -o remount,ro '" + mount + "'\n"
            "\"$0\" --store '" + store_url + "' info; echo \"read-only: $?\" >&2\n";
        const CliRun run = run_program(storetest::on_path("unshare"), {"-m", "sh", "-c", script, cli_program()}, o);
        if (run.exit_code == 99 || run.exit_code == 98) {
            std::cout << "no file system of the test's own could be mounted: the full and read-only disks are "
                         "not tried\n";
        } else {
            EXPECT_NE(run.err.find("could not be read (a full or failing disk?)"), std::string::npos) << run.err;
            EXPECT_NE(run.err.find("full: 2"), std::string::npos) << run.err;
            EXPECT_NE(run.err.find("does not take writes"), std::string::npos) << run.err;
            EXPECT_NE(run.err.find("read-only: 2"), std::string::npos) << run.err;
            EXPECT_EQ(run.err.find("no deve-cli schema yet"), std::string::npos) << run.err;
        }
    }
    // Ours is in write-ahead-log mode from store init on.
    EXPECT_EQ(sqlite(store, "PRAGMA journal_mode;").out, "wal\n");
}

}  // namespace
