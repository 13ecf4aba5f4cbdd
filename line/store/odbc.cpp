#include "odbc.h"

#include "common/text_format.h"

#include ODBC_SQL_HEADER

#include <functional>
#include <utf8cpp/utf8.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>
#include <iterator>

namespace deve::store::odbc {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the wide calls take UTF-16");

namespace {

constexpr SQLULEN kLoginSeconds = 10;

bool ok(SQLRETURN r) { return r == SQL_SUCCESS || r == SQL_SUCCESS_WITH_INFO; }

// An attribute's whole-number value, passed where the calls take a pointer.
SQLPOINTER attribute(SQLULEN value) { return reinterpret_cast<SQLPOINTER>(value); }

SQLWCHAR *wide(std::u16string &text) { return reinterpret_cast<SQLWCHAR *>(text.data()); }

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The driver's diagnostic records of a handle: the first state, and every
// message joined.
struct Diagnostics {
    std::string state;
    std::string text;
};

Diagnostics diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    Diagnostics d;
    for (SQLSMALLINT record = 1; record <= 8; ++record) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLWCHAR message[1024] = {};
        SQLSMALLINT length = 0;
        const SQLRETURN r = SQLGetDiagRecW(type, handle, record, state, &native, message,
                                           static_cast<SQLSMALLINT>(sizeof message / sizeof message[0]), &length);
        if (!ok(r)) {
            break;
        }
        const std::string s = utf8(std::u16string(reinterpret_cast<const char16_t *>(state), 5));
        std::string m = utf8(std::u16string(reinterpret_cast<const char16_t *>(message)));
        // One line: the drivers' line ends and tabs become blanks.
        for (char &c : m) {
            if (c == '\n' || c == '\r' || c == '\t') {
                c = ' ';
            }
        }
        while (!m.empty() && m.back() == ' ') {
            m.pop_back();
        }
        if (d.state.empty()) {
            d.state = s;
        }
        if (!m.empty() && d.text.find(m) == std::string::npos) {
            d.text += (d.text.empty() ? "" : "; ") + m;
        }
    }
    return d;
}

Failure classify(const Diagnostics &d) {
    const std::string text = lower(d.text);
    const std::string &s = d.state;
    if (text.find("readonly") != std::string::npos || text.find("read-only") != std::string::npos ||
        text.find("permission denied") != std::string::npos || s == "25006" || s == "42501") {
        return Failure::ReadOnly;
    }
    if (s.rfind("28", 0) == 0 || text.find("password authentication failed") != std::string::npos ||
        text.find("no password supplied") != std::string::npos) {
        return Failure::Refused;
    }
    if (s == "IM002" || s == "IM003" || s == "IM004") {
        return Failure::NoDriver;
    }
    // The server answered: what the URL names is not there (the driver
    // reports it as a failed connection, 08001).
    if (s == "3D000" || (text.find("database \"") != std::string::npos && text.find("does not exist") != std::string::npos) ||
        (text.find("role \"") != std::string::npos && text.find("does not exist") != std::string::npos)) {
        return Failure::NotFound;
    }
    if (s.rfind("08", 0) == 0 || s == "57P01" || s == "57P02" || s == "57P03" ||
        text.find("could not connect") != std::string::npos ||
        text.find("server closed the connection") != std::string::npos ||
        text.find("no connection to the server") != std::string::npos ||
        text.find("connection refused") != std::string::npos) {
        return Failure::Unreachable;
    }
    if (s.rfind("23", 0) == 0 || text.find("constraint failed") != std::string::npos) {
        return Failure::Conflict;
    }
    if (s.rfind("42", 0) == 0 || text.find("no such table") != std::string::npos ||
        text.find("no such column") != std::string::npos) {
        return Failure::Schema;
    }
    return Failure::Other;
}

const char *plain_words(Failure f) {
    switch (f) {
    case Failure::Unreachable:
        return "the database server did not answer, or the connection to it broke; check that the server is "
               "running and that this station reaches it";
    case Failure::Refused:
        return "the server refused the user name or the password; check the user in the URL and the password "
               "(DEVE_STORE_PASSWORD)";
    case Failure::NoDriver:
        return "the ODBC driver is not installed; install it (see the production line's page of the docs)";
    case Failure::NotFound:
        return "the server has no database or user of the name the URL gives; check the URL, or create the "
               "database and run deve-cli store init";
    case Failure::ReadOnly:
        return "the database does not take writes; check the file's permissions or the user's rights";
    case Failure::Schema:
        return "the database's tables are not what deve-cli expects; run deve-cli store init";
    case Failure::Conflict:
        return "the database refused a row that breaks one of its keys";
    case Failure::Other:
        break;
    }
    return "the database reported an error";
}

