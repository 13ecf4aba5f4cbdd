// deve-cli report: the line's runs, yield, capability and failures from the
// store, or one board's history, as text, JSON, CSV or an HTML page. It
// reads the store only and never opens the board.
#pragma once

#include "commands.h"
#include "report.h"
#include "url.h"

namespace deve::cli {

// Runs a report; the exit code (0; 2 for a refusal or output that cannot be
// written; 3 when the database is away).
int run_report_command(const ReportCommand &command, const Globals &globals);

// deve-cli report serve: serves the live page of the runs in `window` (its
// since slides with the clock when the command's --since was a span) until
// SIGINT or SIGTERM; 0 then, 2 when it cannot listen (report_serve.cpp; a
// build without the HTTP library refuses with 2).
int run_report_serve(const ReportCommand &command, const store::StoreUrl &url, const report::Window &window);

}  // namespace deve::cli
