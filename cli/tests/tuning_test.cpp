// tune: settings checked against the selection tables and applied through
// the console's operations.
#include "recording_api.h"
#include "tuning.h"

#include <gtest/gtest.h>

namespace {

using deve::cli::RadioState;
using deve::cli::TunePlan;
using deve::cli::TuneRequest;

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

std::vector<std::string> applied(const TunePlan &plan) {
    fake::RecordingApi api;
    deve::cli::apply_tune(api, plan);
    return api.calls;
}

TEST(CliTune, ChannelsByNumberOrLabelInTheBandsList) {
    TuneRequest r;
    r.band = "5g";
    r.channel = "36";
    const TunePlan plan = deve::cli::plan_tune(r, RadioState{});
    ASSERT_TRUE(plan.error.empty()) << plan.error;
    EXPECT_EQ(plan.next.band, 1);
    EXPECT_EQ(plan.next.channel_number(), 36);
    EXPECT_EQ(plan.next.channel_label(), "CH36_5180MHz");
    EXPECT_EQ(applied(plan), (std::vector<std::string>{"rf_set_ch(36)"}));

    r.channel = "ch100_5500mhz";
    EXPECT_EQ(deve::cli::plan_tune(r, RadioState{}).next.channel_number(), 100);
    r.channel = "170";
    EXPECT_EQ(deve::cli::plan_tune(r, RadioState{}).next.channel_number(), 170);
}

TEST(CliTune, ChannelsTheBandDoesNotOfferAreRefusedByName) {
    TuneRequest r;
    r.channel = "14";
    EXPECT_EQ(deve::cli::plan_tune(r, RadioState{}).error,
              "channel '14' is not offered on band 2G (channels 1-13)");
    r.band = "5G";
    r.channel = "65";
    EXPECT_EQ(deve::cli::plan_tune(r, RadioState{}).error,
              "channel '65' is not offered on band 5G (channels 32-64, 100-170)");
    r.channel.reset();
    EXPECT_TRUE(contains(deve::cli::plan_tune(r, RadioState{}).error, "band 5G does not offer channel 1"));
    r.band = "6G";
    EXPECT_TRUE(contains(deve::cli::plan_tune(r, RadioState{}).error, "unknown band '6G' (bands: 2G, 5G)"));
}

TEST(CliTune, ModesAndRates) {
    TuneRequest ofdm;
    ofdm.mode = "11g";
    ofdm.rate = "7-OFDM-54M";
    const TunePlan plan = deve::cli::plan_tune(ofdm, RadioState{});
    ASSERT_TRUE(plan.error.empty()) << plan.error;
    EXPECT_EQ(applied(plan), (std::vector<std::string>{"rf_rate(14)"}));

    TuneRequest ht20;
    ht20.mode = "HT20";
    RadioState cck;
    cck.mode = 0;
    cck.rate = "3-CCK-11M";
    const TunePlan back = deve::cli::plan_tune(ht20, cck);
    ASSERT_TRUE(back.error.empty()) << back.error;
    EXPECT_EQ(back.next.rate, "HT20-MCS7");  // choosing HT20 applies its top rate
    EXPECT_EQ(applied(back), (std::vector<std::string>{"rf_rate(22)"}));

    TuneRequest ht40;
    ht40.mode = "11n-ht40";
    ht40.rate = "HT40-MCS0";
    EXPECT_EQ(applied(deve::cli::plan_tune(ht40, RadioState{})), (std::vector<std::string>{"rf_rate(31)"}));
}

TEST(CliTune, RatesTheModeDoesNotOfferAreRefusedByName) {
    TuneRequest r;
    r.rate = "HT40-MCS0";
    const std::string error = deve::cli::plan_tune(r, RadioState{}).error;
    EXPECT_TRUE(contains(error, "rate 'HT40-MCS0' is not offered by mode 11n-HT20")) << error;
    EXPECT_TRUE(contains(error, "HT20-MCS0, HT20-MCS1")) << error;
    r.rate = "54M";
    EXPECT_TRUE(contains(deve::cli::plan_tune(r, RadioState{}).error, "unknown rate '54M'"));
    TuneRequest mode_only;
    mode_only.mode = "CCK";
    EXPECT_TRUE(contains(deve::cli::plan_tune(mode_only, RadioState{}).error,
                         "mode 11b-CCK does not offer rate HT20-MCS7: give --rate"));
}

TEST(CliTune, GainsAreMatchedByTheirNumbers) {
    RadioState five;
    five.band = 1;
    TuneRequest r;
    r.rf_gain = "-15";
    r.dac = "+1";
    r.b_gain = "-2.5";
    const TunePlan plan = deve::cli::plan_tune(r, five);
    ASSERT_TRUE(plan.error.empty()) << plan.error;
    // +1 dB: 128 x 10^(1/20) = 143.6, code 0x90, in every byte on 5 GHz.
    EXPECT_EQ(applied(plan), (std::vector<std::string>{"rf_gain(1, 15)", fake::W(0xCCB0ADA8, 0x90909090),
                                                        "rf_brate_gain(8)"}));
    TuneRequest two;
    two.dac = "1";
    EXPECT_EQ(applied(deve::cli::plan_tune(two, RadioState{})),
              (std::vector<std::string>{fake::W(0xCCB0ADAC, 0x00100090)}));
    TuneRequest off;
    off.dac = "0.25";
    EXPECT_TRUE(contains(deve::cli::plan_tune(off, RadioState{}).error, "DAC gain '0.25' is not offered"));
    off.dac.reset();
    off.rf_gain = "3";
    EXPECT_TRUE(contains(deve::cli::plan_tune(off, RadioState{}).error, "RF gain '3' is not offered"));
}

TEST(CliTune, TheOffsetWaitsForTxOrRx) {
    TuneRequest r;
    r.offset = 140;
    const TunePlan plan = deve::cli::plan_tune(r, RadioState{});
    EXPECT_EQ(plan.next.offset, 140u);
    EXPECT_TRUE(applied(plan).empty());
}

TEST(CliTune, ListAliases) {
    EXPECT_EQ(deve::cli::match_mode("ht40"), 3);
    EXPECT_EQ(deve::cli::match_mode("CCK"), 0);
    EXPECT_EQ(deve::cli::match_mode("11b-cck"), 0);
    EXPECT_FALSE(deve::cli::match_mode("11n").has_value());  // two modes
    EXPECT_EQ(deve::cli::match_crystal("26"), 3);
    EXPECT_EQ(deve::cli::match_crystal("26mhz"), 3);
    EXPECT_FALSE(deve::cli::match_crystal("27").has_value());
    EXPECT_EQ(deve::cli::match_number(deve::kBrateGainChoices, "0"), 3);  // the "+0" label
    EXPECT_FALSE(deve::cli::whole_number("1.5x").has_value());
    EXPECT_FALSE(deve::cli::whole_number("+-1").has_value());
}

}  // namespace
