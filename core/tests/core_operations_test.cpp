// Single operations: selections, TX/RX tests and their counters, the
// engineering controls and the register panel.
#include "deve/operations.h"
#include "recording_api.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using fake::R;
using fake::W;
using Calls = std::vector<std::string>;

TEST(Selections, ChannelsMapToTheirNumbers) {
    fake::RecordingApi api;
    deve::choose_channel(api, 1, 32);
    deve::choose_channel(api, 1, 33);
    deve::choose_channel(api, 1, 103);
    deve::choose_channel(api, 0, 12);
    deve::choose_channel(api, 0, 0);
    EXPECT_EQ(api.calls, (Calls{"rf_set_ch(64)", "rf_set_ch(100)", "rf_set_ch(170)", "rf_set_ch(13)", "rf_set_ch(1)"}));
}

TEST(Selections, OnlyHt20AppliesARateAtOnce) {
    fake::RecordingApi api;
    for (int mode : {0, 1, 3, 7}) {
        deve::choose_mode(api, mode);
    }
    EXPECT_TRUE(api.calls.empty());
    deve::choose_mode(api, 2);
    EXPECT_EQ(api.calls, Calls{"rf_rate(22)"});
}

TEST(Selections, RatesByLabel) {
    fake::RecordingApi api;
    EXPECT_TRUE(deve::choose_rate(api, "7-OFDM-54M"));
    EXPECT_TRUE(deve::choose_rate(api, "HT40-MCS0"));
    EXPECT_TRUE(deve::choose_rate(api, "2-CCK-5.5M"));
    EXPECT_FALSE(deve::choose_rate(api, "HT40-MCS9"));
    EXPECT_EQ(api.calls, (Calls{"rf_rate(14)", "rf_rate(31)", "rf_rate(2)"}));
}

// "+1" is position 3: index 15 - 3 = 12, the +1 dB code 0x90.
TEST(Selections, DacWritesOnlyTheSelectedBand) {
    fake::RecordingApi api;
    deve::choose_dac(api, 0, 3);   // "+1" on 2.4 GHz
    deve::choose_dac(api, 1, 3);   // "+1" on 5 GHz
    deve::choose_dac(api, 1, 5);   // "0"
    deve::choose_dac(api, 0, 15);  // "-5"
    EXPECT_EQ(api.calls, (Calls{W(0xCCB0ADAC, 0x00100090), W(0xCCB0ADA8, 0x90909090), W(0xCCB0ADA8, 0x80808080),
                                W(0xCCB0ADAC, 0x00100048)}));
}

TEST(Selections, GainsPassPositions) {
    fake::RecordingApi api;
    deve::choose_rf_gain(api, 1, 15);
    deve::choose_rf_gain(api, 0, 3);
    deve::choose_brate_gain(api, 8);
    EXPECT_EQ(api.calls, (Calls{"rf_gain(1, 15)", "rf_gain(0, 3)", "rf_brate_gain(8)"}));
}

TEST(TxRx, TxOnAppliesOffsetThenRestartsTransmission) {
    fake::RecordingApi api;
    EXPECT_FALSE(deve::tx_on(api, 1, 100, 151));
    EXPECT_EQ(api.calls, (Calls{"rf_freq_offset(151)", "rf_tx_stop()", "rf_tx_start(1, 100)"}));
}

TEST(TxRx, AccessCodeIsNotAppliedAsOffsetByTxButIsByRx) {
    fake::RecordingApi api;
    EXPECT_TRUE(deve::tx_on(api, 0, 0, deve::kEngineeringAccessCode));
    EXPECT_EQ(api.take(), (Calls{"rf_tx_stop()", "rf_tx_start(0, 0)"}));
    deve::rx_on(api, 0, 2, deve::kEngineeringAccessCode);
    EXPECT_EQ(api.calls, (Calls{"rf_freq_offset(624)", W(0xCCB0E020, 0x400), "rf_rx_start(0, 2)"}));
}

