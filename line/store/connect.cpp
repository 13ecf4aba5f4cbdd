#include "connect.h"

#include "schema.h"

#include <cstdlib>

namespace deve::store {

std::string store_password() {
    const char *password = std::getenv("DEVE_STORE_PASSWORD");
    return password != nullptr ? password : "";
}

namespace {

std::unique_ptr<odbc::Connection> connect_with(odbc::Environment &env, const StoreUrl &url, bool create,
                                               const std::string &extra) {
    const std::vector<std::string> strings = url.connection_strings(store_password(), create);
    for (std::size_t i = 0; i < strings.size(); ++i) {
        try {
            return std::make_unique<odbc::Connection>(env, strings[i] + extra, url.name);
        } catch (const odbc::Error &e) {
            if (e.failure() != odbc::Failure::NoDriver || i + 1 == strings.size()) {
                throw;
            }
        }
    }
    throw odbc::Error(odbc::Failure::NoDriver, "store " + url.name + ": no ODBC driver for it", "");
}

}  // namespace

std::unique_ptr<odbc::Connection> connect(odbc::Environment &env, const StoreUrl &url, bool create) {
    return connect_with(env, url, create, "");
}

std::unique_ptr<odbc::Connection> connect_for_reading(odbc::Environment &env, const StoreUrl &url) {
    // The drivers' own keys for handing rows over as they come: the SQLite
    // driver steps the statement row by row (StepAPI) instead of reading
    // the whole result first; the PostgreSQL driver reads through a cursor,
    // so many rows at a time (UseDeclareFetch, Fetch). A connection string
    // of the user's own (odbc:) is left as given.
    switch (url.backend) {
    case Backend::Sqlite: return connect_with(env, url, false, ";StepAPI=1");
    case Backend::Postgresql: return connect_with(env, url, false, ";UseDeclareFetch=1;Fetch=4096");
    case Backend::Odbc: break;
    }
    return connect_with(env, url, false, "");
}

std::optional<StoreProblem> open_for_runs(odbc::Environment &env, const StoreUrl &url,
                                          std::unique_ptr<odbc::Connection> &db) {
    try {
        db = connect(env, url, false);
        const SchemaCheck check = check_schema(*db);
        if (check.state != SchemaState::Current) {
            db.reset();
            return StoreProblem{check.message, false};
        }
        probe_writable(*db);
        return std::nullopt;
    } catch (const odbc::Error &e) {
        db.reset();
        std::string message = e.what();
        if (url.backend == Backend::Sqlite && e.failure() != odbc::Failure::ReadOnly &&
            e.failure() != odbc::Failure::NoDriver) {
            message += "; create the store with deve-cli --store " + url.name + " store init";
        }
        return StoreProblem{message, e.failure() == odbc::Failure::Unreachable};
    }
}

}  // namespace deve::store
