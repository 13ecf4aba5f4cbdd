#include "pool_store.h"

#include "odbc.h"
#include "common/text_format.h"

#include <chrono>
#include <set>

namespace deve::cli {

namespace {

namespace odbc = store::odbc;


// A reservation that lost a race to another station tries again; each try
// either takes an address or finds the pool empty, so a few are plenty.
constexpr int kReserveTries = 64;

std::string now_text() { return utc_timestamp(std::chrono::system_clock::now()); }

// The column of each state's time.
const char *time_column(MacState state) {
    switch (state) {
    case MacState::Reserved: return "reserved_at";
    case MacState::Burned: return "burned_at";
    case MacState::Spoiled: return "spoiled_at";
    case MacState::Released: return "released_at";
    case MacState::Free: break;
    }
    return nullptr;
}

std::string text_of(const odbc::Cell &cell) { return cell.value_or(std::string()); }

MacNumber number_of(const odbc::Cell &cell) { return cell ? std::stoull(*cell) : 0; }

constexpr const char *kRowColumns = "mac, pool, state, run_id, serial, chip_id";

MacRow row_of(const odbc::Row &r) {
    MacRow row;
    row.mac = parse_mac_number(text_of(r.at(0))).value_or(0);
    row.pool = text_of(r.at(1));
    row.state = parse_state(text_of(r.at(2))).value_or(MacState::Free);
    row.run_id = text_of(r.at(3));
    row.board = BoardId{text_of(r.at(4)), text_of(r.at(5))};
    return row;
}

class OdbcPoolBook final : public PoolBook {
public:
    explicit OdbcPoolBook(std::unique_ptr<odbc::Connection> db)
        : db_(std::move(db)), postgres_(db_->product().find("PostgreSQL") != std::string::npos) {
        if (postgres_) {
            // A lock that is not had in this time is an error, never a wait
            // without end.
            guarded("setting the lock time-out", [&] {
                db_->execute("SET lock_timeout = '10s'");
                return 0;
            });
        }
    }

    std::vector<PoolRange> ranges() override {
        return guarded("reading the pools' ranges", [&] { return read_ranges(""); });
    }

    std::optional<std::string> add_range(const std::string &pool, const MacRange &range) override {
        return guarded("adding a range to pool " + pool, [&]() -> std::optional<std::string> {
            return writing([&]() -> std::optional<std::string> {
                if (postgres_) {
                    // One range is added at a time across the line, so two
                    // overlapping ranges cannot both pass the check.
                    db_->execute("LOCK TABLE pool_ranges IN EXCLUSIVE MODE");
                }
                if (std::optional<std::string> refusal = refuse_range(range, read_ranges(""))) {
                    return refusal;
                }
                const std::string now = now_text();
                if (!db_->scalar("SELECT name FROM pools WHERE name = ?", {pool})) {
                    db_->execute("INSERT INTO pools (name, created_at) VALUES (?, ?)", {pool, now});
                }
                db_->execute("INSERT INTO pool_ranges (first_mac, last_mac, next_mac, pool, first_text, last_text, "
                             "added_at) VALUES (?, ?, ?, ?, ?, ?, ?)",
                             {number(range.first), number(range.last), number(range.first), pool,
                              mac_text(range.first), mac_text(range.last), now});
                return std::nullopt;
            });
        });
    }

    std::optional<PoolStatus> status(const std::string &pool) override {
        return guarded("reading pool " + pool, [&]() -> std::optional<PoolStatus> {
            if (!db_->scalar("SELECT name FROM pools WHERE name = ?", {pool})) {
                return std::nullopt;
            }
            PoolStatus s;
            s.pool = pool;
            std::uint64_t never_taken = 0;
            for (const odbc::Row &r :
                 db_->query("SELECT first_mac, last_mac, next_mac FROM pool_ranges WHERE pool = ? ORDER BY first_mac",
                            {pool})) {
                const MacRange range{number_of(r.at(0)), number_of(r.at(1))};
                const MacNumber next = number_of(r.at(2));
                s.ranges.push_back(range);
                s.size += range.size();
                if (next <= range.last) {
                    never_taken += range.last - next + 1;
                    if (!s.next_free) {
                        s.next_free = next;
                    }
                }
            }
            for (const odbc::Row &r : db_->query("SELECT state, COUNT(*), SUM(adopted) FROM mac_addresses "
                                                 "WHERE pool = ? GROUP BY state",
                                                 {pool})) {
                const std::uint64_t n = number_of(r.at(1));
                switch (parse_state(text_of(r.at(0))).value_or(MacState::Free)) {
                case MacState::Reserved: s.reserved = n; break;
                case MacState::Burned:
                    s.burned = n;
                    s.adopted = number_of(r.at(2));
                    break;
                case MacState::Spoiled: s.spoiled = n; break;
                case MacState::Released: s.released = n; break;
                case MacState::Free: break;
                }
            }
            s.free = never_taken + s.released;
            // A released address is taken before one never taken.
            if (const odbc::Cell first = db_->scalar(
                    "SELECT MIN(mac) FROM mac_addresses WHERE pool = ? AND state = 'released'", {pool})) {
                s.next_free = parse_mac_number(*first);
            }
            return s;
        });
    }

