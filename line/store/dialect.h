// The SQL that differs between the databases the store runs on, in one
// table. A connection learns its dialect once, when it opens, from the name
// the driver gives its server; everything else asks the connection.
//
// The store's own SQL (schema, runs, reports) is portable and the same on
// every dialect. What differs is how a write transaction begins and how the
// MAC pool keeps one address off two boards: SQLite serialises every writer
// from the start of its transaction (BEGIN IMMEDIATE); PostgreSQL locks the
// rows a station takes, skips those another station holds, and keeps a
// session lock on each address a station has reserved. Another server gets
// neither: runs and reports work where its SQL is standard, and the MAC pool
// refuses it.
#pragma once

#include <string>

namespace deve::store {

enum class Dialect { Sqlite, Postgresql, Other };

struct DialectSql {
    Dialect dialect;
    // For messages: "SQLite", "PostgreSQL".
    const char *name;

    // A write transaction: the statements that begin, commit and roll it
    // back; nullptr where ODBC's own transaction (autocommit off, then
    // SQLEndTran) is the way.
    const char *begin;
    const char *commit;
    const char *rollback;

    // Whether the MAC pool may run on this server: its reservations rely on
    // the locking below.
    bool pool;
    // Run once on a connection the pool uses: a lock that is not had in
    // this time is an error, never a wait without end. nullptr: none.
    const char *pool_session;
    // Taken inside the transaction that adds a range, so two overlapping
    // ranges cannot both pass the check. nullptr: the transaction's own
    // lock is enough.
    const char *lock_ranges;
    // The next never-taken address of a pool (the one parameter): the
    // statement gives the range's first_mac and the address; then
    // `advance_range`, when there is one, moves that range's pointer on
    // (its parameter: the first_mac). PostgreSQL does both in one UPDATE
    // ... RETURNING, whose condition is checked again on the row once its
    // lock is had, so a station that waited finds the pointer moved on and
    // the range's row is locked for the shortest time; SQLite holds its
    // write lock already.
    const char *take_from_range;
    const char *advance_range;
    // Appended to the SELECT that picks a released address: a row another
    // station holds is passed over, never waited for.
    const char *lock_picked_address;

    // Session locks on a number (an address), which the server lets go
    // when the connection ends, also when its station dies. Each statement
    // takes the number as its one parameter and gives 1 or 0. nullptr: the
    // server has none.
    const char *try_lock;
    const char *lock;
    const char *unlock;
};

// The dialect of a server by the DBMS name its ODBC driver reports
// ("SQLite", "PostgreSQL").
Dialect dialect_of(const std::string &dbms_name);

// The SQL of a dialect.
const DialectSql &dialect_sql(Dialect dialect);

}  // namespace deve::store
