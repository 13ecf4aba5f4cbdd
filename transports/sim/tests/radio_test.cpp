// The simulated radio through the board's entry points: transmit counters,
// receive counters and their error model, the calibration engine's log, the
// temperature sensor and the RX IQ analysis of the calibration loop.
#include "board_fixture.h"
#include "xolt/xolt.h"
#include "xolt/xolt_sim.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr uint32_t ADR_MODE_REGISTER = 0xCCB0A400;
constexpr uint32_t ADR_SX_2G_CHANNEL = 0xCCB0A464;
constexpr uint32_t ADR_SX_5G_CHANNEL = 0xCCB0A580;
constexpr uint32_t ADR_SENSOR_CONTROL = 0xCCB0A44C;
constexpr uint32_t ADR_TEMPERATURE = 0xCCB0A544;
constexpr uint32_t ADR_TONE_GENERATOR = 0xCCB0AC08;
constexpr uint32_t ADR_RX_IQ_CONTROL = 0xCCB0AC0C;
constexpr uint32_t ADR_RX_IQ_RESULT = 0xCCB0AC10;
constexpr uint32_t ADR_TXIQ_CONTROL = 0xCCB0AC44;
constexpr uint32_t ADR_FREQ_OFFSET = 0xCCB0B000;
constexpr uint32_t ADR_TX_RATE = 0xCCB0E00C;
constexpr uint32_t ADR_PKTGEN_CONTROL = 0xCCB0E018;
constexpr uint32_t ADR_TX_COUNT_11B = 0xCCB0E7C0;
constexpr uint32_t ADR_TX_COUNT_OFDM = 0xCCB0EFC0;
constexpr uint32_t ADR_11B_TOTAL = 0xCCB0EBEC;
constexpr uint32_t ADR_11B_CONTROL = 0xCCB0EBF8;
constexpr uint32_t ADR_OFDM_ERRORS = 0xCCB0F3E8;
constexpr uint32_t ADR_OFDM_TOTAL = 0xCCB0F3EC;
constexpr uint32_t ADR_OFDM_CONTROL = 0xCCB0F3F8;

// Mode register values: manual, with RG_MODE and RG_CAL_INDEX.
constexpr uint32_t MODE_STANDBY = 0x06000044;
constexpr uint32_t MODE_TX_2G = 0x06000244;
constexpr uint32_t MODE_RX_2G = 0x06000344;
constexpr uint32_t MODE_CALIBRATION = 0x06000144;
uint32_t calibrating(uint32_t index) { return MODE_CALIBRATION | (index << 12); }

constexpr uint32_t GENERATOR_ON = 0x0055083D;  // PIT 15
constexpr uint32_t GENERATOR_OFF = 0x0055083C;
uint32_t generator_on_with_pit(uint32_t pit) {
    return (GENERATOR_ON & 0x00FFFF03) | ((pit & 0x3F) << 2) | ((pit >> 6) << 24);
}

constexpr uint32_t RATE_CCK_1M = 0x00000400;
constexpr uint32_t RATE_CCK_11M = 0x03000400;
constexpr uint32_t RATE_OFDM_54M = 0x07010400;
constexpr uint32_t RATE_HT20_MCS7 = 0x07021000;
constexpr uint32_t RATE_HT40_MCS7 = 0x07221000;
constexpr uint32_t RATE_RESERVED = 0x00030400;  // format 3 names no rate

constexpr uint32_t OFDM_COUNTING = 0x00100001;
constexpr uint32_t OFDM_STOPPED = 0x00000001;
constexpr uint32_t CCK_COUNTING = 0x00100000;

uint32_t trim_word(uint32_t trim) { return (trim << 8) | (trim << 17); }

class Radio : public BoardFixture {};

// Time between two register accesses as the board saw it: at least the time
// from the end of the first call to the start of the second, at most the time
// from the start of the first to the end of the second.
struct Span {
    double min_s;
    double max_s;
};

template <typename First, typename Second>
Span timed(First first, milliseconds wait, Second second) {
    const auto before_first = Clock::now();
    first();
    const auto after_first = Clock::now();
    std::this_thread::sleep_for(wait);
    const auto before_second = Clock::now();
    second();
    const auto after_second = Clock::now();
    return {std::chrono::duration<double>(before_second - after_first).count(),
            std::chrono::duration<double>(after_second - before_first).count()};
}

