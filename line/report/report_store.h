// Reading the report's rows from the line store: plain SELECTs over the
// tables runs, steps, measurements, boards and burns, every value asked for
// bound as a parameter.
#pragma once

#include "odbc.h"
#include "report.h"

#include <string>

namespace deve::cli::report {

// The report of the runs that started in the window, summed by the
// database: runs by verdict, the measurements' sums by group and the
// failures by step and limit come back as a row per group; the runs come
// board by board, one board held at a time. Memory does not grow with the
// runs (on a connection that streams: store::connect_for_reading), unless
// the options ask for every run to be listed.
Report read_report(store::odbc::Connection &db, const Window &window, const ReportOptions &options,
                   std::int64_t generated_ms);

// Looks up one board by its serial, its MAC address or the id of one of its
// runs: every run of that board, oldest first, with its steps, measurements,
// identities and burns. No runs when nothing matches.
BoardHistory read_board(store::odbc::Connection &db, const std::string &key);

}  // namespace deve::cli::report
