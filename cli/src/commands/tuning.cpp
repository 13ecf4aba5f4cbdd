#include "tuning.h"

#include "deve/operations.h"
#include "input_file.h"

#include <charconv>
#include <vector>

namespace deve::cli {

namespace {

// The channel numbers a band offers, as ranges: "1-13", "32-64, 100-170".
std::string channel_ranges(int band) {
    const std::size_t count = channel_labels(band).size();
    std::string text;
    std::int32_t first = 0;
    std::int32_t last = 0;
    auto close_range = [&] {
        text += (text.empty() ? "" : ", ") + std::to_string(first) + (last != first ? "-" + std::to_string(last) : "");
    };
    for (std::size_t p = 0; p < count; ++p) {
        const std::int32_t n = deve::channel_number(band, static_cast<int>(p));
        if (p == 0) {
            first = last = n;
        } else if (n == last + 1) {
            last = n;
        } else {
            close_range();
            first = last = n;
        }
    }
    if (count != 0) {
        close_range();
    }
    return text;
}

std::string rate_list(int mode) {
    std::string text;
    for (const Rate &r : rates_of_mode(mode)) {
        text += (text.empty() ? "" : ", ") + std::string(r.label);
    }
    return text;
}

// The label of a rate of the mode, matched ignoring case.
std::optional<std::string> match_rate(int mode, std::string_view text) {
    for (const Rate &r : rates_of_mode(mode)) {
        if (deve::equal_ignoring_case(r.label, text)) {
            return std::string(r.label);
        }
    }
    return std::nullopt;
}

// The mode that offers a rate label, if any.
std::optional<int> mode_of_rate(std::string_view text) {
    for (int mode = 0; mode < static_cast<int>(kModeChoices.labels.size()); ++mode) {
        if (match_rate(mode, text)) {
            return mode;
        }
    }
    return std::nullopt;
}

std::string quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

}  // namespace

std::optional<int> match_channel(int band, std::string_view text) {
    const std::vector<std::string> labels = channel_labels(band);
    const std::optional<double> number = whole_number(text);
    for (std::size_t p = 0; p < labels.size(); ++p) {
        if (deve::equal_ignoring_case(labels[p], text) ||
            (number && *number == static_cast<double>(deve::channel_number(band, static_cast<int>(p))))) {
            return static_cast<int>(p);
        }
    }
    return std::nullopt;
}

std::optional<double> whole_number(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
            return std::nullopt;
        }
    }
    double value = 0;
    const char *end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

double label_number(const char *label) { return whole_number(label).value_or(0.0); }

std::int32_t RadioState::channel_number() const { return deve::channel_number(band, channel); }

std::string RadioState::channel_label() const {
    const std::vector<std::string> labels = channel_labels(band);
    return channel >= 0 && static_cast<std::size_t>(channel) < labels.size() ? labels[channel] : std::string();
}

std::optional<int> match_mode(std::string_view text) {
    if (const std::optional<int> exact = match_label(kModeChoices, text)) {
        return exact;
    }
    std::optional<int> found;
    for (std::size_t i = 0; i < kModeChoices.labels.size(); ++i) {
        const std::string_view label = kModeChoices.labels[i];
        const std::size_t dash = label.find('-');
        if (dash == std::string_view::npos) {
            continue;
        }
        if (deve::equal_ignoring_case(label.substr(0, dash), text) || deve::equal_ignoring_case(label.substr(dash + 1), text)) {
            if (found) {
                return std::nullopt;  // names more than one mode
            }
            found = static_cast<int>(i);
        }
    }
    return found;
}

