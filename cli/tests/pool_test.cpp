// MAC address pools in a real store, SQLite and PostgreSQL: the rules a line
// relies on, and stations killed at random moments while they reserve and
// burn, after which no address is on two boards and every address is
// accounted for.
#include "cli_process.h"
#include "mac_pool.h"
#include "odbc.h"
#include "pool_admin.h"
#include "test_databases.h"
#include "url.h"

#include "deve/efuse_map.h"
#include "test_support/system.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <thread>

namespace {

using clitest::CliRun;
using deve::cli::MacNumber;
using deve::cli::mac_text;
using deve::cli::parse_mac_number;
using storetest::Kind;
using Clock = std::chrono::steady_clock;
using Env = std::vector<std::pair<std::string, std::string>>;

constexpr const char *kPool = "line";
constexpr const char *kFirst = "02:00:00:00:10:00";
constexpr const char *kLast = "02:00:00:00:10:27";  // 40 addresses
constexpr unsigned kMacType = deve::kMacRecordType;

// The fuse file's words (all zero when it does not exist).
deve::FuseWords fuse_words(const std::string &file) {
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    deve::FuseWords words{};
    for (std::size_t i = 0; i < bytes.size() && i < 32; ++i) {
        words[i / 4] |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << (8 * (i % 4));
    }
    return words;
}

// Every MAC record the board's fuses hold, in map order.
std::vector<MacNumber> macs_on(const std::string &fuse_file) {
    std::vector<MacNumber> out;
    for (const deve::MapRecord &r : deve::decode_fuse_map(fuse_words(fuse_file)).records) {
        if (r.type == kMacType && r.data.size() == 6) {
            deve::MacAddress mac{};
            std::copy(r.data.begin(), r.data.end(), mac.begin());
            out.push_back(deve::cli::mac_number(mac));
        }
    }
    return out;
}

std::vector<nlohmann::json> records(const std::string &out) {
    std::vector<nlohmann::json> all;
    std::size_t start = 0;
    for (std::size_t nl = out.find('\n'); nl != std::string::npos; nl = out.find('\n', start)) {
        all.push_back(nlohmann::json::parse(out.substr(start, nl - start), nullptr, false));
        start = nl + 1;
    }
    return all;
}

nlohmann::json record_of(const std::string &out, const std::string &type) {
    for (const nlohmann::json &r : records(out)) {
        if (r.is_object() && r.value("type", "") == type) {
            return r;
        }
    }
    return nlohmann::json::object();
}

// A row of mac_addresses.
struct StoredMac {
    std::string state;
    std::string serial;
};

class PoolStore : public ::testing::TestWithParam<Kind> {
protected:
    void SetUp() override {
        if (GetParam() == Kind::Postgresql && !storetest::postgres_admin_url()) {
            GTEST_SKIP() << "no PostgreSQL server for the tests";
        }
        db_ = std::make_unique<storetest::TestDatabase>(GetParam());
        const CliRun init = cli({"store", "init"});
        ASSERT_EQ(init.exit_code, 0) << init.out << init.err;
    }

    std::string board_file(const std::string &serial) const { return dir_.file(serial + ".bin"); }

    // deve-cli with the store, on no board.
    CliRun cli(std::vector<std::string> args) const {
        args.insert(args.begin(), {"--json", "--store", db_->url()});
        return clitest::run_cli(args);
    }

