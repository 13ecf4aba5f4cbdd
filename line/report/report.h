// deve-cli report: what a line's quality engineer judges it by, computed
// from the store's rows. Runs and their verdicts; first-pass and final yield
// per station, lot and day; n, mean, standard deviation, minimum, maximum,
// Cp and Cpk of every measurement that has limits; and a Pareto of the
// failures by step and limit. The functions here work on rows already read,
// or on sums the database made of them (report_store.h), so the figures do
// not depend on the database that held them.
#pragma once

#include "common/text_format.h"
#include "zone.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace deve::cli::report {

// ---- Rows ------------------------------------------------------------------

// One run, as the runs table keeps it.
struct Run {
    std::string run_id;
    std::int64_t started_ms = 0;  // UTC, milliseconds since 1970-01-01
    std::optional<std::int64_t> ended_ms;
    std::string station;
    std::string operator_name;
    std::string lot;
    std::string serial;
    // The PC the run ran on: two PCs may give their stations one name.
    std::string host;
    // The board the run tested: its serial, else its MAC address; empty when
    // the run names neither (the run then counts as a board of its own).
    std::string board;
    // "pass", "fail", "error", "interrupted", or "incomplete" for a run
    // whose station stopped before its end.
    std::string verdict;
    std::optional<int> exit_code;
};

// One step of a run.
struct Step {
    std::string run_id;
    int seq = 0;
    std::string command;  // "rx", "tx", "efuse burn", ...
    std::string point;    // the operating point it ran at; empty when none
    // "pass", "fail", "error", ...; empty when the step never ended.
    std::string outcome;
    std::optional<std::int64_t> started_ms;
    std::string kind;  // what went wrong: "refused", "link", ...; empty when it passed
};

// One measured value and the limits it was judged against.
struct Measurement {
    std::string run_id;
    int step_seq = 0;
    std::string command;  // the step's command
    std::string point;    // the step's operating point
    std::string name;     // "per", "frames", "fps", ...
    std::string unit;
    std::optional<double> value;  // none when it could not be measured
    std::optional<double> low;    // the lower limit (value >= low), if any
    std::optional<double> high;   // the upper limit (value <= high), if any
    std::string limit_set;        // the limit file's set that applied; empty for a command-line limit
    bool passed = true;
};

struct Rows {
    std::vector<Run> runs;
    std::vector<Step> steps;
    std::vector<Measurement> measurements;
};

// ---- Capability -----------------------------------------------------------

// The figures of one measurement against its limits (LSL = low, USL = high):
//   mean = sum(x) / n
//   s    = sqrt(sum((x - mean)^2) / (n - 1))      sample standard deviation
//   Cp   = (USL - LSL) / (6 s)                    both limits only
//   Cpu  = (USL - mean) / (3 s),  Cpl = (mean - LSL) / (3 s)
//   Cpk  = min(Cpu, Cpl), or the one of them that a one-sided limit has.
// s needs two values; Cp and Cpk need s > 0 and are absent otherwise.
struct Capability {
    std::size_t n = 0;
    std::optional<double> mean;
    std::optional<double> stddev;
    std::optional<double> min;
    std::optional<double> max;
    std::optional<double> cp;
    std::optional<double> cpk;
};
Capability capability(const std::vector<double> &values, std::optional<double> low, std::optional<double> high);

// The sums a single pass over the values gives, about a shift near them (a
// limit): the spread of values far from zero (a frame count, a frequency)
// is then kept, as the two passes above keep it.
struct Moments {
    std::size_t n = 0;
    double shift = 0;
    double sum = 0;      // of (x - shift)
    double squares = 0;  // of (x - shift)^2
    std::optional<double> min;
    std::optional<double> max;
    void add(const Moments &other);  // the same shift
};
Capability capability_from(const Moments &moments, std::optional<double> low, std::optional<double> high);

// Why a measurement gets no Cp and Cpk, or nothing when it gets them. A
// count that a step stops at has none: `frames` of tx and rx. With
// --frames N a step ends once N frames are counted, so its values are N
// plus the frames of the last reading, and min-frames only says whether the
// count came before the time cap: their spread is that of the counter's
// reading, not of the board, and a Cpk of it means nothing. The board's
// throughput and reception have theirs in frames_per_second and per.
std::optional<std::string> capability_withheld(const std::string &command, const std::string &name);

