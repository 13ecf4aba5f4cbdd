// Elapsed time of the two calibration exports on the simulated board, against
// their fixed-sleep floor: the sleeps the sequences must take, plus, with a
// link latency, the time the board spends on every register access. A ratio
// near 1 means the library adds nothing but its prescribed waits.
//
// Usage: calibration_bench [repetitions [library-output-file]]
//        (default 3 repetitions; the library's lines go to the null device)
#include "velmo/velmo.h"
#include "test_support/system.h"
#include "xolt/xolt_sim.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// Fixed sleeps of each sequence, in milliseconds.
constexpr double kCalibrationFloorMs = 880.0;                   // 16 triggers of 50 or 70 ms
constexpr double kPadpdFloorMs = 26 * 1.0 + 3 * (1 + 26 * 10.0);  // 2.4 GHz points, 5 GHz sub-bands

using AccessCountFn = uint64_t (*)();

struct Sample {
    double elapsed_ms;
    uint64_t accesses;
};

std::string fuse_file() {
    return (std::filesystem::temp_directory_path() / ("velmo-calbench-" + std::to_string(test_support::process_id()) + ".bin"))
        .string();
}

AccessCountFn access_counter() {
    return test_support::find_export_as<AccessCountFn>(SIM_XOLT_PATH, "xolt_sim_access_count");
}

template <typename Call>
Sample measure(Call call) {
    AccessCountFn count = access_counter();
    const uint64_t before = count != nullptr ? count() : 0;
    const auto start = std::chrono::steady_clock::now();
    call();
    const auto stop = std::chrono::steady_clock::now();
    const uint64_t after = count != nullptr ? count() : 0;
    return {std::chrono::duration<double, std::milli>(stop - start).count(), after - before};
}

void report(std::FILE *out, const char *name, unsigned latency_us, double floor_ms, std::vector<Sample> samples) {
    std::sort(samples.begin(), samples.end(),
              [](const Sample &a, const Sample &b) { return a.elapsed_ms < b.elapsed_ms; });
    const Sample &median = samples[samples.size() / 2];
    const double bound = floor_ms + static_cast<double>(median.accesses) * latency_us / 1000.0;
    std::fprintf(out, "%-22s latency %3u us  accesses %5llu  elapsed %8.2f ms  floor %8.2f ms  ratio %.4f\n", name,
                latency_us, static_cast<unsigned long long>(median.accesses), median.elapsed_ms, bound,
                median.elapsed_ms / bound);
}

}  // namespace

int main(int argc, char **argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    test_support::set_env("XOLT_LIBRARY", SIM_XOLT_PATH);
    test_support::set_env("XOLT_FUSE_FILE", fuse_file());
    // The library's diagnostic lines would cost terminal time inside the
    // measurement; they go to the null device or the file given, the figures
    // to standard error.
    const char *library_output = argc > 2 ? argv[2] : test_support::null_device();
    std::fflush(stdout);
    if (std::freopen(library_output, "w", stdout) == nullptr) {
        std::fprintf(stderr, "cannot write the library's output to %s\n", library_output);
        return 1;
    }
    for (unsigned latency : {0u, 125u}) {
        test_support::set_env("XOLT_LINK_LATENCY_US", std::to_string(latency));
        if (rf_init(4) != 0) {
            std::fprintf(stderr, "cannot open the simulated board\n");
            return 1;
        }
        if (access_counter() == nullptr) {
            std::fprintf(stderr, "the transport has no access counter: not the simulated board?\n");
            return 1;
        }
        std::vector<Sample> calibration;
        std::vector<Sample> padpd;
        for (int i = 0; i < repetitions; ++i) {
            calibration.push_back(measure([] { rf_calibration(); }));
            padpd.push_back(measure([] { rf_2g_5g_padpd_cali(1); }));
        }
        rf_deinit();
        // Figures go to standard error, which the redirect above left alone.
        report(stderr, "rf_calibration", latency, kCalibrationFloorMs, calibration);
        report(stderr, "rf_2g_5g_padpd_cali", latency, kPadpdFloorMs, padpd);
    }
    std::filesystem::remove(fuse_file());
    return 0;
}
