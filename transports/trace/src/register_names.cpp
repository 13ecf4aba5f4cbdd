// Register names for the traces, from the chip's register map: a table of
// the named addresses, and the eFuse data words by their index.
#include "xolt_trace/trace_format.h"

#include "varimon/chip_registers.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

namespace xolt_trace {

namespace {

using namespace varimon;

#define NAMED(adr) std::pair<std::uint32_t, const char *>{adr, #adr}

constexpr std::array kNamed{
    NAMED(ADR_MODE_REGISTER),
    NAMED(ADR_SX_CONTROL),
    NAMED(ADR_SX_2G_CHANNEL),
    NAMED(ADR_SX_5GB_REGISTER_INT3BIT___CH_TABLE),
    NAMED(ADR_TEMP_SENSOR_CONTROL),
    NAMED(ADR_TEMP_SENSOR_READING),
    NAMED(ADR_RF_SETUP_A62C),
    NAMED(ADR_RF_SETUP_A630),
    NAMED(ADR_DAC_GAIN_5G),
    NAMED(ADR_DAC_GAIN_2G),
    NAMED(ADR_11B_GAIN),
    NAMED(ADR_DPD_CONTROL),
    NAMED(ADR_DPD_AM_AM_2G),
    NAMED(ADR_DPD_AM_PM_2G),
    NAMED(ADR_DPD_AM_AM_5G_CH40),
    NAMED(ADR_DPD_AM_PM_5G_CH40),
    NAMED(ADR_DPD_AM_AM_5G_CH100),
    NAMED(ADR_DPD_AM_PM_5G_CH100),
    NAMED(ADR_DPD_AM_AM_5G_CH160),
    NAMED(ADR_DPD_AM_PM_5G_CH160),
    NAMED(ADR_TONE_GEN),
    NAMED(ADR_RX_IQ_ANALYSIS_CONTROL),
    NAMED(ADR_RX_IQ_ANALYSIS_RESULT),
    NAMED(ADR_WIFI_IQ_CAL_TXIQ_CONTROL_REG),
    NAMED(ADR_FREQ_OFFSET),
    NAMED(ADR_PMU_CONTROL),
    NAMED(ADR_PHY_BANDWIDTH),
    NAMED(ADR_TX_RATE),
    NAMED(ADR_PKTGEN_CONTROL),
    NAMED(ADR_PKTGEN_COUNT_LIMIT),
    NAMED(ADR_PKTGEN_FRAME),
    NAMED(ADR_TX_COUNT_11B),
    NAMED(ADR_TX_COUNT_OFDM),
    NAMED(ADR_RX_11B_ERRORS),
    NAMED(ADR_RX_11B_TOTAL),
    NAMED(ADR_RX_11B_CONTROL),
    NAMED(ADR_RX_OFDM_ERRORS),
    NAMED(ADR_RX_OFDM_TOTAL),
    NAMED(ADR_RX_OFDM_CONTROL),
    NAMED(ADR_CHIP_REVISION),
    NAMED(ADR_EFUSE_STATUS),
    NAMED(ADR_EFUSE_PROGRAM_STROBE),
    NAMED(ADR_EFUSE_READ_STROBE),
    NAMED(ADR_EFUSE_PROGRAM_ENABLE),
};

#undef NAMED

}  // namespace

std::string register_name(std::uint32_t address) {
    const auto named = std::find_if(kNamed.begin(), kNamed.end(), [address](const auto &n) { return n.first == address; });
    if (named != kNamed.end()) {
        return named->second;
    }
    if (address >= ADR_EFUSE_DATA0 && address < ADR_EFUSE_DATA0 + 4 * EFUSE_DATA_WORDS && address % 4 == 0) {
        const std::uint32_t index = (address - ADR_EFUSE_DATA0) / 4;
        return "ADR_EFUSE_DATA0[" + std::to_string(index) + "]";
    }
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", address);
    return text;
}

}  // namespace xolt_trace
