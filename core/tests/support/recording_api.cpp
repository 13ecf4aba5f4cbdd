#include "recording_api.h"

#include <cstdio>

namespace fake {

namespace {

std::string hex8(std::uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", value);
    return buffer;
}

std::string args(std::int64_t a) { return "(" + std::to_string(a) + ")"; }
std::string args(std::int64_t a, std::int64_t b) { return "(" + std::to_string(a) + ", " + std::to_string(b) + ")"; }

constexpr std::int32_t kByteRecordBits = 12;
constexpr std::int32_t kMacRecordBits = 52;

}  // namespace

std::string W(std::uint32_t address, std::uint32_t value) {
    return "xolt_write_reg(" + hex8(address) + ", " + hex8(value) + ")";
}

std::string R(std::uint32_t address) { return "xolt_read_reg(" + hex8(address) + ")"; }

void RecordingApi::set_fuses(const std::array<std::uint32_t, 8> &words) {
    constexpr std::uint32_t kFuseStatus = 0xC200010C;
    constexpr std::uint32_t kFuseData0 = 0xC2000120;
    registers[kFuseStatus] = 1;
    for (std::size_t i = 0; i < words.size(); ++i) {
        registers[kFuseData0 + static_cast<std::uint32_t>(4 * i)] = words[i];
    }
}

std::vector<std::string> RecordingApi::take() {
    std::vector<std::string> out;
    out.swap(calls);
    return out;
}

std::vector<std::string> RecordingApi::named(const std::string &prefix) const {
    std::vector<std::string> out;
    for (const std::string &call : calls) {
        if (call.compare(0, prefix.size(), prefix) == 0) {
            out.push_back(call);
        }
    }
    return out;
}

std::int32_t RecordingApi::log(const std::string &call, std::int32_t model_result) {
    calls.push_back(call);
    if (on_call) {
        on_call(call);
    }
    const std::string name = call.substr(0, call.find('('));
    const auto it = results.find(name);
    return it == results.end() ? model_result : it->second;
}

bool RecordingApi::take_space(std::int32_t bits) {
    if (free_bits < bits) {
        return false;
    }
    free_bits -= bits;
    return true;
}

std::int32_t RecordingApi::write_pair(const std::string &record, std::int32_t high, std::int32_t low) {
    const std::int32_t result = log("rf_efuse_write_" + record + args(high, low), take_space(kByteRecordBits) ? 0 : -1);
    if (result == 0) {
        pairs[record] = {static_cast<std::uint8_t>(high & 0xF), static_cast<std::uint8_t>(low & 0xF)};
    }
    return result;
}

std::int32_t RecordingApi::read_pair(const std::string &record, std::uint8_t *high, std::uint8_t *low) {
    const auto it = pairs.find(record);
    const std::int32_t result = log("rf_efuse_read_" + record + "()", it == pairs.end() ? -1 : 0);
    // Found or not, the library stores both nibbles (0 and 0 when absent).
    *high = result == 0 && it != pairs.end() ? it->second.first : 0;
    *low = result == 0 && it != pairs.end() ? it->second.second : 0;
    return result;
}

std::int32_t RecordingApi::rf_init(std::int32_t selector) { return log("rf_init" + args(selector)); }
// Not a call of the library: not logged.
std::optional<deve::OpenRefusal> RecordingApi::open_refusal() { return refusal; }
std::int32_t RecordingApi::rf_deinit() { return log("rf_deinit()"); }

std::int32_t RecordingApi::xolt_read_reg(std::uint32_t address, std::uint32_t *value) {
    const auto it = registers.find(address);
    *value = it == registers.end() ? 0 : it->second;
    return log(R(address));
}

std::int32_t RecordingApi::xolt_write_reg(std::uint32_t address, std::uint32_t value) {
    registers[address] = value;
    return log(W(address, value));
}

std::int32_t RecordingApi::rf_set_ch(std::int32_t channel) { return log("rf_set_ch" + args(channel)); }
std::int32_t RecordingApi::rf_rate(std::uint32_t code) { return log("rf_rate" + args(code)); }
std::int32_t RecordingApi::rf_xtal_set(std::uint32_t index) { return log("rf_xtal_set" + args(index)); }
std::int32_t RecordingApi::rf_gain(std::int32_t band, std::int32_t gain) { return log("rf_gain" + args(band, gain)); }
std::int32_t RecordingApi::rf_freq_offset(std::int32_t offset) { return log("rf_freq_offset" + args(offset)); }
std::int32_t RecordingApi::rf_brate_gain(std::uint32_t index) { return log("rf_brate_gain" + args(index)); }
std::int32_t RecordingApi::rf_sb_txpatch() { return log("rf_sb_txpatch()"); }
std::int32_t RecordingApi::rf_dcdc_onoff(std::uint8_t choice) { return log("rf_dcdc_onoff" + args(choice)); }

std::int32_t RecordingApi::rf_tx_start(std::int32_t band, std::uint32_t pit) {
    return log("rf_tx_start" + args(band, pit));
}
std::int32_t RecordingApi::rf_tx_stop() { return log("rf_tx_stop()"); }
std::int32_t RecordingApi::tx_packet(std::int32_t mode, std::uint32_t *count) {
    *count = tx_count;
    return log("tx_packet" + args(mode));
}
std::int32_t RecordingApi::rf_rx_start(std::int32_t band, std::int32_t mode) {
    return log("rf_rx_start" + args(band, mode));
}
std::int32_t RecordingApi::rf_rx_stop() { return log("rf_rx_stop()"); }
std::int32_t RecordingApi::rf_rxpkt(std::int32_t mode, std::uint32_t *errors, std::uint32_t *total) {
    *errors = rx_errors;
    *total = rx_total;
    return log("rf_rxpkt" + args(mode));
}
std::int32_t RecordingApi::rf_rxpkt_reset(std::int32_t mode) { return log("rf_rxpkt_reset" + args(mode)); }

std::int32_t RecordingApi::rf_load_register() { return log("rf_load_register()"); }
std::int32_t RecordingApi::rf_calibration() { return log("rf_calibration()"); }
std::int32_t RecordingApi::rf_2g_5g_padpd_cali(std::int32_t enable) {
    return log("rf_2g_5g_padpd_cali" + args(enable));
}

std::int32_t RecordingApi::rf_efuse_read_chip_id(std::uint32_t *id) {
    *id = chip_id;
    return log("rf_efuse_read_chip_id()");
}

std::int32_t RecordingApi::rf_efuse_write_mac(std::uint8_t *bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", bytes[0], bytes[1], bytes[2], bytes[3],
                  bytes[4], bytes[5]);
    const std::int32_t result =
        log("rf_efuse_write_mac(" + std::string(text) + ")", take_space(kMacRecordBits) ? 0 : -1);
    if (result == 0) {
        mac = std::array<std::uint8_t, 6>{bytes[0], bytes[1], bytes[2], bytes[3], bytes[4], bytes[5]};
    }
    return result;
}

