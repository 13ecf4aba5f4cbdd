// The recording transport's cost per register access: reads of the
// simulated board through the library, directly and through the recorder
// (each read appended to a trace), with no link latency and with a USB
// access's 125 microseconds (XOLT_LINK_LATENCY_US). Prints the time per read
// and the ratios.
//
//   tap_bench [READS]        (default 200000; a tenth of that at 125 us is capped at 4000)
#include "test_support/system.h"
#include "velmo/velmo.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

constexpr uint32_t kRevision = 0xC0000010;

std::string temp(const char *name) {
    return (std::filesystem::temp_directory_path() /
            ("tap-bench-" + std::to_string(test_support::process_id()) + "-" + name))
        .string();
}

// Nanoseconds per read of `reads` reads through the library, with the board
// behind `library` (the board itself or the recorder).
double ns_per_read(const char *library, unsigned latency_us, unsigned reads) {
    std::filesystem::remove(temp("efuse.bin"));
    std::filesystem::remove(temp("bench.trace"));
    test_support::set_env("XOLT_LIBRARY", library);
    test_support::set_env("XOLT_TAP_TARGET", SIM_XOLT_PATH);
    test_support::set_env("XOLT_TAP_FILE", temp("bench.trace"));
    test_support::set_env("XOLT_FUSE_FILE", temp("efuse.bin"));
    test_support::set_env("XOLT_LINK_LATENCY_US", std::to_string(latency_us));
    if (rf_init(4) != 0) {
        std::fprintf(stderr, "cannot open the board through %s\n", library);
        std::exit(1);
    }
    uint32_t value = 0;
    const auto start = std::chrono::steady_clock::now();
    for (unsigned i = 0; i < reads; ++i) {
        xolt_read_reg(kRevision, &value);
    }
    const auto took = std::chrono::steady_clock::now() - start;
    rf_deinit();
    const auto size = std::filesystem::exists(temp("bench.trace")) ? std::filesystem::file_size(temp("bench.trace")) : 0;
    std::filesystem::remove(temp("efuse.bin"));
    std::filesystem::remove(temp("efuse.bin.lock"));
    std::filesystem::remove(temp("bench.trace"));
    if (size != 0 && size < reads * 20ull) {
        std::fprintf(stderr, "the trace holds %llu bytes for %u reads: not every read was recorded\n",
                     static_cast<unsigned long long>(size), reads);
        std::exit(1);
    }
    return std::chrono::duration<double, std::nano>(took).count() / reads;
}

}  // namespace

int main(int argc, char **argv) {
    const unsigned reads = argc > 1 ? static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10)) : 200000;
    const unsigned slow_reads = reads / 10 < 4000 ? reads / 10 : 4000;
    // The library's lines (link open and close) stay out of the figures.
    std::freopen(test_support::null_device(), "w", stdout);
    const double direct = ns_per_read(SIM_XOLT_PATH, 0, reads);
    const double tapped = ns_per_read(XOLT_TAP_PATH, 0, reads);
    const double direct_usb = ns_per_read(SIM_XOLT_PATH, 125, slow_reads);
    const double tapped_usb = ns_per_read(XOLT_TAP_PATH, 125, slow_reads);
    const double added = tapped - direct;
    std::fprintf(stderr,
                 "read, no link latency:   %9.0f ns direct, %9.0f ns recorded (x%.1f); %.0f ns added per access\n"
                 "added per access / a USB access (125 us): %.4f (%.2f%%)\n"
                 "read, 125 us latency:    %9.0f ns direct, %9.0f ns recorded (ratio %.4f)\n",
                 direct, tapped, tapped / direct, added, added / 125000.0, 100.0 * added / 125000.0, direct_usb,
                 tapped_usb, tapped_usb / direct_usb);
    return 0;
}
