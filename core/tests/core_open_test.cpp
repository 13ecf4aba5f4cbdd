// The open sequence and the eFuse trims, call by call.
#include "deve/open_sequence.h"
#include "recording_api.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using fake::R;
using fake::W;
using Calls = std::vector<std::string>;

constexpr std::uint32_t kDac2g = 0xCCB0ADAC;
constexpr std::uint32_t kDac5g = 0xCCB0ADA8;
constexpr std::uint32_t kFreqOffset = 0xCCB0B000;

// The five eFuse reads, in their order.
const Calls kTrimReads = {
    "rf_efuse_read_tx_power1()", "rf_efuse_read_tx_power2()", "rf_efuse_read_xtal()",
    "rf_efuse_read_rate_gain_b_n40()", "rf_efuse_read_rate_gain_g_n20()",
};

Calls concat(std::initializer_list<Calls> parts) {
    Calls out;
    for (const Calls &p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

TEST(OpenSequence, FreshBoardCallsEverythingInOrder) {
    fake::RecordingApi api;
    const deve::OpenOutcome out = deve::open_link(api, deve::OpenChoices{});
    const Calls expected = concat({
        {"rf_init(4)", "rf_xtal_set(2)", "rf_dcdc_onoff(1)", "rf_rate(22)", "rf_load_register()",
         "rf_calibration()", "rf_sb_txpatch()", "rf_set_ch(1)", W(0xCCB0AD1C, 0), "rf_efuse_read_chip_id()",
         "rf_2g_5g_padpd_cali(1)"},
        kTrimReads,
        // No record: no trim is written; standby with gain index 3 last.
        {W(0xCCB0A400, 0x06000004), W(0xCCB0E134, 0x00100010)},
    });
    EXPECT_EQ(api.calls, expected);
    EXPECT_TRUE(out.opened);
    EXPECT_EQ(out.status, "Open Success");
    EXPECT_EQ(out.chip_id, "0");
    EXPECT_EQ(out.pit, "0");
    EXPECT_EQ(out.freq_offset, "151");
}

TEST(OpenSequence, FailedInitStopsThere) {
    fake::RecordingApi api;
    api.results["rf_init"] = 5;
    const deve::OpenOutcome out = deve::open_link(api, deve::OpenChoices{});
    EXPECT_EQ(api.calls, Calls{"rf_init(4)"});
    EXPECT_FALSE(out.opened);
    EXPECT_EQ(out.init_result, 5);
    EXPECT_EQ(out.status, "Open Fail");
    EXPECT_TRUE(out.chip_id.empty());
}

TEST(OpenSequence, PortSupplyAndCrystalChoices) {
    fake::RecordingApi api;
    deve::open_link(api, deve::OpenChoices{1, 0, 4});  // SDIO, LDO, 40 MHz
    ASSERT_GE(api.calls.size(), 3u);
    EXPECT_EQ(api.calls[0], "rf_init(3)");
    EXPECT_EQ(api.calls[1], "rf_xtal_set(4)");
    EXPECT_EQ(api.calls[2], "rf_dcdc_onoff(0)");

    // Nothing selected: USB, and the positions passed as they are read.
    api.take();
    deve::open_link(api, deve::OpenChoices{-1, -1, -1});
    EXPECT_EQ(api.calls[0], "rf_init(4)");
    EXPECT_EQ(api.calls[1], "rf_xtal_set(4294967295)");
    EXPECT_EQ(api.calls[2], "rf_dcdc_onoff(255)");
}

TEST(OpenSequence, ChipVariantsSkipPredistortionCalibration) {
    for (std::uint32_t id : {0x7C000000u, 0x74000000u}) {
        fake::RecordingApi api;
        api.chip_id = id;
        const deve::OpenOutcome out = deve::open_link(api, deve::OpenChoices{});
        EXPECT_TRUE(api.named("rf_2g_5g_padpd_cali").empty()) << std::hex << id;
        EXPECT_EQ(out.chip_id, id == 0x7C000000u ? "7c000000" : "74000000");
    }
    fake::RecordingApi other;
    other.chip_id = 0x7C000001;
    EXPECT_EQ(deve::open_link(other, deve::OpenChoices{}).chip_id, "7c000001");
    EXPECT_EQ(other.named("rf_2g_5g_padpd_cali"), Calls{"rf_2g_5g_padpd_cali(1)"});
}

TEST(OpenSequence, FailedChipIdReadShowsNoChipIdAndCalibrates) {
    fake::RecordingApi api;
    api.results["rf_efuse_read_chip_id"] = -1;
    EXPECT_EQ(deve::open_link(api, deve::OpenChoices{}).chip_id, "NO Chip ID");
    EXPECT_EQ(api.named("rf_2g_5g_padpd_cali"), Calls{"rf_2g_5g_padpd_cali(1)"});
}

TEST(EfuseTrims, PowerPairsSetTheDacRegisters) {
    fake::RecordingApi api;
    api.pairs["tx_power1"] = {15, 0};  // 5200 MHz +2.5 dB, 2.4 GHz -5 dB
    api.pairs["tx_power2"] = {3, 12};  // 5800 MHz -3.5 dB, 5500 MHz +1 dB
    api.registers[kDac5g] = 0x11223344;
    EXPECT_EQ(deve::apply_efuse_trims(api), "151");
    const Calls expected = concat({
        kTrimReads,
        {W(kDac2g, 0x48),  // the code alone, bit 20 clear
         R(kDac5g), W(kDac5g, 0x11AB3344),
         R(kDac5g), W(kDac5g, 0x11AB9056)},
    });
    EXPECT_EQ(api.calls, expected);
}

TEST(EfuseTrims, CrystalGoesToBothOffsetFieldsAndTheText) {
    fake::RecordingApi api;
    api.xtal = 140;
    api.registers[kFreqOffset] = 0x252E9714;  // offset 151 in both fields
    EXPECT_EQ(deve::apply_efuse_trims(api), "140");
    EXPECT_EQ(api.calls, concat({kTrimReads, {R(kFreqOffset), W(kFreqOffset, 0x25188C14)}}));
    const std::uint32_t v = api.registers[kFreqOffset];
    EXPECT_EQ((v >> 8) & 0xFF, 140u);
    EXPECT_EQ((v >> 17) & 0xFF, 140u);
    EXPECT_EQ(v & 0xFE0100FF, 0x252E9714u & 0xFE0100FF);
}

TEST(EfuseTrims, ElevenBGainAndTheUnusedHt20Record) {
    fake::RecordingApi api;
    api.pairs["rate_gain_b_n40"] = {3, 9};   // index 3 = 0 dB
    api.pairs["rate_gain_g_n20"] = {5, 5};   // read, never applied
    deve::apply_efuse_trims(api);
    EXPECT_EQ(api.calls, concat({kTrimReads, {W(0xCCB0E180, 0x00010080)}}));
}

TEST(CloseSequence, DeinitsWhateverItReturns) {
    fake::RecordingApi api;
    api.results["rf_deinit"] = -1;
    EXPECT_EQ(deve::close_link(api), "Close Success");
    EXPECT_EQ(api.calls, Calls{"rf_deinit()"});
}

}  // namespace
