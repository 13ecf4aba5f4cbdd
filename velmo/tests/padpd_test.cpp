// Pre-distortion calibration: the tables it measures and writes, the set-up
// and close traffic of both bands, its log lines and the DPD switch. The
// recording transport delivers one amplitude/phase word per measurement
// point through scripted reads of the RX IQ analysis result.
#include "fixture.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using recording::Access;
using recording::R;
using recording::StdoutCapture;
using recording::W;

namespace {

constexpr uint32_t DPD_CONTROL = 0xCCB0AD1C;
constexpr uint32_t IQ_RESULT = 0xCCB0AC10;
constexpr uint32_t CH_TABLE_5G = 0xCCB0A580;
constexpr uint32_t MODE = 0xCCB0A400;
constexpr uint32_t GAIN_5G = 0xCCB0A60C;
constexpr uint32_t PAFB_5G = 0xCCB0A634;
constexpr uint32_t TX_FE_5G = 0xCCB0A560;
constexpr uint32_t GAP_AM_AM = 0xCCB0AD2C;
constexpr uint32_t GAP_AM_PM = 0xCCB0AD7C;

const std::string SHORT_RULE(55, '-');
const std::string LONG_RULE(61, '-');
const std::string OPENING =
    SHORT_RULE + "\n Initialize VarimonB SoC RF Start...\n" + SHORT_RULE + "\n";

constexpr std::array<uint32_t, 26> SCALES{8,  16, 24, 32, 40,  48,  52,  56,  60,  64,  68,  72,  76,
                                          80, 84, 88, 92, 96, 100, 104, 108, 112, 116, 120, 124, 128};

struct Point {
    uint32_t am;
    uint32_t pm;
};
using Sweep = std::array<Point, 26>;

// A gently compressing amplifier: amplitude k*s - s^2/128 (point 0 gives
// 8k), phase rising by `step` per point from `pm0`, modulo 0x2000.
Sweep compressing(uint32_t k, uint32_t pm0, uint32_t step) {
    Sweep sweep{};
    for (size_t i = 0; i < sweep.size(); ++i) {
        const uint32_t s = SCALES[i];
        sweep[i] = {k * s - s * s / 128, (pm0 + step * static_cast<uint32_t>(i)) % 0x2000};
    }
    return sweep;
}

using Sweeps = std::array<Sweep, 4>;  // 2.4 GHz, channels 40, 100, 160

Sweeps standard_sweeps() {
    Sweep g = compressing(3, 8000, 10);  // phase wraps past 0x2000 from point 20
    g[2].pm = 8000;                      // equal to point 0: entry 0
    g[3].pm = 7995;                      // 5 below point 0: entry 8187
    g[6].am = 125;                       // 52*512*3/125 = 638.976
    return {g, compressing(4, 100, 7), compressing(3, 4000, 13), compressing(4, 7000, 3)};
}

struct Tables {
    std::vector<uint32_t> am_am;
    std::vector<uint32_t> am_pm;
};

std::vector<uint32_t> thirteen_from(uint32_t first) {
    std::vector<uint32_t> regs;
    for (uint32_t r = 0; r < 13; ++r) {
        regs.push_back(first + 4 * r);
    }
    return regs;
}

const std::array<Tables, 4> TABLES{{
    {{0xCCB0AD20, 0xCCB0AD24, 0xCCB0AD28, 0xCCB0AD30, 0xCCB0AD34, 0xCCB0AD38, 0xCCB0AD3C, 0xCCB0AD40,
      0xCCB0AD44, 0xCCB0AD48, 0xCCB0AD4C, 0xCCB0AD50, 0xCCB0AD54},
     {0xCCB0AD70, 0xCCB0AD74, 0xCCB0AD78, 0xCCB0AD80, 0xCCB0AD84, 0xCCB0AD88, 0xCCB0AD8C, 0xCCB0AD90,
      0xCCB0AD94, 0xCCB0AD98, 0xCCB0AD9C, 0xCCB0ADA0, 0xCCB0ADA4}},
    {thirteen_from(0xCCB0A980), thirteen_from(0xCCB0A9C0)},
    {thirteen_from(0xCCB0AA00), thirteen_from(0xCCB0AA40)},
    {thirteen_from(0xCCB0AA80), thirteen_from(0xCCB0AAC0)},
}};

// Entry = 512 * (scale * am0 / 8) / am, truncated; slope = am0 / 8.
uint32_t expected_am_am(const Sweep &sweep, size_t i) {
    if (sweep[i].am == 0) {
        return 1023;
    }
    const uint64_t entry = 64ull * SCALES[i] * sweep[0].am / sweep[i].am;
    return static_cast<uint32_t>(std::min<uint64_t>(entry, 1023));
}

uint32_t expected_am_pm(const Sweep &sweep, size_t i) { return (sweep[i].pm + 0x2000 - sweep[0].pm) % 0x2000; }

uint32_t low(uint32_t reg, unsigned width) { return reg & ((1u << width) - 1); }
uint32_t high(uint32_t reg, unsigned width) { return (reg >> 16) & ((1u << width) - 1); }

bool is_opening(const Access &a) { return a == W(0xCCB0A420, 0x0033E73F); }

// The access log cut at each band's opening: [export head, 2.4 GHz, ch 40,
// ch 100, ch 160 + export tail].
std::vector<std::vector<Access>> by_band(const std::vector<Access> &log) {
    std::vector<std::vector<Access>> parts(1);
    for (const Access &a : log) {
        if (is_opening(a)) {
            parts.emplace_back();
        }
        parts.back().push_back(a);
    }
    return parts;
}

// Standard output cut the same way; every part but the first starts with
// the opening banner.
std::vector<std::string> by_band(const std::string &out) {
    std::vector<std::string> parts;
    size_t from = 0;
    for (size_t at = out.find(OPENING); at != std::string::npos; at = out.find(OPENING, at + 1)) {
        parts.push_back(out.substr(from, at - from));
        from = at;
    }
    parts.push_back(out.substr(from));
    return parts;
}

size_t count(const std::string &text, const std::string &piece) {
    size_t n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) {
        ++n;
    }
    return n;
}

