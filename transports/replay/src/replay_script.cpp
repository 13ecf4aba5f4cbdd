#include "replay_script.h"

#include <algorithm>

namespace xolt_replay {

using xolt_trace::Entry;
using xolt_trace::EntryPoint;

Script::Script(std::vector<Entry> entries, std::size_t first_index, bool writes_only)
    : entries_(std::move(entries)), first_index_(first_index), writes_only_(writes_only) {
    if (!writes_only_) {
        return;
    }
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (is_read(entries_[i])) {
            const ReadKey key = key_of(entries_[i]);
            stretch_reads_[{ordered_.size(), key}].push_back(i);
            all_reads_[key].push_back(i);
        } else {
            ordered_.push_back(i);
        }
    }
}

bool Script::is_read(const Entry &e) { return e.entry == EntryPoint::ReadReg || e.entry == EntryPoint::BurstReadReg; }

Script::ReadKey Script::key_of(const Entry &e) {
    const bool burst = e.entry == EntryPoint::BurstReadReg;
    return ReadKey{e.args.at(0), burst ? e.args.at(1) : 1u, burst};
}

Answer Script::answer_of(const Entry &recorded) const {
    return Answer{true, recorded.result, recorded.values, recorded.bytes};
}

Answer Script::diverge(std::size_t position, const std::string &what) {
    divergence_index_ = first_index_ + position;
    divergence_ = "the call differs from the trace at entry " + std::to_string(divergence_index_) + ": " + what +
                  "; every call fails from here on";
    return Answer{};
}

Answer Script::next(const Entry &call) {
    if (!divergence_.empty()) {
        return Answer{};
    }
    return writes_only_ ? writes_only(call) : strict(call);
}

Answer Script::strict(const Entry &call) {
    if (next_ >= entries_.size()) {
        return diverge(next_, "the trace ends after entry " + std::to_string(first_index_ + next_ - 1) + ", got " +
                                  xolt_trace::describe(call));
    }
    const Entry &recorded = entries_[next_];
    if (!xolt_trace::same_call(recorded, call)) {
        Entry shown = recorded;
        shown.values.clear();  // what was read is not part of the call
        return diverge(next_, "recorded " + xolt_trace::describe(shown) + ", got " + xolt_trace::describe(call));
    }
    ++next_;
    return answer_of(recorded);
}

Answer Script::writes_only(const Entry &call) {
    const std::size_t stretch = next_ordered_;
    const std::size_t stretch_start = stretch == 0 ? 0 : ordered_[stretch - 1] + 1;
    const std::size_t here = stretch < ordered_.size() ? ordered_[stretch] : entries_.size();
    if (is_read(call)) {
        const ReadKey key = key_of(call);
        const auto reads = stretch_reads_.find({stretch, key});
        if (reads != stretch_reads_.end()) {
            // The recorded reads of this stretch in turn, then the last one
            // again: a status polled more often than when it was recorded.
            std::size_t &served = served_[{stretch, key}];
            const std::size_t at = reads->second[std::min(served, reads->second.size() - 1)];
            ++served;
            return answer_of(entries_[at]);
        }
        // Not read in this stretch: the register's last recorded value.
        const auto all = all_reads_.find(key);
        if (all != all_reads_.end()) {
            const auto after = std::lower_bound(all->second.begin(), all->second.end(), stretch_start);
            if (after != all->second.begin()) {
                return answer_of(entries_[*(after - 1)]);
            }
        }
        return diverge(here, "got " + xolt_trace::describe(call) + ", a read the trace has not made by then");
    }
    if (stretch >= ordered_.size()) {
        return diverge(entries_.size(), "the trace ends after entry " + std::to_string(first_index_ + entries_.size() - 1) +
                                            ", got " + xolt_trace::describe(call));
    }
    const Entry &recorded = entries_[here];
    if (!xolt_trace::same_call(recorded, call)) {
        return diverge(here, "recorded " + xolt_trace::describe(recorded) + ", got " + xolt_trace::describe(call));
    }
    ++next_ordered_;
    return answer_of(recorded);
}

std::optional<Script> make_script(const xolt_trace::Trace &trace, const Options &options, std::string &error) {
    if (options.section == 0 || options.section > trace.sections.size()) {
        error = "the trace has " + std::to_string(trace.sections.size()) + " section(s), not a section " +
                std::to_string(options.section);
        return std::nullopt;
    }
    std::vector<Entry> entries;
    std::size_t first = 0;
    for (std::size_t i = 0; i < trace.entries.size(); ++i) {
        if (trace.entries[i].section == options.section) {
            if (entries.empty()) {
                first = i + 1;
            }
            entries.push_back(trace.entries[i]);
        }
    }
    if (entries.empty()) {
        error = "section " + std::to_string(options.section) + " of the trace holds no calls";
        return std::nullopt;
    }
    return Script(std::move(entries), first, options.writes_only);
}

}  // namespace xolt_replay
