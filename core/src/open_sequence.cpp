#include "deve/open_sequence.h"

#include "deve/registers.h"
#include "deve/tables.h"
#include "deve/text.h"

namespace deve {

namespace {

constexpr const char *kOpenSuccess = "Open Success";
constexpr const char *kOpenFail = "Open Fail";
constexpr const char *kCloseSuccess = "Close Success";
constexpr const char *kNoChipId = "NO Chip ID";
constexpr const char *kDefaultPit = "0";
constexpr std::uint32_t kDefaultFreqOffset = 151;
constexpr std::int32_t kPadpdOn = 1;
// rf_init's result when the transport could not be loaded, initialised or
// given its interface.
constexpr std::int32_t kTransportNotLoaded = -1;

// Gain codes of an eFuse power or 11b gain value (a 4-bit nibble).
std::uint32_t dac(std::uint8_t value) { return kDacGainCodes[value & 0xFu]; }
std::uint32_t bgain(std::uint8_t value) { return kBrateGainCodes[value & 0xFu]; }

std::uint32_t read(RfApi &api, std::uint32_t address) {
    std::uint32_t value = 0;
    api.xolt_read_reg(address, &value);
    return value;
}

}  // namespace

void apply_crystal_trim(RfApi &api, std::uint8_t trim) {
    const std::uint32_t r = read(api, reg::ADR_FREQ_OFFSET);
    api.xolt_write_reg(reg::ADR_FREQ_OFFSET, (r & reg::kFreqOffsetKeep) |
                                                 (std::uint32_t{trim} << reg::kFreqOffsetShiftLow) |
                                                 (std::uint32_t{trim} << reg::kFreqOffsetShiftHigh));
}

std::string apply_efuse_trims(RfApi &api) {
    // All five records are read before any is applied.
    std::uint8_t p1_5200 = 0, p1_2400 = 0;
    std::uint8_t p2_5800 = 0, p2_5500 = 0;
    std::uint8_t xtal = 0;
    std::uint8_t b_gain = 0, b_unused = 0;
    std::uint8_t g_unused_high = 0, g_unused_low = 0;
    const std::int32_t power1 = api.rf_efuse_read_tx_power1(&p1_5200, &p1_2400);
    const std::int32_t power2 = api.rf_efuse_read_tx_power2(&p2_5800, &p2_5500);
    const std::int32_t crystal = api.rf_efuse_read_xtal(&xtal);
    const std::int32_t rate_b = api.rf_efuse_read_rate_gain_b_n40(&b_gain, &b_unused);
    api.rf_efuse_read_rate_gain_g_n20(&g_unused_high, &g_unused_low);

    if (power1 == 0) {
        // The 2.4 GHz code goes in alone, bit 20 clear.
        api.xolt_write_reg(reg::ADR_DAC_GAIN_2G, dac(p1_2400));
        const std::uint32_t r = read(api, reg::ADR_DAC_GAIN_5G);
        api.xolt_write_reg(reg::ADR_DAC_GAIN_5G, (r & reg::kDac5200Keep) | (dac(p1_5200) << reg::kDac5200Shift));
    }
    if (power2 == 0) {
        const std::uint32_t r = read(api, reg::ADR_DAC_GAIN_5G);
        api.xolt_write_reg(reg::ADR_DAC_GAIN_5G, (r & reg::kDac5500And5800Keep) |
                                                     (dac(p2_5500) << reg::kDac5500Shift) |
                                                     (dac(p2_5800) << reg::kDac5800Shift));
    }
    std::string freq_offset = decimal(static_cast<std::int32_t>(kDefaultFreqOffset));
    if (crystal == 0) {
        freq_offset = decimal(xtal);
        apply_crystal_trim(api, xtal);
    }
    if (rate_b == 0) {
        api.xolt_write_reg(reg::ADR_11B_GAIN, reg::RG_11B_GAIN_ENABLE.mask() | bgain(b_gain));
    }
    return freq_offset;
}

std::string open_failure_reason(std::int32_t init_result, const std::optional<OpenRefusal> &refusal) {
    if (refusal) {
        switch (refusal->reason) {
        case OpenRefusal::Reason::Busy:
            return refusal->holder ? "board busy (held by process " + decimal(*refusal->holder) + ")" : "board busy";
        case OpenRefusal::Reason::Settings:
            return "the board refused its settings (a board setting in the environment is malformed or out of "
                   "range)";
        case OpenRefusal::Reason::StateFile:
            return "the board's fuse file (XOLT_FUSE_FILE) cannot be used: it is not a regular file, or cannot be "
                   "read or stored";
        }
    }
    if (init_result == kTransportNotLoaded) {
        return "the transport could not be loaded or did not initialise";
    }
    return "the transport refused to open the link (code " + decimal(init_result) + ")";
}

OpenOutcome open_link(RfApi &api, const OpenChoices &choices) {
    OpenOutcome out;
    out.init_result = api.rf_init(port_selector(choices.port));
    if (out.init_result != 0) {
        out.status = kOpenFail;
        // The library's own failure names no transport refusal to explain.
        if (out.init_result != kTransportNotLoaded) {
            out.refusal = api.open_refusal();
        }
        out.failure = open_failure_reason(out.init_result, out.refusal);
        // The library's own words when the transport file did not load.
        if (out.init_result == kTransportNotLoaded) {
            if (const std::string why = api.transport_failure(); !why.empty()) {
                out.failure = "the transport could not be loaded: " + why;
            }
        }
        return out;
    }
    out.opened = true;
    out.status = kOpenSuccess;

    api.rf_xtal_set(static_cast<std::uint32_t>(choices.crystal));
    api.rf_dcdc_onoff(static_cast<std::uint8_t>(choices.supply));
    api.rf_rate(kHt20TopRate);
    api.rf_load_register();
    if (choices.calibrate) {
        api.rf_calibration();
    }
    api.rf_sb_txpatch();
    api.rf_set_ch(kOpenChannel);
    api.xolt_write_reg(reg::ADR_DPD_CONTROL, 0);

    std::uint32_t chip_id = 0;
    if (api.rf_efuse_read_chip_id(&chip_id) == 0) {
        out.chip_id = hex(chip_id);
        out.chip_id_word = chip_id;
    } else {
        out.chip_id = kNoChipId;
    }
    if (choices.calibrate && chip_id != kChipVariant74 && chip_id != kChipVariant7C) {
        api.rf_2g_5g_padpd_cali(kPadpdOn);
    }

    out.pit = kDefaultPit;
    out.freq_offset = apply_efuse_trims(api);

    api.xolt_write_reg(reg::ADR_MODE_REGISTER, reg::kModeManualStandbyGain3);
    api.xolt_write_reg(reg::ADR_TX_PATH_E134, reg::kTxPathE134Open);
    return out;
}

std::string close_link(RfApi &api) {
    api.rf_deinit();
    return kCloseSuccess;
}

void leave_link(RfApi &api) {
    api.rf_tx_stop();
    api.rf_rx_stop();
    close_link(api);
}

}  // namespace deve