// The values of one measurement: one command at one operating point, one
// name and unit, judged against the same limits from the same set.
struct MeasurementStats {
    std::string command;
    std::string point;
    std::string name;
    std::string unit;
    std::optional<double> low;
    std::optional<double> high;
    std::string limit_set;
    std::vector<double> values;  // in the order measured (rows read into memory only)
    std::size_t missing = 0;     // rows without a value
    std::size_t failed = 0;      // rows judged failed
    Capability figures;
    // Why Cp and Cpk are left out (capability_withheld); empty when not.
    std::string no_capability;
};
// Every measurement that has a limit, in order of command, point, name.
std::vector<MeasurementStats> measurement_stats(const std::vector<Measurement> &rows);

// "rx 2G ch6 11n-HT20 MCS7": a step's command and its operating point.
std::string step_label(const std::string &command, const std::string &point);
// "per <= 8", "frames >= 1000", "9.5 <= level <= 10.6".
std::string limit_text(const std::string &name, std::optional<double> low, std::optional<double> high);

// ---- Yield ----------------------------------------------------------------

// The boards of one group of runs (a station, a lot, a day, or all). A
// board's runs are taken in the order they started:
//   first-pass yield = boards whose first run passed / boards
//   final yield      = boards whose last run passed / boards
// A run passed when its verdict is "pass"; a run that is incomplete,
// interrupted, failed or in error did not.
struct Yield {
    std::string group;
    // By station: the PC of the station (two PCs may carry one station
    // name and are two groups). Empty for the other groups.
    std::string host;
    std::size_t runs = 0;
    std::size_t boards = 0;
    std::size_t first_pass = 0;
    std::size_t final_pass = 0;
    double first_pass_yield() const;  // 0..1
    double final_yield() const;       // 0..1
};

enum class GroupBy { All, Station, Lot, Day };
// One Yield per station and host, lot or day (YYYY-MM-DD, the zone's local
// day of the runs' starts), in the natural order of the group's name (st2
// before st10), then its host; one, named "all", for GroupBy::All. A board
// tested in two groups counts in both.
std::vector<Yield> yields(const std::vector<Run> &runs, GroupBy by, const Zone &zone = Zone());

// The same figures from runs given board by board (all runs of one board
// one after the other, in any order among them), holding only the runs of
// one board at a time: the groups' counts grow with the stations, lots and
// days, never with the runs.
class YieldTally {
public:
    explicit YieldTally(Zone zone) : zone_(std::move(zone)) {}
    // It points into its own groups.
    YieldTally(const YieldTally &) = delete;
    YieldTally &operator=(const YieldTally &) = delete;
    // `board` is the board's key (the same for all its runs).
    void add(const std::string &board, Run run);
    // The figures, once every run was added.
    Yield overall();
    std::vector<Yield> by(GroupBy by);

private:
    void flush();
    // The group of a run, found without a lookup when it is the group of
    // the run before (runs come from a few stations, lots and days).
    Yield &group(GroupBy by, const Run &run);
    Zone zone_;
    std::string board_;
    std::vector<Run> runs_;  // of the current board
    std::map<std::pair<GroupBy, std::string>, Yield> groups_;
    struct Last {
        std::string station, host, lot;
        Zone::DaySpan day;
        Yield *station_group = nullptr;
        Yield *lot_group = nullptr;
        Yield *day_group = nullptr;
        Yield *all = nullptr;
    } last_;
};

// ---- Failure Pareto ----------------------------------------------------------

// Failures by step and limit, most frequent first: every failed measurement
// under its limit; every step that failed, stopped in error or never ended
// without a failed measurement, under its outcome; and a run that did not
// pass with neither, under step "(run)" and its verdict.
struct ParetoItem {
    std::string step;   // the command and its operating point
    std::string limit;  // the limit text and its set, or the step's outcome
    std::size_t count = 0;
    std::size_t runs = 0;       // runs with this failure
    double share = 0;           // of all failures, 0..1
    double cumulative = 0;      // of all failures up to this item, 0..1
};
std::vector<ParetoItem> failure_pareto(const Rows &rows);
// Items with their count and runs, ranked: most frequent first, with their
// shares.
std::vector<ParetoItem> ranked_pareto(std::vector<ParetoItem> items);
// The Pareto's limit text of a failed measurement: "per <= 10 [rx HT20]".
std::string failed_limit_text(const std::string &name, std::optional<double> low, std::optional<double> high,
                              const std::string &limit_set);
