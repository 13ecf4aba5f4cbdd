// deve-cli trace show|stats|diff: reading the traces the recording
// transport writes, with the accesses named from the chip's register map.
// They read files only and never open the link.
#pragma once

#include "commands.h"
#include "output.h"

#include "xolt_trace/trace_format.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace deve::cli {

// Runs a trace command: 0; 1 when trace diff finds the calls differ; 2 for
// a file that is not a readable trace, or output that cannot be written.
int run_trace_command(const TraceCommand &command, const Globals &globals);

// The figures of trace stats.
struct TraceStats {
    struct Count {
        std::string name;  // entry point, or register name
        std::uint32_t address = 0;
        std::uint64_t calls = 0;
        std::uint64_t reads = 0;
        std::uint64_t writes = 0;
        std::uint64_t total_us = 0;
    };
    std::vector<Count> entry_points;  // in the order of the entry points
    std::vector<Count> registers;     // by address
    // The access times of register reads and writes, in microseconds.
    std::uint64_t accesses = 0;
    std::optional<std::uint64_t> median_us;
    std::optional<std::uint64_t> p99_us;
    std::optional<std::uint64_t> max_us;
};
TraceStats trace_stats(const xolt_trace::Trace &trace);

// The first call where two traces part, and how much differs after it.
struct TraceDiff {
    std::size_t entries_a = 0;
    std::size_t entries_b = 0;
    // 1-based index of the first entry whose call differs, or where one
    // trace ends before the other; nothing when the calls are the same.
    std::optional<std::size_t> first;
    std::string first_a;  // the call there ("" past the end)
    std::string first_b;
    // Entries after the first difference whose calls differ, position by
    // position, and the entries one trace has beyond the other's end.
    std::size_t differing_after = 0;
    // Before the first difference: the reads that read other values.
    std::size_t values_differing = 0;
    std::optional<std::size_t> first_value;
    std::string first_value_a;
    std::string first_value_b;
};
TraceDiff trace_diff(const xolt_trace::Trace &a, const xolt_trace::Trace &b);

// The n-th percentile (nearest rank) of sorted values.
std::uint64_t percentile(const std::vector<std::uint64_t> &sorted, double p);

}  // namespace deve::cli
