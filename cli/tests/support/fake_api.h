// A stand-in for the library: logs the calls it gets, in order, and answers
// register reads from a register memory (0 when unset).
#pragma once

#include "deve/rf_api.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace clitest {

class FakeApi final : public deve::RfApi {
public:
    std::vector<std::string> calls;
    std::map<std::uint32_t, std::uint32_t> registers;
    int status_reads = 0;  // reads of the eFuse status register
    bool failing_reads = false;  // every register read fails, as over a dead link
    bool failing_writes = false;  // every register write fails

    std::int32_t rf_init(std::int32_t selector) override { return log("rf_init(" + std::to_string(selector) + ")"); }
    std::int32_t rf_deinit() override { return log("rf_deinit()"); }
    std::int32_t xolt_read_reg(std::uint32_t address, std::uint32_t *value) override;
    std::int32_t xolt_write_reg(std::uint32_t address, std::uint32_t value) override;
    std::int32_t rf_set_ch(std::int32_t channel) override { return log("rf_set_ch(" + std::to_string(channel) + ")"); }
    std::int32_t rf_rate(std::uint32_t code) override { return log("rf_rate(" + std::to_string(code) + ")"); }
    std::int32_t rf_xtal_set(std::uint32_t index) override { return log("rf_xtal_set(" + std::to_string(index) + ")"); }
    std::int32_t rf_gain(std::int32_t band, std::int32_t gain) override {
        return log("rf_gain(" + std::to_string(band) + ", " + std::to_string(gain) + ")");
    }
    std::int32_t rf_freq_offset(std::int32_t offset) override {
        return log("rf_freq_offset(" + std::to_string(offset) + ")");
    }
    std::int32_t rf_brate_gain(std::uint32_t index) override {
        return log("rf_brate_gain(" + std::to_string(index) + ")");
    }
    std::int32_t rf_sb_txpatch() override { return log("rf_sb_txpatch()"); }
    std::int32_t rf_dcdc_onoff(std::uint8_t choice) override {
        return log("rf_dcdc_onoff(" + std::to_string(choice) + ")");
    }
    std::int32_t rf_tx_start(std::int32_t band, std::uint32_t pit) override {
        return log("rf_tx_start(" + std::to_string(band) + ", " + std::to_string(pit) + ")");
    }
    std::int32_t rf_tx_stop() override { return log("rf_tx_stop()"); }
    std::int32_t tx_packet(std::int32_t, std::uint32_t *count) override {
        *count = 0;
        return log("tx_packet");
    }
    std::int32_t rf_rx_start(std::int32_t band, std::int32_t mode) override {
        return log("rf_rx_start(" + std::to_string(band) + ", " + std::to_string(mode) + ")");
    }
    std::int32_t rf_rx_stop() override { return log("rf_rx_stop()"); }
    std::int32_t rf_rxpkt(std::int32_t, std::uint32_t *errors, std::uint32_t *total) override {
        *errors = 0;
        *total = 0;
        return log("rf_rxpkt");
    }
    std::int32_t rf_rxpkt_reset(std::int32_t mode) override {
        return log("rf_rxpkt_reset(" + std::to_string(mode) + ")");
    }
    std::int32_t rf_load_register() override { return log("rf_load_register()"); }
    std::int32_t rf_calibration() override { return log("rf_calibration()"); }
    std::int32_t rf_2g_5g_padpd_cali(std::int32_t enable) override {
        return log("rf_2g_5g_padpd_cali(" + std::to_string(enable) + ")");
    }
    std::int32_t rf_efuse_read_chip_id(std::uint32_t *id) override {
        *id = 0;
        return log("rf_efuse_read_chip_id");
    }
    std::int32_t rf_efuse_write_mac(std::uint8_t *) override { return log("rf_efuse_write_mac", write_result); }
    std::int32_t rf_efuse_read_mac(std::uint8_t *) override { return log("rf_efuse_read_mac", -1); }
    std::int32_t rf_efuse_write_tx_power1(std::int32_t high, std::int32_t low) override {
        return log("rf_efuse_write_tx_power1(" + std::to_string(high) + ", " + std::to_string(low) + ")", write_result);
    }
    std::int32_t rf_efuse_read_tx_power1(std::uint8_t *, std::uint8_t *) override { return log("read", -1); }
    std::int32_t rf_efuse_write_tx_power2(std::int32_t high, std::int32_t low) override {
        return log("rf_efuse_write_tx_power2(" + std::to_string(high) + ", " + std::to_string(low) + ")", write_result);
    }
    std::int32_t rf_efuse_read_tx_power2(std::uint8_t *, std::uint8_t *) override { return log("read", -1); }
    std::int32_t rf_efuse_write_xtal(std::int32_t value) override {
        return log("rf_efuse_write_xtal(" + std::to_string(value) + ")", write_result);
    }
    std::int32_t rf_efuse_read_xtal(std::uint8_t *) override { return log("read", -1); }
    std::int32_t rf_efuse_write_rate_gain_b_n40(std::int32_t high, std::int32_t low) override {
        return log("rf_efuse_write_rate_gain_b_n40(" + std::to_string(high) + ", " + std::to_string(low) + ")",
                   write_result);
    }
    std::int32_t rf_efuse_read_rate_gain_b_n40(std::uint8_t *, std::uint8_t *) override { return log("read", -1); }
    std::int32_t rf_efuse_write_rate_gain_g_n20(std::int32_t high, std::int32_t low) override {
        return log("rf_efuse_write_rate_gain_g_n20(" + std::to_string(high) + ", " + std::to_string(low) + ")",
                   write_result);
    }
    std::int32_t rf_efuse_read_rate_gain_g_n20(std::uint8_t *, std::uint8_t *) override { return log("read", -1); }
    std::int32_t rf_get_efuse_free_bits() override { return log("rf_get_efuse_free_bits", 224); }

    // The result of every eFuse write export.
    std::int32_t write_result = 0;

private:
    std::int32_t log(const std::string &call, std::int32_t result = 0) {
        calls.push_back(call);
        return result;
    }
};

}  // namespace clitest
