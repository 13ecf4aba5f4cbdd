// Channel, rate and gain settings: exact register traffic of each export, the
// band and range boundaries, and the gain and rate tables checked against the
// rules they are built from.
#include "fixture.h"

#include <cmath>
#include <cstdint>
#include <vector>

using recording::Access;
using recording::R;
using recording::W;

namespace {

constexpr uint32_t kMode = 0xCCB0A400;
constexpr uint32_t kSxControl = 0xCCB0A408;
constexpr uint32_t kSx2g = 0xCCB0A464;
constexpr uint32_t kSx5g = 0xCCB0A580;
constexpr uint32_t kGain5g = 0xCCB0A634;
constexpr uint32_t kBandwidth = 0xCCB0E000;
constexpr uint32_t kUpdate = 0xCCB0E004;
constexpr uint32_t kRateWord = 0xCCB0E00C;

// The gain code for a gain in dB: a linear amplitude factor, 0x80 = unity.
uint32_t code_for_db(double db) {
    return static_cast<uint32_t>(std::lround(128.0 * std::pow(10.0, db / 20.0)));
}

using Settings = recording::Connected;

// ---- rf_set_ch --------------------------------------------------------------

TEST_F(Settings, Channel2gHoldsStandbyRetunesAndRestoresMode) {
    chip().memory[kMode] = 0x22000304;
    chip().memory[kSx2g] = 0x005032E8;  // channel 6, bit 6 set, crystal code 5
    EXPECT_EQ(rf_set_ch(19), 0);
    EXPECT_EQ(log(), (std::vector<Access>{
                         R(kMode, 0x22000304),
                         W(kMode, 0x06000044),
                         R(kSx2g, 0x005032E8),
                         W(kSx2g, 0x00509AA8),  // channel 19, bit 6 cleared, bit 3 set
                         W(kSxControl, 0x20001557),
                         W(kMode, 0x22000304),
                     }));
}

TEST_F(Settings, Channel20Takes5gPathAndLeaves2gSynthesizerAlone) {
    chip().memory[kMode] = 0x00000700;
    chip().memory[kSx2g] = 0x005032E8;
    EXPECT_EQ(rf_set_ch(20), 0);
    EXPECT_EQ(log(), (std::vector<Access>{
                         R(kMode, 0x00000700),
                         W(kMode, 0x06000044),
                         R(kSx2g, 0x005032E8),
                         W(kSx5g, 0x00001410),
                         W(kSxControl, 0x20001557),
                         W(kMode, 0x00000700),
                     }));
    chip().log.clear();
    EXPECT_EQ(rf_set_ch(165), 0);
    EXPECT_EQ(writes()[1], W(kSx5g, 0x0000A510));
}

TEST_F(Settings, SynthesizerControlMarksChannels11To14Only) {
    const struct {
        int32_t channel;
        uint32_t control;
    } cases[] = {{1, 0x20001557},  {10, 0x20001557}, {11, 0x20801557}, {14, 0x20801557},
                 {15, 0x20001557}, {36, 0x20001557}, {149, 0x20001557}};
    for (const auto &c : cases) {
        chip().log.clear();
        EXPECT_EQ(rf_set_ch(c.channel), 0);
        const std::vector<Access> w = writes();
        ASSERT_EQ(w.size(), 4u) << "channel " << c.channel;
        EXPECT_EQ(w[2], W(kSxControl, c.control)) << "channel " << c.channel;
    }
}

TEST_F(Settings, ChannelRestoresTheModeValueReadBeforeTheRetune) {
    // The retune write lands in the register; the restore must not re-read it.
    chip().memory[kMode] = 0x1E00B105;
    ASSERT_EQ(rf_set_ch(6), 0);
    ASSERT_EQ(rf_set_ch(44), 0);
    const std::vector<Access> w = writes();
    EXPECT_EQ(w[3], W(kMode, 0x1E00B105));
    EXPECT_EQ(w.back(), W(kMode, 0x1E00B105));
    EXPECT_EQ(chip().memory[kMode], 0x1E00B105u);
}

// ---- rf_rate ----------------------------------------------------------------

TEST_F(Settings, RateTableBoundaries) {
    struct Case {
        uint32_t code;
        std::vector<Access> writes;
    };
    const Case cases[] = {
        {0, {W(kBandwidth, 0x80010000), W(kUpdate, 0), W(kRateWord, 0x00000400), W(kUpdate, 0x17F)}},
        {5, {W(kBandwidth, 0x80010000), W(kUpdate, 0), W(kUpdate, 0x17F)}},
        {14, {W(kBandwidth, 0x80010000), W(kUpdate, 0), W(kRateWord, 0x07010400), W(kUpdate, 0x17F)}},
        {22, {W(kBandwidth, 0x80010000), W(kUpdate, 0), W(kRateWord, 0x07021000), W(kUpdate, 0x17F)}},
        {25, {W(kUpdate, 0), W(kUpdate, 0x17F)}},
        {31, {W(kBandwidth, 0x80018000), W(kUpdate, 0), W(kRateWord, 0x00221000), W(kUpdate, 0x17F)}},
        {38, {W(kBandwidth, 0x80018000), W(kUpdate, 0), W(kRateWord, 0x07221000), W(kUpdate, 0x17F)}},
        {39, {W(kUpdate, 0), W(kUpdate, 0x17F)}},
        {0xFFFFFFFF, {W(kUpdate, 0), W(kUpdate, 0x17F)}},
    };
    for (const Case &c : cases) {
        chip().log.clear();
        EXPECT_EQ(rf_rate(c.code), 0);
        EXPECT_EQ(log(), c.writes) << "code " << c.code;  // no reads either
    }
}

TEST_F(Settings, EveryRateWordFollowsTheFormatRule) {
    // Format blocks: first code, format (0 CCK, 1 OFDM, 2 HT), 40 MHz.
    struct Block {
        uint32_t first;
        uint32_t count;
        uint32_t format;
        bool wide;
    };
    const Block blocks[] = {{0, 4, 0, false}, {7, 8, 1, false}, {15, 8, 2, false}, {31, 8, 2, true}};
    for (uint32_t code = 0; code <= 45; ++code) {
        const Block *block = nullptr;
        for (const Block &b : blocks) {
            if (code >= b.first && code < b.first + b.count) {
                block = &b;
            }
        }
        chip().log.clear();
        ASSERT_EQ(rf_rate(code), 0);
        std::vector<uint32_t> rate_words;
        for (const Access &a : writes()) {
            if (a.address == kRateWord) {
                rate_words.push_back(a.value);
            }
        }
        if (block == nullptr) {
            EXPECT_TRUE(rate_words.empty()) << "code " << code;
            continue;
        }
        ASSERT_EQ(rate_words.size(), 1u) << "code " << code;
        const uint32_t word = rate_words[0];
        EXPECT_EQ((word >> 24) & 0x7, code - block->first) << "code " << code;
        EXPECT_EQ((word >> 16) & 0x3, block->format) << "code " << code;
        EXPECT_EQ((word >> 21) & 0x1, block->wide ? 1u : 0u) << "code " << code;
        EXPECT_EQ(word & 0xFFFF, block->format == 2 ? 0x1000u : 0x0400u) << "code " << code;
        EXPECT_EQ(word & 0xF8DC0000u, 0u) << "code " << code;  // nothing else set
    }
}

// ---- rf_xtal_set ------------------------------------------------------------

TEST_F(Settings, CrystalRowsAndTheFallbackRow) {
    EXPECT_EQ(rf_xtal_set(7), 0);
    EXPECT_EQ(log(), (std::vector<Access>{W(kSx2g, 0x000002E8), W(0xCCB0B080, 0x0006FFA4),
                                          W(0xCCB0B004, 0xA51A8820)}));
    chip().log.clear();
    EXPECT_EQ(rf_xtal_set(0), 0);  // 20 MHz
    EXPECT_EQ(log(), (std::vector<Access>{W(kSx2g, 0x005002E8), W(0xCCB0B080, 0x0005FFA4),
                                          W(0xCCB0B004, 0xA51A8820)}));
}

TEST_F(Settings, CrystalCodeAgreesInBothRegisters) {
    const uint32_t expected_codes[] = {5, 1, 6, 2, 3};  // 20, 24, 25, 26, 40 MHz
    for (uint32_t index = 0; index < 5; ++index) {
        chip().log.clear();
        ASSERT_EQ(rf_xtal_set(index), 0);
        const std::vector<Access> w = writes();
        ASSERT_EQ(w.size(), 3u);
        EXPECT_EQ((w[0].value >> 20) & 0x7, expected_codes[index]) << "index " << index;
        EXPECT_EQ((w[1].value >> 16) & 0x7, expected_codes[index]) << "index " << index;
        EXPECT_EQ(w[0].value & ~0x00700000u, 0x000002E8u);
        EXPECT_EQ(w[1].value & ~0x00070000u, 0x0000FFA4u);
    }
}

// ---- rf_gain ----------------------------------------------------------------

TEST_F(Settings, Gain2gReplacesGainFieldAndClearsBits5And6) {
    chip().memory[kMode] = 0xFFFFFFFF;
    EXPECT_EQ(rf_gain(0, 5), 0);
    EXPECT_EQ(log(), (std::vector<Access>{R(kMode, 0xFFFFFFFF), W(kMode, 0x8AFFFF9F)}));
}

TEST_F(Settings, Gain5gClearsBits3And6AndWritesFourCopies) {
    chip().memory[kMode] = 0xFFFFFFFF;
    chip().memory[kGain5g] = 0xFFFFFFFF;
    EXPECT_EQ(rf_gain(1, 3), 0);
    const std::vector<Access> l = log();
    ASSERT_EQ(l.size(), 3u);
    EXPECT_EQ(l[0], R(kMode, 0xFFFFFFFF));
    EXPECT_EQ(l[1], W(kMode, 0xFFFFFFB7));
    ASSERT_EQ(l[2].address, kGain5g);
    ASSERT_TRUE(l[2].write);
    uint32_t rest = l[2].value;
    for (unsigned low : {5u, 12u, 19u, 26u}) {
        EXPECT_EQ((rest >> low) & 0x7F, 3u) << "field at bit " << low;
        rest &= ~(0x7Fu << low);
    }
    EXPECT_EQ(rest, 0u);
    // Any nonzero band is 5 GHz.
    chip().log.clear();
    EXPECT_EQ(rf_gain(-1, 0), 0);
    EXPECT_EQ(writes().back(), W(kGain5g, 0));
}

TEST_F(Settings, ReadThatDeliversNothingBuildsOnZero) {
    chip().memory[kMode] = 0xFFFFFFFF;
    chip().memory[0xCCB0B008] = 0xFFFFFFFF;
    chip().reads_deliver = false;
    EXPECT_EQ(rf_gain(0, 2), 0);
    EXPECT_EQ(rf_dcdc_onoff(1), 0);
    EXPECT_EQ(writes(), (std::vector<Access>{W(kMode, 0x04000000), W(0xCCB0B008, 1)}));
}

// ---- rf_dac_gain and rf_brate_gain --------------------------------------------

TEST_F(Settings, DacGainIndexAbove16IsRefusedWithoutWrites) {
    EXPECT_EQ(rf_dac_gain(17), -1);
    EXPECT_EQ(rf_dac_gain(0xFFFFFFFF), -1);
    EXPECT_TRUE(log().empty());
    EXPECT_EQ(rf_dac_gain(10), 0);
    EXPECT_EQ(log(), (std::vector<Access>{W(0xCCB0ADAC, 0x00100080), W(0xCCB0ADA8, 0x80808080)}));
}

TEST_F(Settings, EveryDacGainCodeIsTheRoundedAmplitudeOfItsStep) {
    for (uint32_t index = 0; index <= 16; ++index) {
        const double db = (static_cast<double>(index) - 10.0) * 0.5;
        const uint32_t code = code_for_db(db);
        chip().log.clear();
        ASSERT_EQ(rf_dac_gain(index), 0);
        EXPECT_EQ(log(), (std::vector<Access>{W(0xCCB0ADAC, 0x00100000 | code),
                                              W(0xCCB0ADA8, code * 0x01010101u)}))
            << "index " << index << " (" << db << " dB)";
    }
}

TEST_F(Settings, BrateGainIndexAbove15WritesNothing) {
    EXPECT_EQ(rf_brate_gain(16), 0);
    EXPECT_TRUE(log().empty());
    // Index 8 is the value the register table loads.
    EXPECT_EQ(rf_brate_gain(8), 0);
    EXPECT_EQ(log(), (std::vector<Access>{W(0xCCB0E180, 0x00010060)}));
}

TEST_F(Settings, EveryBrateGainCodeIsTheRoundedAmplitudeOfItsStep) {
    for (uint32_t index = 0; index <= 15; ++index) {
        const double db = (3.0 - static_cast<double>(index)) * 0.5;
        chip().log.clear();
        ASSERT_EQ(rf_brate_gain(index), 0);
        EXPECT_EQ(log(), (std::vector<Access>{W(0xCCB0E180, 0x00010000 | code_for_db(db))}))
            << "index " << index << " (" << db << " dB)";
    }
}

// ---- rf_freq_offset ---------------------------------------------------------

TEST_F(Settings, FrequencyOffsetGoesIntoBothFieldsAndKeepsOtherBits) {
    EXPECT_EQ(rf_freq_offset(151), 0);
    const std::vector<Access> l = log();
    ASSERT_EQ(l.size(), 2u);
    EXPECT_EQ(l[0], R(0xCCB0B000, 0));
    const uint32_t v = l[1].value;
    EXPECT_EQ((v >> 8) & 0xFF, 151u);
    EXPECT_EQ((v >> 17) & 0xFF, 151u);
    EXPECT_EQ(v & ~0x01FEFF00u, 0u);

    chip().log.clear();
    chip().memory[0xCCB0B000] = 0xFFFFFFFF;
    EXPECT_EQ(rf_freq_offset(0), 0);
    EXPECT_EQ(writes(), (std::vector<Access>{W(0xCCB0B000, 0xFE0100FF)}));

    // The transmit patch's word (offset 66) retrimmed to the table's 151.
    chip().log.clear();
    chip().memory[0xCCB0B000] = 0x24844216;
    EXPECT_EQ(rf_freq_offset(151), 0);
    EXPECT_EQ(writes(), (std::vector<Access>{W(0xCCB0B000, 0x252E9716)}));
}

// ---- rf_sb_txpatch and rf_dcdc_onoff ------------------------------------------

TEST_F(Settings, TxPatchSkipsRevisionC600) {
    chip().memory[0xC0000010] = 0x30303643;
    EXPECT_EQ(rf_sb_txpatch(), 0);
    EXPECT_EQ(log(), (std::vector<Access>{R(0xC0000010, 0x30303643)}));
}

TEST_F(Settings, TxPatchWritesFiveWordsOnOtherRevisions) {
    chip().memory[0xC0000010] = 0x30303543;
    EXPECT_EQ(rf_sb_txpatch(), 0);
    EXPECT_EQ(log(), (std::vector<Access>{R(0xC0000010, 0x30303543), W(0xCCB0A46C, 0x2CA293D6),
                                          W(0xCCB0B000, 0x24844216), W(0xCCB0A40C, 0x44340044),
                                          W(0xCCB0A474, 0x04315445), W(0xCCB0A468, 0x05C30286)}));
}

TEST_F(Settings, SupplyChoiceSetsBit0AndKeepsTheRest) {
    chip().memory[0xCCB0B008] = 0x00010001;
    EXPECT_EQ(rf_dcdc_onoff(0), 0);  // LDO
    EXPECT_EQ(rf_dcdc_onoff(1), 0);  // DC-DC
    EXPECT_EQ(log(), (std::vector<Access>{R(0xCCB0B008, 0x00010001), W(0xCCB0B008, 0x00010000),
                                          R(0xCCB0B008, 0x00010000), W(0xCCB0B008, 0x00010001)}));
}

// ---- Without a transport ------------------------------------------------------

TEST(SettingsUnconnected, EveryExportReturnsMinusOneAndTouchesNothing) {
    recording::use_transport();
    recording::State &state = recording::open_state();
    state.reset();
    EXPECT_EQ(rf_set_ch(1), -1);
    EXPECT_EQ(rf_rate(22), -1);
    EXPECT_EQ(rf_xtal_set(0), -1);
    EXPECT_EQ(rf_gain(1, 3), -1);
    EXPECT_EQ(rf_dac_gain(10), -1);
    EXPECT_EQ(rf_freq_offset(151), -1);
    EXPECT_EQ(rf_brate_gain(8), -1);
    EXPECT_EQ(rf_sb_txpatch(), -1);
    EXPECT_EQ(rf_dcdc_onoff(1), -1);
    EXPECT_TRUE(state.log.empty());
    EXPECT_TRUE(state.calls.empty());
}

}  // namespace
