#include "iq_analysis.h"

#include "pa_model.h"
#include "radio_registers.h"

#include <algorithm>
#include <cmath>

namespace xolt {

using namespace radio;

namespace {

// Tone generator (ADR_TONE_GEN).
constexpr Field RG_TONE_MODE{0, 2};
constexpr std::uint32_t TONE_MODE_ONE_TONE = 1;

// RX IQ analysis control (ADR_RX_IQ_ANALYSIS_CONTROL).
constexpr Field RG_RX_IQ_ANALYSIS_ENABLE{0, 1};

// TX IQ control (ADR_WIFI_IQ_CAL_TXIQ_CONTROL_REG): the TX IQ source.
constexpr Field RG_TX_IQ_SOURCE{24, 2};
constexpr std::uint32_t TX_IQ_SOURCE_TONE_GENERATOR = 2;

// The result's phase field (RO_PM) in steps of a turn.
constexpr double PHASE_STEPS = 8192.0;

// Measurement noise, standard deviation in result units.
constexpr double AMPLITUDE_NOISE = 0.3;
constexpr double PHASE_NOISE = 1.5;

}  // namespace

IqAnalysis::IqAnalysis(const BoardSettings &settings, const RegisterFile &registers, const RadioState &radio)
    : registers_(registers), radio_(radio), noise_(settings.noise_seed, NoiseStream::IQ_MEASUREMENT) {}

std::uint32_t IqAnalysis::read(std::uint32_t) { return result_; }

void IqAnalysis::write(std::uint32_t, std::uint32_t) {
    // The result register is read only.
}

void IqAnalysis::observe(std::uint32_t address, std::uint32_t value) {
    if (address != ADR_RX_IQ_ANALYSIS_CONTROL) {
        return;
    }
    const bool trigger = RG_RX_IQ_TRIGGER.get(value) != 0;
    if (trigger && !trigger_) {
        result_ = measure();
    }
    trigger_ = trigger;
}

bool IqAnalysis::tone_looped_back() const {
    const std::uint32_t index = radio_.cal_index();
    const std::uint32_t txiq = registers_.get(ADR_WIFI_IQ_CAL_TXIQ_CONTROL_REG);
    return radio_.mode() == MODE_CALIBRATION &&
           (index == CAL_IDX_WIFI2P4G_PADPD || index == CAL_IDX_WIFI5G_PADPD) &&
           RG_TONE_MODE.get(registers_.get(ADR_TONE_GEN)) == TONE_MODE_ONE_TONE &&
           RG_TX_IQ_SOURCE.get(txiq) == TX_IQ_SOURCE_TONE_GENERATOR &&
           RG_RX_IQ_ANALYSIS_ENABLE.get(registers_.get(ADR_RX_IQ_ANALYSIS_CONTROL)) != 0;
}

std::uint32_t IqAnalysis::measure() {
    if (!tone_looped_back()) {
        return 0;
    }
    const PaParameters &pa =
        radio_.cal_index() == CAL_IDX_WIFI2P4G_PADPD ? pa_2g() : pa_5g(radio_.channel_5g());
    const double drive = RG_TX_SCALE.get(registers_.get(ADR_WIFI_IQ_CAL_TXIQ_CONTROL_REG));
    const double amplitude = std::round(pa_amplitude(pa, drive) + AMPLITUDE_NOISE * noise_.gaussian());
    const double phase = std::round(pa_phase(pa, drive) + PHASE_NOISE * noise_.gaussian());
    const double max_amplitude = static_cast<double>(RO_AM.mask() >> RO_AM.low);
    const auto am = static_cast<std::uint32_t>(std::clamp(amplitude, 0.0, max_amplitude));
    const auto pm = static_cast<std::uint32_t>(phase - PHASE_STEPS * std::floor(phase / PHASE_STEPS));
    return RO_AM.prep(am) | RO_PM.prep(pm);
}

}  // namespace xolt
