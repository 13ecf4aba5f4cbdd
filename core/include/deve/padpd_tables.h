// The pre-distortion tables as the calibration leaves them in the chip: the
// AM-AM and AM-PM tables of the 2.4 GHz band and of the three 5 GHz
// sub-bands, read back register by register and turned into curves against
// the transmit scale of each point.
//
// Each table holds 26 entries, two per register in 13 registers: the even
// point in the low field, the odd point in the high field. An AM-AM entry is
// a 10-bit gain in units of 1/512 (512 = unity); an AM-PM entry a 13-bit
// phase offset modulo 8192, one full turn.
#pragma once

#include "deve/open_sequence.h"
#include "deve/rf_api.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace deve {

constexpr std::size_t kPadpdPoints = 26;
constexpr std::size_t kPadpdTableRegisters = kPadpdPoints / 2;

// RG_TX_SCALE of sweep point i: 8, 16, ... 48 in steps of 8, then 52, 56,
// ... 128 in steps of 4.
constexpr unsigned padpd_scale(std::size_t i) {
    return i < 6 ? static_cast<unsigned>(8 * (i + 1)) : static_cast<unsigned>(4 * i + 28);
}

// The tables of one band: the first register of each, and whether one word
// between the third and fourth register is left out (2.4 GHz).
struct PadpdBandTables {
    const char *name;           // shown as the curve's name
    unsigned channel;           // the 5 GHz sub-band's calibration channel; 0 for 2.4 GHz
    std::uint32_t am_am_first;  // register of points 0 and 1
    std::uint32_t am_pm_first;
    bool gap_after_third;
};
extern const std::array<PadpdBandTables, 4> kPadpdBands;

// Register r (0 to 12) of a table that starts at `first`.
std::uint32_t padpd_table_register(std::uint32_t first, bool gap_after_third, std::size_t r);

// Unity gain of the AM-AM table, and one turn of the AM-PM table.
constexpr unsigned kAmAmUnity = 512;
constexpr unsigned kAmPmTurn = 8192;

// AM-AM entry as a gain relative to 512 (1.0 = unity).
double padpd_gain(unsigned am_am);
// AM-PM entry as a phase offset in degrees, from -180 up to 180: entries of
// half a turn and more are offsets below the first point's phase.
double padpd_phase_degrees(unsigned am_pm);

struct PadpdPoint {
    unsigned scale = 0;  // RG_TX_SCALE
    unsigned am_am = 0;  // table entries as read
    unsigned am_pm = 0;
    double gain = 0;     // am_am / 512
    double phase = 0;    // degrees
};

struct PadpdCurve {
    std::string band;
    std::vector<PadpdPoint> points;  // 26, in sweep order
};

// Reads the 13 AM-AM and then the 13 AM-PM registers of each band, bands in
// calibration order (2.4 GHz, channel 40, 100, 160).
std::vector<PadpdCurve> read_padpd_curves(RfApi &api);

// Whether OPEN ran the pre-distortion calibration: every chip but the two
// variants does (an unreadable identifier reads as 0, which calibrates).
bool open_calibrated_predistortion(const OpenOutcome &outcome);
// Whether "DPD ON/OFF" calibrated, from the status it showed: it calibrates
// unless it switched pre-distortion off ("DPD OFF").
bool dpd_toggle_calibrated(const std::string &status);

}  // namespace deve