    // deve-cli with the store, on the board of a serial: a quick open, then
    // the commands.
    std::vector<std::string> board_args(const std::string &serial, const std::vector<std::string> &commands) const {
        std::vector<std::string> args{"--json", "--no-progress", "--open", "quick", "--store", db_->url(),
                                      "--meta", "serial=" + serial};
        args.insert(args.end(), commands.begin(), commands.end());
        return args;
    }
    Env board_env(const std::string &serial) const {
        // A run whose store is away spools its results: into the test's folder.
        return {{"XOLT_FUSE_FILE", clitest::program_path(board_file(serial))},
                {"XOLT_LINK_LATENCY_US", "125"},
                {"DEVE_SPOOL", clitest::program_path(dir_.file("spool"))}};
    }
    CliRun on_board(const std::string &serial, const std::vector<std::string> &commands,
                    Env extra = {}) const {
        clitest::CliOptions options;
        options.env = board_env(serial);
        options.env.insert(options.env.end(), extra.begin(), extra.end());
        return clitest::run_cli(board_args(serial, commands), options);
    }
    CliRun pool_burn(const std::string &serial, std::vector<std::string> more = {}, Env extra = {}) const {
        std::vector<std::string> commands{"mac", "write", "--from-pool", kPool, "--yes"};
        commands.insert(commands.end(), more.begin(), more.end());
        return on_board(serial, commands, std::move(extra));
    }

    // mac_addresses as the store holds it, read through ODBC.
    std::map<MacNumber, StoredMac> stored() const {
        const deve::store::UrlResult url = deve::store::parse_store_url(db_->url());
        deve::store::odbc::Environment env;
        deve::store::odbc::Connection db(env, url.url->connection_strings("", false).front(), url.url->name);
        std::map<MacNumber, StoredMac> out;
        for (const auto &row : db.query("SELECT mac, state, serial FROM mac_addresses")) {
            out[*parse_mac_number(row.at(0).text().value_or(""))] =
                StoredMac{row.at(1).text().value_or(""), row.at(2).text().value_or("")};
        }
        return out;
    }

    // The first column of the first row of a query.
    std::string query(const std::string &sql) const {
        const deve::store::UrlResult url = deve::store::parse_store_url(db_->url());
        deve::store::odbc::Environment env;
        deve::store::odbc::Connection db(env, url.url->connection_strings("", false).front(), url.url->name);
        return db.scalar(sql).text().value_or("");
    }

    nlohmann::json status(const std::string &pool) const {
        return record_of(cli({"store", "pool", "status", pool}).out, "pool_status");
    }

