// A recording stand-in for the library: logs every call in order (register
// accesses with their address and value) and answers from a register memory
// and a small model of the eFuse records.
#pragma once

#include "deve/rf_api.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace fake {

// How calls appear in the log.
std::string W(std::uint32_t address, std::uint32_t value);  // "xolt_write_reg(0xCCB0ADAC, 0x00100098)"
std::string R(std::uint32_t address);                       // "xolt_read_reg(0xCCB0A400)"

class RecordingApi final : public deve::RfApi {
public:
    std::vector<std::string> calls;
    // Register memory: reads answer from it (0 when unset), writes update it.
    std::map<std::uint32_t, std::uint32_t> registers;
    // Results by export name, where a test wants one other than the model's
    // ("xolt_read_reg" -1: every register read fails, as over a dead link).
    std::map<std::string, std::int32_t> results;
    // Run on every call as it is logged (to look at the caller meanwhile).
    std::function<void(const std::string &call)> on_call;

    // eFuse model: header word, records by type (absent = never written),
    // free bits.
    std::uint32_t chip_id = 0;
    std::optional<std::array<std::uint8_t, 6>> mac;
    std::map<std::string, std::pair<std::uint8_t, std::uint8_t>> pairs;  // by record: "tx_power1", ...
    std::optional<std::uint8_t> xtal;
    std::int32_t free_bits = 224;

    // Why the transport refused the open, as it tells it.
    std::optional<deve::OpenRefusal> refusal;
    // What transport_failure() tells after a failed rf_init.
    std::string load_failure;

    // Counters of the test modes.
    std::uint32_t tx_count = 0;
    std::uint32_t rx_errors = 0;
    std::uint32_t rx_total = 0;

    // The fuse words the eFuse controller reports, with its read cycles
    // completing (the stand-in's writes do not change them).
    void set_fuses(const std::array<std::uint32_t, 8> &words);

    // Calls logged since the last clear, and clearing.
    std::vector<std::string> take();
    // The calls whose text starts with a prefix.
    std::vector<std::string> named(const std::string &prefix) const;

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
    std::int32_t rf_efuse_read_chip_id(std::uint32_t *id) override;
    std::int32_t rf_efuse_write_mac(std::uint8_t *bytes) override;
    std::int32_t rf_efuse_read_mac(std::uint8_t *bytes) override;
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
    std::optional<deve::OpenRefusal> open_refusal() override;
    std::string transport_failure() override { return load_failure; }

private:
    std::int32_t log(const std::string &call, std::int32_t model_result = 0);
    std::int32_t write_pair(const std::string &record, std::int32_t high, std::int32_t low);
    std::int32_t read_pair(const std::string &record, std::uint8_t *high, std::uint8_t *low);
    bool take_space(std::int32_t bits);
};

}  // namespace fake
