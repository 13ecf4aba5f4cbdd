// RF calibration: the full sequence of the calibration engine, the manual IQ
// codes and the temperature sensor.
#include "fixture.h"

#include <chrono>
#include <cstdint>
#include <vector>

using recording::Access;
using recording::R;
using recording::W;

namespace {

constexpr uint32_t MODE = 0xCCB0A400;

class Calibration : public recording::Connected {};

void trigger(std::vector<Access> &out, uint32_t index) {
    for (uint32_t v : {0x06000044u, 0x06000144u, 0x06000144u | (index << 12), 0x06000144u, 0x06000044u, 0x06000040u}) {
        out.push_back(W(MODE, v));
    }
}

void prep(std::vector<Access> &out, uint32_t x) {
    out.insert(out.end(), {W(0xCCB0A858, 0x44), W(0xCCB0A80C, 0x00100000), W(0xCCB0A840, 0x07FF3033),
                           W(0xCCB0A840, 0x07FF07FF), W(0xCCB0A834, x)});
}

TEST_F(Calibration, FullRunTrafficTriggersAndWaits) {
    chip().memory[MODE] = 0x12345678;
    chip().memory[0xCCB0A464] = 0xFFFFFFFF;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(rf_calibration(), 0);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(880));

    // Channel 6 retune, holding the mode register.
    std::vector<Access> want{R(MODE, 0x12345678), W(MODE, 0x06000044), R(0xCCB0A464, 0xFFFFFFFF),
                             W(0xCCB0A464, 0xFFF837BF), W(0xCCB0A408, 0x20001557), W(MODE, 0x12345678)};
    for (uint32_t index : {4u, 5u}) {
        want.insert(want.end(), {W(0xCCB0A810, 0x00800000), W(0xCCB0A538, 0xE00), W(0xCCB0A538, 0xE30)});
        prep(want, 0x00200000);
        trigger(want, index);
    }
    trigger(want, 1);
    want.insert(want.end(), {W(0xCCB0A538, 0x00030000), W(0xCCB0A538, 0x03830000), W(0xCCB0A810, 0x00800000)});
    prep(want, 0x00200000);
    trigger(want, 6);
    for (uint32_t ch_table : {0x2810u, 0x6410u, 0xA010u}) {
        want.insert(want.end(), {R(MODE, 0x06000040), W(MODE, 0x06000044), R(0xCCB0A464, 0xFFF837BF),
                                 W(0xCCB0A580, ch_table), W(0xCCB0A408, 0x20001557), W(MODE, 0x06000040)});
        for (uint32_t index : {12u, 13u}) {
            want.insert(want.end(), {W(0xCCB0A810, 0x00800000), W(0xCCB0A608, 0x0E022202), W(0xCCB0A608, 0x0E322202)});
            prep(want, 0x00200000);
            trigger(want, index);
        }
        trigger(want, 9);
        want.insert(want.end(), {W(0xCCB0A60C, 0), W(0xCCB0A60C, 0x60), W(0xCCB0A60C, 0x3860), W(0xCCB0A810, 0x00800000)});
        prep(want, 0x00D00000);
        trigger(want, 6);
    }
    EXPECT_EQ(log(), want);

    // The same run seen as triggers: 16 indices in order, and the radio left
    // on channel 160 with the engine in automatic standby.
    std::vector<uint32_t> indices;
    for (const Access &a : log()) {
        if (a.write && a.address == MODE && ((a.value >> 8) & 0x7) == 1 && ((a.value >> 12) & 0xF) != 0) {
            indices.push_back((a.value >> 12) & 0xF);
        }
    }
    EXPECT_EQ(indices, (std::vector<uint32_t>{4, 5, 1, 6, 12, 13, 9, 6, 12, 13, 9, 6, 12, 13, 9, 6}));
    EXPECT_EQ(chip().memory[MODE], 0x06000040u);
    EXPECT_EQ(chip().memory[0xCCB0A580], 0xA010u);
}

TEST_F(Calibration, ManualIqCodesAreFiveBitTwosComplement) {
    struct Case { int32_t a, b; uint32_t word; };
    for (const Case &c : {Case{-1, 2, 0x0011021F}, Case{3, -16, 0x00111003}, Case{15, -1, 0x00111F0F},
                          Case{-40, 0, 0x0010FFF8}}) {
        chip().log.clear();
        EXPECT_EQ(rf_iqcal_manual(c.a, c.b), 0);
        EXPECT_EQ(log(), (std::vector<Access>{W(0xCCB0A80C, 0x00110000), W(0xCCB0A80C, c.word)})) << c.a << "," << c.b;
    }
}

TEST_F(Calibration, TemperatureUsesTheLastOfHundredReadings) {
    for (uint32_t i = 0; i < 99; ++i) {
        chip().scripted[0xCCB0A544].push_back((i % 64) << 24);
    }
    chip().scripted[0xCCB0A544].push_back(0x2A000000);
    int32_t celsius = 999;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(rf_read_temperature(&celsius), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_EQ(celsius, 27);

    const std::vector<Access> all = log();
    ASSERT_EQ(all.size(), 104u);
    EXPECT_EQ(std::vector<Access>(all.begin(), all.begin() + 2),
              (std::vector<Access>{W(0xCCB0A44C, 0x93050502), W(0xCCB0A408, 0x20009557)}));
    for (std::size_t i = 2; i < 102; ++i) {
        EXPECT_TRUE(!all[i].write && all[i].address == 0xCCB0A544) << i;
    }
    EXPECT_EQ(std::vector<Access>(all.begin() + 102, all.end()),
              (std::vector<Access>{W(0xCCB0A44C, 0x83050502), W(0xCCB0A408, 0x20001557)}));
}

TEST_F(Calibration, TemperatureCodeConversionTruncatesTowardZero) {
    struct Case { uint32_t reading; int32_t celsius; };
    for (const Case &c : {Case{0x1E000000, -2}, Case{0x1F000000, 0}, Case{0xC0FFFFFF, -77}, Case{0x3F000000, 80}}) {
        chip().memory[0xCCB0A544] = c.reading;
        int32_t celsius = 999;
        EXPECT_EQ(rf_read_temperature(&celsius), 0);
        EXPECT_EQ(celsius, c.celsius) << std::hex << c.reading;
    }
    chip().log.clear();
    EXPECT_EQ(rf_read_temperature(nullptr), -1);
    EXPECT_TRUE(log().empty());
}

TEST(CalibrationWithoutTransport, ReturnsMinusOneAndTouchesNothing) {
    recording::use_transport();
    recording::State &state = recording::open_state();
    state.reset();
    int32_t celsius = 5;
    EXPECT_EQ(rf_calibration(), -1);
    EXPECT_EQ(rf_iqcal_manual(1, 1), -1);
    EXPECT_EQ(rf_read_temperature(&celsius), -1);
    EXPECT_EQ(celsius, 5);
    EXPECT_TRUE(state.log.empty());
}

}  // namespace
