#include "dialect.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace deve::store {

namespace {

const std::array<DialectSql, 3> kDialects{{
    {Dialect::Sqlite, "SQLite",
     // The write lock is taken at the start, so a second station waits for
     // the driver's busy time-out instead of failing when it first writes.
     "BEGIN IMMEDIATE", "COMMIT", "ROLLBACK",
     true, nullptr, nullptr,
     "SELECT first_mac, next_mac FROM pool_ranges WHERE pool = ? AND next_mac <= last_mac ORDER BY first_mac "
     "LIMIT 1",
     "UPDATE pool_ranges SET next_mac = next_mac + 1 WHERE first_mac = ?", "",
     nullptr, nullptr, nullptr},
    {Dialect::Postgresql, "PostgreSQL",
     nullptr, nullptr, nullptr,
     true, "SET lock_timeout = '10s'", "LOCK TABLE pool_ranges IN EXCLUSIVE MODE",
     // (The UPDATE is wrapped in a query, so that the driver reads its
     // RETURNING rows as a result, also when there are none.)
     "WITH taken AS (UPDATE pool_ranges SET next_mac = next_mac + 1 WHERE next_mac <= last_mac AND first_mac = "
     "(SELECT first_mac FROM pool_ranges WHERE pool = ? AND next_mac <= last_mac ORDER BY first_mac LIMIT 1) "
     "RETURNING first_mac, next_mac - 1 AS mac) SELECT first_mac, mac FROM taken",
     nullptr, " FOR UPDATE SKIP LOCKED",
     "SELECT CASE WHEN pg_try_advisory_lock(?) THEN 1 ELSE 0 END",
     "SELECT CASE WHEN pg_advisory_lock(?) IS NULL THEN 0 ELSE 1 END",
     "SELECT CASE WHEN pg_advisory_unlock(?) THEN 1 ELSE 0 END"},
    {Dialect::Other, "another database",
     nullptr, nullptr, nullptr,
     false, nullptr, nullptr, nullptr, nullptr, "",
     nullptr, nullptr, nullptr},
}};

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

Dialect dialect_of(const std::string &dbms_name) {
    const std::string name = lower(dbms_name);
    if (name.find("sqlite") != std::string::npos) {
        return Dialect::Sqlite;
    }
    if (name.find("postgresql") != std::string::npos) {
        return Dialect::Postgresql;
    }
    return Dialect::Other;
}

const DialectSql &dialect_sql(Dialect dialect) {
    for (const DialectSql &d : kDialects) {
        if (d.dialect == dialect) {
            return d;
        }
    }
    return kDialects.back();
}

}  // namespace deve::store
