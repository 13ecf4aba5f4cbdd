#include "schema.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace deve::store {

namespace {

// Times are UTF text in one form, "2024-05-01T12:00:00.123Z", which sorts
// as it reads on every database. Truth values are 0 and 1.
const std::vector<Migration> kMigrations{
    {1,
     "runs, steps, measurements, boards and burns",
     {
         "CREATE TABLE deve_schema ("
         " version INTEGER PRIMARY KEY,"
         " name TEXT NOT NULL,"
         " applied_at TEXT NOT NULL,"
         " tool_version TEXT NOT NULL)",

         "CREATE TABLE runs ("
         " run_id TEXT PRIMARY KEY,"
         " started_at TEXT NOT NULL,"
         " ended_at TEXT,"
         " station TEXT,"
         " operator TEXT,"
         " serial TEXT,"
         " lot TEXT,"
         " tool_version TEXT NOT NULL,"
         " host TEXT,"
         " port TEXT,"
         " supply TEXT,"
         " crystal TEXT,"
         " open_mode TEXT,"
         " limits_path TEXT,"
         " limits_sha256 TEXT,"
         " commands_path TEXT,"
         " commands_sha256 TEXT,"
         " verdict TEXT NOT NULL,"
         " exit_code INTEGER,"
         " spooled INTEGER NOT NULL DEFAULT 0)",
         "CREATE INDEX runs_started_at ON runs (started_at)",
         "CREATE INDEX runs_serial ON runs (serial)",
         "CREATE INDEX runs_station ON runs (station, started_at)",

         "CREATE TABLE run_meta ("
         " run_id TEXT NOT NULL,"
         " name TEXT NOT NULL,"
         " value TEXT NOT NULL,"
         " PRIMARY KEY (run_id, name))",

         "CREATE TABLE steps ("
         " run_id TEXT NOT NULL,"
         " seq INTEGER NOT NULL,"
         " command TEXT NOT NULL,"
         " started_at TEXT NOT NULL,"
         " ended_at TEXT NOT NULL,"
         " band TEXT,"
         " channel INTEGER,"
         " frequency INTEGER,"
         " mode TEXT,"
         " rate TEXT,"
         " freq_offset INTEGER,"
         " outcome TEXT NOT NULL,"
         " error_kind TEXT,"
         " detail TEXT,"
         " PRIMARY KEY (run_id, seq))",

         "CREATE TABLE measurements ("
         " run_id TEXT NOT NULL,"
         " step_seq INTEGER NOT NULL,"
         " name TEXT NOT NULL,"
         " value DOUBLE PRECISION,"
         " unit TEXT,"
         " low DOUBLE PRECISION,"
         " high DOUBLE PRECISION,"
         " limit_set TEXT,"
         " limit_source TEXT,"
         " passed INTEGER,"
         " PRIMARY KEY (run_id, step_seq, name))",
         "CREATE INDEX measurements_name ON measurements (name)",

         "CREATE TABLE boards ("
         " run_id TEXT PRIMARY KEY,"
         " serial TEXT,"
         " chip_id TEXT,"
         " mac TEXT)",
         "CREATE INDEX boards_serial ON boards (serial)",
         "CREATE INDEX boards_mac ON boards (mac)",

         "CREATE TABLE burns ("
         " run_id TEXT NOT NULL,"
         " step_seq INTEGER NOT NULL,"
         " item TEXT NOT NULL,"
         " value TEXT,"
         " outcome TEXT NOT NULL,"
         " detail TEXT,"
         " PRIMARY KEY (run_id, step_seq, item))",
     }},
    {2,
     "MAC address pools",
     {
         // Addresses are kept as text, "02:00:00:00:00:2a": fixed width and lower
         // case, so text order is address order. A range keeps its ends and the next
         // address never yet taken as numbers. Times are UTC text, as everywhere in
         // the store. An address has a row in mac_addresses once it has left free;
         // mac_events keeps every change of state of every address, also across a
         // release and a new reservation.
         "CREATE TABLE pools ("
         " name TEXT PRIMARY KEY,"
         " created_at TEXT NOT NULL)",

         "CREATE TABLE pool_ranges ("
         " first_mac BIGINT PRIMARY KEY,"
         " last_mac BIGINT NOT NULL,"
         " next_mac BIGINT NOT NULL,"
         " pool TEXT NOT NULL REFERENCES pools (name),"
         " first_text TEXT NOT NULL,"
         " last_text TEXT NOT NULL,"
         " added_at TEXT NOT NULL)",
         "CREATE INDEX pool_ranges_pool ON pool_ranges (pool, first_mac)",

         "CREATE TABLE mac_addresses ("
         " mac TEXT PRIMARY KEY,"
         " pool TEXT NOT NULL REFERENCES pools (name),"
         " state TEXT NOT NULL CHECK (state IN ('reserved', 'burned', 'spoiled', 'released')),"
         " run_id TEXT,"
         " serial TEXT,"
         " chip_id TEXT,"
         " adopted INTEGER NOT NULL DEFAULT 0,"
         " reserved_at TEXT,"
         " burned_at TEXT,"
         " spoiled_at TEXT,"
         " released_at TEXT,"
         " changed_at TEXT NOT NULL)",
         "CREATE INDEX mac_addresses_pool_state ON mac_addresses (pool, state, mac)",
         "CREATE INDEX mac_addresses_serial ON mac_addresses (serial)",

         "CREATE TABLE mac_events ("
         " mac TEXT NOT NULL,"
         " state TEXT NOT NULL,"
         " at TEXT NOT NULL,"
         " run_id TEXT,"
         " serial TEXT,"
         " chip_id TEXT)",
         "CREATE INDEX mac_events_mac ON mac_events (mac, at)",
     }},
    {3,
     "how tx and rx steps ended, and the frames they used",
     {
         // ending: "decided pass", "decided fail" (the sequential test decided),
         // "maximum" (a sequential run that stopped undecided), "fixed" (a
         // fixed-count run); NULL for the other commands and for the runs
         // stored before this version.
         "ALTER TABLE steps ADD COLUMN ending TEXT",
         "ALTER TABLE steps ADD COLUMN frames_used BIGINT",
     }},
    {4,
     "indexes for reports",
     {
         // The report sums the measurements by name, unit, limits and step
         // number: in this order a database reads them group after group
         // and sums them without sorting first (SQLite sorts every row of a
         // GROUP BY otherwise). The index holds the value, the verdict and
         // the run, so the table itself is not read.
         "CREATE INDEX measurements_group ON measurements (name, unit, low, high, limit_set, step_seq, passed, "
         "value, run_id)",
         // Which command and operating point each step number had.
         "CREATE INDEX steps_seq_point ON steps (seq, command, band, channel, mode, rate)",
     }},
    {5,
     "indexes of what did not pass",
     {
         // The failure Pareto and the failing runs look only at what did not
         // pass: a few hundredths of the rows. These partial indexes hold
         // just those rows, with the columns the report asks of them, so it
         // reads them without reading every step, measurement and run of the
         // store; a station's write adds to them only when something fails.
         "CREATE INDEX steps_not_passed ON steps (run_id, seq, command, band, channel, mode, rate, outcome, "
         "error_kind) WHERE outcome <> 'pass'",
         "CREATE INDEX measurements_failed ON measurements (run_id, step_seq) WHERE passed = 0",
         "CREATE INDEX runs_not_passed ON runs (started_at, run_id, verdict) WHERE verdict <> 'pass'",
     }},
};

std::string database_words(const odbc::Connection &db) { return "store " + db.name(); }

bool says(const std::string &lower_text, const char *words) { return lower_text.find(words) != std::string::npos; }

// Why a query of deve_schema failed when the table is there or could not be
// looked for: the file is no database, a damaged one, or one that cannot be
// read or written. Nothing when the table is simply missing.
std::optional<std::string> file_trouble(const odbc::Error &e, const odbc::Connection &db) {
    std::string text = e.what();
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (says(text, "not a database") || says(text, "file is encrypted")) {
        return database_words(db) + ": the file is not an SQLite database; name a deve-cli store, or a new file "
                                    "for deve-cli store init";
    }
    if (says(text, "malformed") || says(text, "corrupt")) {
        return database_words(db) + ": the database is damaged (" + e.what() +
               "); restore the store from its backup";
    }
    if (says(text, "disk is full") || says(text, "no space")) {
        return database_words(db) + ": the disk holding the database is full; make room on it";
    }
    if (says(text, "readonly") || says(text, "read-only") || says(text, "unable to open")) {
        return database_words(db) + ": the database does not take writes here (a read-only file or folder, or "
                                    "a read-only disk): " + e.what();
    }
    return std::nullopt;
}

}  // namespace

