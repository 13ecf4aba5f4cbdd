// Puts the report's rows into a store with plain INSERTs, as the runs would
// have written them, for the tests of the report's queries and its page.
#pragma once

#include "odbc.h"
#include "report.h"

namespace reporttest {

// Writes the runs with a boards row each (the run's identity when given,
// else its serial and, when its board is not its serial, that as its MAC),
// the steps (their point split
// back into band, "chN", mode and rate), the measurements and the burns, in
// one transaction.
void insert_rows(deve::store::odbc::Connection &db, const deve::cli::report::Rows &rows,
                 const std::vector<deve::cli::report::BoardIdentity> &identities = {},
                 const std::vector<deve::cli::report::Burn> &burns = {});

}  // namespace reporttest