    std::optional<MacRow> find(MacNumber mac) override {
        return guarded("looking up " + mac_text(mac), [&]() -> std::optional<MacRow> {
            const std::vector<odbc::Row> rows = db_->query(
                std::string("SELECT ") + kRowColumns + " FROM mac_addresses WHERE mac = ?", {mac_text(mac)});
            if (rows.empty()) {
                return std::nullopt;
            }
            return row_of(rows.front());
        });
    }

    std::vector<MacRow> rows_of(const std::string &serial) override {
        return guarded("looking up board " + serial, [&] {
            std::vector<MacRow> out;
            for (const odbc::Row &r : db_->query(std::string("SELECT ") + kRowColumns +
                                                     " FROM mac_addresses WHERE serial = ? ORDER BY mac",
                                                 {serial})) {
                out.push_back(row_of(r));
            }
            return out;
        });
    }

    std::vector<Reservation> stale_reservations(std::chrono::seconds older_than, const std::string &pool) override {
        return guarded("looking up old reservations", [&] {
            const std::string before = utc_timestamp(std::chrono::system_clock::now() - older_than);
            std::vector<Reservation> out;
            for (const odbc::Row &r : db_->query(std::string("SELECT ") + kRowColumns +
                                                     ", reserved_at FROM mac_addresses WHERE state = 'reserved' AND "
                                                     "reserved_at < ? AND (? = '' OR pool = ?) ORDER BY reserved_at",
                                                 {before, pool, pool})) {
                out.push_back(Reservation{row_of(r), text_of(r.at(6)), std::nullopt});
            }
            if (postgres_) {
                for (Reservation &r : out) {
                    const bool had = db_->scalar("SELECT CASE WHEN pg_try_advisory_lock(?) THEN 1 ELSE 0 END",
                                                 {number(r.row.mac)}) == odbc::Cell("1");
                    if (had) {
                        let_go(r.row.mac);
                    }
                    r.station_alive = !had;
                }
            }
            return out;
        });
    }

    std::optional<MacNumber> reserve(const std::string &pool, const std::string &run_id,
                                     const BoardId &board) override {
        return guarded("reserving an address of pool " + pool, [&]() -> std::optional<MacNumber> {
            return writing([&]() -> std::optional<MacNumber> {
                for (int attempt = 0; attempt < kReserveTries; ++attempt) {
                    const std::string now = now_text();
                    // An address given back before anything was programmed
                    // goes first.
                    if (const std::optional<MacNumber> again = take_released(pool, run_id, board, now)) {
                        event(*again, MacState::Reserved, now, run_id, board);
                        hold(*again);
                        return again;
                    }
                    const std::optional<MacNumber> next = take_next(pool);
                    if (!next) {
                        if (!postgres_ || !any_left(pool)) {
                            return std::nullopt;
                        }
                        continue;  // another station took the range's last address first
                    }
                    // An address adopted from a board ahead of the range's
                    // pointer is passed over.
                    if (db_->scalar("SELECT mac FROM mac_addresses WHERE mac = ?", {mac_text(*next)})) {
                        continue;
                    }
                    db_->execute("INSERT INTO mac_addresses (mac, pool, state, run_id, serial, chip_id, adopted, "
                                 "reserved_at, changed_at) VALUES (?, ?, 'reserved', ?, ?, ?, 0, ?, ?)",
                                 {mac_text(*next), pool, run_id, board.serial, board.chip_id, now, now});
                    event(*next, MacState::Reserved, now, run_id, board);
                    hold(*next);
                    return next;
                }
                return std::nullopt;
            });
        });
    }

    bool resolve(const MacRow &reservation, MacState to, const BoardId &board) override {
        const MacNumber mac = reservation.mac;
        return guarded("resolving the reservation of " + mac_text(mac), [&] {
            if (postgres_ && db_->scalar("SELECT CASE WHEN pg_try_advisory_lock(?) THEN 1 ELSE 0 END",
                                         {number(mac)}) != odbc::Cell("1")) {
                return false;  // the station that reserved it is still connected
            }
            bool done = false;
            try {
                done = writing([&] {
                    const std::optional<MacRow> row = read_row(mac);
                    if (!row || row->state != MacState::Reserved || row->run_id != reservation.run_id) {
                        return false;  // resolved meanwhile
                    }
                    set_state(mac, MacState::Reserved, to, reservation.run_id, board);
                    return true;
                });
            } catch (...) {
                let_go(mac);
                throw;
            }
            let_go(mac);
            return done;
        });
    }

