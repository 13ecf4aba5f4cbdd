// deve-cli report: the line's runs, yield, capability and failures from the
// store, or one board's history, as text, JSON, CSV or an HTML page. It
// reads the store only and never opens the board.
#pragma once

#include "commands.h"

namespace deve::cli {

// Runs a report; the exit code (0; 2 for a refusal or output that cannot be
// written; 3 when the database is away).
int run_report_command(const ReportCommand &command, const Globals &globals);

}  // namespace deve::cli
