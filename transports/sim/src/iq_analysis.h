// The RX IQ analysis block of the calibration loop. With the engine in
// MODE_CALIBRATION at a PADPD index (7 for 2.4 GHz, 15 for 5 GHz, whose
// sub-band follows the channel table), the tone generator in one-tone mode
// and selected as the TX IQ source, and the analysis enabled, each rising
// edge of the trigger bit (bit 8 of 0xCCB0AC0C) measures the looped-back tone:
// amplitude (ro_am, bits 16-24) and phase (ro_pm, bits 0-12) of the power
// amplifier's output at the drive RG_TX_SCALE, plus a little measurement
// noise. The result register holds the measurement until the next trigger; a
// trigger under any other condition measures no signal (0).
#pragma once

#include "chip_model.h"
#include "noise_source.h"
#include "radio_state.h"
#include "settings.h"

#include <cstdint>

namespace xolt {

class IqAnalysis : public Block {
public:
    IqAnalysis(const BoardSettings &settings, const RegisterFile &registers, const RadioState &radio);

    bool owns(std::uint32_t address) const override { return address == varimon::ADR_RX_IQ_ANALYSIS_RESULT; }
    std::uint32_t read(std::uint32_t address) override;
    void write(std::uint32_t address, std::uint32_t value) override;
    void observe(std::uint32_t address, std::uint32_t value) override;

private:
    bool tone_looped_back() const;
    std::uint32_t measure();

    const RegisterFile &registers_;
    const RadioState &radio_;
    NoiseSource noise_;
    bool trigger_ = false;
    std::uint32_t result_ = 0;
};

}  // namespace xolt