// The Pareto's text of a step that did not pass: "never ended", "error (link)".
std::string step_failure_text(const std::string &outcome, const std::string &kind);

// ---- Histogram ------------------------------------------------------------

// Equal bins over the values and the limits, a little wider than both, so
// that every value and every limit falls inside.
struct Histogram {
    double from = 0;
    double width = 1;  // of one bin
    std::vector<std::size_t> counts;
    std::vector<std::size_t> outside;  // of each bin's values, those outside the limits
    double to() const { return from + width * static_cast<double>(counts.size()); }
};
Histogram histogram(const std::vector<double> &values, std::optional<double> low, std::optional<double> high);
// The empty bins of a histogram of n finite values from min to max (none
// when n is 0), against the limits: a value v then falls in bin
// histogram_bin(h, v).
Histogram histogram_frame(std::size_t n, std::optional<double> min, std::optional<double> max,
                          std::optional<double> low, std::optional<double> high);
std::size_t histogram_bin(const Histogram &h, double value);

// ---- The report -----------------------------------------------------------

// What the report was asked for: runs that started in [since, until), and
// of each filter that is given, one of its values (a filter left empty
// takes every run).
struct Window {
    std::optional<std::int64_t> since_ms;
    std::optional<std::int64_t> until_ms;
    std::vector<std::string> stations;
    std::vector<std::string> lots;
    std::vector<std::string> serials;   // the runs' serial (--meta serial=...)
    std::vector<std::string> hosts;     // the PCs the runs ran on
    std::vector<std::string> pools;     // runs of boards that took an address of these MAC pools
    std::vector<std::string> verdicts;  // pass, fail, error, interrupted, incomplete
};

// "from 2026-12-01 00:00 to 2026-12-08 00:00 (UTC), station FT-1 or FT-2,
// lot L7, verdict fail".
std::string window_text(const Window &window);

// Stations, lots and hosts as a person orders them: the runs of digits
// compared as numbers, "st2" before "st10".
bool natural_less(const std::string &a, const std::string &b);

// ---- The failing runs ----------------------------------------------------------

// A run of the window that did not pass, and what it failed on first: its
// first failed measurement (the value against its limit), else its first
// step that did not pass.
struct FailingRun {
    Run run;
    std::optional<int> step_seq;  // none: the run failed between steps
    std::string step;             // "rx 2G ch6 11n-HT20 MCS7"
    std::string outcome;          // the step's outcome; "never ended" for a step cut short
    std::string kind;             // what went wrong: "link", "refused", ...
    // The failed measurement, when a limit was broken.
    std::string name;
    std::optional<double> value;
    std::string unit;
    std::optional<double> low;
    std::optional<double> high;
    std::string limit_set;
    bool limit_broken = false;
};

// The latest failing runs of the window, newest first, at most `limit` of
// them; `total` counts them all, so a reader knows how many were left out.
struct FailingRuns {
    std::size_t limit = 0;
    std::size_t total = 0;
    std::vector<FailingRun> runs;
    // For the page: the runs of each board of the list (a run that named
    // no board has none), so that the page can show a board's history
    // without a second query: how many it has, and the latest
    // kBoardRunsShown of them.
    struct BoardRuns {
        std::string board;
        std::size_t total = 0;
        std::vector<Run> runs;  // oldest first
    };
    std::vector<BoardRuns> boards;
};

// What a failing run failed on: "per = 9.2 % against per <= 8 [2G HT20]",
// "error (link)", "never ended", or the run's verdict when it failed
// between steps.
std::string failure_text(const FailingRun &failing);

// The number of failing runs a report lists when not told otherwise.
constexpr std::size_t kFailingRunsShown = 50;
// The runs of a failing run's board the page shows, the latest.
constexpr std::size_t kBoardRunsShown = 20;

