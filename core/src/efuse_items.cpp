#include "deve/efuse_items.h"

#include "deve/text.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace deve {

namespace {

// eFuse record types of the items.
constexpr unsigned kTypeXtal = 4;
constexpr unsigned kTypeTxPower1 = 5;
constexpr unsigned kTypeTxPower2 = 6;
constexpr unsigned kTypeRateGainB = 12;
constexpr unsigned kTypeRateGainG = 13;

constexpr std::uint32_t kByte = 0xFF;

std::int32_t write_power1(RfApi &api, std::int32_t a, std::int32_t b) { return api.rf_efuse_write_tx_power1(a, b); }
std::int32_t write_power2(RfApi &api, std::int32_t a, std::int32_t b) { return api.rf_efuse_write_tx_power2(a, b); }
std::int32_t write_xtal(RfApi &api, std::int32_t a, std::int32_t) { return api.rf_efuse_write_xtal(a); }
std::int32_t write_rate_b(RfApi &api, std::int32_t a, std::int32_t b) {
    return api.rf_efuse_write_rate_gain_b_n40(a, b);
}
std::int32_t write_rate_g(RfApi &api, std::int32_t a, std::int32_t b) {
    return api.rf_efuse_write_rate_gain_g_n20(a, b);
}
std::int32_t read_power1(RfApi &api, std::uint8_t *a, std::uint8_t *b) { return api.rf_efuse_read_tx_power1(a, b); }
std::int32_t read_power2(RfApi &api, std::uint8_t *a, std::uint8_t *b) { return api.rf_efuse_read_tx_power2(a, b); }
std::int32_t read_xtal(RfApi &api, std::uint8_t *a, std::uint8_t *) { return api.rf_efuse_read_xtal(a); }
std::int32_t read_rate_b(RfApi &api, std::uint8_t *a, std::uint8_t *b) {
    return api.rf_efuse_read_rate_gain_b_n40(a, b);
}
std::int32_t read_rate_g(RfApi &api, std::uint8_t *a, std::uint8_t *b) {
    return api.rf_efuse_read_rate_gain_g_n20(a, b);
}

}  // namespace

const std::array<EfuseItem, 5> kEfuseItems{{
    {"TX_PWR1", "5200 PWR", "2400 PWR", true, true, "PWR range: 0~15", kTypeTxPower1, false, write_power1,
     read_power1},
    {"TX_PWR2", "5800 PWR", "5500 PWR", true, true, "PWR range: 0~15", kTypeTxPower2, false, write_power2,
     read_power2},
    {"Freq_offset", "Freq offset", "None", true, false, "offset range: 0~255", kTypeXtal, true, write_xtal, read_xtal},
    {"TX_Rate1", "B_PWR", "", true, false, "", kTypeRateGainB, false, write_rate_b, read_rate_b},
    {"TX_Rate2", "G_PWR", "HT20_PWR", true, true, "", kTypeRateGainG, false, write_rate_g, read_rate_g},
}};

std::string result_text(std::int32_t result) { return result == 0 ? "success" : "fail"; }

ItemReading read_item(RfApi &api, const EfuseItem &item) {
    std::uint8_t first = 0;
    std::uint8_t second = 0;
    item.read(api, &first, &second);  // a missing record shows the zeros
    ItemReading out;
    out.values = item.single_value ? decimal(first) : decimal(first) + "," + decimal(second);
    out.free_bits = "Empty: " + decimal(api.rf_get_efuse_free_bits()) + " bit";
    return out;
}

MacAddress parse_mac(const std::array<std::string, 6> &fields) {
    MacAddress mac{};
    for (std::size_t i = 0; i < mac.size(); ++i) {
        mac[i] = static_cast<std::uint8_t>(parse_unsigned(fields[i], 16) & kByte);
    }
    return mac;
}

std::string read_mac(RfApi &api) {
    MacAddress mac{};
    if (api.rf_efuse_read_mac(mac.data()) != 0) {
        return "No mac address";
    }
    std::string text;
    for (std::size_t i = 0; i < mac.size(); ++i) {
        text += (i == 0 ? "" : ":") + hex(mac[i]);
    }
    return text;
}

std::optional<MacAddress> parse_mac_text(const std::string &text) {
    std::vector<std::string> groups;
    if (text.find_first_of(":-") == std::string::npos) {
        if (text.size() != 12) {
            return std::nullopt;
        }
        for (std::size_t i = 0; i < 12; i += 2) {
            groups.push_back(text.substr(i, 2));
        }
    } else {
        const char separator = text[text.find_first_of(":-")];
        std::string group;
        for (char c : text) {
            if (c == separator) {
                groups.push_back(group);
                group.clear();
            } else {
                group += c;
            }
        }
        groups.push_back(group);
    }
    if (groups.size() != 6) {
        return std::nullopt;
    }
    MacAddress mac{};
    for (std::size_t i = 0; i < 6; ++i) {
        const std::string &g = groups[i];
        if (g.empty() || g.size() > 2 ||
            !std::all_of(g.begin(), g.end(), [](unsigned char c) { return std::isxdigit(c) != 0; })) {
            return std::nullopt;
        }
        mac[i] = static_cast<std::uint8_t>(std::stoul(g, nullptr, 16));
    }
    return mac;
}

}  // namespace deve
