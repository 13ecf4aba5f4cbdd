// Number texts and the selection tables.
#include "deve/tables.h"
#include "deve/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

using deve::parse_unsigned;

TEST(ParseUnsigned, FollowsTheStandardConversion) {
    EXPECT_EQ(parse_unsigned("ccb0a400", 16), 0xCCB0A400u);
    EXPECT_EQ(parse_unsigned("CCB0A400", 16), 0xCCB0A400u);
    EXPECT_EQ(parse_unsigned("0xCCB0A400", 16), 0xCCB0A400u);
    EXPECT_EQ(parse_unsigned("0X1f", 16), 0x1Fu);
    EXPECT_EQ(parse_unsigned("  \t42", 10), 42u);
    EXPECT_EQ(parse_unsigned("151abc", 10), 151u);  // stops at the first non-digit
    EXPECT_EQ(parse_unsigned("12G4", 16), 0x12u);
    EXPECT_EQ(parse_unsigned("", 10), 0u);
    EXPECT_EQ(parse_unsigned("xyz", 16), 0u);
    EXPECT_EQ(parse_unsigned("0x", 16), 0u);   // "0" then an unusable "x"
    EXPECT_EQ(parse_unsigned("0xg", 16), 0u);
    EXPECT_EQ(parse_unsigned("1ff", 16), 0x1FFu);
}

TEST(ParseUnsigned, OverflowSaturatesAndMinusWrapsAround) {
    EXPECT_EQ(parse_unsigned("4294967295", 10), 0xFFFFFFFFu);
    EXPECT_EQ(parse_unsigned("4294967296", 10), 0xFFFFFFFFu);
    EXPECT_EQ(parse_unsigned("123456789012345678901234567890", 10), 0xFFFFFFFFu);
    EXPECT_EQ(parse_unsigned("1CCB0A4000", 16), 0xFFFFFFFFu);
    EXPECT_EQ(parse_unsigned("-1", 10), 0xFFFFFFFFu);
    EXPECT_EQ(parse_unsigned("-5", 10), 0xFFFFFFFBu);
    EXPECT_EQ(parse_unsigned("+7", 10), 7u);
}

TEST(NumberTexts, HexDecimalAndUnsigned) {
    EXPECT_EQ(deve::hex(0x7C000000), "7c000000");
    EXPECT_EQ(deve::hex(0), "0");
    EXPECT_EQ(deve::hex(0x0A), "a");
    EXPECT_EQ(deve::decimal(-3), "-3");
    EXPECT_EQ(deve::unsigned_decimal(0x80000000u), "2147483648");
    EXPECT_EQ(deve::unsigned_decimal(0xFFFFFFFFu), "4294967295");
}

TEST(PacketErrorRate, OneDecimalAndPercentSign) {
    EXPECT_EQ(deve::packet_error_rate(0, 500), "0.0%");
    EXPECT_EQ(deve::packet_error_rate(1, 3), "33.3%");
    EXPECT_EQ(deve::packet_error_rate(1, 8), "12.5%");
    EXPECT_EQ(deve::packet_error_rate(5, 4), "125.0%");  // more errors than frames
    EXPECT_EQ(deve::packet_error_rate(3000, 3000), "100.0%");
    EXPECT_FALSE(deve::packet_error_rate(7, 0).has_value());
}

TEST(Channels, LabelsAndNumbersAgree) {
    const std::vector<std::string> g2 = deve::channel_labels(deve::kBand2G);
    ASSERT_EQ(g2.size(), 13u);
    EXPECT_EQ(g2.front(), "CH1_2412MHz");
    EXPECT_EQ(g2.back(), "CH13_2472MHz");
    const std::vector<std::string> g5 = deve::channel_labels(deve::kBand5G);
    ASSERT_EQ(g5.size(), 104u);
    EXPECT_EQ(g5[0], "CH32_5160MHz");
    EXPECT_EQ(g5[32], "CH64_5320MHz");
    EXPECT_EQ(g5[33], "CH100_5500MHz");
    EXPECT_EQ(g5[103], "CH170_5850MHz");
    EXPECT_TRUE(deve::channel_labels(2).empty());

    // Every position's number is the number in its label.
    for (int band : {deve::kBand2G, deve::kBand5G}) {
        const std::vector<std::string> labels = deve::channel_labels(band);
        for (std::size_t i = 0; i < labels.size(); ++i) {
            const std::string expected = "CH" + std::to_string(deve::channel_number(band, static_cast<int>(i))) + "_";
            EXPECT_EQ(labels[i].substr(0, expected.size()), expected) << labels[i];
        }
    }
    EXPECT_EQ(deve::channel_number(1, 32), 64);
    EXPECT_EQ(deve::channel_number(1, 33), 100);
    EXPECT_EQ(deve::channel_number(1, 103), 170);
    EXPECT_EQ(deve::channel_number(0, 12), 13);
}