void expect_frames_in(uint32_t frames, Span span, double frames_per_s) {
    EXPECT_GE(frames, std::floor(span.min_s * frames_per_s) - 1);
    EXPECT_LE(frames, std::ceil(span.max_s * frames_per_s) + 1);
}

TEST_F(Radio, TransmitCountersAdvanceOnlyOnTheAirAndHoldAfterStop) {
    open_link();
    write(ADR_TX_RATE, RATE_OFDM_54M);
    // Generator on but the radio in standby: nothing goes out.
    write(ADR_MODE_REGISTER, MODE_STANDBY);
    write(ADR_PKTGEN_CONTROL, GENERATOR_ON);
    std::this_thread::sleep_for(milliseconds(30));
    EXPECT_EQ(read(ADR_TX_COUNT_OFDM), 0u);
    // Transmit mode with the generator on: 54 Mb/s frames of 172 us plus PIT 15.
    uint32_t sent = 0;
    const Span span = timed([&] { write(ADR_MODE_REGISTER, MODE_TX_2G); }, milliseconds(150),
                            [&] { write(ADR_PKTGEN_CONTROL, GENERATOR_OFF); });
    sent = read(ADR_TX_COUNT_OFDM);
    expect_frames_in(sent, span, 1e6 / (172 + 15));
    EXPECT_EQ(read(ADR_TX_COUNT_11B), 0u);  // OFDM frames only
    // Generator off, still in transmit mode: the count holds.
    std::this_thread::sleep_for(milliseconds(30));
    EXPECT_EQ(read(ADR_TX_COUNT_OFDM), sent);
    // Software cannot write the counters.
    write(ADR_TX_COUNT_OFDM, 0);
    EXPECT_EQ(read(ADR_TX_COUNT_OFDM), sent);
    // A restart counts on from the held value, in the counter of the format.
    write(ADR_TX_RATE, RATE_CCK_11M);
    write(ADR_PKTGEN_CONTROL, GENERATOR_ON);
    std::this_thread::sleep_for(milliseconds(30));
    write(ADR_MODE_REGISTER, MODE_STANDBY);
    EXPECT_EQ(read(ADR_TX_COUNT_OFDM), sent);
    EXPECT_GT(read(ADR_TX_COUNT_11B), 0u);
}

TEST_F(Radio, RateWordAndPitSetTheFrameRate) {
    struct Case {
        uint32_t rate;
        uint32_t pit;
        double airtime_us;  // preamble plus 1000-byte frame
        uint32_t counter;
    };
    const Case cases[] = {
        {RATE_CCK_1M, 15, 192 + 8000, ADR_TX_COUNT_11B},
        {RATE_CCK_11M, 15, 192 + 728, ADR_TX_COUNT_11B},            // 8000/11 rounded up
        {RATE_OFDM_54M, 1000, 20 + 4 * 38, ADR_TX_COUNT_OFDM},      // 8022 bits / 216 per symbol
        {RATE_HT20_MCS7, 15, 36 + 4 * 31, ADR_TX_COUNT_OFDM},       // 8022 / 260
        {RATE_HT40_MCS7, 15, 36 + 4 * 15, ADR_TX_COUNT_OFDM},       // 8022 / 540
        {RATE_HT40_MCS7, 0x3FFF, 36 + 4 * 15, ADR_TX_COUNT_OFDM},   // largest PIT
    };
    open_link();
    write(ADR_MODE_REGISTER, MODE_TX_2G);
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << "rate 0x" << c.rate << std::dec << " pit " << c.pit);
        write(ADR_TX_RATE, c.rate);
        const uint32_t before = read(c.counter);
        const Span span = timed([&] { write(ADR_PKTGEN_CONTROL, generator_on_with_pit(c.pit)); }, milliseconds(100),
                                [&] { write(ADR_PKTGEN_CONTROL, GENERATOR_OFF); });
        expect_frames_in(read(c.counter) - before, span, 1e6 / (c.airtime_us + c.pit));
    }
    // A reserved format names no rate: nothing is sent.
    write(ADR_TX_RATE, RATE_RESERVED);
    const uint32_t before = read(ADR_TX_COUNT_11B) + read(ADR_TX_COUNT_OFDM);
    write(ADR_PKTGEN_CONTROL, GENERATOR_ON);
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_EQ(read(ADR_TX_COUNT_11B) + read(ADR_TX_COUNT_OFDM), before);
}