std::int32_t RecordingApi::rf_efuse_read_mac(std::uint8_t *bytes) {
    const std::int32_t result = log("rf_efuse_read_mac()", mac ? 0 : -1);
    if (result == 0 && mac) {
        std::copy(mac->begin(), mac->end(), bytes);
    }
    return result;
}

std::int32_t RecordingApi::rf_efuse_write_tx_power1(std::int32_t h, std::int32_t l) {
    return write_pair("tx_power1", h, l);
}
std::int32_t RecordingApi::rf_efuse_read_tx_power1(std::uint8_t *h, std::uint8_t *l) {
    return read_pair("tx_power1", h, l);
}
std::int32_t RecordingApi::rf_efuse_write_tx_power2(std::int32_t h, std::int32_t l) {
    return write_pair("tx_power2", h, l);
}
std::int32_t RecordingApi::rf_efuse_read_tx_power2(std::uint8_t *h, std::uint8_t *l) {
    return read_pair("tx_power2", h, l);
}
std::int32_t RecordingApi::rf_efuse_write_rate_gain_b_n40(std::int32_t h, std::int32_t l) {
    return write_pair("rate_gain_b_n40", h, l);
}
std::int32_t RecordingApi::rf_efuse_read_rate_gain_b_n40(std::uint8_t *h, std::uint8_t *l) {
    return read_pair("rate_gain_b_n40", h, l);
}
std::int32_t RecordingApi::rf_efuse_write_rate_gain_g_n20(std::int32_t h, std::int32_t l) {
    return write_pair("rate_gain_g_n20", h, l);
}
std::int32_t RecordingApi::rf_efuse_read_rate_gain_g_n20(std::uint8_t *h, std::uint8_t *l) {
    return read_pair("rate_gain_g_n20", h, l);
}

std::int32_t RecordingApi::rf_efuse_write_xtal(std::int32_t value) {
    const std::int32_t result = log("rf_efuse_write_xtal" + args(value), take_space(kByteRecordBits) ? 0 : -1);
    if (result == 0) {
        xtal = static_cast<std::uint8_t>(value & 0xFF);
    }
    return result;
}

std::int32_t RecordingApi::rf_efuse_read_xtal(std::uint8_t *value) {
    const std::int32_t result = log("rf_efuse_read_xtal()", xtal ? 0 : -1);
    if (result == 0 && xtal) {
        *value = *xtal;
    }
    return result;
}

std::int32_t RecordingApi::rf_get_efuse_free_bits() { return log("rf_get_efuse_free_bits()", free_bits); }

}  // namespace fake