    void change_state(MacNumber mac, MacState to, const std::string &run_id, const BoardId &board) override {
        guarded("recording " + mac_text(mac) + " as " + state_name(to), [&] {
            return writing([&] {
                const std::optional<MacRow> now_row = read_row(mac);
                const MacState from = now_row ? now_row->state : MacState::Free;
                if (from == to) {
                    return 0;
                }
                if (!now_row || !may_change(from, to)) {
                    throw PoolStoreError(mac_text(mac) + " is " + state_name(from) + " in the store and cannot become " +
                                         state_name(to));
                }
                // Only the run that reserved an address records its outcome.
                if (from == MacState::Reserved && now_row->run_id != run_id) {
                    throw PoolStoreError(mac_text(mac) + " is reserved by run " + now_row->run_id + " for board " +
                                         now_row->board.serial + ", not by this run: not recorded as " +
                                         state_name(to));
                }
                set_state(mac, from, to, run_id, board);
                return 0;
            });
        });
        if (held_.count(mac) != 0) {
            let_go(mac);
        }
    }

    void adopt(const std::string &pool, MacNumber mac, const std::string &run_id, const BoardId &board) override {
        guarded("adopting " + mac_text(mac), [&] {
            return writing([&] {
                std::string owner = pool;
                for (const PoolRange &r : read_ranges("")) {
                    if (r.range.contains(mac)) {
                        owner = r.pool;
                    }
                }
                const std::string now = now_text();
                if (read_row(mac)) {
                    db_->execute("UPDATE mac_addresses SET state = 'burned', run_id = ?, serial = ?, chip_id = ?, "
                                 "adopted = 1, burned_at = ?, changed_at = ? WHERE mac = ?",
                                 {run_id, board.serial, board.chip_id, now, now, mac_text(mac)});
                } else {
                    db_->execute("INSERT INTO mac_addresses (mac, pool, state, run_id, serial, chip_id, adopted, "
                                 "burned_at, changed_at) VALUES (?, ?, 'burned', ?, ?, ?, 1, ?, ?)",
                                 {mac_text(mac), owner, run_id, board.serial, board.chip_id, now, now});
                }
                event(mac, MacState::Burned, now, run_id, board);
                return 0;
            });
        });
    }

private:
    static odbc::Value number(MacNumber n) { return static_cast<std::int64_t>(n); }

    // Runs `work`, turning the database's failures into PoolStoreError.
    template <typename Work>
    auto guarded(const std::string &what, Work work) -> decltype(work()) {
        try {
            return work();
        } catch (const odbc::Error &e) {
            throw PoolStoreError("store " + db_->name() + ": " + what + " failed: " + e.what());
        }
    }

    // One write transaction. SQLite takes its write lock at the start
    // (BEGIN IMMEDIATE; a second station waits for the busy timeout instead
    // of failing); PostgreSQL locks the rows it changes.
    template <typename Work>
    auto writing(Work work) -> decltype(work()) {
        if (postgres_) {
            odbc::Transaction transaction(*db_);
            auto result = work();
            transaction.commit();
            return result;
        }
        db_->execute("BEGIN IMMEDIATE");
        try {
            auto result = work();
            db_->execute("COMMIT");
            return result;
        } catch (...) {
            try {
                db_->execute("ROLLBACK");
            } catch (const odbc::Error &) {
                // The transaction is gone with the connection.
            }
            throw;
        }
    }

    std::vector<PoolRange> read_ranges(const std::string &pool) {
        std::vector<PoolRange> out;
        for (const odbc::Row &r : db_->query("SELECT pool, first_mac, last_mac FROM pool_ranges WHERE ? = '' OR "
                                             "pool = ? ORDER BY first_mac",
                                             {pool, pool})) {
            out.push_back(PoolRange{text_of(r.at(0)), MacRange{number_of(r.at(1)), number_of(r.at(2))}});
        }
        return out;
    }

    std::optional<MacRow> read_row(MacNumber mac) {
        const std::vector<odbc::Row> rows = db_->query(
            std::string("SELECT ") + kRowColumns + " FROM mac_addresses WHERE mac = ?", {mac_text(mac)});
        return rows.empty() ? std::nullopt : std::optional<MacRow>(row_of(rows.front()));
    }

    bool any_left(const std::string &pool) {
        return db_->scalar("SELECT first_mac FROM pool_ranges WHERE pool = ? AND next_mac <= last_mac", {pool})
            .has_value();
    }