TEST_F(Radio, ReceiveCountersStartStopAndRestartFromZero) {
    setenv("XOLT_RX_FRAME_RATE", "10000", 1);
    open_link();
    write(ADR_TX_RATE, RATE_HT40_MCS7);  // 96 us frames: the air carries 10 000 a second
    write(ADR_MODE_REGISTER, MODE_RX_2G);
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_EQ(read(ADR_OFDM_TOTAL), 0u);  // not counting at power-up

    const Span span = timed([&] { write(ADR_OFDM_CONTROL, OFDM_COUNTING); }, milliseconds(60),
                            [&] { write(ADR_OFDM_CONTROL, OFDM_STOPPED); });
    const uint32_t held = read(ADR_OFDM_TOTAL);
    expect_frames_in(held, span, 10000);
    EXPECT_EQ(read(ADR_OFDM_CONTROL), OFDM_STOPPED);
    EXPECT_EQ(read(ADR_11B_TOTAL), 0u);  // the other block was never started
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_EQ(read(ADR_OFDM_TOTAL), held);  // stopped: holds

    // Starting again restarts from 0.
    write(ADR_OFDM_CONTROL, OFDM_COUNTING);
    EXPECT_LT(read(ADR_OFDM_TOTAL), 50u);
    std::this_thread::sleep_for(milliseconds(30));
    const uint32_t counted = read(ADR_OFDM_TOTAL);
    EXPECT_GT(counted, 100u);
    // Writing the counting value while counting does not reset.
    write(ADR_OFDM_CONTROL, OFDM_COUNTING);
    EXPECT_GE(read(ADR_OFDM_TOTAL), counted);
    // Out of receive mode no frames arrive, though the block counts.
    write(ADR_MODE_REGISTER, MODE_STANDBY);
    const uint32_t standby = read(ADR_OFDM_TOTAL);
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_EQ(read(ADR_OFDM_TOTAL), standby);
    // Count registers are read only.
    write(ADR_OFDM_TOTAL, 0);
    EXPECT_EQ(read(ADR_OFDM_TOTAL), standby);
    // The 11b block starts on its own counting value.
    write(ADR_MODE_REGISTER, MODE_RX_2G);
    write(ADR_11B_CONTROL, CCK_COUNTING);
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_GT(read(ADR_11B_TOTAL), 100u);
}

TEST_F(Radio, SourceSendsNoFasterThanTheAirTimeOfItsFrames) {
    setenv("XOLT_RX_FRAME_RATE", "70000", 1);
    open_link();
    write(ADR_MODE_REGISTER, MODE_RX_2G);
    const std::pair<uint32_t, double> cases[] = {
        {RATE_OFDM_54M, 20 + 4 * 38},  // 5814 frames/s, not 70 000: no count wraps between reads a second apart
        {RATE_CCK_1M, 192 + 8000},     // 122 frames/s
    };
    for (const auto &[rate, airtime_us] : cases) {
        write(ADR_TX_RATE, rate);
        const Span span = timed([&] { write(ADR_OFDM_CONTROL, OFDM_COUNTING); }, milliseconds(100),
                                [&] { write(ADR_OFDM_CONTROL, OFDM_STOPPED); });
        expect_frames_in(read(ADR_OFDM_TOTAL), span, 1e6 / airtime_us);
    }
}

