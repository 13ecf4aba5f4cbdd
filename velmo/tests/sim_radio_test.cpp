// The radio end to end on the simulated board: transmit and receive tests,
// the temperature sensor, the built-in calibrations and the PADPD
// calibration, each driven through the library's exports and checked against
// the board's own model of the chip.
#include "fixture.h"

#define XOLT_NO_PROTOTYPES  // the transport's register entry points come from velmo.h
#include "xolt/xolt_sim.h"
#include "test_support/system.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

using recording::StdoutCapture;
using std::chrono::milliseconds;

namespace {

constexpr int32_t BAND_2G = 0;
constexpr int32_t MODE_11B = 0;
constexpr int32_t MODE_HT20 = 2;
constexpr uint32_t RATE_OFDM_54M = 14;
constexpr uint32_t RATE_HT20_MCS7 = 22;
constexpr int32_t BOARD_IDEAL_TRIM = 151;

// The board's model queries, looked up in the board library itself: the test
// program does not link the transport.
struct SimQueries {
    decltype(&xolt_sim_calibration_count) calibration_count = nullptr;
    decltype(&xolt_sim_calibration_at) calibration_at = nullptr;
    decltype(&xolt_sim_packet_error_rate) packet_error_rate = nullptr;
    decltype(&xolt_sim_die_temperature) die_temperature = nullptr;
    decltype(&xolt_sim_pa_amplitude) pa_amplitude = nullptr;
};

template <typename F>
void resolve(const char *name, F &out) {
    out = test_support::find_export_as<F>(SIM_XOLT_PATH, name);
}

const SimQueries &sim() {
    static const SimQueries queries = [] {
        SimQueries q;
        resolve("xolt_sim_calibration_count", q.calibration_count);
        resolve("xolt_sim_calibration_at", q.calibration_at);
        resolve("xolt_sim_packet_error_rate", q.packet_error_rate);
        resolve("xolt_sim_die_temperature", q.die_temperature);
        resolve("xolt_sim_pa_amplitude", q.pa_amplitude);
        return q;
    }();
    return queries;
}

const std::vector<std::pair<const char *, const char *>> BOARD_SETTINGS = {
    {"XOLT_RX_FRAME_RATE", "20000"},            // enough frames for a tight error rate in 200 ms
    {"XOLT_THERMAL_TIME_CONSTANT_MS", "500"},   // the die heats visibly within a second or two
    {"XOLT_IDEAL_TRIM", "151"},
};

class SimRadio : public ::testing::Test {
protected:
    void SetUp() override {
        const SimQueries &q = sim();
        ASSERT_TRUE(q.calibration_count && q.calibration_at && q.packet_error_rate && q.die_temperature &&
                    q.pa_amplitude)
            << "board queries missing from " << SIM_XOLT_PATH;
        fuse_file = ::testing::TempDir() + "/sim-radio-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".bin";
        std::filesystem::remove(fuse_file);
        test_support::set_env("XOLT_LIBRARY", LIBRARY_XOLT_PATH);
        test_support::set_env("XOLT_FUSE_FILE", fuse_file);
        for (const auto &[name, value] : BOARD_SETTINGS) {
            test_support::set_env(name, value);
        }
        // The start of the console's open sequence.
        StdoutCapture quiet;
        ASSERT_EQ(rf_init(4), 0);
        rf_xtal_set(0);
        rf_rate(RATE_HT20_MCS7);
        rf_load_register();
        rf_set_ch(1);
    }
    void TearDown() override {
        StdoutCapture quiet;
        rf_deinit();
        for (const auto &[name, value] : BOARD_SETTINGS) {
            test_support::unset_env(name);
        }
        test_support::unset_env("XOLT_LIBRARY");
        std::filesystem::remove(fuse_file);
    }
    static uint32_t transmitted(int32_t mode) {
        uint32_t count = 0;
        EXPECT_EQ(tx_packet(mode, &count), 0);
        return count;
    }