TEST(TxRx, OffCallsStop) {
    fake::RecordingApi api;
    deve::tx_off(api);
    deve::rx_off(api);
    EXPECT_EQ(api.calls, (Calls{"rf_tx_stop()", "rf_rx_stop()"}));
}

TEST(Counters, TxCountIsShownUnsigned) {
    fake::RecordingApi api;
    api.tx_count = 0x80000000u;
    EXPECT_EQ(deve::read_tx_count(api, 3), "2147483648");
    api.tx_count = 0xFFFFFFFFu;
    EXPECT_EQ(deve::read_tx_count(api, 0), "4294967295");
    EXPECT_EQ(api.calls, (Calls{"tx_packet(3)", "tx_packet(0)"}));
}

TEST(Counters, RxCountsRateAndResetAboveThreeThousand) {
    fake::RecordingApi api;
    api.rx_errors = 1;
    api.rx_total = 3000;
    deve::RxCounts c = deve::read_rx_counts(api, 1);
    EXPECT_EQ(c.errors, "1");
    EXPECT_EQ(c.total, "3000");
    EXPECT_EQ(c.per, "0.0%");
    EXPECT_FALSE(c.reset);
    EXPECT_EQ(api.take(), Calls{"rf_rxpkt(1)"});

    api.rx_total = 3001;
    c = deve::read_rx_counts(api, 1);
    EXPECT_EQ(c.total, "3001");
    EXPECT_TRUE(c.reset);
    EXPECT_EQ(api.take(), (Calls{"rf_rxpkt(1)", "rf_rxpkt_reset(1)"}));

    api.rx_errors = 0;
    api.rx_total = 0;
    c = deve::read_rx_counts(api, 0);
    EXPECT_FALSE(c.per.has_value());
    EXPECT_EQ(c.total, "0");
}

TEST(Engineering, PredistortionOnCalibratesAndOffJustClears) {
    fake::RecordingApi api;
    EXPECT_EQ(deve::toggle_predistortion(api), "DPD ON");
    EXPECT_EQ(api.take(), (Calls{R(0xCCB0AD1C), "rf_tx_stop()", "rf_calibration()", "rf_tx_stop()",
                                 "rf_2g_5g_padpd_cali(1)", "rf_tx_stop()"}));

    api.registers[0xCCB0AD1C] = 1;
    EXPECT_EQ(deve::toggle_predistortion(api), "DPD OFF");
    EXPECT_EQ(api.take(), (Calls{R(0xCCB0AD1C), W(0xCCB0AD1C, 0), "rf_tx_stop()"}));

    api.results["rf_2g_5g_padpd_cali"] = -1;
    EXPECT_EQ(deve::toggle_predistortion(api), "DPD Fail");
}

TEST(Engineering, SensorIsPoweredAroundOneRead) {
    fake::RecordingApi api;
    api.registers[0xCCB0A408] = 0x20001557;
    api.registers[0xCCB0A44C] = 0x00000001;
    api.registers[0xCCB0A544] = 0xE5000000;  // code bits 24-29 = 0x25, top bits ignored
    EXPECT_EQ(deve::read_sensor_code(api), 0x25u);
    EXPECT_EQ(api.calls, (Calls{R(0xCCB0A408), R(0xCCB0A44C), W(0xCCB0A44C, 0x10000001), W(0xCCB0A408, 0x20009557),
                                R(0xCCB0A544), W(0xCCB0A44C, 0x00000001), W(0xCCB0A408, 0x20001557)}));
}

TEST(Engineering, RawWritesAndRegisterPanel) {
    fake::RecordingApi api;
    api.registers[0xCCB0A400] = 0x06000004;
    deve::write_a62c(api, 0x12345678);
    deve::write_a630(api, 0x9ABCDEF0);
    EXPECT_EQ(deve::register_read(api, 0xCCB0A400), 0x06000004u);
    deve::register_write(api, 0, 0xFFFFFFFF);
    EXPECT_EQ(api.calls, (Calls{W(0xCCB0A62C, 0x12345678), W(0xCCB0A630, 0x9ABCDEF0), R(0xCCB0A400),
                                W(0, 0xFFFFFFFF)}));
}

}  // namespace