    std::unique_ptr<storetest::TestDatabase> db_;
    clitest::TempDir dir_;
};

TEST_P(PoolStore, RangesRetestsDuplicatesAdoptionAndRefusalsBeforeTheLink) {
    ASSERT_EQ(cli({"store", "pool", "add", kPool, kFirst, "02:00:00:00:10:01"}).exit_code, 0);
    // Refused, nothing added: reversed, overlapping another pool, multicast.
    for (const std::vector<std::string> &range :
         {std::vector<std::string>{"02:00:00:00:20:05", "02:00:00:00:20:01"},
          std::vector<std::string>{"02:00:00:00:0f:ff", "02:00:00:00:10:00"},
          std::vector<std::string>{"03:00:00:00:00:00", "03:00:00:00:00:09"}}) {
        const CliRun r = cli({"store", "pool", "add", "other", range[0], range[1]});
        EXPECT_EQ(r.exit_code, 2) << r.out;
    }
    EXPECT_TRUE(status("other").empty());

    // A board gets the first address; its retest keeps it and programs nothing.
    const CliRun first = pool_burn("A1");
    ASSERT_EQ(first.exit_code, 0) << first.out << first.err;
    EXPECT_EQ(macs_on(board_file("A1")), std::vector<MacNumber>{*parse_mac_number(kFirst)});
    const CliRun retest = pool_burn("A1");
    EXPECT_EQ(retest.exit_code, 0) << retest.out;
    EXPECT_EQ(record_of(retest.out, "mac_pool").value("outcome", ""), "unchanged");
    EXPECT_EQ(macs_on(board_file("A1")).size(), 1u);
    // The run's board row carries the address, for the retest too.
    EXPECT_EQ(query("SELECT mac FROM boards WHERE run_id = '" + record_of(retest.out, "end").value("run_id", "") + "'"),
              kFirst);

    // A board that holds another board's address: duplicate MAC, exit 1.
    std::filesystem::copy_file(board_file("A1"), board_file("B2"));
    const CliRun copy = pool_burn("B2");
    EXPECT_EQ(copy.exit_code, 1) << copy.out;
    EXPECT_EQ(record_of(copy.out, "mac_pool").value("outcome", ""), "duplicate");
    EXPECT_NE(record_of(copy.out, "end").dump().find("duplicate MAC"), std::string::npos) << copy.out;

    // An address burnt by hand: refused unless adopted.
    ASSERT_EQ(on_board("C3", {"mac", "write", "02:00:00:00:99:01", "--yes"}).exit_code, 0);
    EXPECT_EQ(pool_burn("C3").exit_code, 2);
    const CliRun adopted = pool_burn("C3", {"--adopt"});
    EXPECT_EQ(adopted.exit_code, 0) << adopted.out;
    EXPECT_EQ(stored().at(*parse_mac_number("02:00:00:00:99:01")).state, "burned");

    // Programming that does not take spoils the address for good; the
    // board's next run gets another one.
    const CliRun spoiled = pool_burn("D4", {}, {{"XOLT_FAULT_EFUSE_NO_PROGRAM", "1"}});
    EXPECT_EQ(spoiled.exit_code, 1) << spoiled.out;
    EXPECT_EQ(record_of(spoiled.out, "mac_pool").value("state", ""), "spoiled");
    // The pool is used up now: refused before the link opens, no fuse file made.
    const CliRun exhausted = pool_burn("E5");
    EXPECT_EQ(exhausted.exit_code, 2) << exhausted.out;
    EXPECT_NE(exhausted.out.find("pool line has no free address"), std::string::npos) << exhausted.out;
    EXPECT_FALSE(std::filesystem::exists(board_file("E5")));
    // ... but a board the pool knows still has its fuses read.
    EXPECT_EQ(pool_burn("A1").exit_code, 0);

    const nlohmann::json s = status(kPool);
    // A1's; C3's adopted address lies outside the pool's range and is
    // counted apart, so that the counts add up to the pool's size.
    EXPECT_EQ(s["counts"]["burned"], 1) << s.dump();
    EXPECT_EQ(s["adopted"], 0) << s.dump();
    EXPECT_EQ(s["outside"], 1) << s.dump();
    const auto &c = s["counts"];
    EXPECT_EQ(c["free"].get<int>() + c["reserved"].get<int>() + c["burned"].get<int>() + c["spoiled"].get<int>(),
              s["size"].get<int>())
        << s.dump();
    EXPECT_EQ(s["counts"]["spoiled"], 1) << s.dump();
    EXPECT_EQ(s["counts"]["free"], 0) << s.dump();
    EXPECT_TRUE(s["next_free"].is_null()) << s.dump();
    ASSERT_EQ(cli({"store", "pool", "add", kPool, "02:00:00:00:10:02", kLast}).exit_code, 0);
    const CliRun again = pool_burn("D4");
    EXPECT_EQ(again.exit_code, 0) << again.out;
    EXPECT_EQ(macs_on(board_file("D4")), std::vector<MacNumber>{*parse_mac_number("02:00:00:00:10:02")});
    // An address of the pool, ahead of its pointer, adopted from a board
    // burnt by hand: counted once, as burned, not also as free.
    ASSERT_EQ(on_board("H8", {"mac", "write", "02:00:00:00:10:20", "--yes"}).exit_code, 0);
    ASSERT_EQ(pool_burn("H8", {"--adopt"}).exit_code, 0);
    const nlohmann::json ahead = status(kPool);
    EXPECT_EQ(ahead["counts"]["burned"], 3) << ahead.dump();  // A1's, D4's and H8's
    EXPECT_EQ(ahead["adopted"], 1) << ahead.dump();
    EXPECT_EQ(ahead["outside"], 1) << ahead.dump();
    const auto &n = ahead["counts"];
    EXPECT_EQ(n["free"].get<int>() + n["reserved"].get<int>() + n["burned"].get<int>() + n["spoiled"].get<int>(),
              ahead["size"].get<int>())
        << ahead.dump();

    // A store that cannot be reached: exit 3 before the link opens.
    clitest::CliOptions away;
    away.env = board_env("F6");
    const CliRun unreachable = clitest::run_cli(
        {"--json", "--open", "quick", "--store", "postgresql://line@127.0.0.1:1/results", "--meta", "serial=F6", "mac",
         "write", "--from-pool", kPool, "--yes"},
        away);
    EXPECT_EQ(unreachable.exit_code, 3) << unreachable.out;
    EXPECT_FALSE(std::filesystem::exists(board_file("F6")));

    // A serial that is not UTF-8 is refused before the link opens, never
    // recorded as some other text. A Windows program gets its command line
    // as UTF-16, made from these bytes by the system before it starts: there
    // such a serial cannot reach it.
    if (clitest::windows_program()) {
        return;
    }
    clitest::CliOptions odd;
    odd.env = board_env("G7");
    const CliRun not_utf8 = clitest::run_cli({"--json", "--open", "quick", "--store", db_->url(), "--meta",
                                              std::string("serial=G7\xC3") + "A", "mac", "write", "--from-pool",
                                              kPool, "--yes"},
                                             odd);
    EXPECT_EQ(not_utf8.exit_code, 2) << not_utf8.out;
    EXPECT_NE(not_utf8.out.find("the board's serial (--meta serial=...) is not UTF-8 text (byte 3"), std::string::npos)
        << not_utf8.out;
    EXPECT_FALSE(std::filesystem::exists(board_file("G7")));
}

TEST_P(PoolStore, ReservationsRacingForOnePoolEachWinOnce) {
    // Stations in threads, each with its own connection, reserve until the
    // pool is used up; every third reservation is released (as a declined
    // burn releases it) and goes round again.
    const std::size_t stations = GetParam() == Kind::Postgresql ? 16 : 4;
    // Every SQLite transaction waits for the disk: a smaller pool there.
    const int kSize = GetParam() == Kind::Postgresql ? 300 : 90;
    ASSERT_EQ(cli({"store", "pool", "add", kPool, "02:00:00:01:00:00", mac_text(0x020000010000 + kSize - 1)}).exit_code,
              0);
    const deve::store::UrlResult url = deve::store::parse_store_url(db_->url());
    std::vector<std::vector<MacNumber>> burned(stations);
    std::vector<std::string> errors(stations);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < stations; ++t) {
        threads.emplace_back([&, t] {
            try {
                const auto book = deve::cli::open_pool_book(*url.url);
                const deve::cli::BoardId board{"T" + std::to_string(t), "0x00000000"};
                for (int i = 0;; ++i) {
                    const std::optional<MacNumber> mac = book->reserve(kPool, "run", board);
                    if (!mac) {
                        break;
                    }
                    const bool release = i % 3 == 0;
                    book->change_state(*mac, release ? deve::cli::MacState::Released : deve::cli::MacState::Burned,
                                       "run", board);
                    if (!release) {
                        burned[t].push_back(*mac);
                    }
                }
            } catch (const std::exception &e) {
                errors[t] = e.what();
            }
        });
    }
    for (std::thread &t : threads) {
        t.join();
    }
    std::set<MacNumber> all;
    std::size_t total = 0;
    for (std::size_t t = 0; t < stations; ++t) {
        EXPECT_EQ(errors[t], "") << "station " << t;
        all.insert(burned[t].begin(), burned[t].end());
        total += burned[t].size();
    }
    EXPECT_EQ(total, all.size()) << "an address was won by two stations";
    EXPECT_EQ(all.size(), static_cast<std::size_t>(kSize));
    const std::map<MacNumber, StoredMac> rows = stored();
    EXPECT_EQ(rows.size(), static_cast<std::size_t>(kSize));
    for (const auto &[mac, row] : rows) {
        EXPECT_EQ(row.state, "burned") << mac_text(mac);
    }
}

