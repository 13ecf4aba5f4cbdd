// The radio's operating point as deve-cli keeps it between commands, and
// tune: the typed settings checked against the console's selection tables
// (a channel the band does not offer, or a rate the mode does not, is refused
// by name) and applied through the console's operations.
#pragma once

#include "commands.h"
#include "deve/rf_api.h"
#include "deve/tables.h"
#include "deve/text.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace deve::cli {

// List positions, as the dialog's lists hold them after OPEN.
struct RadioState {
    int band = kBand2G;
    int channel = 0;  // position in the band's channel list
    int mode = kModeHt20;
    std::string rate{kOpenRateLabel};
    std::optional<int> rf_gain;  // set by tune in this run
    std::optional<int> dac;
    std::optional<int> b_gain;
    std::uint32_t offset = 151;  // frequency-offset trim applied by tx and rx

    std::int32_t channel_number() const;
    std::string channel_label() const;
};

// The number a text holds as a whole ("-2.5", "+1"), if it holds one.
std::optional<double> whole_number(std::string_view text);
// Decibels of a gain label ("-2.5" -> -2.5).
double label_number(const char *label);

// The position of the label equal to `text`, ignoring case.
template <std::size_t N>
std::optional<int> match_label(const Choices<N> &choices, std::string_view text) {
    for (std::size_t i = 0; i < N; ++i) {
        if (deve::equal_ignoring_case(choices.labels[i], text)) {
            return static_cast<int>(i);
        }
    }
    return std::nullopt;
}

// The position of the label whose number equals the number in `text`
// ("-3", "+2.5", "0", "-0.5").
template <std::size_t N>
std::optional<int> match_number(const Choices<N> &choices, std::string_view text) {
    const std::optional<double> wanted = whole_number(text);
    if (!wanted) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < N; ++i) {
        if (label_number(choices.labels[i]) == *wanted) {
            return static_cast<int>(i);
        }
    }
    return std::nullopt;
}

// "2G, 5G".
template <std::size_t N>
std::string label_list(const Choices<N> &choices) {
    std::string text;
    for (const char *label : choices.labels) {
        text += (text.empty() ? "" : ", ") + std::string(label);
    }
    return text;
}

// The position of a channel, by number or by label, in a band's list.
std::optional<int> match_channel(int band, std::string_view text);
// A mode by its label ("11n-HT20") or by a part of it that names one mode
// alone ("HT20", "11b", "OFDM").
std::optional<int> match_mode(std::string_view text);
// A crystal by its label ("25MHz") or its number of MHz ("25").
std::optional<int> match_crystal(std::string_view text);

struct TunePlan {
    RadioState next;
    bool channel = false;  // what this tune applies
    bool mode = false;
    bool rate = false;
    bool rf_gain = false;
    bool dac = false;
    bool b_gain = false;
    bool offset = false;
    std::string error;  // why the request is refused; empty when it is not
};

TunePlan plan_tune(const TuneRequest &request, const RadioState &now);
// Follows the tune commands of a command line from the state the link opens
// in (only tune changes band, channel, mode and rate), so that a refused
// setting is found before the link opens. The first refusal, or nothing.
std::optional<std::string> check_tunes(const std::vector<Command> &commands);
// Follows the commands as check_tunes does and refuses a tx or rx that stops
// at --frames N while its limit set (no --min-frames given) asks for more
// than N frames: it could not pass. The first refusal, or nothing.
std::optional<std::string> check_limit_sets(const std::vector<Command> &commands, const LimitFile &limits);
// That refusal's words.
std::string unreachable_frames_text(const LimitSet &set, std::uint64_t min_frames, std::uint64_t frames);
// The same checks one command at a time (the commands of a session's file,
// which are checked as they are read and not kept).
class OperatingPointCheck {
public:
    // The command's tune, if it has one, from the operating point so far:
    // its refusal, or nothing (and the operating point moves on).
    std::optional<std::string> tune(const Command &command);
    // After tune(): a tx or rx at the operating point whose limit set asks
    // for more frames than its --frames: the refusal.
    std::optional<std::string> limit_set(const Command &command, const LimitFile &limits) const;

private:
    RadioState state_;
    std::size_t commands_ = 0;  // the commands seen, the current one included
};
// Makes the plan's calls: channel, mode, rate, RF gain, DAC, 11b gain. The
// frequency offset is applied by the next tx or rx, as the dialog does.
void apply_tune(RfApi &api, const TunePlan &plan);

}  // namespace deve::cli
