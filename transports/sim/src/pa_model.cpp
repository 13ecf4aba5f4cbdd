#include "pa_model.h"

#include <array>
#include <cmath>

namespace xolt {

namespace {

constexpr std::uint32_t FIRST_5G_CHANNEL = 15;
constexpr double FULL_DRIVE = 128.0;

struct SubBand {
    std::uint32_t first_channel;
    PaParameters pa;
};

// Compression at full drive is about 2 dB in every band; the small-signal
// output at drive 8 lies between 22 and 29.
constexpr SubBand PA_2G = {0, {3.6, 560.0, 1.0, 1000.0, 300.0}};
constexpr std::array<SubBand, 3> PA_5G = {{
    {FIRST_5G_CHANNEL, {3.2, 470.0, 1.1, 2600.0, 420.0}},
    {100, {3.0, 430.0, 1.2, 5100.0, 520.0}},
    {149, {2.8, 380.0, 1.3, 7950.0, 600.0}},  // the phase passes 8192 and wraps
}};

}  // namespace

const PaParameters &pa_2g() { return PA_2G.pa; }

const PaParameters &pa_5g(std::uint32_t channel) {
    const PaParameters *pa = &PA_5G.front().pa;
    for (const SubBand &band : PA_5G) {
        if (channel >= band.first_channel) {
            pa = &band.pa;
        }
    }
    return *pa;
}

const PaParameters &pa_for_channel(std::uint32_t channel) {
    return channel < FIRST_5G_CHANNEL ? pa_2g() : pa_5g(channel);
}

double pa_amplitude(const PaParameters &pa, double drive) {
    const double linear = pa.gain * drive;
    const double knee = 2.0 * pa.smoothness;
    return linear / std::pow(1.0 + std::pow(std::fabs(linear) / pa.saturation, knee), 1.0 / knee);
}

double pa_phase(const PaParameters &pa, double drive) {
    const double relative = drive / FULL_DRIVE;
    return pa.phase0 + pa.phase_rise * relative * relative;
}

}  // namespace xolt