TEST_P(PoolStore, TwoStationsAtOnce) {
    // Two stations burning from one pool at the same moment, each on its own
    // board (also deve-cli.exe under Wine, DEVE_CLI_PROGRAM and
    // DEVE_CLI_LAUNCHER).
    ASSERT_EQ(cli({"store", "pool", "add", kPool, kFirst, kLast}).exit_code, 0);
    std::array<CliRun, 2> runs;
    std::vector<std::thread> stations;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        stations.emplace_back([&, i] { runs[i] = pool_burn("P" + std::to_string(i)); });
    }
    for (std::thread &t : stations) {
        t.join();
    }
    std::set<MacNumber> held;
    const std::map<MacNumber, StoredMac> rows = stored();
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const std::string serial = "P" + std::to_string(i);
        ASSERT_EQ(runs[i].exit_code, 0) << runs[i].out << runs[i].err;
        const std::vector<MacNumber> macs = macs_on(board_file(serial));
        ASSERT_EQ(macs.size(), 1u) << serial;
        held.insert(macs[0]);
        ASSERT_EQ(rows.count(macs[0]), 1u);
        EXPECT_EQ(rows.at(macs[0]).state, "burned");
        EXPECT_EQ(rows.at(macs[0]).serial, serial);
    }
    EXPECT_EQ(held.size(), 2u) << "both boards hold the same address";
    EXPECT_EQ(held, (std::set<MacNumber>{*parse_mac_number(kFirst), *parse_mac_number(kFirst) + 1}));
}