const std::vector<Migration> &migrations() { return kMigrations; }

int latest_schema_version() { return kMigrations.back().version; }

SchemaCheck check_schema(odbc::Connection &db) {
    SchemaCheck check;
    try {
        const odbc::Cell version = db.scalar("SELECT MAX(version) FROM deve_schema", {}, odbc::Type::Integer);
        check.version = static_cast<int>(version.integer().value_or(0));
    } catch (const odbc::Error &e) {
        if (e.failure() != odbc::Failure::Schema && e.failure() != odbc::Failure::Other &&
            e.failure() != odbc::Failure::ReadOnly) {
            throw;
        }
        if (const std::optional<std::string> trouble = file_trouble(e, db)) {
            check.state = SchemaState::Damaged;
            check.message = *trouble;
            return check;
        }
        if (e.failure() == odbc::Failure::ReadOnly) {
            throw;
        }
        std::string text = e.what();
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (!says(text, "no such table") && !says(text, "does not exist") && e.state() != "42P01") {
            // The table may well be there: the database could not be read.
            check.state = SchemaState::Damaged;
            check.message = database_words(db) + ": the database could not be read (a full or failing disk?): " +
                            e.what();
            return check;
        }
        check.state = db.tables().empty() ? SchemaState::Empty : SchemaState::Foreign;
        check.message = check.state == SchemaState::Empty
                            ? database_words(db) + ": the database has no deve-cli schema yet; create it with "
                                                   "deve-cli --store URL store init"
                            : database_words(db) + ": the database holds tables that are not deve-cli's (no "
                                                   "deve_schema table); name an empty database or a deve-cli store";
        return check;
    }
    const int latest = latest_schema_version();
    if (check.version > latest) {
        check.state = SchemaState::Newer;
        check.message = database_words(db) + ": the schema is version " + std::to_string(check.version) +
                        ", newer than this deve-cli knows (" + std::to_string(latest) +
                        "); use the deve-cli that wrote it, or a newer one";
    } else if (check.version < latest) {
        check.state = SchemaState::Older;
        check.message = database_words(db) + ": the schema is version " + std::to_string(check.version) +
                        ", older than this deve-cli's (" + std::to_string(latest) +
                        "); upgrade it with deve-cli --store URL store init";
    } else {
        check.state = SchemaState::Current;
    }
    return check;
}

std::vector<int> init_schema(odbc::Connection &db, const std::string &tool_version, const std::string &applied_at) {
    const SchemaCheck check = check_schema(db);
    if (check.state == SchemaState::Foreign || check.state == SchemaState::Newer ||
        check.state == SchemaState::Damaged) {
        throw std::runtime_error(check.message);
    }
    std::vector<int> applied;
    for (const Migration &m : kMigrations) {
        if (m.version <= check.version) {
            continue;
        }
        odbc::Transaction transaction(db);
        for (const char *statement : m.statements) {
            db.execute(statement);
        }
        db.execute("INSERT INTO deve_schema (version, name, applied_at, tool_version) VALUES (?, ?, ?, ?)",
                   {std::int64_t{m.version}, std::string(m.name), applied_at, tool_version});
        transaction.commit();
        applied.push_back(m.version);
    }
    return applied;
}

void probe_writable(odbc::Connection &db) {
    db.execute("UPDATE deve_schema SET name = name WHERE version < 0");
}

}  // namespace deve::store