// One statement handle, freed on every way out.
class Statement {
public:
    explicit Statement(Connection &connection, SQLHDBC dbc) : connection_(connection) {
        if (!ok(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &handle_))) {
            throw connection_.error(SQL_HANDLE_DBC, dbc, "preparing a statement");
        }
    }
    ~Statement() { SQLFreeHandle(SQL_HANDLE_STMT, handle_); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    // Prepares, binds and runs.
    void run(const std::string &sql, const std::vector<Value> &params, const std::string &what) {
        std::u16string text = wide_text(sql, "the statement", what);
        if (!ok(SQLPrepareW(handle_, wide(text), SQL_NTS))) {
            throw fault(what);
        }
        texts_.resize(params.size());
        numbers_.resize(params.size());
        reals_.resize(params.size());
        indicators_.resize(params.size());
        for (std::size_t i = 0; i < params.size(); ++i) {
            bind(static_cast<SQLUSMALLINT>(i + 1), params[i], i, what);
        }
        const SQLRETURN r = SQLExecute(handle_);
        if (!ok(r) && r != SQL_NO_DATA) {
            throw fault(what);
        }
    }

    std::vector<Row> rows(const std::string &what, const std::vector<Type> &types = {}) {
        std::vector<Row> out;
        each(what, types, [&out](Row &row) { out.push_back(std::move(row)); });
        return out;
    }

    // Each row as it is fetched; one row is held at a time.
    void each(const std::string &what, const std::vector<Type> &types, const std::function<void(Row &)> &take) {
        SQLSMALLINT columns = 0;
        if (!ok(SQLNumResultCols(handle_, &columns))) {
            throw fault(what);
        }
        Row row;
        row.reserve(static_cast<std::size_t>(columns));
        for (;;) {
            const SQLRETURN r = SQLFetch(handle_);
            if (r == SQL_NO_DATA) {
                break;
            }
            if (!ok(r)) {
                throw fault(what);
            }
            row.clear();
            for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
                const std::size_t i = c - 1U;
                row.push_back(cell(c, i < types.size() ? types[i] : Type::Text, what));
            }
            take(row);
        }
    }

    SQLHSTMT handle() const { return handle_; }
    Error fault(const std::string &what) const { return connection_.error(SQL_HANDLE_STMT, handle_, what); }