std::optional<int> match_crystal(std::string_view text) {
    if (const std::optional<int> exact = match_label(kCrystalChoices, text)) {
        return exact;
    }
    const std::optional<double> wanted = whole_number(text);
    constexpr std::string_view kUnit = "MHz";
    for (std::size_t i = 0; wanted && i < kCrystalChoices.labels.size(); ++i) {
        std::string_view label = kCrystalChoices.labels[i];
        if (label.size() > kUnit.size() && label.substr(label.size() - kUnit.size()) == kUnit) {
            label.remove_suffix(kUnit.size());
        }
        if (whole_number(label) == wanted) {
            return static_cast<int>(i);
        }
    }
    return std::nullopt;
}

TunePlan plan_tune(const TuneRequest &request, const RadioState &now) {
    TunePlan plan;
    plan.next = now;
    RadioState &next = plan.next;
    auto refuse = [&plan](std::string why) {
        plan.error = std::move(why);
        return plan;
    };

    if (request.band) {
        const std::optional<int> band = match_label(kBandChoices, *request.band);
        if (!band) {
            return refuse("unknown band " + quoted(*request.band) + " (bands: " + label_list(kBandChoices) + ")");
        }
        next.band = *band;
    }
    if (request.channel) {
        const std::optional<int> position = match_channel(next.band, *request.channel);
        if (!position) {
            return refuse("channel " + quoted(*request.channel) + " is not offered on band " +
                          kBandChoices.labels[next.band] + " (channels " + channel_ranges(next.band) + ")");
        }
        next.channel = *position;
        plan.channel = true;
    } else if (next.band != now.band) {
        // Keeping the channel number across bands would leave the radio on a
        // channel the new band does not have.
        const std::string label = now.channel_label();
        if (!match_channel(next.band, std::to_string(now.channel_number()))) {
            return refuse("band " + std::string(kBandChoices.labels[next.band]) + " does not offer channel " +
                          std::to_string(now.channel_number()) + " (" + label + "): give --channel (channels " +
                          channel_ranges(next.band) + ")");
        }
    }

    if (request.mode) {
        const std::optional<int> mode = match_mode(*request.mode);
        if (!mode) {
            return refuse("unknown mode " + quoted(*request.mode) + " (modes: " + label_list(kModeChoices) + ")");
        }
        next.mode = *mode;
        plan.mode = true;
        if (next.mode == kModeHt20) {
            next.rate = std::string(kOpenRateLabel);  // choosing HT20 applies its top rate
        }
    }
    if (request.rate) {
        const std::optional<std::string> label = match_rate(next.mode, *request.rate);
        if (!label) {
            const std::optional<int> other = mode_of_rate(*request.rate);
            return refuse(std::string(other ? "rate " + quoted(*request.rate) + " is not offered by mode "
                                            : "unknown rate " + quoted(*request.rate) + " for mode ") +
                          kModeChoices.labels[next.mode] + " (rates: " + rate_list(next.mode) + ")");
        }
        next.rate = *label;
        plan.rate = true;
    } else if (!match_rate(next.mode, next.rate)) {
        return refuse("mode " + std::string(kModeChoices.labels[next.mode]) + " does not offer rate " + next.rate +
                      ": give --rate (rates: " + rate_list(next.mode) + ")");
    }

    if (next.mode == kMode11b && next.band != kBand2G) {
        return refuse("mode " + std::string(kModeChoices.labels[kMode11b]) + " is not offered on band " +
                      kBandChoices.labels[next.band] + ": CCK frames are sent on 2.4 GHz only (give --mode)");
    }

    if (request.rf_gain) {
        const std::optional<int> position = match_number(kRfGainChoices, *request.rf_gain);
        if (!position) {
            return refuse("RF gain " + quoted(*request.rf_gain) + " is not offered (0 down to -15 in steps of 1)");
        }
        next.rf_gain = *position;
        plan.rf_gain = true;
    }
    if (request.dac) {
        const std::optional<int> position = match_number(kDacChoices, *request.dac);
        if (!position) {
            return refuse("DAC gain " + quoted(*request.dac) + " is not offered (+2.5 down to -5 dB in 0.5 dB steps)");
        }
        next.dac = *position;
        plan.dac = true;
    }
    if (request.b_gain) {
        const std::optional<int> position = match_number(kBrateGainChoices, *request.b_gain);
        if (!position) {
            return refuse("11b gain " + quoted(*request.b_gain) + " is not offered (+1.5 down to -6 dB in 0.5 dB steps)");
        }
        next.b_gain = *position;
        plan.b_gain = true;
    }
    if (request.offset) {
        next.offset = *request.offset;
        plan.offset = true;
    }
    return plan;
}

