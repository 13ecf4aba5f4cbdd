// A thin layer over ODBC: the environment, a connection and its statements
// own their handles and free them; values always go in as bound parameters;
// every failure becomes an Error in plain words (which database, what
// failed, what to do), with the driver's own state and text after it.
// Only the wide (W) calls are used: paths and values may be non-ASCII, and
// some driver managers lack the ANSI ones.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace deve::store::odbc {

// What kind of failure, for the caller's choice of exit code and for
// deciding whether a write can wait in the spool.
enum class Failure {
    Unreachable,     // the server did not answer, or the link to it broke (SQLSTATE 08...)
    Refused,         // user name or password refused (28...)
    NoDriver,        // the ODBC driver is not installed (IM002, IM003)
    NotFound,        // the server has no such database or user
    ReadOnly,        // the database does not take writes
    Schema,          // a table or column is missing, or the statement does not fit the schema (42...)
    Conflict,        // a key or constraint was violated (23...)
    Other,
};

class Error : public std::runtime_error {
public:
    Error(Failure failure, const std::string &message, std::string state)
        : std::runtime_error(message), failure_(failure), state_(std::move(state)) {}
    Failure failure() const { return failure_; }
    // The first SQLSTATE the driver gave ("08001"); empty when none.
    const std::string &state() const { return state_; }

private:
    Failure failure_;
    std::string state_;
};

// A bound value: NULL, a whole number, a real number or UTF-8 text.
using Value = std::variant<std::monostate, std::int64_t, double, std::string>;

// A value of a result column, read as text (numbers in their plain form);
// nothing for NULL.
using Cell = std::optional<std::string>;
using Row = std::vector<Cell>;

class Connection;

// The process's ODBC environment (ODBC 3).
class Environment {
public:
    Environment();
    ~Environment();
    Environment(const Environment &) = delete;
    Environment &operator=(const Environment &) = delete;
    void *handle() const { return handle_; }

private:
    void *handle_ = nullptr;
};

class Connection {
public:
    // Connects with an ODBC connection string. `name` names the database in
    // messages (a URL without its password). Throws Error.
    Connection(Environment &env, const std::string &connection_string, std::string name);
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    const std::string &name() const { return name_; }
    // The server's product name ("SQLite", "PostgreSQL").
    std::string product() const;

    // Runs one statement with its parameters (? in the text).
    void execute(const std::string &sql, const std::vector<Value> &params = {});
    // The rows of a query.
    std::vector<Row> query(const std::string &sql, const std::vector<Value> &params = {});
    // The first column of the first row; nothing when there is no row or it
    // is NULL.
    Cell scalar(const std::string &sql, const std::vector<Value> &params = {});
    // The names of the tables of the database (catalog call, no SQL).
    std::vector<std::string> tables();

    // A transaction: autocommit off until commit or rollback.
    void begin();
    void commit();
    void rollback() noexcept;

    // An Error for a failed call on a handle of this connection; `what` says
    // what was being done ("creating the tables").
    Error error(short handle_type, void *handle, const std::string &what) const;

private:
    void end_transaction(bool commit);
    void *handle_ = nullptr;
    std::string name_;
    bool connected_ = false;
    bool in_transaction_ = false;
};

// A transaction that rolls back unless committed.
class Transaction {
public:
    explicit Transaction(Connection &connection) : connection_(connection) { connection_.begin(); }
    ~Transaction() {
        if (!done_) {
            connection_.rollback();
        }
    }
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    void commit() {
        connection_.commit();
        done_ = true;
    }

private:
    Connection &connection_;
    bool done_ = false;
};

// UTF-8 and the UTF-16 of the wide calls.
std::u16string utf16(const std::string &text);
std::string utf8(const std::u16string &text);

// A value for a connection string: braced when it holds ; { } = or blanks,
// a } doubled inside.
std::string connection_value(const std::string &value);

}  // namespace deve::store::odbc