private:
    void bind(SQLUSMALLINT number, const Value &value, std::size_t i, const std::string &what) {
        SQLRETURN r = SQL_SUCCESS;
        if (const auto *text = std::get_if<std::string>(&value)) {
            texts_[i] = wide_text(*text, "parameter " + std::to_string(number), what);
            const SQLLEN bytes = static_cast<SQLLEN>(texts_[i].size() * sizeof(char16_t));
            indicators_[i] = bytes;
            r = SQLBindParameter(handle_, number, SQL_PARAM_INPUT, SQL_C_WCHAR,
                                 texts_[i].size() > 2000 ? SQL_WLONGVARCHAR : SQL_WVARCHAR,
                                 std::max<SQLULEN>(texts_[i].size(), 1), 0, wide(texts_[i]), bytes, &indicators_[i]);
        } else if (const auto *whole = std::get_if<std::int64_t>(&value)) {
            numbers_[i] = *whole;
            indicators_[i] = 0;
            r = SQLBindParameter(handle_, number, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &numbers_[i], 0,
                                 &indicators_[i]);
        } else if (const auto *real = std::get_if<double>(&value)) {
            reals_[i] = *real;
            indicators_[i] = 0;
            r = SQLBindParameter(handle_, number, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &reals_[i], 0,
                                 &indicators_[i]);
        } else {
            indicators_[i] = SQL_NULL_DATA;
            r = SQLBindParameter(handle_, number, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 1, 0, nullptr, 0,
                                 &indicators_[i]);
        }
        if (!ok(r)) {
            throw fault(what);
        }
    }

    // The UTF-16 of a text for the driver; text that is not UTF-8 is refused
    // here, before anything is sent.
    std::u16string wide_text(const std::string &text, const std::string &which, const std::string &what) const {
        try {
            return utf16(text);
        } catch (const NotUtf8 &) {
            throw Error(Failure::Other,
                        "store " + connection_.name() + ": " + what + " failed: " + which + " " +
                            *not_utf8_words(text),
                        "");
        }
    }

    // One column of the current row, converted by the driver to the C type
    // asked for.
    Cell cell(SQLUSMALLINT column, Type type, const std::string &what) {
        switch (type) {
        case Type::Integer: {
            std::int64_t whole = 0;
            return fixed(column, type, SQL_C_SBIGINT, whole, what);
        }
        case Type::Real: {
            double real = 0;
            return fixed(column, type, SQL_C_DOUBLE, real, what);
        }
        case Type::Time: {
            const std::optional<std::string> text = wide_column(column, what);
            const std::optional<std::int64_t> ms = text ? parse_utc_time(*text) : std::nullopt;
            return ms ? Cell(type, *ms) : Cell(type, std::monostate{});
        }
        case Type::Text: break;
        }
        const std::optional<std::string> text = wide_column(column, what);
        return text ? Cell(type, *text) : Cell(type, std::monostate{});
    }

    template <typename T>
    Cell fixed(SQLUSMALLINT column, Type type, SQLSMALLINT c_type, T &value, const std::string &what) {
        SQLLEN length = 0;
        if (!ok(SQLGetData(handle_, column, c_type, &value, sizeof value, &length))) {
            throw fault(what);
        }
        return length == SQL_NULL_DATA ? Cell(type, std::monostate{}) : Cell(type, value);
    }

    // A column as text, in as many pieces as the driver gives it.
    std::optional<std::string> wide_column(SQLUSMALLINT column, const std::string &what) {
        // One buffer for every cell of the statement (a report reads
        // millions of them).
        std::u16string &value = wide_;
        value.clear();
        SQLWCHAR chunk[512];
        for (;;) {
            SQLLEN length = 0;
            const SQLRETURN r = SQLGetData(handle_, column, SQL_C_WCHAR, chunk, sizeof chunk, &length);
            if (r == SQL_NO_DATA) {
                break;
            }
            if (!ok(r)) {
                throw fault(what);
            }
            if (length == SQL_NULL_DATA) {
                return std::nullopt;
            }
            const std::size_t capacity = sizeof chunk / sizeof chunk[0] - 1;
            const std::size_t got = length == SQL_NO_TOTAL || static_cast<std::size_t>(length) / 2 > capacity
                                        ? capacity
                                        : static_cast<std::size_t>(length) / 2;
            value.append(reinterpret_cast<const char16_t *>(chunk), got);
            if (r == SQL_SUCCESS) {
                break;
            }
        }
        return utf8(value);
    }

    Connection &connection_;
    SQLHSTMT handle_ = SQL_NULL_HSTMT;
    std::vector<std::u16string> texts_;
    std::vector<std::int64_t> numbers_;
    std::vector<double> reals_;
    std::vector<SQLLEN> indicators_;
    std::u16string wide_;
};

}  // namespace

NotUtf8::NotUtf8(std::size_t offset)
    : std::invalid_argument("not UTF-8 text at byte " + std::to_string(offset + 1)), offset_(offset) {}

std::optional<std::size_t> invalid_utf8_at(const std::string &text) {
    const auto bad = utf8::find_invalid(text.begin(), text.end());
    return bad == text.end() ? std::nullopt : std::optional<std::size_t>(static_cast<std::size_t>(bad - text.begin()));
}

std::optional<std::string> not_utf8_words(const std::string &text) {
    const std::optional<std::size_t> bad = invalid_utf8_at(text);
    return bad ? std::optional<std::string>("is not UTF-8 text (byte " + std::to_string(*bad + 1) +
                                            " is not part of a character)")
               : std::nullopt;
}

std::u16string utf16(const std::string &text) {
    if (const std::optional<std::size_t> bad = invalid_utf8_at(text)) {
        throw NotUtf8(*bad);
    }
    std::u16string out;
    out.reserve(text.size());
    utf8::unchecked::utf8to16(text.begin(), text.end(), std::back_inserter(out));
    return out;
}

