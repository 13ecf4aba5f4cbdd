// Register access through the library's forwarders against calling the
// transport directly, and one eFuse read and one eFuse write export, all on
// the simulated board with no link latency.
#include "test_support/system.h"
#include "velmo/velmo.h"
#include "xolt/xolt.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

constexpr uint32_t kScratchRegister = 0xCCB0E030;

std::string fuse_file() {
    return (std::filesystem::temp_directory_path() / ("velmo-bench-" + std::to_string(test_support::process_id()) + ".bin")).string();
}

// Opens a fresh simulated board (new fuse file). The library's lines go to
// standard output; benchmarks keep them out of the figures by redirecting.
void open_board() {
    std::filesystem::remove(fuse_file());
    test_support::set_env("XOLT_LIBRARY", SIM_XOLT_PATH);
    test_support::set_env("XOLT_FUSE_FILE", fuse_file());
    test_support::unset_env("XOLT_LINK_LATENCY_US");
    if (rf_init(4) != 0) {
        std::fprintf(stderr, "cannot open the simulated board\n");
        std::exit(1);
    }
}

void close_board() {
    rf_deinit();
    std::filesystem::remove(fuse_file());
}

// An entry point of the transport the library loaded (the same file, so the
// same module and the same open link).
template <typename Fn>
Fn transport_entry(const char *name) {
    return test_support::find_export_as<Fn>(SIM_XOLT_PATH, name);
}

void BM_ReadThroughLibrary(benchmark::State &state) {
    open_board();
    uint32_t value = 0;
    for (auto _ : state) {
        xolt_read_reg(kScratchRegister, &value);
        benchmark::DoNotOptimize(value);
    }
    close_board();
}
BENCHMARK(BM_ReadThroughLibrary);

void BM_ReadTransportDirect(benchmark::State &state) {
    open_board();
    auto read = transport_entry<xolt_read_reg_fn>("xolt_read_reg");
    if (read == nullptr) {
        state.SkipWithError("transport entry point not found");
        close_board();
        return;
    }
    uint32_t value = 0;
    for (auto _ : state) {
        read(kScratchRegister, &value);
        benchmark::DoNotOptimize(value);
    }
    close_board();
}
BENCHMARK(BM_ReadTransportDirect);

void BM_WriteThroughLibrary(benchmark::State &state) {
    open_board();
    uint32_t value = 0;
    for (auto _ : state) {
        xolt_write_reg(kScratchRegister, ++value);
    }
    close_board();
}
BENCHMARK(BM_WriteThroughLibrary);

void BM_WriteTransportDirect(benchmark::State &state) {
    open_board();
    auto write = transport_entry<xolt_write_reg_fn>("xolt_write_reg");
    if (write == nullptr) {
        state.SkipWithError("transport entry point not found");
        close_board();
        return;
    }
    uint32_t value = 0;
    for (auto _ : state) {
        write(kScratchRegister, ++value);
    }
    close_board();
}
BENCHMARK(BM_WriteTransportDirect);

// One eFuse read export: walks the map twice (two image reads).
void BM_EfuseReadMac(benchmark::State &state) {
    open_board();
    uint8_t mac[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
    rf_efuse_write_mac(mac);
    for (auto _ : state) {
        benchmark::DoNotOptimize(rf_efuse_read_mac(mac));
    }
    close_board();
}
BENCHMARK(BM_EfuseReadMac)->Unit(benchmark::kMicrosecond);

// One eFuse write export: a crystal record (12 bits). The map holds 18 of
// them; the board is replaced with a fresh one, outside the timing, when full.
void BM_EfuseWriteXtal(benchmark::State &state) {
    open_board();
    int written = 0;
    for (auto _ : state) {
        if (rf_efuse_write_xtal(0x5A) != 0) {
            state.SkipWithError("crystal record refused");
            break;
        }
        if (++written == 18) {
            state.PauseTiming();
            close_board();
            open_board();
            written = 0;
            state.ResumeTiming();
        }
    }
    close_board();
}
BENCHMARK(BM_EfuseWriteXtal)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
