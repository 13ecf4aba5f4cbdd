// Progress of the long operations (open, calibration, pre-distortion, eFuse
// programming) on a terminal: one line on standard error with a spinner, the
// step under way and the time so far, redrawn while the library call blocks.
// Off when standard error is not a terminal, so piped output gets nothing
// extra.
#pragma once

#include "deve/rf_api.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

namespace deve::cli {

class Progress {
public:
    // `terminal` null: progress is off.
    explicit Progress(std::FILE *terminal);
    ~Progress();
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

    bool enabled() const { return terminal_ != nullptr; }
    void begin(const std::string &task);
    void step(const std::string &what);
    // Clears the line.
    void end();

private:
    void draw_loop();
    void draw(bool final);

    std::FILE *terminal_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::thread drawer_;
    bool active_ = false;
    bool quit_ = false;
    std::string task_;
    std::string step_;
    std::chrono::steady_clock::time_point started_;
    unsigned frame_ = 0;
};

// Ends the task when it goes out of scope.
class ProgressTask {
public:
    ProgressTask(Progress &progress, const std::string &task) : progress_(progress) { progress_.begin(task); }
    ~ProgressTask() { progress_.end(); }
    ProgressTask(const ProgressTask &) = delete;
    ProgressTask &operator=(const ProgressTask &) = delete;

private:
    Progress &progress_;
};

// The library as the runner calls it: every call forwarded, the long ones
// named on the progress line.
class ProgressApi final : public RfApi {
public:
    ProgressApi(RfApi &api, Progress &progress) : api_(api), progress_(progress) {}

    std::int32_t rf_init(std::int32_t selector) override;
    std::int32_t rf_deinit() override { return api_.rf_deinit(); }
    std::optional<OpenRefusal> open_refusal() override { return api_.open_refusal(); }
    std::string transport_failure() override { return api_.transport_failure(); }
    std::string transport_path() override { return api_.transport_path(); }
    std::int32_t xolt_read_reg(std::uint32_t address, std::uint32_t *value) override {
        return api_.xolt_read_reg(address, value);
    }
    std::int32_t xolt_write_reg(std::uint32_t address, std::uint32_t value) override {
        return api_.xolt_write_reg(address, value);
    }
    std::int32_t rf_set_ch(std::int32_t channel) override { return api_.rf_set_ch(channel); }
    std::int32_t rf_rate(std::uint32_t code) override { return api_.rf_rate(code); }
    std::int32_t rf_xtal_set(std::uint32_t index) override { return api_.rf_xtal_set(index); }
    std::int32_t rf_gain(std::int32_t band, std::int32_t gain) override { return api_.rf_gain(band, gain); }
    std::int32_t rf_freq_offset(std::int32_t offset) override { return api_.rf_freq_offset(offset); }
    std::int32_t rf_brate_gain(std::uint32_t index) override { return api_.rf_brate_gain(index); }
    std::int32_t rf_sb_txpatch() override { return api_.rf_sb_txpatch(); }
    std::int32_t rf_dcdc_onoff(std::uint8_t choice) override { return api_.rf_dcdc_onoff(choice); }
    std::int32_t rf_tx_start(std::int32_t band, std::uint32_t pit) override { return api_.rf_tx_start(band, pit); }
    std::int32_t rf_tx_stop() override { return api_.rf_tx_stop(); }
    std::int32_t tx_packet(std::int32_t mode, std::uint32_t *count) override { return api_.tx_packet(mode, count); }
    std::int32_t rf_rx_start(std::int32_t band, std::int32_t mode) override { return api_.rf_rx_start(band, mode); }
    std::int32_t rf_rx_stop() override { return api_.rf_rx_stop(); }
    std::int32_t rf_rxpkt(std::int32_t mode, std::uint32_t *errors, std::uint32_t *total) override {
        return api_.rf_rxpkt(mode, errors, total);
    }
    std::int32_t rf_rxpkt_reset(std::int32_t mode) override { return api_.rf_rxpkt_reset(mode); }
    std::int32_t rf_load_register() override;
    std::int32_t rf_calibration() override;
    std::int32_t rf_2g_5g_padpd_cali(std::int32_t enable) override;
    std::int32_t rf_efuse_read_chip_id(std::uint32_t *chip_id) override;
    std::int32_t rf_efuse_write_mac(std::uint8_t *mac) override { return api_.rf_efuse_write_mac(mac); }
    std::int32_t rf_efuse_read_mac(std::uint8_t *mac) override { return api_.rf_efuse_read_mac(mac); }
    std::int32_t rf_efuse_write_tx_power1(std::int32_t high, std::int32_t low) override {
        return api_.rf_efuse_write_tx_power1(high, low);
    }
    std::int32_t rf_efuse_read_tx_power1(std::uint8_t *high, std::uint8_t *low) override;
    std::int32_t rf_efuse_write_tx_power2(std::int32_t high, std::int32_t low) override {
        return api_.rf_efuse_write_tx_power2(high, low);
    }
    std::int32_t rf_efuse_read_tx_power2(std::uint8_t *high, std::uint8_t *low) override {
        return api_.rf_efuse_read_tx_power2(high, low);
    }
    std::int32_t rf_efuse_write_xtal(std::int32_t value) override { return api_.rf_efuse_write_xtal(value); }
    std::int32_t rf_efuse_read_xtal(std::uint8_t *value) override { return api_.rf_efuse_read_xtal(value); }
    std::int32_t rf_efuse_write_rate_gain_b_n40(std::int32_t high, std::int32_t low) override {
        return api_.rf_efuse_write_rate_gain_b_n40(high, low);
    }
    std::int32_t rf_efuse_read_rate_gain_b_n40(std::uint8_t *high, std::uint8_t *low) override {
        return api_.rf_efuse_read_rate_gain_b_n40(high, low);
    }
    std::int32_t rf_efuse_write_rate_gain_g_n20(std::int32_t high, std::int32_t low) override {
        return api_.rf_efuse_write_rate_gain_g_n20(high, low);
    }
    std::int32_t rf_efuse_read_rate_gain_g_n20(std::uint8_t *high, std::uint8_t *low) override {
        return api_.rf_efuse_read_rate_gain_g_n20(high, low);
    }
    std::int32_t rf_get_efuse_free_bits() override { return api_.rf_get_efuse_free_bits(); }

private:
    RfApi &api_;
    Progress &progress_;
};

}  // namespace deve::cli