std::string utf8(const std::u16string &text) {
    // Most of what a store holds is ASCII (serials, stations, times): one
    // byte a unit, no conversion.
    if (std::all_of(text.begin(), text.end(), [](char16_t unit) { return unit < 0x80; })) {
        return std::string(text.begin(), text.end());
    }
    // Lone surrogates become U+FFFD, so that the rest converts as it is.
    std::u16string sound;
    sound.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        const bool high = unit >= 0xD800 && unit < 0xDC00;
        const bool low = unit >= 0xDC00 && unit < 0xE000;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            sound += unit;
            sound += text[++i];
        } else {
            sound += high || low ? u'\uFFFD' : unit;
        }
    }
    std::string out;
    out.reserve(sound.size());
    utf8::unchecked::utf16to8(sound.begin(), sound.end(), std::back_inserter(out));
    return out;
}

std::string connection_value(const std::string &value) {
    if (value.find_first_of(";{}= \t") == std::string::npos && !value.empty()) {
        return value;
    }
    std::string out = "{";
    for (char c : value) {
        out += c;
        if (c == '}') {
            out += '}';
        }
    }
    return out + "}";
}

template <typename T>
std::optional<T> Cell::as(Type type) const {
    static constexpr const char *kNames[] = {"text", "an integer", "a real number", "a time"};
    if (type_ != type) {
        throw std::logic_error(std::string("a result column read as ") + kNames[static_cast<int>(type_)] +
                               " was asked for as " + kNames[static_cast<int>(type)]);
    }
    return null() ? std::nullopt : std::optional<T>(std::get<T>(content_));
}

std::optional<std::string> Cell::text() const { return as<std::string>(Type::Text); }
std::optional<std::int64_t> Cell::integer() const { return as<std::int64_t>(Type::Integer); }
std::optional<double> Cell::real() const { return as<double>(Type::Real); }
std::optional<std::int64_t> Cell::time() const { return as<std::int64_t>(Type::Time); }

Environment::Environment() {
    SQLHENV env = SQL_NULL_HENV;
    if (!ok(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) {
        throw Error(Failure::NoDriver, "the ODBC driver manager could not be started", "");
    }
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, attribute(SQL_OV_ODBC3), 0);
    handle_ = env;
}

Environment::~Environment() { SQLFreeHandle(SQL_HANDLE_ENV, handle_); }

Connection::Connection(Environment &env, const std::string &connection_string, std::string name)
    : name_(std::move(name)) {
    SQLHDBC dbc = SQL_NULL_HDBC;
    if (!ok(SQLAllocHandle(SQL_HANDLE_DBC, env.handle(), &dbc))) {
        throw Error(Failure::Other, "store " + name_ + ": no connection handle could be had", "");
    }
    handle_ = dbc;
    SQLSetConnectAttrW(dbc, SQL_ATTR_LOGIN_TIMEOUT, attribute(kLoginSeconds), 0);
    std::u16string text;
    try {
        text = utf16(connection_string);
    } catch (const NotUtf8 &) {
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        handle_ = nullptr;
        throw Error(Failure::Other,
                    "store " + name_ + ": connecting failed: the connection string " +
                        *not_utf8_words(connection_string),
                    "");
    }
    SQLWCHAR out[1024];
    SQLSMALLINT out_length = 0;
    const SQLRETURN r = SQLDriverConnectW(dbc, nullptr, wide(text), SQL_NTS, out,
                                          static_cast<SQLSMALLINT>(sizeof out / sizeof out[0]), &out_length,
                                          SQL_DRIVER_NOPROMPT);
    if (!ok(r)) {
        Error e = error(SQL_HANDLE_DBC, dbc, "connecting");
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        handle_ = nullptr;
        throw e;
    }
    connected_ = true;
    SQLWCHAR dbms[128] = {};
    SQLSMALLINT dbms_length = 0;
    if (ok(SQLGetInfoW(dbc, SQL_DBMS_NAME, dbms, sizeof dbms, &dbms_length))) {
        product_ = utf8(std::u16string(reinterpret_cast<const char16_t *>(dbms)));
    }
    sql_ = &dialect_sql(dialect_of(product_));
}

Connection::~Connection() {
    if (handle_ == nullptr) {
        return;
    }
    if (in_transaction_) {
        rollback();
    }
    if (connected_) {
        SQLDisconnect(handle_);
    }
    SQLFreeHandle(SQL_HANDLE_DBC, handle_);
}

