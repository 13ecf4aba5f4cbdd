// The eFuse items: the records the operator can read and program, their
// panel texts, and the MAC address read.
#pragma once

#include "deve/rf_api.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace deve {

// One programmable record as the item list offers it.
struct EfuseItem {
    const char *name;          // list text
    const char *first_label;   // labels of the two value fields
    const char *second_label;
    bool first_enabled;        // whether the value fields take input
    bool second_enabled;
    const char *range_text;    // shown when the item is chosen
    unsigned record_type;      // eFuse record type (4 bits) of the item
    bool single_value;         // one 8-bit value instead of a nibble pair
    std::int32_t (*write)(RfApi &api, std::int32_t first, std::int32_t second);
    std::int32_t (*read)(RfApi &api, std::uint8_t *first, std::uint8_t *second);
};

// The four items of the list, and a fifth (the HT20 rate gain) that the list
// offers only once the engineering controls are revealed.
constexpr std::size_t kEfuseItemCount = 4;
constexpr std::size_t kEngineeringEfuseItem = 4;
extern const std::array<EfuseItem, 5> kEfuseItems;
// The item selected when the list is filled.
constexpr int kInitialEfuseItem = 0;

// "success" for a result of 0, else "fail".
std::string result_text(std::int32_t result);

// "Efuse read": the item's values ("%d,%d", or "%d" for a single value) and
// the free space ("Empty: %d bit").
struct ItemReading {
    std::string values;
    std::string free_bits;
};
ItemReading read_item(RfApi &api, const EfuseItem &item);

using MacAddress = std::array<std::uint8_t, 6>;
// The MAC bytes from the six byte fields: base 16, low 8 bits kept.
MacAddress parse_mac(const std::array<std::string, 6> &fields);
// A MAC address as typed on a command line or kept in a store: six bytes,
// "00:11:22:33:44:55", "00-11-22-33-44-55" or "001122334455".
std::optional<MacAddress> parse_mac_text(const std::string &text);
// "MAC Read": "%x:%x:%x:%x:%x:%x", or "No mac address".
std::string read_mac(RfApi &api);

}  // namespace deve