TEST_P(PoolStore, ASecondBoardWithTheSameSerialLeavesALiveReservationAlone) {
    if (GetParam() != Kind::Postgresql) {
        GTEST_SKIP() << "a station's hold on its reservations is PostgreSQL's session lock";
    }
    ASSERT_EQ(cli({"store", "pool", "add", kPool, kFirst, kLast}).exit_code, 0);
    const deve::store::UrlResult url = deve::store::parse_store_url(db_->url());
    const MacNumber first = *parse_mac_number(kFirst);
    // A station at work: it has reserved the first address for S9 and is
    // burning it.
    auto live = deve::cli::open_pool_book(*url.url);
    ASSERT_EQ(live->reserve(kPool, "run-live", {"S9", "0x00000000"}), first);
    // Another board with the same serial: it must not release that address.
    const CliRun second = pool_burn("S9");
    ASSERT_EQ(second.exit_code, 0) << second.out;
    EXPECT_EQ(macs_on(board_file("S9")), std::vector<MacNumber>{first + 1});
    EXPECT_EQ(stored().at(first).state, "reserved");
    auto reclaim = [this]() {
        return record_of(cli({"store", "pool", "reclaim", "--older-than", "0s"}).out, "pool_reclaim")["reserved"];
    };
    ASSERT_EQ(reclaim().size(), 1u);
    EXPECT_EQ(reclaim()[0]["mac"], kFirst);
    EXPECT_EQ(reclaim()[0]["station_alive"], true);
    // The station dies (its connection ends): reclaim says so, and the
    // board's next run resolves it.
    live.reset();
    EXPECT_EQ(reclaim()[0]["station_alive"], false);
    EXPECT_EQ(stored().at(first).state, "reserved");
    const CliRun again = pool_burn("S9");
    EXPECT_EQ(again.exit_code, 0) << again.out;
    EXPECT_EQ(stored().at(first).state, "released");
    EXPECT_EQ(stored().at(first + 1).state, "burned");
}

// "B01", "B02", ...
std::string board_serial(int n) { return (n < 10 ? "B0" : "B") + std::to_string(n); }

