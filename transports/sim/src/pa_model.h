// The transmitter's power amplifier as the calibration loop sees it: a
// compressive amplifier after the Rapp model,
//   amplitude(s) = g*s / (1 + (g*s / Asat)^(2p))^(1 / (2p)),
// with drive s the tone generator's RG_TX_SCALE and the amplitude in the
// units of the RX IQ analysis (ro_am), and an AM-PM shift that grows with
// the square of the drive,
//   phase(s) = phi0 + k * (s / 128)^2, in units of 2*pi/8192.
// Each band has its own amplifier: 2.4 GHz, and three 5 GHz sub-bands.
#pragma once

#include <cstdint>

namespace xolt {

struct PaParameters {
    double gain;        // small-signal gain g
    double saturation;  // output saturation Asat
    double smoothness;  // Rapp knee p
    double phase0;      // phase at small drive, 2*pi/8192 units
    double phase_rise;  // AM-PM shift at full drive (s = 128)
};

// The amplifier of a channel: channels below 15 are 2.4 GHz; 5 GHz channels
// below 100, 100 to 148, and from 149 up form the three 5 GHz sub-bands.
const PaParameters &pa_for_channel(std::uint32_t channel);
// The 2.4 GHz amplifier, and the 5 GHz one of a 5 GHz channel (a channel
// table holding no channel counts as the lowest sub-band).
const PaParameters &pa_2g();
const PaParameters &pa_5g(std::uint32_t channel);

double pa_amplitude(const PaParameters &pa, double drive);
// Not wrapped: the caller reduces it modulo 8192.
double pa_phase(const PaParameters &pa, double drive);

}  // namespace xolt
