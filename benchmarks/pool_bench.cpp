// Reservations per second from one MAC pool with many stations at once: each
// station is a thread with its own connection to the store, reserving an
// address and recording it burned, as mac write --from-pool does around a
// burn. A plain program, not a timed test.
//
//   pool_bench URL [STATIONS] [SECONDS]
//
// URL is a store made with deve-cli store init (it gets a pool pool_bench);
// defaults: 16 stations, 5 seconds.
#include "connect.h"
#include "mac_pool.h"
#include "pool_store.h"
#include "url.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

using namespace deve;

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: pool_bench URL [STATIONS] [SECONDS]\n");
        return 2;
    }
    const store::UrlResult url = store::parse_store_url(argv[1]);
    if (!url.url) {
        std::fprintf(stderr, "pool_bench: %s\n", url.error.c_str());
        return 2;
    }
    const int stations = argc > 2 ? std::atoi(argv[2]) : 16;
    const int seconds = argc > 3 ? std::atoi(argv[3]) : 5;
    const std::string pool = "pool_bench";
    store::odbc::Environment env;
    try {
        auto book = cli::pool_book(store::connect(env, *url.url, false));
        // A block of its own, after whatever ranges the store already has.
        cli::MacNumber first = *cli::parse_mac_number("02:be:00:00:00:00");
        for (const cli::PoolRange &r : book->ranges()) {
            first = std::max(first, r.range.last + 1);
        }
        if (const auto refusal = book->add_range(pool, {first, first + 0xFFFFFF})) {
            std::fprintf(stderr, "pool_bench: %s\n", refusal->c_str());
            return 2;
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "pool_bench: %s\n", e.what());
        return 3;
    }

    std::atomic<bool> go{false};
    std::atomic<bool> stop{false};
    std::atomic<long> reservations{0};
    std::atomic<long> failures{0};
    std::vector<std::thread> threads;
    for (int s = 0; s < stations; ++s) {
        threads.emplace_back([&, s] {
            try {
                auto book = cli::pool_book(store::connect(env, *url.url, false));
                const cli::BoardId board{"bench-" + std::to_string(s), "0x00000000"};
                while (!go) {
                    std::this_thread::yield();
                }
                while (!stop) {
                    const auto mac = book->reserve(pool, "bench", board);
                    if (!mac) {
                        ++failures;
                        break;
                    }
                    book->change_state(*mac, cli::MacState::Burned, "bench", board);
                    ++reservations;
                }
            } catch (const std::exception &e) {
                std::fprintf(stderr, "station %d: %s\n", s, e.what());
                ++failures;
            }
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the connections are made
    const auto started = std::chrono::steady_clock::now();
    go = true;
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    stop = true;
    for (std::thread &t : threads) {
        t.join();
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("%d stations, %.1f s: %ld reservations (each reserved and recorded burned), %.0f per second; "
                "%ld failures\n",
                stations, elapsed, reservations.load(), static_cast<double>(reservations.load()) / elapsed,
                failures.load());
    return failures == 0 ? 0 : 1;
}
