// Reading the report's rows from the line store: plain SELECTs over the
// tables runs, steps, measurements, boards and burns, every value asked for
// bound as a parameter.
#pragma once

#include "odbc.h"
#include "report.h"

#include <string>

namespace deve::cli::report {

// "2G ch6 11n-HT20 MCS7": a step's operating point from its band, channel,
// mode and rate columns, as every report names it.
std::string point_of(const store::odbc::Cell &band, const store::odbc::Cell &channel, const store::odbc::Cell &mode,
                     const store::odbc::Cell &rate);

// The report of the runs that started in the window, summed by the
// database: runs by verdict, the measurements' sums by group and the
// failures by step and limit come back as a row per group; the runs come
// board by board, one board held at a time. Memory does not grow with the
// runs (on a connection that streams: store::connect_for_reading), unless
// the options ask for every run to be listed. Given a `second` connection
// to the same store, the measurements are summed on it, on a thread of
// their own, while the runs stream on `db`.
Report read_report(store::odbc::Connection &db, const Window &window, const ReportOptions &options,
                   std::int64_t generated_ms, store::odbc::Connection *second = nullptr);

// The latest failing runs of the window (every run whose verdict is not
// "pass"), newest first, at most `limit`, with what each failed on first,
// and the count of them all.
FailingRuns read_failing_runs(store::odbc::Connection &db, const Window &window, std::size_t limit);

// Every run of each board of the failing runs (as read_board finds them),
// into failing.boards, for the page.
void read_failing_boards(store::odbc::Connection &db, FailingRuns &failing);

// Looks up one board by its serial, its MAC address or the id of one of its
// runs: every run of that board, oldest first, with its steps, measurements,
// identities and burns. No runs when nothing matches.
//
// A board is known by its serial, its chip id and, once burnt, its MAC
// address, and its early runs do not carry all three: a run that failed
// before the MAC burn has a serial and a chip id but no MAC, and one that
// failed at the open only a serial. So a board found by its MAC address
// also has the runs of the serial those runs carry whose chip id is theirs
// or unknown (a board whose chip was replaced keeps its serial, but its old
// chip's runs are another board's); one found by its serial or a run id
// has every run of that serial; either way, a run that carries no serial
// but one of the board's MAC addresses is the board's too.
BoardHistory read_board(store::odbc::Connection &db, const std::string &key);

// The WHERE clause over "runs r LEFT JOIN boards b" that picks the window's
// runs (empty when the window picks every run), and its parameters: for
// queries of their own over the same runs (the live page's).
struct WindowWhere {
    std::string where;
    std::vector<store::odbc::Value> params;
};
WindowWhere window_where(const Window &window);

}  // namespace deve::cli::report