TEST(Rates, CodesAndSortedOrder) {
    EXPECT_EQ(deve::rate_code("0-CCK-1M"), 0u);
    EXPECT_EQ(deve::rate_code("3-CCK-11M"), 3u);
    EXPECT_EQ(deve::rate_code("0-OFDM-6M"), 7u);
    EXPECT_EQ(deve::rate_code("7-OFDM-54M"), 14u);
    EXPECT_EQ(deve::rate_code("HT20-MCS0"), 15u);
    EXPECT_EQ(deve::rate_code("HT20-MCS7"), 22u);
    EXPECT_EQ(deve::rate_code("HT40-MCS0"), 31u);
    EXPECT_EQ(deve::rate_code("HT40-MCS7"), 38u);
    EXPECT_FALSE(deve::rate_code("ht20-mcs7").has_value());  // exact, case-sensitive
    EXPECT_FALSE(deve::rate_code("HT20-MCS8").has_value());

    int count = 0;
    for (int mode = 0; mode < 4; ++mode) {
        std::vector<std::string> labels;
        for (const deve::Rate &r : deve::rates_of_mode(mode)) {
            labels.emplace_back(r.label);
        }
        count += static_cast<int>(labels.size());
        // The list sorts its items; the table order must survive that.
        EXPECT_TRUE(std::is_sorted(labels.begin(), labels.end())) << "mode " << mode;
    }
    EXPECT_EQ(count, 28);
    EXPECT_TRUE(deve::rates_of_mode(4).empty());
}

// Gain codes are round(128 x 10^(dB/20)).
std::uint8_t gain_code(double db) { return static_cast<std::uint8_t>(std::lround(128.0 * std::pow(10.0, db / 20.0))); }

TEST(GainCodes, FollowTheAmplitudeRule) {
    for (std::size_t i = 0; i < deve::kDacGainCodes.size(); ++i) {
        EXPECT_EQ(deve::kDacGainCodes[i], gain_code((static_cast<double>(i) - 10.0) * 0.5)) << "DAC index " << i;
    }
    for (std::size_t i = 0; i < deve::kBrateGainCodes.size(); ++i) {
        EXPECT_EQ(deve::kBrateGainCodes[i], gain_code((3.0 - static_cast<double>(i)) * 0.5)) << "11b index " << i;
    }
    // The DAC list runs from +2.5 dB down to -5 dB.
    EXPECT_EQ(deve::dac_code_for_position(0), 0xAB);
    EXPECT_EQ(deve::dac_code_for_position(3), 0x90);  // "+1"
    EXPECT_EQ(deve::dac_code_for_position(5), 0x80);  // "0"
    EXPECT_EQ(deve::dac_code_for_position(15), 0x48);
}

TEST(Lists, LabelsAndInitialSelections) {
    EXPECT_STREQ(deve::kCrystalChoices.labels[deve::kCrystalChoices.initial], "25MHz");
    EXPECT_STREQ(deve::kModeChoices.labels[deve::kModeChoices.initial], "11n-HT20");
    EXPECT_STREQ(deve::kRfGainChoices.labels[deve::kRfGainChoices.initial], "-3");
    EXPECT_STREQ(deve::kDacChoices.labels[deve::kDacChoices.initial], "0");
    EXPECT_STREQ(deve::kBrateGainChoices.labels[deve::kBrateGainChoices.initial], "-2.5");
    EXPECT_STREQ(deve::kSupplyChoices.labels[deve::kSupplyChoices.initial], "DCDC");
    EXPECT_STREQ(deve::kPortChoices.labels[deve::kPortChoices.initial], "USB");
    for (int n = 0; n < 16; ++n) {
        EXPECT_EQ(deve::kRfGainChoices.labels[static_cast<std::size_t>(n)], n == 0 ? "0" : "-" + std::to_string(n));
    }
    EXPECT_EQ(deve::port_selector(0), 4);
    EXPECT_EQ(deve::port_selector(1), 3);
    EXPECT_EQ(deve::port_selector(-1), 4);
}

}  // namespace
