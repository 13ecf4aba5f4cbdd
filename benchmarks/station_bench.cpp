// The production station flow of cli/examples/station.sh on the simulated
// board, with the fixed-count limit file (station-limits-fixed.json) and the
// sequential one (station-limits.json) side by side: the seconds one board
// takes, broken down by step from the run's own records, the frames its tx
// and rx runs used, and the wall time of several boards run in parallel, one
// process per board, each with its own fuse file.
//
//   station_bench [BOARDS]      (default 4)
#include <nlohmann/json.hpp>

#include "test_support/system.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Board {
    std::string serial;
    std::string fuse_file;
    std::string log;
    test_support::StartedProgram script;
    int status = -1;
    Clock::time_point started;
    double seconds = 0;
    double started_unix = 0;  // wall clock, for the records' timestamps
};

double unix_now() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// "2026-05-01T12:00:00.123Z" as seconds since 1970.
double record_time(const std::string &text) {
    std::tm t{};
    int millis = 0;
    std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d.%dZ", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour, &t.tm_min,
                &t.tm_sec, &millis);
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    return static_cast<double>(timegm(&t)) + millis / 1000.0;
}

void start(Board &b, const std::string &dir, int index, const std::string &limits) {
    b.serial = "SN" + std::to_string(1000 + index);
    b.fuse_file = dir + "/" + b.serial + ".bin";
    b.log = dir + "/" + b.serial + ".jsonl";
    char mac[32];
    std::snprintf(mac, sizeof mac, "02:00:00:00:%02x:%02x", (index >> 8) & 0xFF, index & 0xFF);
    // The script's own output is dropped; its errors show.
    test_support::StartOptions options;
    options.env = {{"XOLT_FUSE_FILE", b.fuse_file},
                   {"DEVE_CLI", DEVE_CLI_PATH},
                   {"STATION", "bench"},
                   {"STATION_LIMITS", limits}};
    options.output_file = test_support::null_device();
    options.error = test_support::StartOptions::Error::Inherited;
    b.started = Clock::now();
    b.started_unix = unix_now();
    b.script = test_support::start_program("/bin/sh", {STATION_SCRIPT, b.serial, mac, b.log}, options);
}

void finish(Board &b) {
    b.status = b.script.wait().exit_code;
    b.seconds = std::chrono::duration<double>(Clock::now() - b.started).count();
}

// Seconds per step of a board's log: the time from the previous record that
// closed a step to the last record of this one, summed by command. The
// second run of the script (the fresh open that verifies the fuses) is one
// line of its own.
std::vector<std::pair<std::string, double>> breakdown(const Board &b) {
    std::vector<std::pair<std::string, double>> steps;
    std::map<std::string, std::size_t> index;
    auto add = [&](const std::string &name, double seconds) {
        if (index.count(name) == 0) {
            index[name] = steps.size();
            steps.emplace_back(name, 0.0);
        }
        steps[index[name]].second += seconds;
    };
    std::ifstream in(b.log);
    double previous = b.started_unix;
    int run = 0;
    std::string line;
    while (std::getline(in, line)) {
        const nlohmann::json r = nlohmann::json::parse(line);
        const std::string type = r["type"];
        const double at = record_time(r["time"]);
        if (type == "open") {
            ++run;
        }
        if (run > 1) {
            add("verify: fresh quick open, burns unchanged", at - previous);
        } else if (type == "open") {
            add("open (full, calibrations)", at - previous);
        } else if (type == "end" || type == "close") {
            add("close", at - previous);
        } else {
            add(r["command"].get<std::string>(), at - previous);
        }
        // The frames each tx and rx used, and how the runs ended (counts).
        if (type == "tx" || type == "rx") {
            add(type + " frames", r["frames"].get<double>());
            add(type + " runs " + r["ending"].get<std::string>(), 1);
        }
        previous = at;
    }
    return steps;
}

// One limit file's figures: one board alone, then `boards` in parallel.
struct Figures {
    Board one;
    std::vector<std::pair<std::string, double>> steps;
    std::vector<Board> line;
    double wall_seconds = 0;
};