    std::string fuse_file;
};

TEST_F(SimRadio, TransmitCountGrowsWhileTransmittingAndHoldsAfterStop) {
    rf_rate(RATE_OFDM_54M);
    const uint32_t idle = transmitted(MODE_HT20);
    std::this_thread::sleep_for(milliseconds(30));
    EXPECT_EQ(transmitted(MODE_HT20), idle);

    ASSERT_EQ(rf_tx_start(BAND_2G, 0), 0);
    std::this_thread::sleep_for(milliseconds(100));
    const uint32_t first = transmitted(MODE_HT20);
    std::this_thread::sleep_for(milliseconds(100));
    const uint32_t second = transmitted(MODE_HT20);
    ASSERT_EQ(rf_tx_stop(), 0);
    const uint32_t stopped = transmitted(MODE_HT20);
    // 54 Mb/s frames of 1000 bytes take 172 us, plus the PIT of 15 us: about
    // 535 frames in 100 ms.
    EXPECT_GT(first, idle + 300);
    EXPECT_GT(second - first, 300u);
    EXPECT_LT(second - first, 800u);
    EXPECT_GE(stopped, second);
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_EQ(transmitted(MODE_HT20), stopped);
    EXPECT_EQ(transmitted(MODE_11B), 0u);  // no CCK frames were sent

    // A long PIT slows the generator down: 1172 us per frame.
    ASSERT_EQ(rf_tx_start(BAND_2G, 1000), 0);
    std::this_thread::sleep_for(milliseconds(100));
    rf_tx_stop();
    const uint32_t slow = transmitted(MODE_HT20) - stopped;
    EXPECT_GT(slow, 40u);
    EXPECT_LT(slow, 130u);
}

struct ErrorRate {
    uint32_t errors = 0;
    uint32_t total = 0;
    double model = -1.0;
};

// Restarts the counters, receives for a while and reads them.
ErrorRate receive_for(milliseconds wait) {
    ErrorRate r;
    rf_rxpkt_reset(MODE_HT20);
    std::this_thread::sleep_for(wait);
    // Stopped first, so no frame arrives between the error and total reads;
    // the next reset starts the block again.
    EXPECT_EQ(rf_rx_stop(), 0);
    EXPECT_EQ(rf_rxpkt(MODE_HT20, &r.errors, &r.total), 0);
    EXPECT_EQ(sim().packet_error_rate(&r.model), 0);
    return r;
}

void expect_near_model(const ErrorRate &r) {
    const double expected = r.total * r.model;
    const double sigma = std::sqrt(r.total * r.model * (1.0 - r.model));
    EXPECT_NEAR(r.errors, expected, 5 * sigma + 2) << r.errors << " of " << r.total;
}

TEST_F(SimRadio, PacketErrorRateFollowsTheModelAndTheFrequencyTrim) {
    ASSERT_EQ(rf_rx_start(BAND_2G, MODE_HT20), 0);
    const ErrorRate on_trim = receive_for(milliseconds(200));
    EXPECT_GT(on_trim.total, 1000u);  // HT20 MCS7 frames take 160 us: 6250 a second
    EXPECT_GT(on_trim.errors, 0u);
    expect_near_model(on_trim);

    rf_freq_offset(BOARD_IDEAL_TRIM - 8);
    const ErrorRate off_trim = receive_for(milliseconds(200));
    expect_near_model(off_trim);
    EXPECT_GT(off_trim.model, 3 * on_trim.model);
    EXPECT_GT(off_trim.errors * on_trim.total, 3ull * on_trim.errors * off_trim.total);

    // Back on the ideal trim, the error rate comes back down.
    rf_freq_offset(BOARD_IDEAL_TRIM);
    const ErrorRate back = receive_for(milliseconds(200));
    expect_near_model(back);
    EXPECT_DOUBLE_EQ(back.model, on_trim.model);

    // Stopped counters hold.
    rf_rx_stop();
    uint32_t errors = 0;
    uint32_t total = 0;
    rf_rxpkt(MODE_HT20, &errors, &total);
    std::this_thread::sleep_for(milliseconds(30));
    uint32_t later_errors = 0;
    uint32_t later_total = 0;
    rf_rxpkt(MODE_HT20, &later_errors, &later_total);
    EXPECT_EQ(later_total, total);
    EXPECT_EQ(later_errors, errors);
}

TEST_F(SimRadio, TemperatureRisesUnderTransmission) {
    int32_t before = -100;
    ASSERT_EQ(rf_read_temperature(&before), 0);
    EXPECT_EQ(before, 25);  // the default ambient
    rf_rate(RATE_OFDM_54M);
    rf_tx_start(BAND_2G, 0);
    std::this_thread::sleep_for(milliseconds(1500));
    int32_t hot = -100;
    ASSERT_EQ(rf_read_temperature(&hot), 0);
    double die = 0;
    ASSERT_EQ(sim().die_temperature(&die), 0);
    rf_tx_stop();
    // Three time constants toward 30 degC above ambient.
    EXPECT_GE(hot, before + 20);
    EXPECT_NEAR(hot, die, 2.5);
}

TEST_F(SimRadio, CalibrationRunsSixteenCalibrationsAtTheirChannels) {
    uint32_t before = 0;
    ASSERT_EQ(sim().calibration_count(&before), 0);
    {
        StdoutCapture quiet;
        ASSERT_EQ(rf_calibration(), 0);
    }
    uint32_t count = 0;
    ASSERT_EQ(sim().calibration_count(&count), 0);
    ASSERT_EQ(count - before, 16u);

    struct Expected {
        uint32_t index;
        uint32_t wait_ms;
    };
    const std::array<Expected, 4> group_2g = {{{4, 50}, {5, 70}, {1, 50}, {6, 50}}};
    const std::array<Expected, 4> group_5g = {{{12, 50}, {13, 70}, {9, 50}, {6, 50}}};
    const std::array<uint32_t, 4> channels = {6, 40, 100, 160};
    for (uint32_t i = 0; i < 16; ++i) {
        const uint32_t group = i / 4;
        const Expected &e = (group == 0 ? group_2g : group_5g)[i % 4];
        uint32_t index = 0;
        uint32_t channel = 0;
        uint32_t active_us = 0;
        ASSERT_EQ(sim().calibration_at(before + i, &index, &channel, &active_us), 0);
        EXPECT_EQ(index, e.index) << "run " << i;
        EXPECT_EQ(channel, channels[group]) << "run " << i;
        EXPECT_GE(active_us, e.wait_ms * 1000) << "run " << i;
        // Only a wait that runs away (a unit slip, a missed stop) is caught
        // here: a loaded machine or Wine can hold a step a good deal longer
        // than its sleep, and calibration_bench measures the real overrun.
        EXPECT_LT(active_us, e.wait_ms * 1000 + 500000) << "run " << i;
    }
}

// PADPD tables of one band: the channel the routine calibrates at and the 13
// AM-AM and AM-PM registers, two entries each.
struct PadpdTables {
    uint32_t channel;
    std::array<uint32_t, 13> am_am;
    std::array<uint32_t, 13> am_pm;
};

std::array<uint32_t, 13> consecutive(uint32_t first) {
    std::array<uint32_t, 13> registers{};
    for (uint32_t i = 0; i < registers.size(); ++i) {
        registers[i] = first + 4 * i;
    }
    return registers;
}

std::array<uint32_t, 13> with_gap(uint32_t first, uint32_t after_gap) {
    std::array<uint32_t, 13> registers{};
    for (uint32_t i = 0; i < registers.size(); ++i) {
        registers[i] = i < 3 ? first + 4 * i : after_gap + 4 * (i - 3);
    }
    return registers;
}

// Drive of sweep point i (RG_TX_SCALE): 8 to 48 in steps of 8, then 52 to 128 in steps of 4.
double scale_of(std::size_t i) { return i < 6 ? 8.0 * static_cast<double>(i + 1) : 4.0 * static_cast<double>(i) + 28.0; }

std::vector<uint32_t> read_table(const std::array<uint32_t, 13> &registers, uint32_t field_mask) {
    std::vector<uint32_t> entries;
    for (uint32_t address : registers) {
        uint32_t value = 0;
        EXPECT_EQ(xolt_read_reg(address, &value), 0);
        entries.push_back(value & field_mask);
        entries.push_back((value >> 16) & field_mask);
    }
    return entries;
}

// The AM-AM table as the transmitter applies it: the drive multiplied by the
// table's gain (512 = unity), interpolated between the sweep points.
double predistorted(const std::vector<uint32_t> &am_am, double drive) {
    std::size_t i = 0;
    while (i + 2 < am_am.size() && scale_of(i + 1) < drive) {
        ++i;
    }
    const double t = std::clamp((drive - scale_of(i)) / (scale_of(i + 1) - scale_of(i)), 0.0, 1.0);
    const double gain = am_am[i] + t * (static_cast<double>(am_am[i + 1]) - am_am[i]);
    return drive * gain / 512.0;
}

// Largest relative deviation of the output amplitude from the straight line
// of its own small-signal gain (the gain at drive 8), over drives 8 to 128.
template <typename Output>
double residual_compression(Output output) {
    const double small_signal_gain = output(8.0) / 8.0;
    double worst = 0.0;
    for (double drive = 8.0; drive <= 128.0; drive += 1.0) {
        const double line = small_signal_gain * drive;
        worst = std::max(worst, std::fabs(output(drive) - line) / line);
    }
    return worst;
}

TEST_F(SimRadio, PadpdTablesCorrectTheAmplifierCompression) {
    uint32_t before = 0;
    ASSERT_EQ(sim().calibration_count(&before), 0);
    {
        StdoutCapture quiet;
        ASSERT_EQ(rf_2g_5g_padpd_cali(1), 0);
    }
    uint32_t dpd = 0;
    xolt_read_reg(0xCCB0AD1C, &dpd);
    EXPECT_EQ(dpd, 1u);

    // The four calibrations ran at their channels: 2.4 GHz where the radio
    // was tuned, then the three 5 GHz sub-bands.
    const std::array<std::pair<uint32_t, uint32_t>, 4> runs = {{{7, 1}, {15, 40}, {15, 100}, {15, 160}}};
    uint32_t count = 0;
    ASSERT_EQ(sim().calibration_count(&count), 0);
    ASSERT_EQ(count - before, runs.size());
    for (uint32_t i = 0; i < runs.size(); ++i) {
        uint32_t index = 0;
        uint32_t channel = 0;
        uint32_t active_us = 0;
        ASSERT_EQ(sim().calibration_at(before + i, &index, &channel, &active_us), 0);
        EXPECT_EQ(index, runs[i].first);
        EXPECT_EQ(channel, runs[i].second);
    }

    const std::array<PadpdTables, 4> bands = {{
        {1, with_gap(0xCCB0AD20, 0xCCB0AD30), with_gap(0xCCB0AD70, 0xCCB0AD80)},
        {40, consecutive(0xCCB0A980), consecutive(0xCCB0A9C0)},
        {100, consecutive(0xCCB0AA00), consecutive(0xCCB0AA40)},
        {160, consecutive(0xCCB0AA80), consecutive(0xCCB0AAC0)},
    }};
    for (const PadpdTables &band : bands) {
        SCOPED_TRACE(testing::Message() << "channel " << band.channel);
        const std::vector<uint32_t> am_am = read_table(band.am_am, 0x3FF);
        const std::vector<uint32_t> am_pm = read_table(band.am_pm, 0x1FFF);
        EXPECT_EQ(am_am.front(), 512u);
        EXPECT_EQ(am_pm.front(), 0u);
        // Compression makes the correction grow toward full drive.
        EXPECT_GT(am_am.back(), 600u);
        // The phase rises by a few hundred steps, also where it wraps past 8192.
        EXPECT_GT(am_pm.back(), 100u);
        EXPECT_LT(*std::max_element(am_pm.begin(), am_pm.end()), 2000u);

        auto pa = [&](double drive) { return sim().pa_amplitude(band.channel, drive); };
        const double without = residual_compression(pa);
        const double with = residual_compression([&](double drive) { return pa(predistorted(am_am, drive)); });
        RecordProperty("residual_without_ch" + std::to_string(band.channel), std::to_string(without));
        RecordProperty("residual_with_ch" + std::to_string(band.channel), std::to_string(with));
        EXPECT_GT(without, 0.1);
        EXPECT_LT(with, 0.7 * without);
    }
}

}  // namespace
