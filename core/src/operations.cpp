#include "deve/operations.h"

#include "deve/registers.h"
#include "deve/tables.h"
#include "deve/text.h"

namespace deve {

namespace {

constexpr std::int32_t kPadpdOn = 1;

std::uint32_t read(RfApi &api, std::uint32_t address) {
    std::uint32_t value = 0;
    api.xolt_read_reg(address, &value);
    return value;
}

// Restarts a receive counter block once its total passes kRxResetAbove.
bool restart_above_limit(RfApi &api, int mode, std::uint32_t total) {
    if (total <= kRxResetAbove) {
        return false;
    }
    api.rf_rxpkt_reset(mode);
    return true;
}

}  // namespace

std::uint32_t register_read(RfApi &api, std::uint32_t address) { return read(api, address); }

std::optional<std::uint32_t> checked_register_read(RfApi &api, std::uint32_t address) {
    std::uint32_t value = 0;
    if (api.xolt_read_reg(address, &value) != 0) {
        return std::nullopt;
    }
    return value;
}

void register_write(RfApi &api, std::uint32_t address, std::uint32_t value) { api.xolt_write_reg(address, value); }

bool checked_register_write(RfApi &api, std::uint32_t address, std::uint32_t value) {
    return api.xolt_write_reg(address, value) == 0;
}

void choose_channel(RfApi &api, int band, int position) { api.rf_set_ch(channel_number(band, position)); }

void choose_mode(RfApi &api, int mode) {
    if (mode == kModeHt20) {
        api.rf_rate(kHt20TopRate);
    }
}

bool choose_rate(RfApi &api, std::string_view label) {
    const std::optional<std::uint32_t> code = rate_code(label);
    if (!code) {
        return false;
    }
    api.rf_rate(*code);
    return true;
}

void choose_rf_gain(RfApi &api, int band, int position) { api.rf_gain(band, position); }

void choose_dac(RfApi &api, int band, int position) {
    const std::uint32_t code = dac_code_for_position(position);
    if (band == kBand2G) {
        api.xolt_write_reg(reg::ADR_DAC_GAIN_2G, reg::RG_DAC_GAIN_2G_ENABLE.mask() | code);
    } else {
        api.xolt_write_reg(reg::ADR_DAC_GAIN_5G, code * reg::kEveryByte);
    }
}

void choose_brate_gain(RfApi &api, int position) { api.rf_brate_gain(static_cast<std::uint32_t>(position)); }

bool tx_on(RfApi &api, int band, std::uint32_t pit, std::uint32_t offset) {
    const bool access_code = offset == kEngineeringAccessCode;
    if (!access_code) {
        api.rf_freq_offset(static_cast<std::int32_t>(offset));
    }
    api.rf_tx_stop();
    api.rf_tx_start(band, pit);
    return access_code;
}

void tx_off(RfApi &api) { api.rf_tx_stop(); }

void rx_on(RfApi &api, int band, int mode, std::uint32_t offset) {
    api.rf_freq_offset(static_cast<std::int32_t>(offset));
    api.xolt_write_reg(reg::ADR_PKTGEN_FRAME, reg::kTxFrameControlStart);
    api.rf_rx_start(band, mode);
}

void rx_off(RfApi &api) { api.rf_rx_stop(); }

std::string read_tx_count(RfApi &api, int mode) {
    std::uint32_t count = 0;
    api.tx_packet(mode, &count);
    return unsigned_decimal(count);
}

RxCounts read_rx_counts(RfApi &api, int mode) {
    std::uint32_t errors = 0;
    std::uint32_t total = 0;
    api.rf_rxpkt(mode, &errors, &total);
    RxCounts out;
    out.errors = decimal(static_cast<std::int32_t>(errors));
    out.total = decimal(static_cast<std::int32_t>(total));
    out.per = packet_error_rate(errors, total);
    out.reset = restart_above_limit(api, mode, total);
    return out;
}

std::optional<std::uint32_t> checked_tx_count(RfApi &api, int mode) {
    return checked_register_read(api, mode == kMode11b ? reg::ADR_TX_COUNT_11B : reg::ADR_TX_COUNT_OFDM);
}

std::optional<RxReading> checked_rx_counts(RfApi &api, int mode) {
    const bool cck = mode == kMode11b;
    const std::optional<std::uint32_t> errors =
        checked_register_read(api, cck ? reg::ADR_RX_11B_ERRORS : reg::ADR_RX_OFDM_ERRORS);
    const std::optional<std::uint32_t> total =
        checked_register_read(api, cck ? reg::ADR_RX_11B_TOTAL : reg::ADR_RX_OFDM_TOTAL);
    if (!errors || !total) {
        return std::nullopt;
    }
    RxReading out;
    out.errors = *errors & reg::kRxCountMask;
    out.total = *total & reg::kRxCountMask;
    out.reset = restart_above_limit(api, mode, out.total);
    return out;
}

std::string toggle_predistortion(RfApi &api) {
    std::string status;
    if (read(api, reg::ADR_DPD_CONTROL) != 0) {
        api.xolt_write_reg(reg::ADR_DPD_CONTROL, 0);
        status = "DPD OFF";
    } else {
        api.rf_tx_stop();
        api.rf_calibration();
        api.rf_tx_stop();
        status = api.rf_2g_5g_padpd_cali(kPadpdOn) == 0 ? "DPD ON" : "DPD Fail";
    }
    api.rf_tx_stop();
    return status;
}

std::uint32_t read_sensor_code(RfApi &api) { return checked_sensor_code(api).value_or(0); }

std::optional<std::uint32_t> checked_sensor_code(RfApi &api) {
    const std::optional<std::uint32_t> control = checked_register_read(api, reg::ADR_SX_CONTROL);
    const std::optional<std::uint32_t> supply = control ? checked_register_read(api, reg::ADR_TEMP_SENSOR_CONTROL)
                                                        : std::nullopt;
    if (!supply) {
        return std::nullopt;
    }
    bool answered = checked_register_write(api, reg::ADR_TEMP_SENSOR_CONTROL, *supply | reg::RG_TEMP_SENSOR_ON.mask());
    answered &= checked_register_write(api, reg::ADR_SX_CONTROL, *control | reg::RG_SX_TEMP_SENSOR_ON.mask());
    const std::optional<std::uint32_t> result = checked_register_read(api, reg::ADR_TEMP_SENSOR_READING);
    // Powered down whatever the reading gave.
    answered &= checked_register_write(api, reg::ADR_TEMP_SENSOR_CONTROL, *supply & reg::RG_TEMP_SENSOR_ON.keep());
    answered &= checked_register_write(api, reg::ADR_SX_CONTROL, *control & reg::RG_SX_TEMP_SENSOR_ON.keep());
    if (!answered || !result) {
        return std::nullopt;
    }
    return reg::RG_TEMP_CODE.get(*result);
}

void write_a62c(RfApi &api, std::uint32_t value) { api.xolt_write_reg(reg::ADR_RF_SETUP_A62C, value); }

void write_a630(RfApi &api, std::uint32_t value) { api.xolt_write_reg(reg::ADR_RF_SETUP_A630, value); }

}  // namespace deve