Figures measure(const std::string &dir, const std::string &limits, int boards, int first_index) {
    Figures f;
    start(f.one, dir, first_index, limits);
    finish(f.one);
    f.steps = breakdown(f.one);
    f.line.resize(static_cast<std::size_t>(boards));
    const Clock::time_point wall = Clock::now();
    for (int i = 0; i < boards; ++i) {
        start(f.line[static_cast<std::size_t>(i)], dir, first_index + 1 + i, limits);
    }
    for (Board &b : f.line) {
        finish(b);
    }
    f.wall_seconds = std::chrono::duration<double>(Clock::now() - wall).count();
    return f;
}

}  // namespace

int main(int argc, char **argv) {
    const int boards = argc > 1 ? std::atoi(argv[1]) : 4;
    char pattern[] = "/tmp/station-bench-XXXXXX";
    const std::string dir = std::string(mkdtemp(pattern)) + "/";
    const std::string examples = std::filesystem::path(STATION_SCRIPT).parent_path().string();

    std::printf("Station flow (cli/examples/station.sh) on the simulated board\n\n");
    const Figures fixed = measure(dir, examples + "/station-limits-fixed.json", boards, 0);
    const Figures sequential = measure(dir, examples + "/station-limits.json", boards, 100);

    std::printf("%-44s %12s %12s\n", "One board", "fixed", "sequential");
    std::printf("%-44s %10.2f s %10.2f s\n", "  total", fixed.one.seconds, sequential.one.seconds);
    std::vector<std::string> names;
    for (const auto *f : {&fixed, &sequential}) {
        for (const auto &step : f->steps) {
            if (std::find(names.begin(), names.end(), step.first) == names.end()) {
                names.push_back(step.first);
            }
        }
    }
    auto value = [](const Figures &f, const std::string &name) -> double {
        for (const auto &[n, v] : f.steps) {
            if (n == name) {
                return v;
            }
        }
        return 0;
    };
    double accounted[2] = {0, 0};
    for (const std::string &name : names) {
        const bool frames = name.find(" frames") != std::string::npos;
        const bool runs = name.find(" runs ") != std::string::npos;
        const double a = value(fixed, name);
        const double b = value(sequential, name);
        if (frames) {
            std::printf("  %-42s %8.0f fr. %8.0f fr.\n", name.c_str(), a, b);
            // How its runs ended, beneath it.
            const std::string type = name.substr(0, name.find(' '));
            for (const std::string &other : names) {
                if (other.rfind(type + " runs ", 0) == 0) {
                    std::printf("    %-40s %12.0f %12.0f\n", other.substr(type.size() + 1).c_str(),
                                value(fixed, other), value(sequential, other));
                }
            }
        } else if (runs) {
            continue;
        } else {
            std::printf("  %-42s %10.2f s %10.2f s\n", name.c_str(), a, b);
            accounted[0] += a;
            accounted[1] += b;
        }
    }
    std::printf("  %-42s %10.2f s %10.2f s\n", "process starts, script", fixed.one.seconds - accounted[0],
                sequential.one.seconds - accounted[1]);

    std::printf("\n%d boards in parallel, one process per board (wall)  %8.2f s %10.2f s\n", boards,
                fixed.wall_seconds, sequential.wall_seconds);
    int failed = 0;
    for (std::size_t i = 0; i < fixed.line.size(); ++i) {
        const Board &a = fixed.line[i];
        const Board &b = sequential.line[i];
        std::printf("  board %zu%-36s %8.2f s %d %8.2f s %d  (exit codes)\n", i + 1, "", a.seconds, a.status,
                    b.seconds, b.status);
        failed += (a.status != 0 ? 1 : 0) + (b.status != 0 ? 1 : 0);
    }
    failed += (fixed.one.status != 0 ? 1 : 0) + (sequential.one.status != 0 ? 1 : 0);
    std::filesystem::remove_all(dir);
    return failed == 0 ? 0 : 1;
}
