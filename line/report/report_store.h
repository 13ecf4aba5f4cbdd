// Reading the report's rows from the line store: plain SELECTs over the
// tables runs, steps, measurements, boards and burns, every value asked for
// bound as a parameter.
#pragma once

#include "odbc.h"
#include "report.h"

#include <string>

namespace deve::cli::report {

// The runs that started in the window, with their steps and measurements.
Rows read_rows(store::odbc::Connection &db, const Window &window);

// Looks up one board by its serial, its MAC address or the id of one of its
// runs: every run of that board, oldest first, with its steps, measurements,
// identities and burns. No runs when nothing matches.
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
