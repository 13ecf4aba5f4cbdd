// The console's selection tables: the items of every list, the item each
// list selects when it is filled, and what a selection means to the chip.
#pragma once

#include "velmo/gain_codes.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace deve {

// A fixed list: its labels in display order and the position selected when
// the list is filled.
template <std::size_t N>
struct Choices {
    std::array<const char *, N> labels;
    int initial;
};

// A fixed list's labels, in display order.
template <std::size_t N>
std::vector<std::string> choice_labels(const Choices<N> &choices) {
    return std::vector<std::string>(choices.labels.begin(), choices.labels.end());
}

// Port: the interface selector passed to rf_init for each position.
extern const Choices<2> kPortChoices;  // "USB", "SDIO"; "USB"
std::int32_t port_selector(int position);

// Supply: position 0 = LDO, 1 = DCDC (the argument of rf_dcdc_onoff).
extern const Choices<2> kSupplyChoices;  // "LDO", "DCDC"; "DCDC"

extern const Choices<5> kCrystalChoices;  // "20MHz" ... "40MHz"; "25MHz"
extern const Choices<2> kBandChoices;     // "2G", "5G"; "2G"
extern const Choices<4> kModeChoices;     // "11b-CCK" ... "11n-HT40"; "11n-HT20"
extern const Choices<16> kRfGainChoices;  // "0", "-1" ... "-15"; "-3"
extern const Choices<16> kDacChoices;     // "+2.5" ... "-5"; "0"
extern const Choices<16> kBrateGainChoices;  // "+1.5" ... "-6"; "-2.5"

// Band positions.
constexpr int kBand2G = 0;
constexpr int kBand5G = 1;
// Mode positions: 11b (CCK; the 11b counters) and the one whose selection
// applies its top rate at once.
constexpr int kMode11b = 0;
constexpr int kModeHt20 = 2;

// Channel lists: "CH<n>_<MHz>MHz" for 2.4 GHz channels 1-13, 5 GHz channels
// 32-64 and 100-170. Empty for any other band position.
std::vector<std::string> channel_labels(int band);
// The channel label selected by the open sequence.
constexpr std::string_view kOpenChannelLabel = "CH1_2412MHz";
constexpr std::int32_t kOpenChannel = 1;
// The channel number of a list position in a band's list.
std::int32_t channel_number(int band, int position);

// Rates: the label and the rf_rate code of every rate, by mode.
struct Rate {
    const char *label;
    std::uint32_t code;
};
// The rates of a mode position in table order (which is also their sorted
// order); empty for a position outside 0-3.
std::vector<Rate> rates_of_mode(int mode);
// The rf_rate code of a label, compared exactly across all modes.
std::optional<std::uint32_t> rate_code(std::string_view label);
// The rate labels of a mode as the rate list keeps them: sorted by text.
std::vector<std::string> sorted_rate_labels(int mode);
// The rate applied by the open sequence and by choosing "11n-HT20".
constexpr std::string_view kOpenRateLabel = "HT20-MCS7";
constexpr std::uint32_t kHt20TopRate = 22;

// DAC gain codes, the library's own table: linear amplitude, 0x80 = 0 dB,
// index 0 = -5 dB to 16 = +3 dB in 0.5 dB steps. The DAC list position p
// selects index 15 - p.
inline constexpr const auto &kDacGainCodes = velmo::gain_codes::kDac;
std::uint8_t dac_code_for_position(int position);

// 11b rate gain codes, the library's own table: index 0 = +1.5 dB to
// 15 = -6 dB in 0.5 dB steps; the list position is the index.
inline constexpr const auto &kBrateGainCodes = velmo::gain_codes::kBrate;

}  // namespace deve
