#include "deve/tables.h"

#include <algorithm>
#include <string>

namespace deve {

namespace {

// Interface selectors of rf_init.
constexpr std::int32_t kSelectorSdio = 3;
constexpr std::int32_t kSelectorUsb = 4;

// Channel plans: centre frequency = base + 5 MHz x channel number.
struct ChannelRange {
    std::int32_t first;
    std::int32_t last;
    std::int32_t base_mhz;
};
constexpr std::array<ChannelRange, 1> k2gChannels{{{1, 13, 2407}}};
constexpr std::array<ChannelRange, 2> k5gChannels{{{32, 64, 5000}, {100, 170, 5000}}};
constexpr std::int32_t kChannelSpacingMhz = 5;

template <std::size_t N>
std::vector<std::string> labels_of(const std::array<ChannelRange, N> &ranges) {
    std::vector<std::string> out;
    for (const ChannelRange &r : ranges) {
        for (std::int32_t n = r.first; n <= r.last; ++n) {
            out.push_back("CH" + std::to_string(n) + "_" + std::to_string(r.base_mhz + kChannelSpacingMhz * n) +
                          "MHz");
        }
    }
    return out;
}

template <std::size_t N>
std::int32_t number_at(const std::array<ChannelRange, N> &ranges, int position) {
    std::int32_t remaining = position;
    for (const ChannelRange &r : ranges) {
        const std::int32_t count = r.last - r.first + 1;
        if (remaining < count) {
            return r.first + remaining;
        }
        remaining -= count;
    }
    // Past the end: continue the last range, as the position arithmetic does.
    return ranges.back().last + 1 + remaining;
}

constexpr std::array<Rate, 4> kCckRates{{
    {"0-CCK-1M", 0}, {"1-CCK-2M", 1}, {"2-CCK-5.5M", 2}, {"3-CCK-11M", 3},
}};
constexpr std::array<Rate, 8> kOfdmRates{{
    {"0-OFDM-6M", 7}, {"1-OFDM-9M", 8}, {"2-OFDM-12M", 9}, {"3-OFDM-18M", 10},
    {"4-OFDM-24M", 11}, {"5-OFDM-36M", 12}, {"6-OFDM-48M", 13}, {"7-OFDM-54M", 14},
}};
constexpr std::array<Rate, 8> kHt20Rates{{
    {"HT20-MCS0", 15}, {"HT20-MCS1", 16}, {"HT20-MCS2", 17}, {"HT20-MCS3", 18},
    {"HT20-MCS4", 19}, {"HT20-MCS5", 20}, {"HT20-MCS6", 21}, {"HT20-MCS7", 22},
}};
constexpr std::array<Rate, 8> kHt40Rates{{
    {"HT40-MCS0", 31}, {"HT40-MCS1", 32}, {"HT40-MCS2", 33}, {"HT40-MCS3", 34},
    {"HT40-MCS4", 35}, {"HT40-MCS5", 36}, {"HT40-MCS6", 37}, {"HT40-MCS7", 38},
}};

template <std::size_t N>
std::vector<Rate> as_vector(const std::array<Rate, N> &rates) {
    return {rates.begin(), rates.end()};
}

}  // namespace

const Choices<2> kPortChoices{{"USB", "SDIO"}, 0};
const Choices<2> kSupplyChoices{{"LDO", "DCDC"}, 1};
const Choices<5> kCrystalChoices{{"20MHz", "24MHz", "25MHz", "26MHz", "40MHz"}, 2};
const Choices<2> kBandChoices{{"2G", "5G"}, 0};
const Choices<4> kModeChoices{{"11b-CCK", "11g-OFDM", "11n-HT20", "11n-HT40"}, kModeHt20};
const Choices<16> kRfGainChoices{
    {"0", "-1", "-2", "-3", "-4", "-5", "-6", "-7", "-8", "-9", "-10", "-11", "-12", "-13", "-14", "-15"}, 3};
const Choices<16> kDacChoices{{"+2.5", "+2", "+1.5", "+1", "+0.5", "0", "-0.5", "-1", "-1.5", "-2", "-2.5", "-3",
                               "-3.5", "-4", "-4.5", "-5"},
                              5};
const Choices<16> kBrateGainChoices{{"+1.5", "+1", "+0.5", "+0", "-0.5", "-1", "-1.5", "-2", "-2.5", "-3", "-3.5",
                                     "-4", "-4.5", "-5", "-5.5", "-6"},
                                    8};

std::int32_t port_selector(int position) { return position == 1 ? kSelectorSdio : kSelectorUsb; }

std::vector<std::string> channel_labels(int band) {
    if (band == kBand2G) {
        return labels_of(k2gChannels);
    }
    if (band == kBand5G) {
        return labels_of(k5gChannels);
    }
    return {};
}

std::int32_t channel_number(int band, int position) {
    return band == kBand2G ? number_at(k2gChannels, position) : number_at(k5gChannels, position);
}

std::vector<Rate> rates_of_mode(int mode) {
    switch (mode) {
    case 0: return as_vector(kCckRates);
    case 1: return as_vector(kOfdmRates);
    case 2: return as_vector(kHt20Rates);
    case 3: return as_vector(kHt40Rates);
    default: return {};
    }
}

std::optional<std::uint32_t> rate_code(std::string_view label) {
    for (int mode = 0; mode < static_cast<int>(kModeChoices.labels.size()); ++mode) {
        for (const Rate &r : rates_of_mode(mode)) {
            if (label == r.label) {
                return r.code;
            }
        }
    }
    return std::nullopt;
}

std::vector<std::string> sorted_rate_labels(int mode) {
    std::vector<std::string> labels;
    for (const Rate &rate : rates_of_mode(mode)) {
        labels.emplace_back(rate.label);
    }
    std::sort(labels.begin(), labels.end());
    return labels;
}

std::uint8_t dac_code_for_position(int position) {
    const int index = static_cast<int>(kDacChoices.labels.size()) - 1 - position;
    return kDacGainCodes.at(static_cast<std::size_t>(index));
}

}  // namespace deve
