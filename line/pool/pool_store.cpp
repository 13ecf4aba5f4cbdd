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

std::string text_of(const odbc::Cell &cell) { return cell.text().value_or(std::string()); }

MacNumber number_of(const odbc::Cell &cell) { return static_cast<MacNumber>(cell.integer().value_or(0)); }

using odbc::Type;

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
    explicit OdbcPoolBook(std::unique_ptr<odbc::Connection> db) : db_(std::move(db)), sql_(db_->sql()) {
        guarded("setting the lock time-out", [&] {
            run_if_any(sql_.pool_session);
            return 0;
        });
    }

    std::vector<PoolRange> ranges() override {
        return guarded("reading the pools' ranges", [&] { return read_ranges(""); });
    }

    std::optional<std::string> add_range(const std::string &pool, const MacRange &range) override {
        return guarded("adding a range to pool " + pool, [&]() -> std::optional<std::string> {
            return writing([&]() -> std::optional<std::string> {
                // One range is added at a time across the line, so two
                // overlapping ranges cannot both pass the check.
                run_if_any(sql_.lock_ranges);
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
            std::vector<std::pair<std::string, std::string>> ends;  // each range's first and last, as text
            for (const odbc::Row &r :
                 db_->query("SELECT first_mac, last_mac, next_mac FROM pool_ranges WHERE pool = ? ORDER BY first_mac",
                            {pool}, {Type::Integer, Type::Integer, Type::Integer})) {
                const MacRange range{number_of(r.at(0)), number_of(r.at(1))};
                const MacNumber next = number_of(r.at(2));
                s.ranges.push_back(range);
                s.size += range.size();
                ends.emplace_back(mac_text(range.first), mac_text(range.last));
                if (next <= range.last) {
                    // An address adopted from a board ahead of the pointer
                    // has left free already: it counts under its state.
                    const std::uint64_t ahead = number_of(
                        db_->scalar("SELECT COUNT(*) FROM mac_addresses WHERE mac >= ? AND mac <= ?",
                                    {mac_text(next), mac_text(range.last)}, Type::Integer));
                    never_taken += range.last - next + 1 - std::min<std::uint64_t>(ahead, range.last - next + 1);
                    if (!s.next_free) {
                        s.next_free = next;
                    }
                }
            }
            // The states of the pool's addresses inside its ranges (text order
            // is address order), so that they add up to its size; an address
            // adopted into the pool from outside them is counted apart.
            std::string inside;
            std::vector<odbc::Value> params;
            for (const auto &[first, last] : ends) {
                inside += (inside.empty() ? "" : " OR ") + std::string("(mac >= ? AND mac <= ?)");
                params.emplace_back(first);
                params.emplace_back(last);
            }
            if (inside.empty()) {
                inside = "1 = 0";
            }
            params.emplace_back(pool);
            const std::string counts = "SELECT state, COUNT(*), SUM(adopted), SUM(CASE WHEN " + inside +
                                       " THEN 0 ELSE 1 END) FROM mac_addresses WHERE pool = ? GROUP BY state";
            for (const odbc::Row &r :
                 db_->query(counts, params, {Type::Text, Type::Integer, Type::Integer, Type::Integer})) {
                const std::uint64_t outside = number_of(r.at(3));
                const std::uint64_t n = number_of(r.at(1)) - outside;
                s.outside += outside;
                switch (parse_state(text_of(r.at(0))).value_or(MacState::Free)) {
                case MacState::Reserved: s.reserved = n; break;
                case MacState::Burned:
                    s.burned = n;
                    s.adopted = number_of(r.at(2)) - outside;
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
                s.next_free = parse_mac_number(text_of(first));
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
            // Whether the station that made each is still connected (it holds
            // the address's lock); not known where the server has no such
            // locks.
            for (Reservation &r : out) {
                const std::optional<bool> had = db_->try_lock(key(r.row.mac));
                if (had.value_or(false)) {
                    db_->unlock(key(r.row.mac));
                }
                r.station_alive = had ? std::optional<bool>(!*had) : std::nullopt;
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
                        if (!any_left(pool)) {
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
            if (!db_->try_lock(key(mac)).value_or(true)) {
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
    static std::int64_t key(MacNumber n) { return static_cast<std::int64_t>(n); }

    // A statement the dialect needs here, if it needs one.
    void run_if_any(const char *statement) {
        if (statement != nullptr) {
            db_->execute(statement);
        }
    }

    // Runs `work`, turning the database's failures into PoolStoreError.
    template <typename Work>
    auto guarded(const std::string &what, Work work) -> decltype(work()) {
        try {
            return work();
        } catch (const odbc::Error &e) {
            throw PoolStoreError("store " + db_->name() + ": " + what + " failed: " + e.what());
        }
    }

    // One write transaction, begun the dialect's way: SQLite takes its write
    // lock at the start (a second station waits for the busy time-out
    // instead of failing); PostgreSQL locks the rows a station picks.
    template <typename Work>
    auto writing(Work work) -> decltype(work()) {
        odbc::Transaction transaction(*db_);
        auto result = work();
        transaction.commit();
        return result;
    }

    std::vector<PoolRange> read_ranges(const std::string &pool) {
        std::vector<PoolRange> out;
        for (const odbc::Row &r : db_->query("SELECT pool, first_mac, last_mac FROM pool_ranges WHERE ? = '' OR "
                                             "pool = ? ORDER BY first_mac",
                                             {pool, pool}, {Type::Text, Type::Integer, Type::Integer})) {
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
        return !db_->scalar("SELECT first_mac FROM pool_ranges WHERE pool = ? AND next_mac <= last_mac", {pool},
                            Type::Integer)
                    .null();
    }

    // The first released address of the pool, taken for this run. The pick
    // locks its row where the dialect locks rows (one another station holds
    // is passed over, never waited for); SQLite's write lock is held
    // already, so nobody else reads in between.
    std::optional<MacNumber> take_released(const std::string &pool, const std::string &run_id, const BoardId &board,
                                           const std::string &now) {
        const odbc::Cell mac = db_->scalar(
            std::string("SELECT mac FROM mac_addresses WHERE pool = ? AND state = 'released' ORDER BY mac LIMIT 1") +
                sql_.lock_picked_address,
            {pool});
        if (!mac) {
            return std::nullopt;
        }
        db_->execute("UPDATE mac_addresses SET state = 'reserved', run_id = ?, serial = ?, chip_id = ?, adopted = 0, "
                     "reserved_at = ?, burned_at = NULL, spoiled_at = NULL, released_at = NULL, changed_at = ? "
                     "WHERE state = 'released' AND mac = ?",
                     {run_id, board.serial, board.chip_id, now, now, text_of(mac)});
        return parse_mac_number(text_of(mac));
    }

    // The next never-taken address of the pool's first range that has one,
    // its pointer moved on, as the dialect does it.
    std::optional<MacNumber> take_next(const std::string &pool) {
        const std::vector<odbc::Row> rows =
            db_->query(sql_.take_from_range, {pool}, {Type::Integer, Type::Integer});
        if (rows.empty()) {
            return std::nullopt;
        }
        if (sql_.advance_range != nullptr) {
            db_->execute(sql_.advance_range, {number(number_of(rows.front().at(0)))});
        }
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

    // The station holds a session lock on each address it has reserved,
    // which the server lets go when the connection ends, also when the
    // station dies (where the dialect has such locks). Taken inside the
    // reserving transaction, so no other station sees the reservation
    // without the lock.
    void hold(MacNumber mac) {
        db_->lock(key(mac));
        held_.insert(mac);
    }
    void let_go(MacNumber mac) {
        db_->unlock(key(mac));
        held_.erase(mac);
    }

    void event(MacNumber mac, MacState state, const std::string &at, const std::string &run_id, const BoardId &board) {
        db_->execute("INSERT INTO mac_events (mac, state, at, run_id, serial, chip_id) VALUES (?, ?, ?, ?, ?, ?)",
                     {mac_text(mac), std::string(state_name(state)), at, run_id, board.serial, board.chip_id});
    }

    std::unique_ptr<odbc::Connection> db_;
    const store::DialectSql &sql_;
    std::set<MacNumber> held_;  // the addresses this connection holds locks on
};

}  // namespace

std::optional<std::string> pool_refusal(const std::string &store_name, store::Dialect dialect,
                                        const std::string &product) {
    if (store::dialect_sql(dialect).pool) {
        return std::nullopt;
    }
    return "store " + store_name + ": the MAC pool needs SQLite or PostgreSQL, whose locking keeps one address off "
           "two boards; this database is " + (product.empty() ? std::string("of an unknown kind") : product) +
           ", which the pool does not use (its results and reports still work)";
}

std::unique_ptr<PoolBook> pool_book(std::unique_ptr<store::odbc::Connection> db) {
    if (const std::optional<std::string> refusal = pool_refusal(db->name(), db->dialect(), db->product())) {
        throw PoolStoreError(*refusal);
    }
    return std::make_unique<OdbcPoolBook>(std::move(db));
}

}  // namespace deve::cli
