// RfApi over the linked libvelmo: every method calls the export of its name.
#pragma once

#include "deve/rf_api.h"

namespace deve {

class VelmoApi final : public RfApi {
public:
    std::int32_t rf_init(std::int32_t selector) override;
    std::int32_t rf_deinit() override;
    std::int32_t xolt_read_reg(std::uint32_t address, std::uint32_t *value) override;
    std::int32_t xolt_write_reg(std::uint32_t address, std::uint32_t value) override;

    std::int32_t rf_set_ch(std::int32_t channel) override;
    std::int32_t rf_rate(std::uint32_t code) override;
    std::int32_t rf_xtal_set(std::uint32_t index) override;
    std::int32_t rf_gain(std::int32_t band, std::int32_t gain) override;
    std::int32_t rf_freq_offset(std::int32_t offset) override;
    std::int32_t rf_brate_gain(std::uint32_t index) override;
    std::int32_t rf_sb_txpatch() override;
    std::int32_t rf_dcdc_onoff(std::uint8_t choice) override;

    std::int32_t rf_tx_start(std::int32_t band, std::uint32_t pit) override;
    std::int32_t rf_tx_stop() override;
    std::int32_t tx_packet(std::int32_t mode, std::uint32_t *count) override;
    std::int32_t rf_rx_start(std::int32_t band, std::int32_t mode) override;
    std::int32_t rf_rx_stop() override;
    std::int32_t rf_rxpkt(std::int32_t mode, std::uint32_t *errors, std::uint32_t *total) override;
    std::int32_t rf_rxpkt_reset(std::int32_t mode) override;

    std::int32_t rf_load_register() override;
    std::int32_t rf_calibration() override;
    std::int32_t rf_2g_5g_padpd_cali(std::int32_t enable) override;

    std::int32_t rf_efuse_read_chip_id(std::uint32_t *chip_id) override;
    std::int32_t rf_efuse_write_mac(std::uint8_t *mac) override;
    std::int32_t rf_efuse_read_mac(std::uint8_t *mac) override;
    std::int32_t rf_efuse_write_tx_power1(std::int32_t high, std::int32_t low) override;
    std::int32_t rf_efuse_read_tx_power1(std::uint8_t *high, std::uint8_t *low) override;
    std::int32_t rf_efuse_write_tx_power2(std::int32_t high, std::int32_t low) override;
    std::int32_t rf_efuse_read_tx_power2(std::uint8_t *high, std::uint8_t *low) override;
    std::int32_t rf_efuse_write_xtal(std::int32_t value) override;
    std::int32_t rf_efuse_read_xtal(std::uint8_t *value) override;
    std::int32_t rf_efuse_write_rate_gain_b_n40(std::int32_t high, std::int32_t low) override;
    std::int32_t rf_efuse_read_rate_gain_b_n40(std::uint8_t *high, std::uint8_t *low) override;
    std::int32_t rf_efuse_write_rate_gain_g_n20(std::int32_t high, std::int32_t low) override;
    std::int32_t rf_efuse_read_rate_gain_g_n20(std::uint8_t *high, std::uint8_t *low) override;
    std::int32_t rf_get_efuse_free_bits() override;

    // xolt_open_refusal, looked up in the transport module the library
    // loaded (an optional entry point: a transport may lack it).
    std::optional<OpenRefusal> open_refusal() override;

    // velmo_transport_failure: why the transport did not load.
    std::string transport_failure() override;
    std::string transport_path() override;
};

}  // namespace deve