TEST_F(Radio, ReceiveCountersAreSixteenBitsWide) {
    // Only frames of a rate word that names no rate, which have no air time
    // to bound them, come fast enough to wrap a count within a test; the
    // receiver decodes none of them.
    setenv("XOLT_RX_FRAME_RATE", "1000000", 1);
    open_link();
    write(ADR_TX_RATE, RATE_RESERVED);
    write(ADR_MODE_REGISTER, MODE_RX_2G);
    uint32_t total = 0;
    uint32_t errors = 0;
    const Span span = timed([&] { write(ADR_OFDM_CONTROL, OFDM_COUNTING); }, milliseconds(100),
                            [&] { write(ADR_OFDM_CONTROL, OFDM_STOPPED); });
    total = read(ADR_OFDM_TOTAL);
    errors = read(ADR_OFDM_ERRORS);
    ASSERT_GT(span.min_s * 1e6, 65536 + 1000) << "the wait must pass one wrap";
    EXPECT_LT(total, 65536u);
    // The count is the frames sent modulo 2^16: some whole number of wraps
    // (one at least; more when a loaded machine stretched the wait) puts it
    // among the frames the wait can have seen.
    const double fewest = std::floor(span.min_s * 1e6) - 1;
    const double most = std::ceil(span.max_s * 1e6) + 1;
    bool wraps_fit = false;
    for (double sent = total + 65536.0; sent <= most; sent += 65536.0) {
        wraps_fit = wraps_fit || sent >= fewest;
    }
    EXPECT_TRUE(wraps_fit) << total << " frames counted in " << span.min_s << "-" << span.max_s << " s";
    EXPECT_EQ(errors, total);
}

// The error rate measured over a window of frames at the current settings.
struct Measured {
    uint32_t errors;
    uint32_t total;
    double model;
    double rate() const { return total == 0 ? 0.0 : static_cast<double>(errors) / total; }
};

class RadioReceive : public Radio {
protected:
    Measured measure(uint32_t rate_word, uint32_t trim, milliseconds window = milliseconds(60)) {
        write(ADR_TX_RATE, rate_word);
        write(ADR_FREQ_OFFSET, trim_word(trim));
        write(ADR_OFDM_CONTROL, OFDM_STOPPED);
        write(ADR_OFDM_CONTROL, OFDM_COUNTING);
        std::this_thread::sleep_for(window);
        // Stopped first, so no frame arrives between the two counter reads.
        write(ADR_OFDM_CONTROL, OFDM_STOPPED);
        Measured m{read(ADR_OFDM_ERRORS), read(ADR_OFDM_TOTAL), -1.0};
        EXPECT_EQ(xolt_sim_packet_error_rate(&m.model), 0);
        // Within five standard deviations of the binomial count.
        const double sigma = std::sqrt(m.total * m.model * (1 - m.model));
        EXPECT_NEAR(m.errors, m.total * m.model, 5 * sigma + 2) << "rate 0x" << std::hex << rate_word;
        return m;
    }
};

TEST_F(RadioReceive, ErrorRateRisesWithRateAndTrimOffset) {
    setenv("XOLT_RX_FRAME_RATE", "100000", 1);
    open_link();
    write(ADR_MODE_REGISTER, MODE_RX_2G);
    const Measured slow = measure(RATE_CCK_1M, 151);
    const Measured fast = measure(RATE_OFDM_54M, 151, milliseconds(250));
    const Measured fast_off = measure(RATE_OFDM_54M, 141);
    const Measured fast_far = measure(RATE_OFDM_54M, 171);
    EXPECT_GT(fast.total, 1200u);
    EXPECT_EQ(slow.errors, 0u);
    EXPECT_GT(fast.errors, 0u);
    EXPECT_GT(fast_off.rate(), 3 * fast.rate());
    EXPECT_GT(fast_far.rate(), fast_off.rate());
    EXPECT_LT(fast_far.rate(), 1.0);
    EXPECT_GT(fast_far.model, fast_off.model);
}

TEST_F(RadioReceive, IdealTrimIsABoardSetting) {
    setenv("XOLT_RX_FRAME_RATE", "100000", 1);
    setenv("XOLT_IDEAL_TRIM", "120", 1);
    open_link();
    write(ADR_MODE_REGISTER, MODE_RX_2G);
    const Measured at_ideal = measure(RATE_HT20_MCS7, 120);
    const Measured at_default = measure(RATE_HT20_MCS7, 151);
    EXPECT_GT(at_default.rate(), 0.9);
    EXPECT_LT(at_ideal.rate(), 0.15);
}

// The margin in dB between the signal-to-noise ratio and what the rate
// needs, recovered from the model's error rate.
double margin_db(double per) { return std::log(1.0 / per - 1.0); }