    std::optional<MacNumber> take_released(const std::string &pool, const std::string &run_id, const BoardId &board,
                                           const std::string &now) {
        const std::string set = "UPDATE mac_addresses SET state = 'reserved', run_id = ?, serial = ?, chip_id = ?, "
                                "adopted = 0, reserved_at = ?, burned_at = NULL, spoiled_at = NULL, "
                                "released_at = NULL, changed_at = ? WHERE state = 'released' AND mac = ";
        if (postgres_) {
            // A row another station has locked is passed over, never waited
            // for; the state is checked again on the row as it is now.
            // (The UPDATE is wrapped in a query, so that the driver reads its
            // RETURNING rows as a result, also when there are none.)
            const std::vector<odbc::Row> rows =
                db_->query("WITH taken AS (" + set +
                               "(SELECT mac FROM mac_addresses WHERE pool = ? AND state = 'released' ORDER BY mac "
                               "LIMIT 1 FOR UPDATE SKIP LOCKED) RETURNING mac) SELECT mac FROM taken",
                           {run_id, board.serial, board.chip_id, now, now, pool});
            return rows.empty() ? std::nullopt : parse_mac_number(text_of(rows.front().at(0)));
        }
        // SQLite: the write lock is held, nobody else reads in between.
        const odbc::Cell mac =
            db_->scalar("SELECT MIN(mac) FROM mac_addresses WHERE pool = ? AND state = 'released'", {pool});
        if (!mac) {
            return std::nullopt;
        }
        db_->execute(set + "?", {run_id, board.serial, board.chip_id, now, now, *mac});
        return parse_mac_number(*mac);
    }

    std::optional<MacNumber> take_next(const std::string &pool) {
        if (postgres_) {
            // The condition is checked again on the row as it is once its
            // lock is had: a station that waited finds the pointer moved on.
            const std::vector<odbc::Row> rows = db_->query(
                "WITH taken AS (UPDATE pool_ranges SET next_mac = next_mac + 1 WHERE next_mac <= last_mac AND "
                "first_mac = (SELECT first_mac FROM pool_ranges WHERE pool = ? AND next_mac <= last_mac ORDER BY "
                "first_mac LIMIT 1) RETURNING next_mac - 1 AS mac) SELECT mac FROM taken",
                {pool});
            return rows.empty() ? std::nullopt : std::optional<MacNumber>(number_of(rows.front().at(0)));
        }
        const std::vector<odbc::Row> rows = db_->query(
            "SELECT first_mac, next_mac FROM pool_ranges WHERE pool = ? AND next_mac <= last_mac ORDER BY first_mac "
            "LIMIT 1",
            {pool});
        if (rows.empty()) {
            return std::nullopt;
        }
        db_->execute("UPDATE pool_ranges SET next_mac = next_mac + 1 WHERE first_mac = ?",
                     {number(number_of(rows.front().at(0)))});
        return number_of(rows.front().at(1));
    }

    void set_state(MacNumber mac, MacState from, MacState to, const std::string &run_id, const BoardId &board) {
        const std::string now = now_text();
        db_->execute(std::string("UPDATE mac_addresses SET state = ?, run_id = ?, serial = ?, chip_id = ?, ") +
                         time_column(to) + " = ?, changed_at = ? WHERE mac = ? AND state = ?",
                     {std::string(state_name(to)), run_id, board.serial, board.chip_id, now, now, mac_text(mac),
                      std::string(state_name(from))});
        event(mac, to, now, run_id, board);
    }

    // PostgreSQL: the station holds a lock on each address it has reserved,
    // a session lock that the server lets go when the connection ends, also
    // when the station dies. Taken inside the reserving transaction, so no
    // other station sees the reservation without the lock.
    void hold(MacNumber mac) {
        if (postgres_) {
            db_->scalar("SELECT CASE WHEN pg_advisory_lock(?) IS NULL THEN 0 ELSE 1 END", {number(mac)});
            held_.insert(mac);
        }
    }
    void let_go(MacNumber mac) {
        if (postgres_) {
            try {
                db_->scalar("SELECT CASE WHEN pg_advisory_unlock(?) THEN 1 ELSE 0 END", {number(mac)});
            } catch (const odbc::Error &) {
                // The lock ends with the connection.
            }
            held_.erase(mac);
        }
    }

    void event(MacNumber mac, MacState state, const std::string &at, const std::string &run_id, const BoardId &board) {
        db_->execute("INSERT INTO mac_events (mac, state, at, run_id, serial, chip_id) VALUES (?, ?, ?, ?, ?, ?)",
                     {mac_text(mac), std::string(state_name(state)), at, run_id, board.serial, board.chip_id});
    }

    std::unique_ptr<odbc::Connection> db_;
    bool postgres_;
    std::set<MacNumber> held_;  // the addresses this connection holds locks on
};

}  // namespace

std::unique_ptr<PoolBook> pool_book(std::unique_ptr<store::odbc::Connection> db) {
    return std::make_unique<OdbcPoolBook>(std::move(db));
}

}  // namespace deve::cli
