// The production station flow of cli/examples/station.sh with the line
// store against the same flow without it, in one run: the flow alone, with
// DEVE_STORE naming an SQLite file, and with DEVE_STORE naming a private
// PostgreSQL server on the loopback (line/tests/postgres.sh). The
// variants take turns, round after round, so that a drift of the machine
// falls on all of them alike; the figure is the ratio of the mean times.
//
//   store_bench [ROUNDS]      (default 3)
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Variant {
    std::string name;
    std::string store;  // DEVE_STORE; empty: no store
    std::vector<double> seconds;
    int failures = 0;
};

// Runs a command through the shell; its exit code.
int shell(const std::string &command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

double mean(const std::vector<double> &v) {
    double sum = 0;
    for (double x : v) {
        sum += x;
    }
    return v.empty() ? 0 : sum / static_cast<double>(v.size());
}

}  // namespace

int main(int argc, char **argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
    char pattern[] = "/tmp/store-bench-XXXXXX";
    const std::string dir = mkdtemp(pattern);
    const std::string cli = DEVE_CLI_PATH;
    const std::string state = dir + "/postgres.state";

    std::vector<Variant> variants{{"no store", "", {}, 0}, {"SQLite file", "sqlite:" + dir + "/results.db", {}, 0}};
    if (shell("bash '" + std::string(POSTGRES_SCRIPT) + "' start '" + state + "' >/dev/null") == 0) {
        std::ifstream in(state);
        std::string url;
        std::getline(in, url);
        variants.push_back({"PostgreSQL, loopback", url, {}, 0});
    } else {
        std::printf("(no PostgreSQL server could be started: that variant is left out)\n");
    }
    for (const Variant &v : variants) {
        if (!v.store.empty() && shell("'" + cli + "' --store '" + v.store + "' store init >/dev/null") != 0) {
            std::printf("store init failed for %s\n", v.store.c_str());
            return 1;
        }
    }

    std::printf("Station flow (cli/examples/station.sh) on the simulated board, %d rounds\n", rounds);
    int board = 0;
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t k = 0; k < variants.size(); ++k) {
            Variant &v = variants[(k + static_cast<std::size_t>(round)) % variants.size()];
            const std::string serial = "SN" + std::to_string(5000 + board);
            char mac[32];
            std::snprintf(mac, sizeof mac, "02:00:00:00:%02x:%02x", (board >> 8) & 0xFF, board & 0xFF);
            ++board;
            const std::string command = "XOLT_FUSE_FILE='" + dir + "/" + serial + ".bin' DEVE_CLI='" + cli +
                                        "' STATION=bench DEVE_STORE='" + v.store + "' DEVE_SPOOL='" + dir +
                                        "/spool' sh '" + STATION_SCRIPT + "' " + serial + " " + mac + " '" + dir +
                                        "/" + serial + ".jsonl' >/dev/null 2>&1";
            const auto started = std::chrono::steady_clock::now();
            const int code = shell(command);
            v.seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
            v.failures += code == 0 ? 0 : 1;
            std::printf("  round %d  %-22s %6.2f s (exit %d)\n", round + 1, v.name.c_str(), v.seconds.back(), code);
            std::fflush(stdout);
        }
    }
    const double base = mean(variants[0].seconds);
    std::printf("\n%-22s %8s %8s\n", "", "mean s", "ratio");
    for (const Variant &v : variants) {
        std::printf("%-22s %8.2f %8.3f%s\n", v.name.c_str(), mean(v.seconds), mean(v.seconds) / base,
                    v.failures != 0 ? "  (some runs failed)" : "");
    }
    if (variants.size() > 2) {
        shell("bash '" + std::string(POSTGRES_SCRIPT) + "' stop '" + state + "' >/dev/null");
    }
    shell("rm -rf '" + dir + "'");
    return 0;
}
