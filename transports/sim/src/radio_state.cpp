#include "radio_state.h"

namespace xolt {

using namespace radio;

namespace {

constexpr double BAND_2G_BASE_MHZ = 2407.0;
constexpr std::uint32_t CHANNEL_14 = 14;
constexpr double CHANNEL_14_MHZ = 2484.0;  // set apart from the 5 MHz raster
constexpr double BAND_5G_BASE_MHZ = 5000.0;
constexpr double CHANNEL_SPACING_MHZ = 5.0;

}  // namespace

std::optional<double> carrier_mhz(const Tuning &tuning) {
    switch (tuning.band) {
    case Band::GHZ_2P4:
        return tuning.channel == CHANNEL_14 ? CHANNEL_14_MHZ
                                            : BAND_2G_BASE_MHZ + CHANNEL_SPACING_MHZ * tuning.channel;
    case Band::GHZ_5:
        return BAND_5G_BASE_MHZ + CHANNEL_SPACING_MHZ * tuning.channel;
    case Band::UNTUNED:
        break;
    }
    return std::nullopt;
}

RadioState::RadioState(const RegisterFile &registers) : registers_(registers) {}

std::uint32_t RadioState::read(std::uint32_t address) { return registers_.get(address); }

void RadioState::write(std::uint32_t, std::uint32_t) {}

void RadioState::observe(std::uint32_t address, std::uint32_t value) {
    // A channel register written with channel 0 (the crystal selection
    // rewrites the 2.4 GHz word whole) does not tune the synthesizer.
    if (address == ADR_SX_2G_CHANNEL && RG_2G_CHANNEL.get(value) != 0) {
        tuning_ = Tuning{Band::GHZ_2P4, RG_2G_CHANNEL.get(value)};
    } else if (address == ADR_SX_5GB_REGISTER_INT3BIT___CH_TABLE && RG_5G_CHANNEL.get(value) != 0) {
        tuning_ = Tuning{Band::GHZ_5, RG_5G_CHANNEL.get(value)};
    }
}

std::uint32_t RadioState::mode() const { return RG_MODE.get(registers_.get(ADR_MODE_REGISTER)); }

std::uint32_t RadioState::cal_index() const { return RG_CAL_INDEX.get(registers_.get(ADR_MODE_REGISTER)); }

bool RadioState::on_air() const {
    const std::uint32_t m = mode();
    return (m == MODE_TX_2G || m == MODE_TX_5G) && RG_PKTGEN_TX_ON.get(registers_.get(ADR_PKTGEN_CONTROL)) != 0;
}

bool RadioState::receiving() const {
    const std::uint32_t m = mode();
    return m == MODE_RX_2G || m == MODE_RX_5G;
}

std::uint32_t RadioState::rate_word() const { return registers_.get(ADR_TX_RATE); }

std::uint32_t RadioState::freq_offset_trim() const { return RG_FREQ_OFFSET_LOW.get(registers_.get(ADR_FREQ_OFFSET)); }

std::uint32_t RadioState::channel_5g() const {
    return RG_5G_CHANNEL.get(registers_.get(ADR_SX_5GB_REGISTER_INT3BIT___CH_TABLE));
}

}  // namespace xolt
