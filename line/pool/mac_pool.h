// MAC address pools: the arithmetic of address ranges, the states an address
// goes through on its way into a board's fuses, and the rules that decide
// what a board gets. No database here: pool_store.h keeps these in the store.
#pragma once

#include "deve/efuse_items.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace deve::cli {

// A MAC address as a 48-bit number, byte 0 (the first on the wire) in the
// most significant byte, so that ranges count up as an operator reads them.
using MacNumber = std::uint64_t;
constexpr MacNumber kMacNumberLimit = MacNumber{1} << 48;

MacNumber mac_number(const MacAddress &mac);
MacAddress mac_of(MacNumber number);
// "02:00:00:00:00:2a": the form the store keeps and the records show.
std::string mac_text(MacNumber number);
// Six bytes as deve-cli reads them (00:11:22:33:44:55, 00-11-..., 001122334455).
std::optional<MacNumber> parse_mac_number(const std::string &text);

struct MacRange {
    MacNumber first = 0;
    MacNumber last = 0;
    MacNumber size() const { return last - first + 1; }
    bool contains(MacNumber mac) const { return first <= mac && mac <= last; }
    bool overlaps(const MacRange &other) const { return first <= other.last && other.first <= last; }
};

// A range of a pool as the store keeps it.
struct PoolRange {
    std::string pool;
    MacRange range;
};

// Why a new range may not be added to the pools, or nothing when it may:
// reversed, holding the all-zero address or a group (multicast or broadcast)
// address, or overlapping a range of any pool.
std::optional<std::string> refuse_range(const MacRange &range, const std::vector<PoolRange> &existing);

// The states of an address of a pool. An address with no row in the store is
// free.
enum class MacState {
    Free,
    Reserved,  // taken for a run and a board, not yet known to be in its fuses
    Burned,    // the board's fuses hold it
    Spoiled,   // programming may have begun, but the read-back does not show it: never handed out again
    Released,  // given back before anything was programmed: the only state that returns to free
};

const char *state_name(MacState state);
std::optional<MacState> parse_state(const std::string &name);
// Whether an address may go from one state to the other.
bool may_change(MacState from, MacState to);
// Whether the address may be taken by a new reservation.
bool may_be_reserved(MacState state);

// Which board an address went to.
struct BoardId {
    std::string serial;
    std::string chip_id;  // "0x7c000000"
};

// What the store says of an address.
struct MacRow {
    MacNumber mac = 0;
    std::string pool;
    MacState state = MacState::Free;
    std::string run_id;
    BoardId board;
};

// A board whose fuses already hold an address: what to do with it.
struct HeldDecision {
    enum class Kind {
        Unchanged,  // the pool has this address for this board: a pass, nothing programmed
        Duplicate,  // the address belongs to another board: a fail
        Unknown,    // the pool does not know the address: refused
        Adopt,      // unknown, and --adopt: recorded as burned on this board
    } kind = Kind::Unknown;
    // Burned is recorded for the board when the store does not say so yet
    // (a reservation that a dead station left, an adopted address).
    bool record_burned = false;
    std::string message;
};
HeldDecision decide_held(MacNumber held, const std::optional<MacRow> &row, const BoardId &board, bool adopt);

// A reservation the board's own run left behind (its station died): burned
// when the board's fuses now hold the address, released otherwise.
MacState resolve_reservation(MacNumber reserved, const std::optional<MacNumber> &held);

// The state after a burn from the pool: burned when the read-back shows the
// address, released when nothing was programmed, spoiled otherwise.
MacState burn_outcome_state(bool programming_began, bool read_back_shows_it);

// "90s", "15m", "12h", "7d" (or a plain number of seconds).
std::optional<std::chrono::seconds> parse_duration(const std::string &text);

}  // namespace deve::cli

namespace deve::cli {

// How a pool stands: counts by state and the next address a reservation
// would take. The addresses in its ranges add up to its size: free +
// reserved + burned + spoiled = size (released ones are free again, and
// counted among free too).
struct PoolStatus {
    std::string pool;
    std::vector<MacRange> ranges;
    std::uint64_t size = 0;  // addresses in its ranges
    std::uint64_t free = 0;  // never taken, or released
    std::uint64_t reserved = 0;
    std::uint64_t burned = 0;
    std::uint64_t spoiled = 0;
    std::uint64_t released = 0;
    std::uint64_t adopted = 0;  // of the burned ones, those recorded with --adopt
    // Addresses adopted into the pool from boards that held one outside
    // its ranges: burned, and not part of its size or of the counts above.
    std::uint64_t outside = 0;
    std::optional<MacNumber> next_free;
};

// A reservation as the store keeps it, with when it was made.
struct Reservation {
    MacRow row;
    std::string reserved_at;  // UTC text, as the store gives it
    // Whether the station that made it is still connected (PostgreSQL); not
    // known on SQLite.
    std::optional<bool> station_alive;
};

// The pools as the runner and the store commands need them. Each call is one
// transaction; a failure to reach or use the database throws
// PoolStoreError.
class PoolBook {
public:
    virtual ~PoolBook() = default;
    // Every pool's ranges.
    virtual std::vector<PoolRange> ranges() = 0;
    // Adds a range to a pool (made when new); the refusal, or nothing when
    // added. The check and the insert are one transaction, so two stations
    // adding overlapping ranges at once cannot both succeed.
    virtual std::optional<std::string> add_range(const std::string &pool, const MacRange &range) = 0;
    // Nothing when the pool does not exist.
    virtual std::optional<PoolStatus> status(const std::string &pool) = 0;
    // The address's row, in any pool.
    virtual std::optional<MacRow> find(MacNumber mac) = 0;
    // Every address recorded for the board (by serial), in any pool.
    virtual std::vector<MacRow> rows_of(const std::string &serial) = 0;
    // Reservations made before `older_than` ago, in any pool (or the one named).
    virtual std::vector<Reservation> stale_reservations(std::chrono::seconds older_than, const std::string &pool) = 0;
    // Takes the next free address for a run and a board, in one transaction
    // that no two stations can both win; nothing when the pool has none.
    virtual std::optional<MacNumber> reserve(const std::string &pool, const std::string &run_id,
                                             const BoardId &board) = 0;
    // Moves an address to a state (a change may_change allows), stamping the
    // time of the change; the run and board are recorded with it.
    virtual void change_state(MacNumber mac, MacState to, const std::string &run_id, const BoardId &board) = 0;
    // Resolves a reservation an earlier run left open (burned or released,
    // by the board's fuses). False, and nothing changed, when the station
    // that made it is still at work: on PostgreSQL a station holds a lock on
    // each address it has reserved until it records the outcome or its
    // connection ends, so a second board that carries the same serial by
    // mistake cannot release an address that is being burnt.
    virtual bool resolve(const MacRow &reservation, MacState to, const BoardId &board) = 0;
    // Records an address that a board already holds as burned on it, in the
    // pool whose range holds it, else in `pool`.
    virtual void adopt(const std::string &pool, MacNumber mac, const std::string &run_id, const BoardId &board) = 0;
};

// The database could not be reached or used: exit code 3, nothing programmed.
struct PoolStoreError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace deve::cli
