// Opening a store: the URL's connection strings tried in turn (a driver
// registered under another name is passed over), and the checks a run needs
// before the link to the board opens.
#pragma once

#include "odbc.h"
#include "url.h"

#include <memory>
#include <string>

namespace deve::store {

// The password for a store URL: DEVE_STORE_PASSWORD, empty when unset.
std::string store_password();

// Connects; throws odbc::Error (the last driver's when none is installed).
std::unique_ptr<odbc::Connection> connect(odbc::Environment &env, const StoreUrl &url, bool create);
// Connects to read long results (a report): the driver hands the rows over
// as they come, so that memory does not grow with them. Throws as connect.
std::unique_ptr<odbc::Connection> connect_for_reading(odbc::Environment &env, const StoreUrl &url);

// Why a store cannot take a run: the words to show, and whether the
// database was merely away (a run may go on and spool its results).
struct StoreProblem {
    std::string message;
    bool away = false;
};

// Connects and checks that the schema is this tool's and the database takes
// writes. Nothing on success (the connection is in `db`).
std::optional<StoreProblem> open_for_runs(odbc::Environment &env, const StoreUrl &url,
                                          std::unique_ptr<odbc::Connection> &db);

}  // namespace deve::store