TEST_F(Radio, TrimCostsInProportionToTheCarrierFrequency) {
    open_link();
    write(ADR_TX_RATE, RATE_OFDM_54M);
    auto model = [&](uint32_t trim) {
        write(ADR_FREQ_OFFSET, trim_word(trim));
        double per = -1;
        EXPECT_EQ(xolt_sim_packet_error_rate(&per), 0);
        return margin_db(per);
    };
    write(ADR_SX_2G_CHANNEL, 0x000002E8 | (6u << 11));  // 2437 MHz
    const double on_frequency = model(151);
    const double cost_2g = on_frequency - model(155);
    write(ADR_SX_5G_CHANNEL, (36u << 8) | 0x10);  // 5180 MHz
    EXPECT_NEAR(model(151), on_frequency, 1e-9);
    const double cost_5g = on_frequency - model(155);
    EXPECT_GT(cost_2g, 0.5);
    EXPECT_NEAR(cost_5g / cost_2g, 5180.0 / 2437.0, 1e-6);
}

// A calibration trigger as the library issues it.
void trigger(uint32_t index, milliseconds active) {
    for (uint32_t value : {MODE_STANDBY, MODE_CALIBRATION, calibrating(index)}) {
        xolt_write_reg(ADR_MODE_REGISTER, value);
    }
    std::this_thread::sleep_for(active);
    for (uint32_t value : {MODE_CALIBRATION, MODE_STANDBY, 0x06000040u}) {
        xolt_write_reg(ADR_MODE_REGISTER, value);
    }
}

struct CalRun {
    uint32_t index = 0;
    uint32_t channel = 0;
    uint32_t active_us = 0;
};

CalRun run_at(uint32_t i) {
    CalRun r;
    EXPECT_EQ(xolt_sim_calibration_at(i, &r.index, &r.channel, &r.active_us), 0);
    return r;
}

TEST_F(Radio, CalibrationEngineLogsEachRunWithChannelAndDuration) {
    uint32_t count = 0;
    EXPECT_NE(xolt_sim_calibration_count(&count), 0);  // link closed
    open_link();
    trigger(1, milliseconds(5));  // before any tuning
    write(ADR_SX_2G_CHANNEL, 0x000002E8 | (6u << 11));
    trigger(4, milliseconds(30));
    write(ADR_SX_2G_CHANNEL, 0x000002E8);  // a crystal word without a channel does not retune
    write(ADR_SX_5G_CHANNEL, (40u << 8) | 0x10);
    trigger(12, milliseconds(10));
    // Neither the calibration mode without an index nor an index outside
    // calibration mode runs anything.
    write(ADR_MODE_REGISTER, MODE_CALIBRATION);
    write(ADR_MODE_REGISTER, MODE_STANDBY | (5u << 12));
    write(ADR_MODE_REGISTER, MODE_STANDBY);
    // Switching the index while calibrating starts a new run.
    write(ADR_SX_2G_CHANNEL, 0x000002E8 | (13u << 11));
    write(ADR_MODE_REGISTER, calibrating(5));
    write(ADR_MODE_REGISTER, calibrating(7));
    std::this_thread::sleep_for(milliseconds(10));

    ASSERT_EQ(xolt_sim_calibration_count(&count), 0);
    ASSERT_EQ(count, 5u);
    const std::vector<std::pair<uint32_t, uint32_t>> expected = {{1, 0}, {4, 6}, {12, 40}, {5, 13}, {7, 13}};
    for (uint32_t i = 0; i < count; ++i) {
        const CalRun r = run_at(i);
        EXPECT_EQ(r.index, expected[i].first) << i;
        EXPECT_EQ(r.channel, expected[i].second) << i;
    }
    EXPECT_GE(run_at(1).active_us, 30000u);
    EXPECT_LT(run_at(1).active_us, 30000u + 500000u);  // not a runaway (a loaded machine may stretch it)
    EXPECT_GE(run_at(2).active_us, 10000u);
    EXPECT_LT(run_at(2).active_us, run_at(1).active_us);
    // The run still active keeps growing.
    const uint32_t so_far = run_at(4).active_us;
    EXPECT_GE(so_far, 10000u);
    std::this_thread::sleep_for(milliseconds(5));
    EXPECT_GT(run_at(4).active_us, so_far);
    CalRun past;
    EXPECT_NE(xolt_sim_calibration_at(5, &past.index, &past.channel, &past.active_us), 0);
}

