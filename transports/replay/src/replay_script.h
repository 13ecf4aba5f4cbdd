// The replay's script: the recorded calls of one section of a trace, and the
// rules by which a call of the library is matched to them (docs/traces.md).
#pragma once

#include "xolt_trace/trace_format.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace xolt_replay {

struct Options {
    // Only the order of everything but the reads is checked; reads are
    // answered from the recorded reads of the same register between the
    // same two writes.
    bool writes_only = false;
    std::size_t section = 1;  // which process's part of the trace
};

struct Answer {
    bool matched = false;
    std::int32_t result = 0;
    std::vector<std::uint32_t> values;
    std::string bytes;
};

class Script {
public:
    // `entries`: the section's entries; `first_index`: the 1-based index in
    // the trace of its first entry (the index trace show gives).
    Script(std::vector<xolt_trace::Entry> entries, std::size_t first_index, bool writes_only);

    // The recorded answer to the library's next call; not matched at the
    // first difference and for every call after it.
    Answer next(const xolt_trace::Entry &call);
    // Where and how the replay left the trace ("" while it has not).
    const std::string &divergence() const { return divergence_; }
    // The 1-based trace index of the entry where it left the trace (0 while
    // it has not).
    std::size_t divergence_index() const { return divergence_index_; }
    // How many recorded entries were played (strict), or ordered entries
    // matched (writes only), and how many there are.
    std::size_t played() const { return writes_only_ ? next_ordered_ : next_; }
    std::size_t to_play() const { return writes_only_ ? ordered_.size() : entries_.size(); }

private:
    using ReadKey = std::tuple<std::uint32_t, std::uint32_t, bool>;  // address, count, burst

    Answer strict(const xolt_trace::Entry &call);
    Answer writes_only(const xolt_trace::Entry &call);
    Answer answer_of(const xolt_trace::Entry &recorded) const;
    Answer diverge(std::size_t position, const std::string &what);
    static bool is_read(const xolt_trace::Entry &e);
    static ReadKey key_of(const xolt_trace::Entry &e);

    std::vector<xolt_trace::Entry> entries_;
    std::size_t first_index_;
    bool writes_only_;
    std::size_t next_ = 0;
    // Writes only: the positions of the ordered (non-read) entries, the
    // recorded reads of each stretch between two of them (stretch i ends at
    // ordered entry i), and every read of a register in order.
    std::vector<std::size_t> ordered_;
    std::size_t next_ordered_ = 0;
    std::map<std::pair<std::size_t, ReadKey>, std::vector<std::size_t>> stretch_reads_;
    std::map<std::pair<std::size_t, ReadKey>, std::size_t> served_;
    std::map<ReadKey, std::vector<std::size_t>> all_reads_;
    std::string divergence_;
    std::size_t divergence_index_ = 0;
};

// The script of a trace's section; nothing, with the reason, when the trace
// has no such section.
std::optional<Script> make_script(const xolt_trace::Trace &trace, const Options &options, std::string &error);

}  // namespace xolt_replay
