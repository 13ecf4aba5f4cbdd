// Power-amplifier digital pre-distortion (PADPD): measures the transmitter's
// gain compression (AM-AM) and phase shift (AM-PM) in a closed loop inside
// the chip and loads the two lookup tables of the 2.4 GHz band and of each of
// the three 5 GHz sub-bands, then switches pre-distortion on or off.
//
// The baseband tone generator drives the transmit path with one tone, the
// calibration loop feeds it back to the receiver and the RX IQ analysis block
// reports its amplitude and phase. The transmit scale steps through 26
// points; each point gives one AM-AM and one AM-PM table entry.
//
// Both bands run the same opening, set-up, measurement loop, table write and
// close; everything that differs between them (set-up steps, tables, waits,
// the form of the log lines) lives in a band description.
#include "bus.h"
#include "registers.h"
#include "velmo/velmo.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <limits>

namespace velmo {

namespace {

// ---- Registers -------------------------------------------------------------

// Fixed RF set-up words loaded at the start of every pre-distortion run (and
// again at the end of the export), in place of what the register table loads.
constexpr std::uint32_t ADR_RF_SETUP_A420 = 0xCCB0A420;
constexpr std::uint32_t RF_SETUP_A420 = 0x0033E73F;
constexpr std::uint32_t RF_SETUP_A62C = 0x9264924A;
constexpr std::uint32_t RF_SETUP_A630 = 0x96DBB6CC;

// Calibration-engine mode register: bit 6 turns off manual TX gain control
// while the 5 GHz loop runs.
constexpr Field RG_TX_GAIN_MANUAL_OFF{6, 1};

// 2.4 GHz calibration-loop gains (bits 0-12), as they sit in the register.
constexpr std::uint32_t ADR_CALIBRATION_GAIN_REGISTER1 = 0xCCB0A53C;
constexpr std::uint32_t DPD_TX_VGA_GAIN_2G = 0x1C0;
constexpr std::uint32_t DPD_RX_LNA_GAIN_2G = 0x0;
constexpr std::uint32_t DPD_RX_PGA_GAIN_2G = 0xC;

// 5 GHz calibration-loop gains (ADR_5G_CALIBRATION_GAIN_REGISTER1, bits
// 17-29): TX VGA bit 24, RX PGA bit 20 (bit 19 for the highest sub-band).
constexpr std::uint32_t DPD_TX_VGA_GAIN_5G = 0x1000000;
constexpr std::uint32_t DPD_RX_LNA_GAIN_5G = 0x0;
constexpr std::uint32_t DPD_RX_PGA_GAIN_5G = 0x100000;
constexpr std::uint32_t DPD_RX_PGA_GAIN_5G_HIGH = 0x80000;

// 5 GHz transmit front end: bit 12 is the PA feedback path.
constexpr std::uint32_t ADR_5G_TX_FE_REGISTER = 0xCCB0A560;
constexpr Field RG_5G_PA_FB{12, 1};

// 5 GHz channel table: bit 4 turns the RF channel mapping on.
constexpr Field RG_RF_CHANNEL_MAP_ON{4, 1};


// RX high-pass filter: 1 = bypassed.
constexpr std::uint32_t ADR_RX_HPF_CONTROL = 0xCCB0E060;
constexpr Field RG_RX_HPF_BYPASS{16, 1};

// Baseband tone generator (ADR_TONE_GEN): the frequency word.
constexpr std::uint32_t TONE_FREQUENCY_WORD = 0x07FF;
// The tone the log lines name: the frequency word at an 80 MHz clock over
// 2^16, 2.498779296875 MHz.
constexpr double TONE_MHZ = TONE_FREQUENCY_WORD * 80.0 / 65536.0;

// Table entries, two per register: AM-AM a 10-bit gain in units of 1/512,
// AM-PM a 13-bit phase offset modulo 0x2000.
constexpr Field AM_AM_EVEN{0, 10};
constexpr Field AM_AM_ODD{16, 10};
constexpr Field AM_PM_EVEN{0, 13};
constexpr Field AM_PM_ODD{16, 13};
constexpr std::uint32_t AM_AM_UNITY = 512;
constexpr std::uint32_t AM_AM_MAX = 1023;
constexpr std::uint32_t AM_PM_MODULUS = 0x2000;

// DAC gain code for 0 dB: 2.4 GHz in bits 0-7 (bit 20 clear), 5 GHz in all
// four bytes.
constexpr std::uint32_t DAC_GAIN_0DB_2G = 0x00000080;
constexpr std::uint32_t DAC_GAIN_0DB_5G = 0x80808080;

// ---- Sweep -------------------------------------------------------------------

constexpr std::size_t POINTS = 26;
constexpr std::size_t TABLE_WORDS = POINTS / 2;

// RG_TX_SCALE at each point: steps of 8 up to 48, then steps of 4 up to 128.
constexpr std::array<std::uint32_t, POINTS> SWEEP_SCALES{
    8,  16, 24, 32, 40, 48, 52, 56,  60,  64,  68,  72,  76,
    80, 84, 88, 92, 96, 100, 104, 108, 112, 116, 120, 124, 128,
};
static_assert(SWEEP_SCALES.back() == 0x80, "the sweep ends at the resting scale");

constexpr std::uint32_t POINT_WAIT_2G_MS = 1;
constexpr std::uint32_t POINT_WAIT_5G_MS = 10;
constexpr std::uint32_t CHANNEL_SETTLE_MS = 1;

using TableRegisters = std::array<std::uint32_t, TABLE_WORDS>;

// 13 consecutive registers from `first`.
constexpr TableRegisters consecutive(std::uint32_t first) {
    TableRegisters regs{};
    for (std::size_t r = 0; r < TABLE_WORDS; ++r) {
        regs[r] = first + 4u * static_cast<std::uint32_t>(r);
    }
    return regs;
}

// 2.4 GHz tables: the word after the third register of each is not part of
// the table.
constexpr TableRegisters AM_AM_2G{
    0xCCB0AD20, 0xCCB0AD24, 0xCCB0AD28, 0xCCB0AD30, 0xCCB0AD34, 0xCCB0AD38, 0xCCB0AD3C,
    0xCCB0AD40, 0xCCB0AD44, 0xCCB0AD48, 0xCCB0AD4C, 0xCCB0AD50, 0xCCB0AD54,
};
constexpr TableRegisters AM_PM_2G{
    0xCCB0AD70, 0xCCB0AD74, 0xCCB0AD78, 0xCCB0AD80, 0xCCB0AD84, 0xCCB0AD88, 0xCCB0AD8C,
    0xCCB0AD90, 0xCCB0AD94, 0xCCB0AD98, 0xCCB0AD9C, 0xCCB0ADA0, 0xCCB0ADA4,
};
static_assert(AM_AM_2G[0] == ADR_DPD_AM_AM_2G && AM_PM_2G[0] == ADR_DPD_AM_PM_2G, "2.4 GHz tables");

// ---- Steps and their log lines -------------------------------------------

const char *const SHORT_RULE = "-------------------------------------------------------\n";
const char *const LONG_RULE = "-------------------------------------------------------------\n";

// What a log line prints besides its text. Register values are printed with
// the band's hexadecimal prefix through a leading "%s".
enum class Show {
    Text,          // nothing
    Word,          // a fixed number
    Real,          // a fixed real number
    Value,         // band prefix, the register's new value
    AddressValue,  // band prefix, address, band prefix, new value
};

struct Line {
    Show show;
    const char *format;  // null marks an unused slot
    std::uint32_t word;
    double real;
};

constexpr Line text(const char *t) { return {Show::Text, t, 0, 0.0}; }
constexpr Line word(const char *f, std::uint32_t w) { return {Show::Word, f, w, 0.0}; }
constexpr Line real(const char *f, double r) { return {Show::Real, f, 0, r}; }
constexpr Line value(const char *f) { return {Show::Value, f, 0, 0.0}; }
constexpr Line address_value() { return {Show::AddressValue, "%s%x data written is %s%x\n", 0, 0.0}; }

constexpr Line mode_written() { return value("ADR_MODE_REGISTER data written is %s%x\n"); }
constexpr Line txiq_written() { return value("ADR_WIFI_IQ_CAL_TXIQ_CONTROL_REG data written is %s%x\n"); }
constexpr Line tone_line() { return real("set tone gen to %f MHz.\n", TONE_MHZ); }

enum class Access {
    Rmw,           // read, modify, write, then log
    AnnouncedRmw,  // read, modify, log the new value, then write
    Write,         // plain write of `set`, no read
};

constexpr std::size_t MAX_LINES = 4;

struct Step {
    std::uint32_t reg;
    std::uint32_t keep;
    std::uint32_t set;
    Line lines[MAX_LINES];
    Access access = Access::Rmw;
    std::uint32_t settle_ms = 0;  // sleep after the write
};

constexpr std::uint32_t ALL = 0xFFFFFFFF;

// The calibration loop's signal path and the mode register into calibration,
// the same at 2.4 and 5 GHz but for the format of the tone-scale line: up8x
// from baseband, RX high-pass bypassed, TX IQ from the tone generator at
// scale 0x80, one-tone mode, RX IQ analysis on, manual mode, calibration
// mode.
constexpr std::size_t LOOP_PATH_STEPS = 7;

constexpr std::array<Step, LOOP_PATH_STEPS> loop_path(const char *scale_line) {
    return {{
        {ADR_TX_UP8X_CONTROL, ALL, RG_TX_UP8X_BASEBAND.mask(),
         {text("set Tx up8x to baseband signal path when RF is in calibration mode\n"), address_value()}},
        {ADR_RX_HPF_CONTROL, ALL, RG_RX_HPF_BYPASS.mask(),
         {text("set Rx high pass filter bypass\n"), address_value()}},
        {ADR_WIFI_IQ_CAL_TXIQ_CONTROL_REG, 0xFEFFFF80, 0x02100080,
         {text("set Tx IQ source to BB tone gen\n"), text("set Tx IQ BB tone gen to manual\n"),
          word(scale_line, 1), txiq_written()}},
        {ADR_TONE_GEN, 0x0000FFFC, 0x07FF0001,
         {text("set Tx IQ BB tone gen to one tone mode\n"), tone_line(), address_value()}},
        {ADR_RX_IQ_ANALYSIS_CONTROL, 0xFFFFDFFF, 0x00000071,
         {text("set Rx IQ BB tone gen to sync mode\n"), text("set Rx IQ sel ADC data\n"),
          text("enable Rx IQ analysis function\n"), address_value()}},
        {ADR_MODE_REGISTER, ALL, RG_MODE_MANUAL.mask(), {text("enable RG_MODE_MANUAL\n"), mode_written()}},
        {ADR_MODE_REGISTER, 0xFFFFF9FF, RG_MODE.prep(MODE_CALIBRATION),
         {text("enable RG_MODE to MODE_CALIBRATION\n"), mode_written()}},
    }};
}

// The band's own steps before the loop path, the loop path, then the band's
// calibration index.
template <std::size_t N>
constexpr std::array<Step, N + LOOP_PATH_STEPS + 1> with_loop_path(const std::array<Step, N> &before,
                                                                     const char *scale_line, const Step &index) {
    std::array<Step, N + LOOP_PATH_STEPS + 1> steps{};
    std::size_t n = 0;
    for (const Step &step : before) {
        steps[n++] = step;
    }
    for (const Step &step : loop_path(scale_line)) {
        steps[n++] = step;
    }
    steps[n] = index;
    return steps;
}

// 2.4 GHz set-up: loop gains, the loop path, and the mode register into
// 2.4 GHz PADPD calibration.
constexpr auto SETUP_2G = with_loop_path(
    std::array<Step, 1>{{
        {ADR_CALIBRATION_GAIN_REGISTER1, 0xFFFFE1CC,
         DPD_TX_VGA_GAIN_2G | DPD_RX_LNA_GAIN_2G | DPD_RX_PGA_GAIN_2G,
         {word("set DPD tx vga gain 0x%x when padpd calibration\n", DPD_TX_VGA_GAIN_2G),
          word("set DPD rx lna gain 0x%x when padpd calibration\n", DPD_RX_LNA_GAIN_2G),
          word("set DPD rx pga gain 0x%x when padpd calibration\n", DPD_RX_PGA_GAIN_2G),
          value("ADR_CALIBRATION_GAIN_REGISTER1 data written is %s%x\n")}},
    }},
    "set Tx IQ BB tone gen scale to 0x%x\n",
    {ADR_MODE_REGISTER, 0xFFFF7FFF, RG_CAL_INDEX.prep(CAL_IDX_WIFI2P4G_PADPD),
     {text("enable RG_CAL_INDEX to CAL_IDX_WIFI2P4G_PADPD\n"), mode_written()}});

// Close: the mode register back to standby, the normal signal paths, the
// tone generator to the PHY descriptor and RX IQ analysis off.
constexpr Step CLOSE[] = {
    {ADR_MODE_REGISTER, RG_CAL_INDEX.keep(), RG_CAL_INDEX.prep(CAL_IDX_NONE),
     {text("enable RG_CAL_INDEX to CAL_IDX_NONE\n"), mode_written()}},
    {ADR_MODE_REGISTER, RG_MODE.keep(), RG_MODE.prep(MODE_STANDBY),
     {text("enable RG_MODE to MODE_STANDBY\n"), mode_written()}},
    {ADR_MODE_REGISTER, RG_MODE_MANUAL.keep(), 0, {text("disable RG_MODE_MANUAL\n"), mode_written()}},
    {ADR_TX_UP8X_CONTROL, RG_TX_UP8X_BASEBAND.keep(), 0,
     {text("set Tx up8x to normal signal path\n"), address_value()}},
    {ADR_RX_HPF_CONTROL, RG_RX_HPF_BYPASS.keep(), 0, {text("set Rx high pass filter enable\n"), address_value()}},
    {ADR_WIFI_IQ_CAL_TXIQ_CONTROL_REG, 0xFCEFFF80, 0x00000080,
     {text("set Tx IQ source to normal path\n"), text("set Tx IQ BB tone gen to phy descriptor\n"),
      word("set Tx IQ BB tone gen scale to %d\n", 1), txiq_written()}},
    {ADR_TONE_GEN, 0x0000FFFC, 0x07FF0000,
     {text("set Tx IQ BB tone gen to normal mode\n"), tone_line(), address_value()}},
    {ADR_RX_IQ_ANALYSIS_CONTROL, 0xFFFFDFFE, 0x00000070,
     {text("set Rx IQ BB tone gen to sync mode\n"), text("set Rx IQ sel ADC data\n"),
      text("disable Rx IQ analysis function\n"), address_value()}},
};

// ---- 5 GHz sub-bands -------------------------------------------------------

struct SubBand {
    std::uint32_t channel;
    std::uint32_t channel_keep;  // 5 GHz channel table
    std::uint32_t channel_set;
    std::uint32_t am_am_first;
    std::uint32_t am_pm_first;
    std::uint32_t gain_keep;  // ADR_5G_CALIBRATION_GAIN_REGISTER1
    std::uint32_t gain_set;
    std::uint32_t rx_pga_gain;  // as printed
    bool announce_idle;         // the first sub-band also reports idle mode
};

constexpr SubBand SUB_BANDS[] = {
    {40, 0xFFFF28FF, 0x00002810, ADR_DPD_AM_AM_5G_CH40, ADR_DPD_AM_PM_5G_CH40, 0xC111FFFC, 0x01100000,
     DPD_RX_PGA_GAIN_5G, true},
    {100, 0xFFFF64FF, 0x00006410, ADR_DPD_AM_AM_5G_CH100, ADR_DPD_AM_PM_5G_CH100, 0xC111FFFC, 0x01100000,
     DPD_RX_PGA_GAIN_5G, false},
    {160, 0xFFFFA0FF, 0x0000A010, ADR_DPD_AM_AM_5G_CH160, ADR_DPD_AM_PM_5G_CH160, 0xC109FFFC, 0x01080000,
     DPD_RX_PGA_GAIN_5G_HIGH, false},
};

// Each row puts its channel number in RG_5G_CHANNEL, sets the channel
// mapping bit and keeps every other bit; its gain word is TX VGA plus its
// RX PGA.
constexpr bool row_consistent(const SubBand &row) {
    const std::uint32_t tuned = RG_5G_CHANNEL.prep(row.channel) | RG_RF_CHANNEL_MAP_ON.mask();
    return row.channel_set == tuned && (row.channel_keep | RG_5G_CHANNEL.mask()) == ALL &&
           (row.channel_keep & RG_5G_CHANNEL.mask()) == RG_5G_CHANNEL.prep(row.channel) &&
           row.gain_set == (DPD_TX_VGA_GAIN_5G | DPD_RX_LNA_GAIN_5G | row.rx_pga_gain);
}
static_assert(row_consistent(SUB_BANDS[0]) && row_consistent(SUB_BANDS[1]) && row_consistent(SUB_BANDS[2]),
              "sub-band rows");

// 5 GHz set-up for one sub-band: tune the synthesizer, loop gains, PA
// feedback off, then the loop path and the 5 GHz calibration index.
constexpr auto setup_5g(const SubBand &row) {
    return with_loop_path(
        std::array<Step, 5>{{
            {ADR_SX_5GB_REGISTER_INT3BIT___CH_TABLE, row.channel_keep, row.channel_set,
             {value("Varimon register ADR_SX_5GB_REGISTER_INT3BIT___CH_TABLE write value is %s%x\n"),
              text("Set Varimon RF channel mapping on\n")},
             Access::AnnouncedRmw, CHANNEL_SETTLE_MS},
            {ADR_MODE_REGISTER, ALL, RG_TX_GAIN_MANUAL_OFF.mask(),
             {text("disable Tx gain manual control when padpd calibration\n")}},
            {ADR_5G_CALIBRATION_GAIN_REGISTER1, row.gain_keep, row.gain_set,
             {word("set 5G DPD tx vga gain %x when padpd calibration\n", DPD_TX_VGA_GAIN_5G),
              word("set 5G DPD rx lna gain %x when padpd calibration\n", DPD_RX_LNA_GAIN_5G),
              word("set 5G DPD rx pga gain %x when padpd calibration\n", row.rx_pga_gain),
              value("ADR_5G_CALIBRATION_GAIN_REGISTER1 data written is %s%x\n")}},
            {ADR_5G_TX_GAIN_PAFB_CONTROL, 0, 0,
             {text("disable 5G PA FB\n"), value("ADR_5G_TX_GAIN_PAFB_CONTROL data written is %s%x\n")},
             Access::Write},
            {ADR_5G_TX_FE_REGISTER, RG_5G_PA_FB.keep(), 0,
             {text("disable 5G PA FB\n"), value("ADR_5G_TX_FE_REGISTER data written is %s%x\n")}},
        }},
        "set Tx IQ BB tone gen scale to %d\n",
        {ADR_MODE_REGISTER, ALL, RG_CAL_INDEX.prep(CAL_IDX_WIFI5G_PADPD),
         {text("enable RG_CAL_INDEX to CAL_IDX_WIFI5G_PADPD\n"), mode_written()}});
}

// ---- Band description ------------------------------------------------------

// Measurement log lines; a null format is not printed in that band.
struct PointLog {
    const char *raw_result;       // (result word)
    const char *first_amplitude;  // (ro_am, scale), point 0
    const char *first_phase;      // (ro_pm), point 0
    const char *slope;            // (slope, ro_pm), point 0
    const char *point_rule;       // no arguments
    const char *point;            // (scale, ro_am, ro_pm)
    const char *amam;             // (scale, slope, ro_am, amam)
    const char *stored;           // (stored AM-AM entry)
};

constexpr PointLog POINT_LOG_2G{
    nullptr,
    "ro_am = %d, RG_TX_SCALE = %d\n",
    "ro_pm = 0x%x\n",
    "slope is %f, initial phase is 0x%x\n",
    "=====\n",
    "tx scale is 0x%x, am-am data is %d, am-pm is %d\n",
    "RG_TX_SCALE = %d, slope_ini = %f, ro_am = %d, amam = %f\n",
    "round padpd_am_am = %d\n",
};

constexpr PointLog POINT_LOG_5G{
    "ccb0ac10 == %x\n",
    nullptr,
    nullptr,
    "slope is %f, initial phase is %d\n",
    nullptr,
    "tx scale is %d, am-am data is %d, am-pm is %d\n",
    nullptr,
    nullptr,
};

struct Band {
    const char *title;   // banner line; may take the channel number
    std::uint32_t channel;
    const char *done;    // closing banner line
    bool announce_idle;
    const char *hex;     // prefix of printed register values
    const Step *setup;
    std::size_t setup_steps;
    std::uint32_t point_wait_ms;
    const PointLog *point_log;
    TableRegisters am_am;
    TableRegisters am_pm;
};

// ---- Shared routine --------------------------------------------------------

void print(const Line &line, const char *hex, std::uint32_t reg, std::uint32_t new_value) {
    switch (line.show) {
    case Show::Text:
        log("%s", line.format);
        break;
    case Show::Word:
        log(line.format, line.word);
        break;
    case Show::Real:
        log(line.format, line.real);
        break;
    case Show::Value:
        log(line.format, hex, new_value);
        break;
    case Show::AddressValue:
        log(line.format, hex, reg, hex, new_value);
        break;
    }
}

void print_lines(const Step &step, const char *hex, std::uint32_t new_value) {
    for (const Line &line : step.lines) {
        if (line.format != nullptr) {
            print(line, hex, step.reg, new_value);
        }
    }
}

void run_step(const Step &step, const char *hex) {
    switch (step.access) {
    case Access::Rmw:
        print_lines(step, hex, reg_rmw(step.reg, step.keep, step.set));
        break;
    case Access::AnnouncedRmw: {
        const std::uint32_t new_value = (reg_read(step.reg) & step.keep) | step.set;
        print_lines(step, hex, new_value);
        reg_write(step.reg, new_value);
        break;
    }
    case Access::Write:
        reg_write(step.reg, step.set);
        print_lines(step, hex, step.set);
        break;
    }
    if (step.settle_ms != 0) {
        sleep_ms(step.settle_ms);
    }
}

void write_entry(const TableRegisters &regs, std::size_t point, Field even, Field odd, std::uint32_t entry) {
    const Field field = point % 2 == 0 ? even : odd;
    reg_rmw(regs[point / 2], field.keep(), field.prep(entry));
}

// One band: opening, set-up, the 26-point measurement with its table writes,
// close. Returns -1 when point 0 measured no amplitude (the gain reference is
// missing, so the table is meaningless), else 0.
std::int32_t calibrate(const Band &band) {
    log("%s", SHORT_RULE);
    log(" Initialize VarimonB SoC RF Start...\n");
    log("%s", SHORT_RULE);
    reg_write(ADR_RF_SETUP_A420, RF_SETUP_A420);
    reg_write(ADR_RF_SETUP_A62C, RF_SETUP_A62C);
    reg_write(ADR_RF_SETUP_A630, RF_SETUP_A630);

    log("%s", LONG_RULE);
    log(band.title, band.channel);  // the 2.4 GHz title takes no number
    log("%s", LONG_RULE);
    for (std::size_t s = 0; s < band.setup_steps; ++s) {
        run_step(band.setup[s], band.hex);
    }

    const PointLog &out = *band.point_log;
    double slope = 0.0;
    std::uint32_t initial_phase = 0;
    std::int32_t result = 0;
    for (std::size_t i = 0; i < POINTS; ++i) {
        const std::uint32_t scale = SWEEP_SCALES[i];
        reg_rmw(ADR_WIFI_IQ_CAL_TXIQ_CONTROL_REG, RG_TX_SCALE.keep(), RG_TX_SCALE.prep(scale));
        sleep_ms(band.point_wait_ms);
        reg_rmw(ADR_RX_IQ_ANALYSIS_CONTROL, ALL, RG_RX_IQ_TRIGGER.mask());
        reg_rmw(ADR_RX_IQ_ANALYSIS_CONTROL, RG_RX_IQ_TRIGGER.keep(), 0);
        const std::uint32_t measured = reg_read(ADR_RX_IQ_ANALYSIS_RESULT);
        if (out.raw_result != nullptr) {
            log(out.raw_result, measured);
        }
        const std::uint32_t ro_am = RO_AM.get(measured);
        const std::uint32_t ro_pm = RO_PM.get(measured);

        if (i == 0) {
            slope = static_cast<double>(ro_am) / static_cast<double>(scale);
            initial_phase = ro_pm;
            if (ro_am == 0) {
                result = -1;
            }
            if (out.first_amplitude != nullptr) {
                log(out.first_amplitude, ro_am, scale);
            }
            if (out.first_phase != nullptr) {
                log(out.first_phase, ro_pm);
            }
            log(out.slope, slope, ro_pm);
        }
        if (out.point_rule != nullptr) {
            log("%s", out.point_rule);
        }
        log(out.point, scale, ro_am, ro_pm);

        // Predicted amplitude (slope x scale) over the measured one, x512.
        // An entry beyond the 10-bit field, or no measured amplitude at
        // all, is held at the field's maximum.
        double amam = std::numeric_limits<double>::infinity();
        std::uint32_t am_am = AM_AM_MAX;
        if (ro_am != 0) {
            amam = static_cast<double>(scale * AM_AM_UNITY) * slope / static_cast<double>(ro_am);
            if (amam < static_cast<double>(AM_AM_MAX)) {
                am_am = static_cast<std::uint32_t>(amam);  // truncated toward zero
            }
        }
        if (out.amam != nullptr) {
            log(out.amam, scale, slope, ro_am, amam);
        }
        if (out.stored != nullptr) {
            log(out.stored, am_am);
        }

        const std::uint32_t am_pm =
            ro_pm >= initial_phase ? ro_pm - initial_phase : ro_pm + AM_PM_MODULUS - initial_phase;

        write_entry(band.am_am, i, AM_AM_EVEN, AM_AM_ODD, am_am);
        write_entry(band.am_pm, i, AM_PM_EVEN, AM_PM_ODD, am_pm);
    }

    for (const Step &step : CLOSE) {
        run_step(step, band.hex);
    }
    log("%s", LONG_RULE);
    log("%s", band.done);
    log("%s", LONG_RULE);
    if (band.announce_idle) {
        log("%s", SHORT_RULE);
        log(" set Varimon to idle mode...done\n");
        log("%s", SHORT_RULE);
    }
    return result;
}

std::int32_t padpd_cali_2g() {
    const Band band{
        " Varimon C 2P4G PADPD calibration...\n",
        0,
        " Varimon C 2P4G PADPD calibration...done\n",
        false,
        "0x",
        SETUP_2G.data(),
        SETUP_2G.size(),
        POINT_WAIT_2G_MS,
        &POINT_LOG_2G,
        AM_AM_2G,
        AM_PM_2G,
    };
    return calibrate(band);
}

std::int32_t padpd_cali_5g(const SubBand &row) {
    const auto setup = setup_5g(row);
    const Band band{
        " Varimon C 5G channel %d PADPD calibration...\n",
        row.channel,
        " Varimon C 5G PADPD calibration...done\n",
        row.announce_idle,
        "",
        setup.data(),
        setup.size(),
        POINT_WAIT_5G_MS,
        &POINT_LOG_5G,
        consecutive(row.am_am_first),
        consecutive(row.am_pm_first),
    };
    return calibrate(band);
}

}  // namespace

}  // namespace velmo

using namespace velmo;

extern "C" {

VELMO_API int32_t rf_2g_5g_padpd_cali(int32_t enable) {
    return with_chip([&]() -> std::int32_t {
        reg_write(ADR_DPD_CONTROL, 0);  // pre-distortion off while measuring
        reg_write(ADR_DAC_GAIN_2G, DAC_GAIN_0DB_2G);
        reg_write(ADR_DAC_GAIN_5G, DAC_GAIN_0DB_5G);

        // Every band is calibrated even when an earlier one failed.
        bool measured = padpd_cali_2g() == 0;
        for (const SubBand &row : SUB_BANDS) {
            measured = (padpd_cali_5g(row) == 0) && measured;
        }

        reg_write(ADR_RF_SETUP_A62C, RF_SETUP_A62C);
        reg_write(ADR_RF_SETUP_A630, RF_SETUP_A630);
        // Tables built without an amplitude reference are never switched on.
        if (enable != 0 && measured) {
            reg_rmw(ADR_DPD_CONTROL, ALL, RG_DPD_ENABLE.mask());
        } else {
            reg_rmw(ADR_DPD_CONTROL, RG_DPD_ENABLE.keep(), 0);
        }
        return measured ? 0 : -1;
    });
}

}  // extern "C"
