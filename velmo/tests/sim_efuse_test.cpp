// The eFuse store end to end on the simulated board: records round-trip,
// outlive the process, are refused when the map is full, never clear a fuse,
// and fail cleanly when the board's eFuse controller misbehaves.
#include "fixture.h"
#include "test_support/system.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using recording::StdoutCapture;

namespace {

using Fuses = std::array<uint32_t, 8>;

constexpr uint32_t kChipId = 0x74000000;
constexpr uint32_t ADR_DATA0 = 0xC2000120;
const std::array<uint8_t, 6> kMac{0x02, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};

// The board's fuse-array query (xolt_sim_read_fuses), looked up in the board
// library itself: the test program does not link the transport.
using ReadFuses = int32_t (*)(uint32_t *, uint32_t);

ReadFuses sim_read_fuses() {
    return test_support::find_export_as<ReadFuses>(SIM_XOLT_PATH, "xolt_sim_read_fuses");
}

// True when every bit of `before` is still set in `after`.
bool keeps_bits(const Fuses &before, const Fuses &after) {
    for (std::size_t i = 0; i < before.size(); ++i) {
        if ((after[i] & before[i]) != before[i]) {
            return false;
        }
    }
    return true;
}

class SimEfuse : public ::testing::Test {
protected:
    void SetUp() override {
        fuse_file = ::testing::TempDir() + "/sim-efuse-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".bin";
        std::filesystem::remove(fuse_file);
        test_support::set_env("XOLT_LIBRARY", LIBRARY_XOLT_PATH);
        test_support::set_env("XOLT_FUSE_FILE", fuse_file);
        test_support::set_env("XOLT_CHIP_ID", "0x74000000");
        test_support::unset_env("XOLT_FAULT_EFUSE_STALL");
        test_support::unset_env("XOLT_FAULT_EFUSE_NO_PROGRAM");
        open();
    }
    void TearDown() override {
        close();
        test_support::unset_env("XOLT_FAULT_EFUSE_STALL");
        test_support::unset_env("XOLT_FAULT_EFUSE_NO_PROGRAM");
        std::filesystem::remove(fuse_file);
    }
    // The board reads its environment when the link opens.
    void open() {
        StdoutCapture quiet;
        ASSERT_EQ(rf_init(4), 0);
    }
    void close() {
        StdoutCapture quiet;
        rf_deinit();
    }
    Fuses fuses() {
        Fuses words{};
        const ReadFuses query = sim_read_fuses();
        EXPECT_NE(query, nullptr);
        if (query != nullptr) {
            EXPECT_EQ(query(words.data(), 8), 0);
        }
        return words;
    }
    std::string fuse_file;
};

// Writes the records that the restart test expects to find.
void write_all_records() {
    std::array<uint8_t, 6> mac = kMac;
    EXPECT_EQ(rf_efuse_write_mac(mac.data()), 0);
    EXPECT_EQ(rf_efuse_write_tx_power1(3, 5), 0);
    EXPECT_EQ(rf_efuse_write_tx_power2(7, 1), 0);
    EXPECT_EQ(rf_efuse_write_rate_gain_b_n40(2, 9), 0);
    EXPECT_EQ(rf_efuse_write_rate_gain_g_n20(0xF, 0), 0);
    EXPECT_EQ(rf_efuse_write_xtal(0x2A), 0);
    EXPECT_EQ(rf_efuse_write_vid(0x1234), 0);
}

void expect_all_records() {
    std::array<uint8_t, 6> mac{};
    EXPECT_EQ(rf_efuse_read_mac(mac.data()), 0);
    EXPECT_EQ(mac, kMac);
    const std::vector<std::pair<int32_t (*)(uint8_t *, uint8_t *), std::pair<int, int>>> pairs{
        {rf_efuse_read_tx_power1, {3, 5}},
        {rf_efuse_read_tx_power2, {7, 1}},
        {rf_efuse_read_rate_gain_b_n40, {2, 9}},
        {rf_efuse_read_rate_gain_g_n20, {0xF, 0}}};
    for (const auto &[reader, want] : pairs) {
        uint8_t high = 0xFF, low = 0xFF;
        EXPECT_EQ(reader(&high, &low), 0);
        EXPECT_EQ(std::make_pair(int{high}, int{low}), want);
    }
    uint8_t xtal = 0;
    uint16_t vid = 0;
    EXPECT_EQ(rf_efuse_read_xtal(&xtal), 0);
    EXPECT_EQ(xtal, 0x2A);
    EXPECT_EQ(rf_efuse_read_vid(&vid), 0);
    EXPECT_EQ(vid, 0x1234);
    uint32_t id = 0;
    EXPECT_EQ(rf_efuse_read_chip_id(&id), 0);
    EXPECT_EQ(id, kChipId);
    // 224 - (52 + 5 * 12 + 20)
    EXPECT_EQ(rf_get_efuse_free_bits(), 92);
}

TEST_F(SimEfuse, RecordsRoundTrip) {
    EXPECT_EQ(rf_get_efuse_free_bits(), 224);
    write_all_records();
    expect_all_records();
    uint16_t pid = 0x5555;
    EXPECT_EQ(rf_efuse_read_pid(&pid), -1);
    EXPECT_EQ(pid, 0x5555);
    // Data registers overwritten behind the library's back: readers still
    // see the fuses.
    for (uint32_t i = 0; i < 8; ++i) {
        xolt_write_reg(ADR_DATA0 + 4 * i, 0);
    }
    uint8_t xtal = 0;
    EXPECT_EQ(rf_efuse_read_xtal(&xtal), 0);
    EXPECT_EQ(xtal, 0x2A);
    // The raw readers.
    const Fuses words = fuses();
    uint32_t address = 0, value = 0, id = 0;
    EXPECT_EQ(rf_read_efuse(&address, &value), 0);
    EXPECT_EQ(address, 0xC2000134u);  // records end in word 5
    EXPECT_EQ(value, words[5]);
    StdoutCapture quiet;
    EXPECT_EQ(rf_chip_id(&id), 0);
    EXPECT_EQ(id, kChipId);
}

// Runs the example program as a second process on the same fuse file and
// returns what it printed.
std::string report_from_another_process(const std::string &fuse_file) {
    const test_support::ProgramRun run =
        test_support::run_program(EFUSE_REPORT_PATH, {}, {{"XOLT_FUSE_FILE", fuse_file}});
    return run.exit_code == 0 ? run.output : run.output + "\n(exit status " + std::to_string(run.exit_code) + ")";
}

TEST_F(SimEfuse, RecordsSurviveARestart) {
    write_all_records();
    close();
    // Another process powers the board up from the same fuse file.
    const std::string report = report_from_another_process(fuse_file);
    for (const char *line : {"Chip ID: 74000000", "MAC address        02:1a:2b:3c:4d:5e", "TX power 1         3, 5",
                             "TX power 2         7, 1", "Rate gain b/n40    2, 9", "Rate gain g/n20    15, 0",
                             "Crystal trim       42", "Vendor ID          1234", "Product ID         (none)",
                             "Free eFuse bits: 92"}) {
        EXPECT_NE(report.find(line), std::string::npos) << "missing \"" << line << "\" in:\n" << report;
    }
    // And this process, opening the board again, still reads them all.
    open();
    expect_all_records();
}

TEST_F(SimEfuse, FullMapIsRefusedAndLeftUnchanged) {
    for (uint8_t i = 1; i <= 3; ++i) {
        std::array<uint8_t, 6> mac{i, i, i, i, i, i};
        ASSERT_EQ(rf_efuse_write_mac(mac.data()), 0);
        ASSERT_EQ(rf_efuse_write_xtal(i), 0);
    }
    ASSERT_EQ(rf_efuse_write_pid(0x4321), 0);
    ASSERT_EQ(rf_get_efuse_free_bits(), 12);
    const Fuses before = fuses();
    StdoutCapture out;
    EXPECT_EQ(rf_efuse_write_vid(0x1234), -1);
    EXPECT_EQ(out.take(), "There is not enough space, 256!!\n");
    EXPECT_EQ(fuses(), before);
    EXPECT_EQ(rf_efuse_write_xtal(0x77), 0);  // exactly fills the map
    EXPECT_EQ(rf_get_efuse_free_bits(), 0);
    const Fuses full = fuses();
    StdoutCapture again;
    EXPECT_EQ(rf_efuse_write_tx_power1(1, 2), -1);
    EXPECT_EQ(again.take(), "There is not enough space, 256!!\n");
    EXPECT_EQ(fuses(), full);
    uint8_t xtal = 0;
    EXPECT_EQ(rf_efuse_read_xtal(&xtal), 0);
    EXPECT_EQ(xtal, 0x77);
}

TEST_F(SimEfuse, FusesAreNeverCleared) {
    Fuses previous = fuses();
    EXPECT_EQ(previous[0], kChipId);
    const std::vector<uint8_t> values{0xFF, 0x00, 0x5A, 0xA5};
    for (uint8_t v : values) {
        ASSERT_EQ(rf_efuse_write_xtal(v), 0);
        uint8_t xtal = 0;
        EXPECT_EQ(rf_efuse_read_xtal(&xtal), 0);
        EXPECT_EQ(xtal, v);
        const Fuses now = fuses();
        EXPECT_TRUE(keeps_bits(previous, now));
        EXPECT_NE(now, previous);
        previous = now;
    }
    EXPECT_EQ(previous[0], kChipId);
}

TEST_F(SimEfuse, StalledControllerFailsEveryExport) {
    write_all_records();
    const Fuses before = fuses();
    close();
    test_support::set_env("XOLT_FAULT_EFUSE_STALL", "1");
    open();
    StdoutCapture out;
    EXPECT_EQ(rf_efuse_write_xtal(0x11), -1);
    EXPECT_EQ(rf_efuse_write_pid(0x2222), -1);
    EXPECT_EQ(rf_get_efuse_free_bits(), -1);
    uint8_t xtal = 0x99;
    uint32_t id = 0x99, address = 0, value = 0;
    EXPECT_EQ(rf_efuse_read_xtal(&xtal), -1);
    EXPECT_EQ(rf_efuse_read_chip_id(&id), -1);
    EXPECT_EQ(rf_read_efuse(&address, &value), -1);
    EXPECT_EQ(xtal + id, 0x99u + 0x99u);
    EXPECT_EQ(out.take().rfind("ERROR: ", 0), 0u);
    EXPECT_EQ(fuses(), before);
}

TEST_F(SimEfuse, ProgramThatBurnsNothingFailsTheVerify) {
    close();
    test_support::set_env("XOLT_FAULT_EFUSE_NO_PROGRAM", "1");
    open();
    StdoutCapture out;
    EXPECT_EQ(rf_efuse_write_xtal(0x2A), -1);
    EXPECT_EQ(out.take().rfind("ERROR: eFuse verify failed", 0), 0u);
    uint8_t xtal = 0;
    EXPECT_EQ(rf_efuse_read_xtal(&xtal), -1);
    EXPECT_EQ(rf_get_efuse_free_bits(), 224);
}

}  // namespace