// One station's run on one board, as a child process whose output goes to a
// file.
struct Station {
    test_support::StartedProgram program;
    std::string serial;
    std::string log;
    bool to_kill = false;
    // The record after which the kill comes, a few milliseconds later: the
    // link is open and the address about to be reserved (open), reserved
    // and about to be burnt (efuse_preview), burnt and about to be recorded
    // (efuse_burn).
    std::string kill_after;
    std::optional<Clock::time_point> kill_at;
    Clock::time_point started;
};

TEST_P(PoolStore, StationsKilledAtRandomLeaveNoAddressOnTwoBoards) {
    const bool postgres = GetParam() == Kind::Postgresql;
    const std::size_t stations = postgres ? 16 : 4;
    constexpr int kBoards = 32;
    ASSERT_EQ(cli({"store", "pool", "add", kPool, kFirst, kLast}).exit_code, 0);

    std::deque<std::pair<std::string, bool>> queue;  // serial, to be killed
    std::mt19937 random(GetParam() == Kind::Postgresql ? 1601 : 401);
    std::vector<int> order(kBoards);
    for (int i = 0; i < kBoards; ++i) {
        order[static_cast<std::size_t>(i)] = i;
    }
    std::shuffle(order.begin(), order.end(), random);
    std::set<int> killed_boards(order.begin(), order.begin() + kBoards / 3);
    for (int i = 0; i < kBoards; ++i) {
        queue.emplace_back(board_serial(i + 1), killed_boards.count(i) != 0);
    }

    std::vector<double> durations;  // of the runs not killed
    std::vector<Station> running;
    std::map<std::string, int> kills_by_moment;
    std::vector<std::string> failures;
    const std::string program = clitest::cli_program();
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(240);
    int runs = 0;

    auto start = [&](const std::string &serial, bool to_kill) {
        Station s;
        s.serial = serial;
        s.to_kill = to_kill;
        const std::vector<std::string> args = board_args(
            serial, {"mac", "write", "--from-pool", kPool, "--yes"});
        const Env env = board_env(serial);
        const std::string log = dir_.file(serial + "." + std::to_string(runs++) + ".log");
        s.log = log;
        static const std::array<const char *, 3> kAnchors{"\"type\":\"open\"", "\"type\":\"efuse_preview\"",
                                                          "\"type\":\"efuse_burn\""};
        s.kill_after = kAnchors[static_cast<std::size_t>(runs) % kAnchors.size()];
        test_support::StartOptions options;
        options.env = env;
        options.output_file = log;
        options.error = test_support::StartOptions::Error::WithOutput;
        s.program = test_support::start_program(program, args, options);
        ASSERT_TRUE(s.program.started()) << s.program.start_error();
        s.started = Clock::now();
        running.push_back(std::move(s));
    };

    // What a killed run had done: from the store's row for the board and its
    // fuses.
    auto moment_of = [&](const std::string &serial) {
        const std::vector<MacNumber> held = macs_on(board_file(serial));
        std::string state = "none";
        for (const auto &[mac, row] : stored()) {
            if (row.serial == serial) {
                state = row.state;
            }
        }
        if (state == "none") {
            return std::string("before reserving");
        }
        if (state == "reserved") {
            return held.empty() ? std::string("reserved, before the burn took") : std::string("burnt, not recorded");
        }
        return "after recording (" + state + ")";
    };

    while ((!queue.empty() || !running.empty()) && Clock::now() < deadline) {
        while (running.size() < stations && !queue.empty()) {
            start(queue.front().first, queue.front().second);
            queue.pop_front();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        for (auto it = running.begin(); it != running.end();) {
            if (it->to_kill && !it->kill_at) {
                std::ifstream in(it->log);
                const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
                if (text.find(it->kill_after) != std::string::npos) {
                    it->kill_at = Clock::now() + std::chrono::microseconds(random() % 15000);
                }
            }
            if (it->kill_at && Clock::now() >= *it->kill_at) {
                it->program.kill();
                const test_support::ProgramExit exit = it->program.wait();
                if (exit.signal != 0) {
                    ++kills_by_moment[moment_of(it->serial)];
                    queue.emplace_back(it->serial, false);  // the board is run again
                } else if (exit.exit_code != 0) {
                    failures.push_back(it->serial + " exit " + std::to_string(exit.exit_code));
                } else {
                    ++kills_by_moment["finished before the kill"];
                }
                it = running.erase(it);
                continue;
            }
            if (const std::optional<test_support::ProgramExit> exit = it->program.poll()) {
                if (exit->exit_code != 0) {
                    failures.push_back(it->serial + " exit " + std::to_string(exit->exit_code));
                } else if (!it->to_kill) {
                    durations.push_back(std::chrono::duration<double>(Clock::now() - it->started).count());
                } else {
                    ++kills_by_moment["finished before the kill"];
                }
                it = running.erase(it);
                continue;
            }
            ++it;
        }
    }
    for (Station &s : running) {
        s.program.kill();
        s.program.wait();
        failures.push_back(s.serial + " still running at the deadline");
    }
    EXPECT_TRUE(failures.empty()) << failures.front();
    int kills = 0;
    for (const auto &[moment, n] : kills_by_moment) {
        std::printf("  %-32s %d\n", moment.c_str(), n);
        kills += moment == "finished before the kill" ? 0 : n;
    }
    std::sort(durations.begin(), durations.end());
    std::printf("  %d runs, %d killed, median run %.0f ms, %zu stations\n", runs, kills,
                durations.empty() ? 0.0 : durations[durations.size() / 2] * 1000, stations);
    EXPECT_GE(kills, kBoards / 6);

    // Every board's fuses, and the store.
    const std::map<MacNumber, StoredMac> rows = stored();
    const MacNumber first = *parse_mac_number(kFirst);
    const MacNumber last = *parse_mac_number(kLast);
    std::map<MacNumber, std::string> holder;
    for (int i = 1; i <= kBoards; ++i) {
        const std::string serial = board_serial(i);
        const std::vector<MacNumber> held = macs_on(board_file(serial));
        ASSERT_EQ(held.size(), 1u) << serial << " holds " << held.size() << " addresses";
        EXPECT_TRUE(first <= held[0] && held[0] <= last) << serial << " holds " << mac_text(held[0]);
        const bool unique = holder.emplace(held[0], serial).second;
        EXPECT_TRUE(unique) << mac_text(held[0]) << " is on " << holder[held[0]] << " and on " << serial;
        const auto row = rows.find(held[0]);
        ASSERT_NE(row, rows.end()) << mac_text(held[0]) << " on " << serial << " has no row";
        EXPECT_EQ(row->second.state, "burned") << mac_text(held[0]) << " on " << serial;
        EXPECT_EQ(row->second.serial, serial) << mac_text(held[0]);
    }
    for (const auto &[mac, row] : rows) {
        EXPECT_NE(row.state, "reserved") << mac_text(mac) << " is still reserved for " << row.serial;
        if (row.state == "burned") {
            EXPECT_EQ(holder.count(mac), 1u) << mac_text(mac) << " is burned but on no board";
        }
    }
    const nlohmann::json s = status(kPool);
    EXPECT_EQ(s["counts"]["burned"], kBoards) << s.dump();
    const int accounted = s["counts"]["free"].get<int>() + s["counts"]["reserved"].get<int>() +
                          s["counts"]["burned"].get<int>() + s["counts"]["spoiled"].get<int>();
    EXPECT_EQ(accounted, 40) << s.dump();
}

INSTANTIATE_TEST_SUITE_P(Stores, PoolStore, ::testing::Values(Kind::Sqlite, Kind::Postgresql),
                         [](const ::testing::TestParamInfo<Kind> &param) {
                             return std::string(storetest::kind_name(param.param));
                         });

}  // namespace