Error Connection::error(short handle_type, void *handle, const std::string &what) const {
    const Diagnostics d = diagnostics(handle_type, handle);
    const Failure failure = classify(d);
    std::string message = "store " + name_ + ": " + what + " failed: " + plain_words(failure);
    if (!d.text.empty() || !d.state.empty()) {
        message += " (" + (d.state.empty() ? std::string() : d.state + ": ") + d.text + ")";
    }
    return Error(failure, message, d.state);
}

void Connection::execute(const std::string &sql, const std::vector<Value> &params) {
    Statement statement(*this, handle_);
    statement.run(sql, params, "writing");
}

std::vector<Row> Connection::query(const std::string &sql, const std::vector<Value> &params,
                                   const std::vector<Type> &columns) {
    Statement statement(*this, handle_);
    statement.run(sql, params, "reading");
    return statement.rows("reading", columns);
}

void Connection::each_row(const std::string &sql, const std::vector<Value> &params, const std::vector<Type> &columns,
                          const std::function<void(Row &)> &row) {
    Statement statement(*this, handle_);
    statement.run(sql, params, "reading");
    statement.each("reading", columns, row);
}

Cell Connection::scalar(const std::string &sql, const std::vector<Value> &params, Type type) {
    const std::vector<Row> rows = query(sql, params, {type});
    if (rows.empty() || rows.front().empty()) {
        return Cell(type, std::monostate{});
    }
    return rows.front().front();
}

std::optional<bool> Connection::try_lock(std::int64_t key) {
    if (sql_->try_lock == nullptr) {
        return std::nullopt;
    }
    return scalar(sql_->try_lock, {key}, Type::Integer).integer() == 1;
}

void Connection::lock(std::int64_t key) {
    if (sql_->lock != nullptr) {
        scalar(sql_->lock, {key}, Type::Integer);
    }
}

void Connection::unlock(std::int64_t key) noexcept {
    if (sql_->unlock == nullptr) {
        return;
    }
    try {
        scalar(sql_->unlock, {key}, Type::Integer);
    } catch (...) {
        // The lock ends with the connection.
    }
}

std::vector<std::string> Connection::tables() {
    Statement statement(*this, handle_);
    std::u16string type = utf16("TABLE");
    if (!ok(SQLTablesW(statement.handle(), nullptr, 0, nullptr, 0, nullptr, 0, wide(type), SQL_NTS))) {
        throw statement.fault("listing the tables");
    }
    std::vector<std::string> names;
    for (const Row &row : statement.rows("listing the tables")) {
        if (row.size() >= 3 && row[2]) {
            names.push_back(*row[2].text());
        }
    }
    return names;
}

void Connection::begin() {
    if (sql_->begin != nullptr) {
        Statement(*this, handle_).run(sql_->begin, {}, "starting a transaction");
    } else if (!ok(SQLSetConnectAttrW(handle_, SQL_ATTR_AUTOCOMMIT, attribute(SQL_AUTOCOMMIT_OFF), 0))) {
        throw error(SQL_HANDLE_DBC, handle_, "starting a transaction");
    }
    in_transaction_ = true;
}

void Connection::end_transaction(bool commit) {
    in_transaction_ = false;
    if (const char *statement = commit ? sql_->commit : sql_->rollback) {
        try {
            Statement(*this, handle_).run(statement, {}, commit ? "committing" : "rolling back");
        } catch (const Error &) {
            if (commit) {
                throw;
            }
            // A transaction that cannot be rolled back is gone with the
            // connection.
        }
        return;
    }
    const SQLRETURN r = SQLEndTran(SQL_HANDLE_DBC, handle_, commit ? SQL_COMMIT : SQL_ROLLBACK);
    const bool ended = ok(r);
    Error failure = ended ? Error(Failure::Other, "", "") : error(SQL_HANDLE_DBC, handle_, "committing");
    SQLSetConnectAttrW(handle_, SQL_ATTR_AUTOCOMMIT, attribute(SQL_AUTOCOMMIT_ON), 0);
    if (!ended && commit) {
        throw failure;
    }
}

void Connection::commit() { end_transaction(true); }

void Connection::rollback() noexcept {
    try {
        end_transaction(false);
    } catch (...) {
    }
}

}  // namespace deve::store::odbc
