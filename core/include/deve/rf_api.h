// The console's view of the RF function library: one method per export the
// console calls, named after the export. The production implementation
// (VelmoApi) forwards to libvelmo; tests substitute a recorder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace deve {

// Why the transport refused to open the link, as it tells it.
struct OpenRefusal {
    enum class Reason {
        Busy,      // another process holds the board
        Settings,  // a board setting in the environment is malformed or out of range
        StateFile, // the board's fuse file is not a regular file, or cannot be read or stored
    };
    Reason reason = Reason::Busy;
    std::optional<std::int32_t> holder;  // busy: the holding process, when the transport can tell
};

class RfApi {
public:
    virtual ~RfApi() = default;

    // Connection and direct register access.
    virtual std::int32_t rf_init(std::int32_t selector) = 0;
    virtual std::int32_t rf_deinit() = 0;
    virtual std::int32_t xolt_read_reg(std::uint32_t address, std::uint32_t *value) = 0;
    virtual std::int32_t xolt_write_reg(std::uint32_t address, std::uint32_t value) = 0;

    // Operating point.
    virtual std::int32_t rf_set_ch(std::int32_t channel) = 0;
    virtual std::int32_t rf_rate(std::uint32_t code) = 0;
    virtual std::int32_t rf_xtal_set(std::uint32_t index) = 0;
    virtual std::int32_t rf_gain(std::int32_t band, std::int32_t gain) = 0;
    virtual std::int32_t rf_freq_offset(std::int32_t offset) = 0;
    virtual std::int32_t rf_brate_gain(std::uint32_t index) = 0;
    virtual std::int32_t rf_sb_txpatch() = 0;
    virtual std::int32_t rf_dcdc_onoff(std::uint8_t choice) = 0;

    // TX/RX tests.
    virtual std::int32_t rf_tx_start(std::int32_t band, std::uint32_t pit) = 0;
    virtual std::int32_t rf_tx_stop() = 0;
    virtual std::int32_t tx_packet(std::int32_t mode, std::uint32_t *count) = 0;
    virtual std::int32_t rf_rx_start(std::int32_t band, std::int32_t mode) = 0;
    virtual std::int32_t rf_rx_stop() = 0;
    virtual std::int32_t rf_rxpkt(std::int32_t mode, std::uint32_t *errors, std::uint32_t *total) = 0;
    virtual std::int32_t rf_rxpkt_reset(std::int32_t mode) = 0;

    // Register table, calibrations, pre-distortion.
    virtual std::int32_t rf_load_register() = 0;
    virtual std::int32_t rf_calibration() = 0;
    virtual std::int32_t rf_2g_5g_padpd_cali(std::int32_t enable) = 0;

    // eFuse store.
    virtual std::int32_t rf_efuse_read_chip_id(std::uint32_t *chip_id) = 0;
    virtual std::int32_t rf_efuse_write_mac(std::uint8_t *mac) = 0;
    virtual std::int32_t rf_efuse_read_mac(std::uint8_t *mac) = 0;
    virtual std::int32_t rf_efuse_write_tx_power1(std::int32_t high, std::int32_t low) = 0;
    virtual std::int32_t rf_efuse_read_tx_power1(std::uint8_t *high, std::uint8_t *low) = 0;
    virtual std::int32_t rf_efuse_write_tx_power2(std::int32_t high, std::int32_t low) = 0;
    virtual std::int32_t rf_efuse_read_tx_power2(std::uint8_t *high, std::uint8_t *low) = 0;
    virtual std::int32_t rf_efuse_write_xtal(std::int32_t value) = 0;
    virtual std::int32_t rf_efuse_read_xtal(std::uint8_t *value) = 0;
    virtual std::int32_t rf_efuse_write_rate_gain_b_n40(std::int32_t high, std::int32_t low) = 0;
    virtual std::int32_t rf_efuse_read_rate_gain_b_n40(std::uint8_t *high, std::uint8_t *low) = 0;
    virtual std::int32_t rf_efuse_write_rate_gain_g_n20(std::int32_t high, std::int32_t low) = 0;
    virtual std::int32_t rf_efuse_read_rate_gain_g_n20(std::uint8_t *high, std::uint8_t *low) = 0;
    virtual std::int32_t rf_get_efuse_free_bits() = 0;

    // Not an export of the library: after rf_init was refused, why, as the
    // transport the library loaded tells it through its optional entry point
    // xolt_open_refusal. Nothing when the transport has no such entry point
    // or cannot say, which is all a stand-in knows.
    virtual std::optional<OpenRefusal> open_refusal() { return std::nullopt; }

    // Not one of the 44 names the console checks: after rf_init could not
    // load the transport, why, in the library's plain words
    // (velmo_transport_failure). Empty when the library says nothing.
    virtual std::string transport_failure() { return {}; }
    // velmo_transport_path: the transport file the library loaded (UTF-8);
    // empty while none is loaded, and for a stand-in.
    virtual std::string transport_path() { return {}; }
};

}  // namespace deve
