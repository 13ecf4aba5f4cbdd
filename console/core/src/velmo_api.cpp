#include "deve/velmo_api.h"

#include "velmo/velmo.h"

#include "module_loader.h"

#include <vector>

namespace deve {

// clang-format off
std::int32_t VelmoApi::rf_init(std::int32_t selector) { return ::rf_init(selector); }
std::int32_t VelmoApi::rf_deinit() { return ::rf_deinit(); }
std::int32_t VelmoApi::xolt_read_reg(std::uint32_t address, std::uint32_t *value) { return ::xolt_read_reg(address, value); }
std::int32_t VelmoApi::xolt_write_reg(std::uint32_t address, std::uint32_t value) { return ::xolt_write_reg(address, value); }

std::int32_t VelmoApi::rf_set_ch(std::int32_t channel) { return ::rf_set_ch(channel); }
std::int32_t VelmoApi::rf_rate(std::uint32_t code) { return ::rf_rate(code); }
std::int32_t VelmoApi::rf_xtal_set(std::uint32_t index) { return ::rf_xtal_set(index); }
std::int32_t VelmoApi::rf_gain(std::int32_t band, std::int32_t gain) { return ::rf_gain(band, gain); }
std::int32_t VelmoApi::rf_freq_offset(std::int32_t offset) { return ::rf_freq_offset(offset); }
std::int32_t VelmoApi::rf_brate_gain(std::uint32_t index) { return ::rf_brate_gain(index); }
std::int32_t VelmoApi::rf_sb_txpatch() { return ::rf_sb_txpatch(); }
std::int32_t VelmoApi::rf_dcdc_onoff(std::uint8_t choice) { return ::rf_dcdc_onoff(choice); }

std::int32_t VelmoApi::rf_tx_start(std::int32_t band, std::uint32_t pit) { return ::rf_tx_start(band, pit); }
std::int32_t VelmoApi::rf_tx_stop() { return ::rf_tx_stop(); }
std::int32_t VelmoApi::tx_packet(std::int32_t mode, std::uint32_t *count) { return ::tx_packet(mode, count); }
std::int32_t VelmoApi::rf_rx_start(std::int32_t band, std::int32_t mode) { return ::rf_rx_start(band, mode); }
std::int32_t VelmoApi::rf_rx_stop() { return ::rf_rx_stop(); }
std::int32_t VelmoApi::rf_rxpkt(std::int32_t mode, std::uint32_t *errors, std::uint32_t *total) { return ::rf_rxpkt(mode, errors, total); }
std::int32_t VelmoApi::rf_rxpkt_reset(std::int32_t mode) { return ::rf_rxpkt_reset(mode); }

std::int32_t VelmoApi::rf_load_register() { return ::rf_load_register(); }
std::int32_t VelmoApi::rf_calibration() { return ::rf_calibration(); }
std::int32_t VelmoApi::rf_2g_5g_padpd_cali(std::int32_t enable) { return ::rf_2g_5g_padpd_cali(enable); }

std::int32_t VelmoApi::rf_efuse_read_chip_id(std::uint32_t *chip_id) { return ::rf_efuse_read_chip_id(chip_id); }
std::int32_t VelmoApi::rf_efuse_write_mac(std::uint8_t *mac) { return ::rf_efuse_write_mac(mac); }
std::int32_t VelmoApi::rf_efuse_read_mac(std::uint8_t *mac) { return ::rf_efuse_read_mac(mac); }
std::int32_t VelmoApi::rf_efuse_write_tx_power1(std::int32_t high, std::int32_t low) { return ::rf_efuse_write_tx_power1(high, low); }
std::int32_t VelmoApi::rf_efuse_read_tx_power1(std::uint8_t *high, std::uint8_t *low) { return ::rf_efuse_read_tx_power1(high, low); }
std::int32_t VelmoApi::rf_efuse_write_tx_power2(std::int32_t high, std::int32_t low) { return ::rf_efuse_write_tx_power2(high, low); }
std::int32_t VelmoApi::rf_efuse_read_tx_power2(std::uint8_t *high, std::uint8_t *low) { return ::rf_efuse_read_tx_power2(high, low); }
std::int32_t VelmoApi::rf_efuse_write_xtal(std::int32_t value) { return ::rf_efuse_write_xtal(value); }
std::int32_t VelmoApi::rf_efuse_read_xtal(std::uint8_t *value) { return ::rf_efuse_read_xtal(value); }
std::int32_t VelmoApi::rf_efuse_write_rate_gain_b_n40(std::int32_t high, std::int32_t low) { return ::rf_efuse_write_rate_gain_b_n40(high, low); }
std::int32_t VelmoApi::rf_efuse_read_rate_gain_b_n40(std::uint8_t *high, std::uint8_t *low) { return ::rf_efuse_read_rate_gain_b_n40(high, low); }
std::int32_t VelmoApi::rf_efuse_write_rate_gain_g_n20(std::int32_t high, std::int32_t low) { return ::rf_efuse_write_rate_gain_g_n20(high, low); }
std::int32_t VelmoApi::rf_efuse_read_rate_gain_g_n20(std::uint8_t *high, std::uint8_t *low) { return ::rf_efuse_read_rate_gain_g_n20(high, low); }
std::int32_t VelmoApi::rf_get_efuse_free_bits() { return ::rf_get_efuse_free_bits(); }
// clang-format on

std::optional<std::int32_t> VelmoApi::board_holder() {
    using Holder = std::int32_t (*)();
    const auto holder = reinterpret_cast<Holder>(module_loader::find_in_transport("xolt_sim_board_holder"));
    if (holder == nullptr) {
        return std::nullopt;
    }
    const std::int32_t process = holder();
    return process > 0 ? std::optional<std::int32_t>(process) : std::nullopt;
}

std::optional<std::string> VelmoApi::board_refusal() {
    using Refusal = std::uint32_t (*)(char *, std::uint32_t);
    const auto refusal = reinterpret_cast<Refusal>(module_loader::find_in_transport("xolt_sim_open_refusal"));
    if (refusal == nullptr) {
        return std::nullopt;
    }
    const std::uint32_t length = refusal(nullptr, 0);
    if (length == 0) {
        return std::nullopt;
    }
    std::vector<char> text(std::size_t{length} + 1);
    refusal(text.data(), length + 1);
    return std::string(text.data());
}

}  // namespace deve