uint32_t temperature_code(uint32_t reading) { return (reading >> 24) & 0x3F; }
double celsius(uint32_t code) { return (static_cast<double>(code) - 31) * 2.5; }

TEST_F(Radio, DieHeatsUnderTransmissionAndCoolsBack) {
    setenv("XOLT_THERMAL_TIME_CONSTANT_MS", "100", 1);
    open_link();
    EXPECT_EQ(temperature_code(read(ADR_TEMPERATURE)), 0u);  // never sampled
    write(ADR_SENSOR_CONTROL, 0x93050502);                    // sensor on
    EXPECT_EQ(celsius(temperature_code(read(ADR_TEMPERATURE))), 25.0);
    // Transmitting for three time constants: 25 + 30 * (1 - e^-3) = 53.5 degC.
    write(ADR_TX_RATE, RATE_OFDM_54M);
    write(ADR_MODE_REGISTER, MODE_TX_2G);
    write(ADR_PKTGEN_CONTROL, GENERATOR_ON);
    std::this_thread::sleep_for(milliseconds(300));
    const double hot = celsius(temperature_code(read(ADR_TEMPERATURE)));
    EXPECT_GE(hot, 50.0);
    EXPECT_LE(hot, 55.0);
    double die = 0;
    ASSERT_EQ(xolt_sim_die_temperature(&die), 0);
    EXPECT_NEAR(die, hot, 2.5);
    // Sensor off: reads hold the last sample while the die cools.
    write(ADR_PKTGEN_CONTROL, GENERATOR_OFF);
    write(ADR_SENSOR_CONTROL, 0x83050502);
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_EQ(celsius(temperature_code(read(ADR_TEMPERATURE))), hot);
    write(ADR_SENSOR_CONTROL, 0x93050502);
    EXPECT_LE(celsius(temperature_code(read(ADR_TEMPERATURE))), 27.5);
    // The code field is read only; the register's other bits are storage.
    write(ADR_TEMPERATURE, 0x3F0000AB);
    EXPECT_EQ(read(ADR_TEMPERATURE) & 0xC0FFFFFF, 0xABu);
    EXPECT_LE(celsius(temperature_code(read(ADR_TEMPERATURE))), 27.5);
}

TEST_F(Radio, AmbientTemperatureIsABoardSetting) {
    setenv("XOLT_AMBIENT_C", "-10", 1);
    open_link();
    write(ADR_SENSOR_CONTROL, 0x93050502);
    EXPECT_EQ(celsius(temperature_code(read(ADR_TEMPERATURE))), -10.0);
}

struct Sample {
    uint32_t am;
    uint32_t pm;
};

class RadioIq : public Radio {
protected:
    // The calibration loop set up as the PADPD calibration leaves it.
    void loop_back(uint32_t cal_index) {
        write(ADR_TXIQ_CONTROL, 0x02100080);
        write(ADR_TONE_GENERATOR, 0x07FF0001);
        write(ADR_RX_IQ_CONTROL, 0x00000071);
        write(ADR_MODE_REGISTER, calibrating(cal_index));
    }
    uint32_t measure_raw(uint32_t scale) {
        write(ADR_TXIQ_CONTROL, (read(ADR_TXIQ_CONTROL) & 0xFFFFFF00) | scale);
        write(ADR_RX_IQ_CONTROL, read(ADR_RX_IQ_CONTROL) | 0x100);
        write(ADR_RX_IQ_CONTROL, read(ADR_RX_IQ_CONTROL) & ~0x100u);
        return read(ADR_RX_IQ_RESULT);
    }
    Sample measure(uint32_t scale) {
        const uint32_t raw = measure_raw(scale);
        EXPECT_EQ(raw & 0xFE00E000, 0u) << "bits outside ro_am and ro_pm";
        return {(raw >> 16) & 0x1FF, raw & 0x1FFF};
    }
    std::vector<Sample> sweep() {
        std::vector<Sample> samples;
        for (uint32_t s = 8; s <= 128; s += 8) {
            samples.push_back(measure(s));
        }
        return samples;
    }
};

uint32_t phase_rise(const Sample &from, const Sample &to) { return (to.pm + 8192 - from.pm) % 8192; }