std::optional<std::string> OperatingPointCheck::tune(const Command &command) {
    ++commands_;
    const TuneRequest *request = nullptr;
    const char *name = "tune";
    if (const auto *t = std::get_if<TuneCmd>(&command)) {
        request = &t->request;
    } else if (const auto *trim = std::get_if<TrimFindCmd>(&command)) {
        request = &trim->tune;
        name = "trim find";
    }
    if (request != nullptr) {
        const TunePlan plan = plan_tune(*request, state_);
        if (!plan.error.empty()) {
            return std::string(name) + " (command " + std::to_string(commands_) + "): " + plan.error;
        }
        state_ = plan.next;
    }
    return std::nullopt;
}

std::optional<std::string> OperatingPointCheck::limit_set(const Command &command, const LimitFile &limits) const {
    const auto check = [&](const char *name, const auto &cmd) -> std::optional<std::string> {
        const LimitSet *set = limits.find(name, state_.band, state_.channel_number(), state_.mode, state_.rate);
        // A sequential run stops at its own maximum: the run checks that.
        const bool sequential = !cmd.test.fixed && (cmd.test.sequential || (set != nullptr && set->sequential));
        if (set == nullptr || sequential || !cmd.frames || cmd.min_frames || !set->limits.min_frames ||
            *set->limits.min_frames <= *cmd.frames) {
            return std::nullopt;
        }
        return std::string(name) + " (command " + std::to_string(commands_) +
               "): " + unreachable_frames_text(*set, *set->limits.min_frames, *cmd.frames);
    };
    if (const auto *tx = std::get_if<TxCmd>(&command)) {
        return check("tx", *tx);
    }
    if (const auto *rx = std::get_if<RxCmd>(&command)) {
        return check("rx", *rx);
    }
    return std::nullopt;
}

std::optional<std::string> check_tunes(const std::vector<Command> &commands) {
    OperatingPointCheck check;
    for (const Command &command : commands) {
        if (std::optional<std::string> refusal = check.tune(command)) {
            return refusal;
        }
    }
    return std::nullopt;
}

std::string unreachable_frames_text(const LimitSet &set, std::uint64_t min_frames, std::uint64_t frames) {
    return "limit set \"" + excerpt(set.name) + "\" asks for at least " + std::to_string(min_frames) +
           " frames, and the run stops at --frames " + std::to_string(frames) + ": it cannot pass";
}

std::optional<std::string> check_limit_sets(const std::vector<Command> &commands, const LimitFile &limits) {
    OperatingPointCheck check;
    for (const Command &command : commands) {
        std::optional<std::string> refusal = check.tune(command);
        if (!refusal) {
            refusal = check.limit_set(command, limits);
        }
        if (refusal) {
            return refusal;
        }
    }
    return std::nullopt;
}

void apply_tune(RfApi &api, const TunePlan &plan) {
    const RadioState &s = plan.next;
    if (plan.channel) {
        choose_channel(api, s.band, s.channel);
    }
    if (plan.mode) {
        choose_mode(api, s.mode);
    }
    if (plan.rate) {
        choose_rate(api, s.rate);
    }
    if (plan.rf_gain) {
        choose_rf_gain(api, s.band, *s.rf_gain);
    }
    if (plan.dac) {
        choose_dac(api, s.band, *s.dac);
    }
    if (plan.b_gain) {
        choose_brate_gain(api, *s.b_gain);
    }
}

}  // namespace deve::cli
