// A bounded load on deve-cli report serve, on the loopback only: an SQLite
// store holding a shift of a line, the server on a free port of 127.0.0.1,
// and CLIENTS clients that each read /live.json again as soon as the last
// answer came, for SECONDS seconds. Every answer is checked (status 200, the
// JSON whole, the shift's runs all counted); the server's resident memory is
// read from /proc at the start, every second and at the end.
//
//   live_serve_bench [CLIENTS [SECONDS [RUNS]]]   (default 50 30 20000)
#include "common/text_format.h"
#include "connect.h"
#include "odbc.h"
#include "schema.h"
#include "test_support/system.h"
#include "url.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using deve::store::odbc::Value;

// The resident memory of a process, in KiB (VmRSS of /proc/PID/status).
long rss_kib(unsigned long pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::atol(line.c_str() + 6);
        }
    }
    return -1;
}

std::int64_t now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// RUNS runs over the last 7 hours at 8 stations, one in 20 failed at its
// receive test, in one transaction.
void fill(const std::string &url, int runs) {
    const deve::store::UrlResult parsed = deve::store::parse_store_url(url);
    deve::store::odbc::Environment env;
    const auto db = deve::store::connect(env, *parsed.url, true);
    deve::store::init_schema(*db, "bench", "2026-12-01T00:00:00.000Z");
    deve::store::odbc::Transaction t(*db);
    const std::int64_t now = now_ms();
    for (int i = 0; i < runs; ++i) {
        const std::string id = "run-" + std::to_string(i);
        const std::int64_t started = now - 7 * 3'600'000LL + static_cast<std::int64_t>(i) * 7 * 3'600'000LL / runs;
        const bool failed = i % 20 == 7;
        db->execute("INSERT INTO runs (run_id, started_at, ended_at, station, "
                    "serial, host, tool_version, verdict,"
                    " exit_code) VALUES (?, ?, ?, ?, ?, ?, 'bench', ?, ?)",
                    {id, deve::utc_text(started), deve::utc_text(started + 40'000), "FT-" + std::to_string(i % 8 + 1),
                     "SN" + std::to_string(i / 2), "pc" + std::to_string(i % 8 + 1),
                     std::string(failed ? "fail" : "pass"), std::int64_t{failed ? 1 : 0}});
        db->execute("INSERT INTO steps (run_id, seq, command, started_at, "
                    "ended_at, band, channel, outcome)"
                    " VALUES (?, 1, 'rx', ?, ?, '2G', 6, ?)",
                    {id, deve::utc_text(started + 1000), deve::utc_text(started + 30'000),
                     std::string(failed ? "fail" : "pass")});
        db->execute("INSERT INTO measurements (run_id, step_seq, name, value, "
                    "unit, high, passed)"
                    " VALUES (?, 1, 'per', ?, '%', 8, ?)",
                    {id, failed ? 9.5 : 2.5, std::int64_t{failed ? 0 : 1}});
    }
    t.commit();
}

}  // namespace

int main(int argc, char **argv) {
    const int clients = argc > 1 ? std::atoi(argv[1]) : 50;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 30;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 20000;
    if (clients < 1 || clients > 500 || seconds < 1 || seconds > 600 || runs < 1) {
        std::fprintf(stderr, "usage: live_serve_bench [CLIENTS (1-500) [SECONDS (1-600) [RUNS]]]\n");
        return 2;
    }
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("deve-live-bench-" + std::to_string(test_support::process_id()));
    std::filesystem::create_directories(dir);
    const std::string url = "sqlite:" + (dir / "results.db").string();
    fill(url, runs);

    test_support::StartedProgram server = test_support::start_program(
        DEVE_CLI_PATH, {"--store", url, "report", "serve", "--listen", "127.0.0.1:0", "--refresh", "2"});
    int port = 0;
    for (int i = 0; i < 100 && port == 0; ++i) {
        server.read_output(200);
        const std::size_t at = server.output().find("http://127.0.0.1:");
        if (at != std::string::npos && server.output().find('/', at + 17) != std::string::npos) {
            port = std::atoi(server.output().c_str() + at + 17);
        }
    }
    if (port == 0) {
        std::fprintf(stderr, "the server did not start: %s\n", server.error_output().c_str());
        return 1;
    }
    // Until the first figures are read.
    {
        httplib::Client probe("127.0.0.1", port);
        for (int i = 0; i < 100; ++i) {
            const httplib::Result res = probe.Get("/live.json");
            if (res && nlohmann::json::parse(res->body, nullptr, false)["figures"].is_object()) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    const long rss_start = rss_kib(server.pid());

    std::atomic<bool> stop{false};
    std::atomic<long> requests{0};
    std::atomic<long> errors{0};
    std::mutex latencies_mutex;
    std::vector<double> latencies;  // milliseconds
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&] {
            httplib::Client http("127.0.0.1", port);
            http.set_keep_alive(true);
            http.set_read_timeout(10, 0);
            std::vector<double> mine;
            while (!stop) {
                const auto began = Clock::now();
                const httplib::Result res = http.Get("/live.json");
                mine.push_back(std::chrono::duration<double, std::milli>(Clock::now() - began).count());
                ++requests;
                bool right = res && res->status == 200;
                if (right) {
                    const nlohmann::json page = nlohmann::json::parse(res->body, nullptr, false);
                    long counted = 0;
                    if (page.is_object() && page["figures"].is_object()) {
                        for (const auto &s : page["figures"]["stations"]) {
                            counted += s["runs"].get<long>();
                        }
                    }
                    // The window slides (8 h): every run of the last 7 hours is in it.
                    right = counted == runs && page["store"]["reachable"] == true;
                }
                if (!right) {
                    ++errors;
                }
            }
            std::lock_guard<std::mutex> lock(latencies_mutex);
            latencies.insert(latencies.end(), mine.begin(), mine.end());
        });
    }
    long rss_max = rss_start;
    const auto start = Clock::now();
    while (Clock::now() - start < std::chrono::seconds(seconds)) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        rss_max = std::max(rss_max, rss_kib(server.pid()));
    }
    stop = true;
    for (std::thread &t : threads) {
        t.join();
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    const long rss_end = rss_kib(server.pid());
    kill(static_cast<pid_t>(server.pid()), SIGTERM);
    const test_support::ProgramExit end = server.wait();
    std::filesystem::remove_all(dir);

    std::sort(latencies.begin(), latencies.end());
    const auto at = [&](double q) {
        return latencies.empty()
                   ? 0.0
                   : latencies[std::min(latencies.size() - 1,
                                        static_cast<std::size_t>(q * static_cast<double>(latencies.size())))];
    };
    std::printf("live_serve_bench: %d clients for %.1f s against %d runs in SQLite\n", clients, elapsed, runs);
    std::printf("  requests %ld (%.0f/s), wrong or failed answers %ld\n", requests.load(),
                static_cast<double>(requests.load()) / elapsed, errors.load());
    std::printf("  latency ms: median %.2f, p99 %.2f, max %.2f\n", at(0.5), at(0.99),
                latencies.empty() ? 0.0 : latencies.back());
    std::printf("  server RSS KiB: start %ld, highest %ld, end %ld\n", rss_start, rss_max, rss_end);
    std::printf("  server exit code after SIGTERM: %d\n", end.exit_code);
    return errors.load() == 0 && end.exit_code == 0 ? 0 : 1;
}