// How the report is made: the zone of its day table, whether it lists
// every run (--runs), and whether it bins the values for histograms (the
// HTML page).
struct ReportOptions {
    Zone zone;
    bool list_runs = false;
    bool histograms = false;
};

struct Report {
    Window window;
    std::int64_t generated_ms = 0;
    std::string zone = "UTC";  // the zone of the day table
    std::size_t run_count = 0;
    // Every run, in order of start: only when asked for (list_runs).
    bool runs_listed = false;
    std::vector<Run> runs;
    // Runs by verdict, in a fixed order (pass, fail, error, interrupted,
    // incomplete, then any other).
    std::vector<std::pair<std::string, std::size_t>> verdicts;
    Yield overall;
    std::vector<Yield> by_station;
    std::vector<Yield> by_lot;
    std::vector<Yield> by_day;
    std::vector<MeasurementStats> measurements;
    // Each measurement's histogram, in the order of measurements: only when
    // asked for (histograms).
    std::vector<Histogram> histograms;
    std::vector<ParetoItem> pareto;
    // Read apart from the rows (read_failing_runs), so that its length
    // stays bounded whatever the window holds.
    FailingRuns failing;
};
// Runs by verdict in the report's order: pass, fail, error, interrupted,
// incomplete (each also when 0), then any other.
std::vector<std::pair<std::string, std::size_t>> verdict_counts(const std::map<std::string, std::size_t> &counts);

// The report of rows held in memory (a board's runs, the tests): the same
// figures as report_store.h's read_report gives from the database.
Report build_report(Rows rows, const Window &window, std::int64_t generated_ms,
                    const ReportOptions &options = ReportOptions{Zone(), true, true});

// The word for a group without a name (runs that named no station, no
// lot), in every table and chart alike.
constexpr const char *kNoName = "(none)";
// "1 board", "2 boards".
std::string counted(std::size_t n, const std::string &one, const std::string &many);

// The report as text for a terminal, as one JSON object on one line, as CSV
// (one table per section, each row led by the section's name), and as one
// self-contained HTML page.
std::string report_text(const Report &report);
std::string report_json(const Report &report);
std::string report_csv(const Report &report);
std::string report_html(const Report &report);
// Text made safe to stand in an HTML page's text or in a quoted attribute.
std::string html_escape(const std::string &text);
// "No Cp or Cpk for frames of tx, frames of rx: ...": one line per reason a
// measurement of the report has none.
std::vector<std::string> capability_notes(const std::vector<MeasurementStats> &measurements);

// ---- One board's history -----------------------------------------------------

// What a run read of its board.
struct BoardIdentity {
    std::string run_id;
    std::string serial;
    std::string chip_id;
    std::string mac;
};

// One eFuse item a run burned.
struct Burn {
    std::string run_id;
    int step_seq = 0;
    std::string item;
    std::string value;
    std::string outcome;
};

struct BoardHistory {
    std::string key;  // as asked: a serial, a MAC address or a run id
    Rows rows;        // the board's runs, oldest first
    std::vector<BoardIdentity> identities;
    std::vector<Burn> burns;
};

// The history as text, as one JSON object on one line, and as CSV.
std::string board_text(const BoardHistory &history);
std::string board_json(const BoardHistory &history);
std::string board_csv(const BoardHistory &history);

// ---- Times ----------------------------------------------------------------

// A time given to --since or --until: "2026-12-08", "2026-12-08T14:30",
// "2026-12-08 14:30:05", "2026-12-08T14:30:05.250" (UTC), the same times
// of day with an ISO 8601 offset from UTC ("Z", "+01:00", "+0100", "+01",
// "-05:00"), or a span back from now: "90m", "12h", "7d". Nothing when the
// text is none of them.
std::optional<std::int64_t> parse_time(const std::string &text, std::int64_t now_ms);
// As parse_time, and when the text is no time, what is wrong with it
// ("the offset +25:00 is not between -14:00 and +14:00").
struct TimeParse {
    std::optional<std::int64_t> ms;
    std::string error;
};
TimeParse read_time(const std::string &text, std::int64_t now_ms);
// The report writes its times with the common UTC formatter (utc_text,
// utc_day, utc_minute); parse_time reads utc_text's form back.
using deve::utc_day;
using deve::utc_minute;
using deve::utc_text;

}  // namespace deve::cli::report
