#include "deve/velmo_api.h"

#include "velmo/velmo.h"
// The transport's types and reasons only: its register entry points are the
// library's forwarders of velmo.h here.
#define XOLT_NO_PROTOTYPES
#include "xolt/xolt.h"

#include "module_loader.h"

#include <algorithm>
#include <string>

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

std::string VelmoApi::transport_failure() {
    std::string text(512, '\0');
    std::int32_t length = ::velmo_transport_failure(text.data(), static_cast<std::int32_t>(text.size()));
    if (length >= static_cast<std::int32_t>(text.size())) {
        text.resize(static_cast<std::size_t>(length) + 1);
        length = ::velmo_transport_failure(text.data(), static_cast<std::int32_t>(text.size()));
    }
    text.resize(length > 0 ? std::min(static_cast<std::size_t>(length), text.size() - 1) : 0);
    return text;
}

std::string VelmoApi::transport_path() {
    // The length first, then the path; again if the transport changed between
    // the two calls.
    for (;;) {
        const std::int32_t length = ::velmo_transport_path(nullptr, 0);
        if (length <= 0) {
            return {};
        }
        std::string path(static_cast<std::size_t>(length) + 1, '\0');
        if (::velmo_transport_path(path.data(), length + 1) == length) {
            path.resize(static_cast<std::size_t>(length));
            return path;
        }
    }
}

std::optional<OpenRefusal> VelmoApi::open_refusal() {
    const std::string transport = transport_path();
    if (transport.empty()) {
        return std::nullopt;
    }
    const auto explain =
        reinterpret_cast<xolt_open_refusal_fn>(module_loader::find_loaded(transport, "xolt_open_refusal"));
    if (explain == nullptr) {
        return std::nullopt;
    }
    std::int32_t reason = 0;
    std::int32_t holder = 0;
    if (explain(&reason, &holder) != 0) {
        return std::nullopt;
    }
    OpenRefusal refusal;
    switch (reason) {
    case XOLT_REFUSED_BUSY:
        refusal.reason = OpenRefusal::Reason::Busy;
        if (holder > 0) {
            refusal.holder = holder;
        }
        return refusal;
    case XOLT_REFUSED_SETTINGS:
        refusal.reason = OpenRefusal::Reason::Settings;
        return refusal;
    case XOLT_REFUSED_STATE_FILE:
        refusal.reason = OpenRefusal::Reason::StateFile;
        return refusal;
    default:
        return std::nullopt;  // a reason this program does not know: the code alone explains it
    }
}

}  // namespace deve