TEST_F(RadioIq, AnalysisReportsTheCompressedAmplifierOutput) {
    open_link();
    loop_back(7);
    const std::vector<Sample> samples = sweep();
    const Sample &low = samples.front();
    const Sample &full = samples.back();
    EXPECT_GE(low.am, 20u);
    EXPECT_LE(low.am, 40u);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double s = 8.0 * static_cast<double>(i + 1);
        EXPECT_NEAR(samples[i].am, xolt_sim_pa_amplitude(1, s), 1.5) << "scale " << s;
        if (i > 0) {
            EXPECT_GT(samples[i].am, samples[i - 1].am);
        }
    }
    const double compression_db = 20 * std::log10(low.am * 16.0 / full.am);
    EXPECT_GT(compression_db, 1.0);
    EXPECT_LT(compression_db, 4.0);
    EXPECT_GT(phase_rise(low, full), 100u);  // AM-PM grows with drive
    EXPECT_LT(phase_rise(samples[7], full), phase_rise(low, full));
    // The result holds until the next trigger.
    write(ADR_TXIQ_CONTROL, (read(ADR_TXIQ_CONTROL) & 0xFFFFFF00) | 8);
    EXPECT_EQ((read(ADR_RX_IQ_RESULT) >> 16) & 0x1FF, full.am);
}

TEST_F(RadioIq, EachFiveGigahertzSubBandHasItsOwnAmplifier) {
    open_link();
    std::vector<std::vector<Sample>> bands;
    for (uint32_t channel : {40u, 100u, 160u}) {
        write(ADR_SX_5G_CHANNEL, (channel << 8) | 0x10);
        loop_back(15);
        bands.push_back(sweep());
        EXPECT_NEAR(bands.back().back().am, xolt_sim_pa_amplitude(channel, 128), 1.5) << channel;
        EXPECT_GT(phase_rise(bands.back().front(), bands.back().back()), 100u) << channel;
    }
    for (std::size_t a = 0; a < bands.size(); ++a) {
        for (std::size_t b = a + 1; b < bands.size(); ++b) {
            EXPECT_NE(bands[a].back().am, bands[b].back().am);
            const uint32_t apart = phase_rise(bands[a].front(), bands[b].front());
            EXPECT_GT(apart, 100u);
            EXPECT_LT(apart, 8192u - 100u);
        }
    }
    // The 2.4 GHz index measures the 2.4 GHz amplifier whatever the channel table holds.
    loop_back(7);
    EXPECT_NEAR(measure(128).am, xolt_sim_pa_amplitude(6, 128), 1.5);
}

TEST_F(RadioIq, NoSignalOutsideThePadpdLoop) {
    open_link();
    loop_back(7);
    ASSERT_NE(measure_raw(64), 0u);
    write(ADR_MODE_REGISTER, calibrating(4));  // another calibration
    EXPECT_EQ(measure_raw(64), 0u);
    write(ADR_MODE_REGISTER, MODE_STANDBY | (7u << 12));  // PADPD index, not calibrating
    EXPECT_EQ(measure_raw(64), 0u);
    loop_back(7);
    write(ADR_TONE_GENERATOR, 0x07FF0000);  // tone generator in normal mode
    EXPECT_EQ(measure_raw(64), 0u);
    loop_back(7);
    write(ADR_TXIQ_CONTROL, 0x00000080);  // TX IQ from the normal path
    EXPECT_EQ(measure_raw(64), 0u);
    loop_back(7);
    write(ADR_RX_IQ_CONTROL, 0x00000070);  // analysis disabled
    EXPECT_EQ(measure_raw(64), 0u);
    loop_back(7);
    EXPECT_NE(measure_raw(64), 0u);
}

TEST_F(RadioIq, MeasurementNoiseFollowsTheSeed) {
    auto run = [&](const char *seed) {
        setenv("XOLT_NOISE_SEED", seed, 1);
        open_link();
        loop_back(7);
        std::vector<uint32_t> raw;
        for (uint32_t s = 8; s <= 128; s += 4) {
            raw.push_back(measure_raw(s));
        }
        xolt_close();
        return raw;
    };
    const std::vector<uint32_t> first = run("7");
    EXPECT_EQ(run("7"), first);
    EXPECT_NE(run("8"), first);
}

}  // namespace
