// A thin layer over ODBC: the environment, a connection and its statements
// own their handles and free them; values always go in as bound parameters;
// every failure becomes an Error in plain words (which database, what
// failed, what to do), with the driver's own state and text after it.
// Only the wide (W) calls are used: paths and values may be non-ASCII, and
// some driver managers lack the ANSI ones.
#pragma once

#include "dialect.h"

#include <cstdint>
#include <functional>
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

// How a result column is read. The driver converts the column to the C
// type asked for: integers come as 64-bit integers and real numbers as
// doubles, never through their text. A time is kept as UTC text in the
// store's one form ("2024-05-01T12:00:00.123Z") and comes back as
// milliseconds since 1970-01-01T00:00:00Z; a text that is not a time
// comes back as nothing.
enum class Type { Text, Integer, Real, Time };

// One value of a result column, as the query asked for it; empty for NULL.
// Asking for another type than the column was read as is a fault of the
// caller (std::logic_error).
class Cell {
public:
    using Content = std::variant<std::monostate, std::string, std::int64_t, double>;
    Cell() = default;
    Cell(Type type, Content content) : type_(type), content_(std::move(content)) {}

    bool null() const { return std::holds_alternative<std::monostate>(content_); }
    explicit operator bool() const { return !null(); }
    std::optional<std::string> text() const;
    std::optional<std::int64_t> integer() const;
    std::optional<double> real() const;
    // Milliseconds since 1970-01-01T00:00:00Z.
    std::optional<std::int64_t> time() const;

private:
    template <typename T>
    std::optional<T> as(Type type) const;
    Type type_ = Type::Text;
    Content content_;
};
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
    // The server's product name as its driver gives it ("SQLite",
    // "PostgreSQL").
    const std::string &product() const { return product_; }
    // Its dialect, decided from that name when the connection opened.
    Dialect dialect() const { return sql_->dialect; }
    const DialectSql &sql() const { return *sql_; }

    // Runs one statement with its parameters (? in the text).
    void execute(const std::string &sql, const std::vector<Value> &params = {});
    // The rows of a query, each column read as `columns` says (text for
    // those it leaves out).
    std::vector<Row> query(const std::string &sql, const std::vector<Value> &params = {},
                           const std::vector<Type> &columns = {});
    // The rows of a query one at a time, as they are fetched: the caller
    // holds no more of them than it keeps. (Whether the driver holds the
    // whole result is its own: the SQLite driver streams with StepAPI=1,
    // the PostgreSQL driver with UseDeclareFetch=1; see connect_for_reading.)
    void each_row(const std::string &sql, const std::vector<Value> &params, const std::vector<Type> &columns,
                  const std::function<void(Row &)> &row);
    // The first column of the first row; empty when there is no row or it
    // is NULL.
    Cell scalar(const std::string &sql, const std::vector<Value> &params = {}, Type type = Type::Text);
    // The names of the tables of the database (catalog call, no SQL).
    std::vector<std::string> tables();

    // Session locks on a number, held until unlocked or until the
    // connection ends (also when the process dies). Nothing from try_lock
    // when the dialect has none: then no other station can be told apart.
    std::optional<bool> try_lock(std::int64_t key);
    void lock(std::int64_t key);
    // Throws nothing: a lock that cannot be let go ends with the connection.
    void unlock(std::int64_t key) noexcept;

    // A write transaction, begun the dialect's way (see Transaction).
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
    std::string product_;
    const DialectSql *sql_ = nullptr;
    bool connected_ = false;
    bool in_transaction_ = false;
};

// A write transaction that begins as its dialect begins one (SQLite: BEGIN
// IMMEDIATE, which takes the write lock at once; PostgreSQL and others:
// autocommit off), commits only when told, and rolls back when it ends
// uncommitted (an exception, an early return).
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

// Text that is not UTF-8: where its first bad byte is.
class NotUtf8 : public std::invalid_argument {
public:
    explicit NotUtf8(std::size_t offset);
    std::size_t offset() const { return offset_; }

private:
    std::size_t offset_;
};

// The offset of the first byte of `text` that is not part of a UTF-8
// character (a stray or missing continuation byte, an overlong form, a
// surrogate, a value above U+10FFFF); nothing when all of it is UTF-8.
std::optional<std::size_t> invalid_utf8_at(const std::string &text);
// For a refusal: "is not UTF-8 text (byte 3 is not part of a character)",
// or nothing when the text is UTF-8.
std::optional<std::string> not_utf8_words(const std::string &text);

// UTF-8 and the UTF-16 of the wide calls. utf16 throws NotUtf8 rather than
// guess at bytes that are not UTF-8; utf8 turns a lone surrogate (which a
// driver should never give) into U+FFFD.
std::u16string utf16(const std::string &text);
std::string utf8(const std::u16string &text);

// A value for a connection string: braced when it holds ; { } = or blanks,
// a } doubled inside.
std::string connection_value(const std::string &value);

}  // namespace deve::store::odbc
