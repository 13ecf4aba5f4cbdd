// A recording transport for the library's unit tests: a shared library with
// the eleven xolt entry points that logs every register access in order and
// answers reads from a register memory that tests can preset and script.
//
// The test opens the same file that rf_init loads (XOLT_LIBRARY), so both see
// one State, reached through the exported function recording_state().
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace recording {

struct Access {
    bool write;
    std::uint32_t address;
    std::uint32_t value;

    bool operator==(const Access &o) const {
        return write == o.write && address == o.address && value == o.value;
    }
};

inline Access R(std::uint32_t address, std::uint32_t value) { return {false, address, value}; }
inline Access W(std::uint32_t address, std::uint32_t value) { return {true, address, value}; }

struct State {
    // Every register access, in order (reads with the value delivered).
    std::vector<Access> log;
    // Link-level calls, in order: "xolt_init", "xolt_select 4", "xolt_open", ...
    std::vector<std::string> calls;

    // What a read delivers: the next scripted value for the address if any,
    // else the memory (which every write updates), else 0.
    std::map<std::uint32_t, std::uint32_t> memory;
    std::map<std::uint32_t, std::deque<std::uint32_t>> scripted;

    // Results of the entry points.
    std::int32_t init_result = 0;
    std::int32_t select_result = 0;
    std::int32_t open_result = 0;
    std::int32_t close_result = 0;
    std::int32_t read_result = 0;
    std::int32_t write_result = 0;
    // When false, reads leave the caller's variable untouched (a failed read).
    bool reads_deliver = true;

    // Optional behaviour run after each write is logged (for example an eFuse
    // controller that answers a strobe).
    std::function<void(State &, std::uint32_t address, std::uint32_t value)> on_write;

    void reset() { *this = State{}; }

    std::vector<Access> writes() const {
        std::vector<Access> out;
        for (const Access &a : log) {
            if (a.write) {
                out.push_back(a);
            }
        }
        return out;
    }
};

}  // namespace recording

extern "C" {
// Exported by the recording transport library.
recording::State *recording_state();
}
