#include "connect.h"

#include "schema.h"

#include <cstdlib>

namespace deve::store {

std::string store_password() {
    const char *password = std::getenv("DEVE_STORE_PASSWORD");
    return password != nullptr ? password : "";
}

std::unique_ptr<odbc::Connection> connect(odbc::Environment &env, const StoreUrl &url, bool create) {
    const std::vector<std::string> strings = url.connection_strings(store_password(), create);
    for (std::size_t i = 0; i < strings.size(); ++i) {
        try {
            return std::make_unique<odbc::Connection>(env, strings[i], url.name);
        } catch (const odbc::Error &e) {
            if (e.failure() != odbc::Failure::NoDriver || i + 1 == strings.size()) {
                throw;
            }
        }
    }
    throw odbc::Error(odbc::Failure::NoDriver, "store " + url.name + ": no ODBC driver for it", "");
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
