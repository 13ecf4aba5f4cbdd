// The live page's figures: what a line manager watches during a shift, read
// from the store as aggregates (counts per station, the last run of each
// station, the last failures, the pools' free addresses), so that what is
// held stays the same size however many runs the store keeps. The queries
// only read; the window's filters are the report's (window_filter).
#pragma once

#include "odbc.h"
#include "report.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace deve::cli::report {

// The shift's runs of one station, by verdict, and its yield as the report
// counts it (boards taken by their first and last run at the station).
struct LiveStation {
    std::string station;
    std::size_t runs = 0;
    std::size_t boards = 0;
    std::size_t first_pass = 0;
    std::size_t final_pass = 0;
    std::size_t passed = 0;
    std::size_t failed = 0;  // verdict fail
    std::size_t errors = 0;  // verdict error
    std::size_t interrupted = 0;
    std::size_t incomplete = 0;
};

// What a station's computer is doing, from its last run:
//   testing     the run has not ended and wrote a step (or began) less than
//               kStalledAfterMs ago;
//   incomplete  the run has not ended and nothing came from it for longer
//               (its station stopped or died part-way);
//   idle        the run ended.
enum class StationState { Idle, Testing, Incomplete };
const char *state_name(StationState state);
constexpr std::int64_t kStalledAfterMs = 10 * 60 * 1000;

// A station's tile: one per station name and computer (two PCs with the same
// station name are two tiles).
struct LiveTile {
    std::string station;
    std::string host;
    StationState state = StationState::Idle;
    std::string run_id;
    std::string board;  // serial, else MAC address; empty when neither
    std::string verdict;
    std::int64_t started_ms = 0;
    std::optional<std::int64_t> ended_ms;
    std::int64_t last_activity_ms = 0;  // the run's start, or the end of its last step
    std::string last_command;           // the last step's command; empty when none
};

// A run that failed, stopped in error or was interrupted, with the first
// step that did not pass and its failed measurement.
struct LiveFailure {
    std::string run_id;
    std::int64_t started_ms = 0;
    std::string station;
    std::string host;
    std::string board;
    std::string verdict;
    std::string step;     // "rx 2G ch6 ..."; empty when no step failed
    std::string outcome;  // the step's outcome
    std::string detail;   // the step's message, or what was measured against its limit
};

struct LivePool {
    std::string pool;
    std::uint64_t size = 0;
    std::uint64_t free = 0;  // never taken, or released (as pool status counts them)
};

struct LiveFigures {
    Window window;  // as queried (a span given to --since resolved at that time)
    std::int64_t read_ms = 0;
    std::vector<LiveStation> stations;  // by station name, natural order
    std::vector<LiveTile> tiles;        // by station name, then host
    // The newest failures first, at most kLiveFailures of each station.
    std::vector<LiveFailure> failures;
    std::vector<LivePool> pools;
};
constexpr std::size_t kLiveFailures = 20;

// Reads the figures of the runs in the window, at `now_ms` (for the tiles'
// states). Throws store::odbc::Error.
LiveFigures read_live(store::odbc::Connection &db, const Window &window, std::int64_t now_ms);

// What the page asks for: every station, or the ones named.
struct LiveView {
    std::vector<std::string> stations;
};

// Whether the store answered: since when it has not, when it last did.
struct StoreState {
    bool reachable = false;
    std::optional<std::int64_t> unreachable_since_ms;
    std::string problem;  // why, in the driver's words; empty when reachable
};

// The page's JSON: the figures (none when the store never answered), the
// stations of the view only, and the store's state. At most kLiveFailures
// failures, newest first.
std::string live_json(const LiveFigures *figures, const LiveView &view, const StoreState &store, std::int64_t now_ms);

// The live page and its script. The page loads the script from the same
// server, which reads live.json (with the page's own query) every
// `refresh_seconds` and draws it: no load from elsewhere, charts as inline
// SVG; kLivePolicy is the content security policy it is served with (the page
// carries the same but frame-ancestors, which only a header can give).
std::string live_page(const std::string &title, int refresh_seconds);
std::string live_script();
extern const char *const kLivePolicy;

}  // namespace deve::cli::report