bool starts_with(const std::string &s, const std::string &prefix) { return s.compare(0, prefix.size(), prefix) == 0; }
bool ends_with(const std::string &s, const std::string &suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::vector<Access> slice(const std::vector<Access> &v, size_t from, size_t n) {
    return std::vector<Access>(v.begin() + static_cast<std::ptrdiff_t>(from),
                               v.begin() + static_cast<std::ptrdiff_t>(from + n));
}

class Padpd : public recording::Connected {
protected:
    // Queues one result word per point, bands in calibration order.
    void script(const Sweeps &sweeps) {
        auto &queue = chip().scripted[IQ_RESULT];
        for (const Sweep &sweep : sweeps) {
            for (const Point &p : sweep) {
                queue.push_back(p.am << 16 | p.pm);
            }
        }
    }

    void preset_tables(uint32_t value) {
        for (const Tables &t : TABLES) {
            for (size_t r = 0; r < 13; ++r) {
                chip().memory[t.am_am[r]] = value;
                chip().memory[t.am_pm[r]] = value;
            }
        }
    }

    int32_t run(int32_t enable) {
        StdoutCapture capture;
        const auto start = std::chrono::steady_clock::now();
        const int32_t result = rf_2g_5g_padpd_cali(enable);
        elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        output = capture.take();
        return result;
    }

    // Both fields of every table register of band b, and the bits outside
    // them as preset.
    void expect_tables(size_t b, const Sweep &sweep, uint32_t preset) {
        for (size_t r = 0; r < 13; ++r) {
            SCOPED_TRACE("band " + std::to_string(b) + " register " + std::to_string(r));
            const uint32_t am = chip().memory[TABLES[b].am_am[r]];
            const uint32_t pm = chip().memory[TABLES[b].am_pm[r]];
            EXPECT_EQ(low(am, 10), expected_am_am(sweep, 2 * r));
            EXPECT_EQ(high(am, 10), expected_am_am(sweep, 2 * r + 1));
            EXPECT_EQ(am & 0xFC00FC00, preset & 0xFC00FC00);
            EXPECT_EQ(low(pm, 13), expected_am_pm(sweep, 2 * r));
            EXPECT_EQ(high(pm, 13), expected_am_pm(sweep, 2 * r + 1));
            EXPECT_EQ(pm & 0xE000E000, preset & 0xE000E000);
        }
    }

    std::string output;
    std::chrono::milliseconds elapsed{0};
};

TEST(PadpdNoLink, ReturnsMinusOneAndTouchesNothing) {
    recording::use_transport();
    recording::State &state = recording::open_state();
    state.reset();
    StdoutCapture out;
    EXPECT_EQ(rf_2g_5g_padpd_cali(1), -1);
    EXPECT_EQ(out.take(), "");
    EXPECT_TRUE(state.log.empty());
}

TEST_F(Padpd, FillsEveryTableKeepingOtherBitsAndSwitchesOn) {
    const Sweeps sweeps = standard_sweeps();
    script(sweeps);
    preset_tables(0xFFFFFFFF);
    chip().memory[GAP_AM_AM] = 0x12345678;
    chip().memory[GAP_AM_PM] = 0x9ABCDEF0;
    chip().memory[DPD_CONTROL] = 0xA5A5A5A4;

    ASSERT_EQ(run(1), 0);

    for (size_t b = 0; b < 4; ++b) {
        expect_tables(b, sweeps[b], 0xFFFFFFFF);
    }
    // Point 0 is the reference; truncation, equal and wrapped phases.
    EXPECT_EQ(chip().memory[0xCCB0AD20], 0xFC00FC00u | 0x200u | (expected_am_am(sweeps[0], 1) << 16));
    EXPECT_EQ(low(chip().memory[0xCCB0AD70], 13), 0u);
    EXPECT_EQ(low(chip().memory[0xCCB0AD30], 10), 638u);
    EXPECT_EQ(low(chip().memory[0xCCB0AD74], 13), 0u);
    EXPECT_EQ(high(chip().memory[0xCCB0AD74], 13), 8187u);
    EXPECT_EQ(low(chip().memory[0xCCB0AD9C], 13), 200u);  // point 20: 8 - 8000 + 8192
    EXPECT_NE(output.find("RG_TX_SCALE = 52, slope_ini = 3.000000, ro_am = 125, amam = 638.976000\n"
                          "round padpd_am_am = 638\n"),
              std::string::npos);

    // The words inside the 2.4 GHz tables are never accessed.
    for (const Access &a : log()) {
        EXPECT_NE(a.address, GAP_AM_AM);
        EXPECT_NE(a.address, GAP_AM_PM);
    }
    EXPECT_EQ(chip().memory[GAP_AM_AM], 0x12345678u);
    EXPECT_EQ(chip().memory[GAP_AM_PM], 0x9ABCDEF0u);

    // Each band reaches only its own table registers, each twice (even point,
    // then odd point), the AM-AM register before the AM-PM one.
    const auto parts = by_band(log());
    ASSERT_EQ(parts.size(), 5u);
    for (size_t b = 0; b < 4; ++b) {
        SCOPED_TRACE("band " + std::to_string(b));
        std::vector<uint32_t> touched;
        for (const Access &a : parts[b + 1]) {
            for (const Tables &t : TABLES) {
                if (std::count(t.am_am.begin(), t.am_am.end(), a.address) ||
                    std::count(t.am_pm.begin(), t.am_pm.end(), a.address)) {
                    touched.push_back(a.address);
                }
            }
        }
        std::vector<uint32_t> expected;
        for (size_t r = 0; r < 13; ++r) {
            for (int point = 0; point < 2; ++point) {
                for (uint32_t reg : {TABLES[b].am_am[r], TABLES[b].am_pm[r]}) {
                    expected.push_back(reg);  // read
                    expected.push_back(reg);  // write
                }
            }
        }
        EXPECT_EQ(touched, expected);
    }

    // Pre-distortion: cleared as a whole first, bit 0 set last.
    EXPECT_EQ(parts[0], (std::vector<Access>{W(DPD_CONTROL, 0), W(0xCCB0ADAC, 0x00000080),
                                             W(0xCCB0ADA8, 0x80808080)}));
    EXPECT_EQ(slice(parts[4], parts[4].size() - 4, 4),
              (std::vector<Access>{W(0xCCB0A62C, 0x9264924A), W(0xCCB0A630, 0x96DBB6CC), R(DPD_CONTROL, 0),
                                   W(DPD_CONTROL, 1)}));
    EXPECT_EQ(chip().memory[DPD_CONTROL], 1u);

    // Fixed waits: 1 ms per 2.4 GHz point; per sub-band 1 ms tuning and 10 ms
    // per point.
    EXPECT_GE(elapsed.count(), 26 * 1 + 3 * (1 + 26 * 10));
}

TEST_F(Padpd, TrafficAndLogOfEachBand) {
    const Sweeps sweeps = standard_sweeps();
    script(sweeps);
    ASSERT_EQ(run(1), 0);

    // 2.4 GHz: opening, set-up, the eleven transfers of point 0, close.
    const auto parts = by_band(log());
    ASSERT_EQ(parts.size(), 5u);
    const std::vector<Access> &g = parts[1];
    ASSERT_EQ(g.size(), 3u + 18 + 26 * 11 + 16);
    const uint32_t word0 = sweeps[0][0].am << 16 | sweeps[0][0].pm;
    EXPECT_EQ(slice(g, 0, 32),
              (std::vector<Access>{
                  W(0xCCB0A420, 0x0033E73F), W(0xCCB0A62C, 0x9264924A), W(0xCCB0A630, 0x96DBB6CC),
                  R(0xCCB0A53C, 0), W(0xCCB0A53C, 0x1CC), R(0xCCB0A810, 0), W(0xCCB0A810, 0x02000000),
                  R(0xCCB0E060, 0), W(0xCCB0E060, 0x00010000), R(0xCCB0AC44, 0), W(0xCCB0AC44, 0x02100080),
                  R(0xCCB0AC08, 0), W(0xCCB0AC08, 0x07FF0001), R(0xCCB0AC0C, 0), W(0xCCB0AC0C, 0x71),
                  R(MODE, 0), W(MODE, 0x4), R(MODE, 0x4), W(MODE, 0x104), R(MODE, 0x104), W(MODE, 0x7104),
                  R(0xCCB0AC44, 0x02100080), W(0xCCB0AC44, 0x02100008), R(0xCCB0AC0C, 0x71),
                  W(0xCCB0AC0C, 0x171), R(0xCCB0AC0C, 0x171), W(0xCCB0AC0C, 0x71), R(IQ_RESULT, word0),
                  R(0xCCB0AD20, 0), W(0xCCB0AD20, 0x200), R(0xCCB0AD70, 0), W(0xCCB0AD70, 0)}));
    const std::vector<Access> close_2g{
        R(MODE, 0x7104),           W(MODE, 0x104),        R(MODE, 0x104),           W(MODE, 0x4),
        R(MODE, 0x4),              W(MODE, 0),            R(0xCCB0A810, 0x02000000), W(0xCCB0A810, 0),
        R(0xCCB0E060, 0x10000),    W(0xCCB0E060, 0),      R(0xCCB0AC44, 0x02100080), W(0xCCB0AC44, 0x80),
        R(0xCCB0AC08, 0x07FF0001), W(0xCCB0AC08, 0x07FF0000), R(0xCCB0AC0C, 0x71),   W(0xCCB0AC0C, 0x70)};
    EXPECT_EQ(slice(g, g.size() - 16, 16), close_2g);
    // Every point sets the next scale in RG_TX_SCALE, keeping the other bits.
    std::vector<uint32_t> scales;
    for (const Access &a : slice(g, 21, 26 * 11)) {
        if (a.write && a.address == 0xCCB0AC44 && (a.value & 0xFFFFFF00) == 0x02100000) {
            scales.push_back(a.value & 0xFF);
        }
    }
    EXPECT_EQ(scales, std::vector<uint32_t>(SCALES.begin(), SCALES.end()));
    for (size_t b = 2; b <= 3; ++b) {
        EXPECT_EQ(parts[b].size(), 3u + 25 + 26 * 11 + 16);
    }
    EXPECT_EQ(parts[4].size(), 3u + 25 + 26 * 11 + 16 + 4);

    // Log: the 2.4 GHz run exactly, apart from points 1 to 25.
    const auto text = by_band(output);
    ASSERT_EQ(text.size(), 5u);
    EXPECT_EQ(text[0], "");
    const std::string head_2g =
        OPENING + LONG_RULE + "\n Varimon C 2P4G PADPD calibration...\n" + LONG_RULE + "\n" +
        "set DPD tx vga gain 0x1c0 when padpd calibration\n"
        "set DPD rx lna gain 0x0 when padpd calibration\n"
        "set DPD rx pga gain 0xc when padpd calibration\n"
        "ADR_CALIBRATION_GAIN_REGISTER1 data written is 0x1cc\n"
        "set Tx up8x to baseband signal path when RF is in calibration mode\n"
        "0xccb0a810 data written is 0x2000000\n"
        "set Rx high pass filter bypass\n"
        "0xccb0e060 data written is 0x10000\n"
        "set Tx IQ source to BB tone gen\n"
        "set Tx IQ BB tone gen to manual\n"
        "set Tx IQ BB tone gen scale to 0x1\n"
        "ADR_WIFI_IQ_CAL_TXIQ_CONTROL_REG data written is 0x2100080\n"
        "set Tx IQ BB tone gen to one tone mode\n"
        "set tone gen to 2.498779 MHz.\n"
        "0xccb0ac08 data written is 0x7ff0001\n"
        "set Rx IQ BB tone gen to sync mode\n"
        "set Rx IQ sel ADC data\n"
        "enable Rx IQ analysis function\n"
        "0xccb0ac0c data written is 0x71\n"
        "enable RG_MODE_MANUAL\n"
        "ADR_MODE_REGISTER data written is 0x4\n"
        "enable RG_MODE to MODE_CALIBRATION\n"
        "ADR_MODE_REGISTER data written is 0x104\n"
        "enable RG_CAL_INDEX to CAL_IDX_WIFI2P4G_PADPD\n"
        "ADR_MODE_REGISTER data written is 0x7104\n"
        "ro_am = 24, RG_TX_SCALE = 8\n"
        "ro_pm = 0x1f40\n"
        "slope is 3.000000, initial phase is 0x1f40\n"
        "=====\n"
        "tx scale is 0x8, am-am data is 24, am-pm is 8000\n"
        "RG_TX_SCALE = 8, slope_ini = 3.000000, ro_am = 24, amam = 512.000000\n"
        "round padpd_am_am = 512\n"
        "=====\n"
        "tx scale is 0x10, am-am data is 46, am-pm is 8010\n";
    const std::string close_2g_text =
        "enable RG_CAL_INDEX to CAL_IDX_NONE\n"
        "ADR_MODE_REGISTER data written is 0x104\n"
        "enable RG_MODE to MODE_STANDBY\n"
        "ADR_MODE_REGISTER data written is 0x4\n"
        "disable RG_MODE_MANUAL\n"
        "ADR_MODE_REGISTER data written is 0x0\n"
        "set Tx up8x to normal signal path\n"
        "0xccb0a810 data written is 0x0\n"
        "set Rx high pass filter enable\n"
        "0xccb0e060 data written is 0x0\n"
        "set Tx IQ source to normal path\n"
        "set Tx IQ BB tone gen to phy descriptor\n"
        "set Tx IQ BB tone gen scale to 1\n"
        "ADR_WIFI_IQ_CAL_TXIQ_CONTROL_REG data written is 0x80\n"
        "set Tx IQ BB tone gen to normal mode\n"
        "set tone gen to 2.498779 MHz.\n"
        "0xccb0ac08 data written is 0x7ff0000\n"
        "set Rx IQ BB tone gen to sync mode\n"
        "set Rx IQ sel ADC data\n"
        "disable Rx IQ analysis function\n"
        "0xccb0ac0c data written is 0x70\n" +
        LONG_RULE + "\n Varimon C 2P4G PADPD calibration...done\n" + LONG_RULE + "\n";
    EXPECT_TRUE(starts_with(text[1], head_2g)) << text[1].substr(0, head_2g.size());
    EXPECT_TRUE(ends_with(text[1], "round padpd_am_am = 768\n" + close_2g_text))
        << text[1].substr(text[1].size() - std::min(text[1].size(), close_2g_text.size() + 40));
    EXPECT_EQ(count(text[1], "=====\n"), 26u);
    EXPECT_EQ(count(text[1], "round padpd_am_am = "), 26u);
    EXPECT_EQ(count(text[1], "ccb0ac10 =="), 0u);

    // 5 GHz, channel 40: register values without prefix, the raw result word
    // at every point, and the idle-mode lines after this sub-band only.
    const std::string head_40 =
        OPENING + LONG_RULE + "\n Varimon C 5G channel 40 PADPD calibration...\n" + LONG_RULE + "\n" +
        "Varimon register ADR_SX_5GB_REGISTER_INT3BIT___CH_TABLE write value is 2810\n"
        "Set Varimon RF channel mapping on\n"
        "disable Tx gain manual control when padpd calibration\n"
        "set 5G DPD tx vga gain 1000000 when padpd calibration\n"
        "set 5G DPD rx lna gain 0 when padpd calibration\n"
        "set 5G DPD rx pga gain 100000 when padpd calibration\n"
        "ADR_5G_CALIBRATION_GAIN_REGISTER1 data written is 1100000\n"
        "disable 5G PA FB\n"
        "ADR_5G_TX_GAIN_PAFB_CONTROL data written is 0\n"
        "disable 5G PA FB\n"
        "ADR_5G_TX_FE_REGISTER data written is 0\n"
        "set Tx up8x to baseband signal path when RF is in calibration mode\n"
        "ccb0a810 data written is 2000000\n"
        "set Rx high pass filter bypass\n"
        "ccb0e060 data written is 10000\n"
        "set Tx IQ source to BB tone gen\n"
        "set Tx IQ BB tone gen to manual\n"
        "set Tx IQ BB tone gen scale to 1\n"
        "ADR_WIFI_IQ_CAL_TXIQ_CONTROL_REG data written is 2100080\n"
        "set Tx IQ BB tone gen to one tone mode\n"
        "set tone gen to 2.498779 MHz.\n"
        "ccb0ac08 data written is 7ff0001\n"
        "set Rx IQ BB tone gen to sync mode\n"
        "set Rx IQ sel ADC data\n"
        "enable Rx IQ analysis function\n"
        "ccb0ac0c data written is 71\n"
        "enable RG_MODE_MANUAL\n"
        "ADR_MODE_REGISTER data written is 44\n"
        "enable RG_MODE to MODE_CALIBRATION\n"
        "ADR_MODE_REGISTER data written is 144\n"
        "enable RG_CAL_INDEX to CAL_IDX_WIFI5G_PADPD\n"
        "ADR_MODE_REGISTER data written is f144\n"
        "ccb0ac10 == 200064\n"
        "slope is 4.000000, initial phase is 100\n"
        "tx scale is 8, am-am data is 32, am-pm is 100\n"
        "ccb0ac10 == 3e006b\n"
        "tx scale is 16, am-am data is 62, am-pm is 107\n";
    const std::string close_5g =
        "enable RG_CAL_INDEX to CAL_IDX_NONE\n"
        "ADR_MODE_REGISTER data written is 144\n"
        "enable RG_MODE to MODE_STANDBY\n"
        "ADR_MODE_REGISTER data written is 44\n"
        "disable RG_MODE_MANUAL\n"
        "ADR_MODE_REGISTER data written is 40\n"
        "set Tx up8x to normal signal path\n"
        "ccb0a810 data written is 0\n"
        "set Rx high pass filter enable\n"
        "ccb0e060 data written is 0\n"
        "set Tx IQ source to normal path\n"
        "set Tx IQ BB tone gen to phy descriptor\n"
        "set Tx IQ BB tone gen scale to 1\n"
        "ADR_WIFI_IQ_CAL_TXIQ_CONTROL_REG data written is 80\n"
        "set Tx IQ BB tone gen to normal mode\n"
        "set tone gen to 2.498779 MHz.\n"
        "ccb0ac08 data written is 7ff0000\n"
        "set Rx IQ BB tone gen to sync mode\n"
        "set Rx IQ sel ADC data\n"
        "disable Rx IQ analysis function\n"
        "ccb0ac0c data written is 70\n" +
        LONG_RULE + "\n Varimon C 5G PADPD calibration...done\n" + LONG_RULE + "\n";
    const std::string idle = SHORT_RULE + "\n set Varimon to idle mode...done\n" + SHORT_RULE + "\n";
    EXPECT_TRUE(starts_with(text[2], head_40)) << text[2].substr(0, head_40.size());
    EXPECT_TRUE(ends_with(text[2], close_5g + idle));
    const char *channels[] = {"40", "100", "160"};
    for (size_t b = 2; b <= 4; ++b) {
        SCOPED_TRACE(channels[b - 2]);
        EXPECT_TRUE(starts_with(text[b], OPENING + LONG_RULE + "\n Varimon C 5G channel " + channels[b - 2] +
                                             " PADPD calibration...\n"));
        EXPECT_TRUE(ends_with(text[b], b == 2 ? close_5g + idle : close_5g));
        EXPECT_EQ(count(text[b], "ccb0ac10 == "), 26u);
        EXPECT_EQ(count(text[b], "=====\n"), 0u);
        EXPECT_EQ(count(text[b], "round padpd_am_am"), 0u);
        EXPECT_EQ(count(text[b], "idle mode"), b == 2 ? 1u : 0u);
    }
}

TEST_F(Padpd, SubBandSetUpKeepsForeignBitsAndEnableZeroLeavesDpdOff) {
    script(standard_sweeps());
    // What each sub-band finds in its channel and gain registers.
    chip().scripted[CH_TABLE_5G] = {0xFFFFFFFF, 0x00000000, 0xA5A5A5A5};
    chip().scripted[GAIN_5G] = {0xFFFFFFFF, 0x00000000, 0xFFFFFFFF};
    chip().memory[PAFB_5G] = 0xFFFFFFFF;
    chip().memory[TX_FE_5G] = 0xFFFFFFFF;
    chip().memory[MODE] = 0x80000000;
    chip().memory[DPD_CONTROL] = 0xFFFFFFFF;

    ASSERT_EQ(run(0), 0);

    const auto parts = by_band(log());
    ASSERT_EQ(parts.size(), 5u);
    const uint32_t channels[] = {40, 100, 160};
    const uint32_t prior[] = {0xFFFFFFFF, 0x00000000, 0xA5A5A5A5};
    const uint32_t prior_gain[] = {0xFFFFFFFF, 0x00000000, 0xFFFFFFFF};
    std::vector<uint32_t> gains;
    for (size_t s = 0; s < 3; ++s) {
        SCOPED_TRACE("sub-band " + std::to_string(s + 1));
        const std::vector<Access> &part = parts[s + 2];
        // Set-up order: opening, channel, mode bit 6, gains, PA feedback
        // control (written without a read), front end, then as at 2.4 GHz.
        std::vector<uint32_t> written;
        for (const Access &a : part) {
            if (a.write) {
                written.push_back(a.address);
            }
        }
        ASSERT_GE(written.size(), 16u);
        EXPECT_EQ(std::vector<uint32_t>(written.begin(), written.begin() + 16),
                  (std::vector<uint32_t>{0xCCB0A420, 0xCCB0A62C, 0xCCB0A630, CH_TABLE_5G, MODE, GAIN_5G, PAFB_5G,
                                         TX_FE_5G, 0xCCB0A810, 0xCCB0E060, 0xCCB0AC44, 0xCCB0AC08, 0xCCB0AC0C, MODE,
                                         MODE, MODE}));
        ASSERT_EQ(part[3], R(CH_TABLE_5G, prior[s]));
        const uint32_t tuned = part[4].value;
        EXPECT_EQ(part[4].address, CH_TABLE_5G);
        EXPECT_EQ((tuned >> 8) & 0xFF, channels[s]);
        EXPECT_EQ(tuned & 0x10, 0x10u);
        EXPECT_EQ(tuned & ~0xFF10u, prior[s] & ~0xFF10u);
        EXPECT_EQ(part[5].address, MODE);
        EXPECT_EQ(part[6], W(MODE, part[5].value | 0x40));
        EXPECT_EQ(part[7], R(GAIN_5G, prior_gain[s]));
        gains.push_back(part[8].value);
        EXPECT_EQ(part[9], W(PAFB_5G, 0));
        EXPECT_EQ(part[10], R(TX_FE_5G, s == 0 ? 0xFFFFFFFFu : 0xFFFFEFFFu));
        EXPECT_EQ(part[11], W(TX_FE_5G, 0xFFFFEFFF));
    }
    // Gains: bits 17-29 and 0-1 cleared, TX VGA bit 24, RX PGA bit 20 (bit
    // 19 for the top sub-band), the rest kept.
    EXPECT_EQ(gains[0], 0xC111FFFCu);
    EXPECT_EQ(gains[1], 0x01100000u);
    EXPECT_EQ(gains[2], 0xC109FFFCu);
    EXPECT_EQ(gains[0] ^ gains[2], (1u << 19) | (1u << 20));

    for (const Access &a : log()) {
        EXPECT_FALSE(!a.write && a.address == PAFB_5G) << "PA feedback control is never read";
    }
    EXPECT_EQ(chip().memory[PAFB_5G], 0u);
    EXPECT_EQ(chip().memory[CH_TABLE_5G], 0xA5A5A0B5u);  // channel 160 stays
    EXPECT_EQ(chip().memory[MODE], 0x80000040u);        // bit 6 stays, mode fields back to rest

    // enable = 0: cleared first, and bit 0 stays clear.
    EXPECT_EQ(parts[0].front(), W(DPD_CONTROL, 0));
    EXPECT_EQ(slice(parts[4], parts[4].size() - 2, 2),
              (std::vector<Access>{R(DPD_CONTROL, 0), W(DPD_CONTROL, 0)}));
    EXPECT_EQ(chip().memory[DPD_CONTROL], 0u);
}

TEST_F(Padpd, EntriesBeyondTheFieldAreHeldAtMaximumWithoutSpill) {
    Sweeps sweeps = standard_sweeps();
    sweeps[0][4].am = 0;   // no amplitude at a later point (even field)
    sweeps[0][5].am = 48;  // 48*512*3/48 = 1536 (odd field)
    sweeps[2][7].am = 0;
    sweeps[3][25].am = 1;
    script(sweeps);
    preset_tables(0);

    EXPECT_EQ(run(-3), 0);  // any non-zero enable switches on

    EXPECT_EQ(chip().memory[0xCCB0AD28], 0x03FF03FFu);
    EXPECT_EQ(high(chip().memory[0xCCB0AA0C], 10), 1023u);
    EXPECT_EQ(chip().memory[0xCCB0AAB0] & 0xFC00FC00, 0u);
    EXPECT_EQ(high(chip().memory[0xCCB0AAB0], 10), 1023u);
    for (size_t b = 0; b < 4; ++b) {
        expect_tables(b, sweeps[b], 0);
    }
    EXPECT_NE(output.find("RG_TX_SCALE = 48, slope_ini = 3.000000, ro_am = 48, amam = 1536.000000\n"
                          "round padpd_am_am = 1023\n"),
              std::string::npos);
    // No amplitude: no division; the ratio is shown as unbounded.
    EXPECT_NE(output.find("RG_TX_SCALE = 40, slope_ini = 3.000000, ro_am = 0, amam = inf\n"
                          "round padpd_am_am = 1023\n"),
              std::string::npos);
    EXPECT_EQ(chip().memory[DPD_CONTROL], 1u);
}

TEST_F(Padpd, NoAmplitudeAtFirstPointOf24GHzFailsAndKeepsDpdOff) {
    Sweeps sweeps = standard_sweeps();
    sweeps[0][0].am = 0;
    script(sweeps);
    chip().memory[DPD_CONTROL] = 0xFFFFFFFF;

    EXPECT_EQ(run(1), -1);

    // Everything still ran: all four bands and the closing writes.
    const auto parts = by_band(log());
    ASSERT_EQ(parts.size(), 5u);
    EXPECT_EQ(slice(parts[4], parts[4].size() - 4, 4),
              (std::vector<Access>{W(0xCCB0A62C, 0x9264924A), W(0xCCB0A630, 0x96DBB6CC), R(DPD_CONTROL, 0),
                                   W(DPD_CONTROL, 0)}));
    EXPECT_EQ(chip().memory[DPD_CONTROL], 0u);
    // Slope 0: the reference point is held at maximum, every other entry 0.
    EXPECT_EQ(low(chip().memory[0xCCB0AD20], 10), 1023u);
    EXPECT_EQ(high(chip().memory[0xCCB0AD20], 10), 0u);
    EXPECT_EQ(chip().memory[0xCCB0AD54] & 0x03FF03FF, 0u);
    expect_tables(1, sweeps[1], 0);
}

TEST_F(Padpd, NoAmplitudeAtFirstPointOfOneSubBandFails) {
    Sweeps sweeps = standard_sweeps();
    sweeps[2][0].am = 0;  // channel 100; channel 160 after it measures well
    script(sweeps);

    EXPECT_EQ(run(1), -1);

    EXPECT_EQ(chip().memory[DPD_CONTROL], 0u);
    expect_tables(0, sweeps[0], 0);
    expect_tables(3, sweeps[3], 0);
    EXPECT_EQ(low(chip().memory[0xCCB0AA00], 10), 1023u);
}

}  // namespace
