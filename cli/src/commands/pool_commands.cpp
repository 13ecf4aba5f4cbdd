// mac write --from-pool: a board's MAC address from a pool of the store.
// The address is reserved in a transaction no two stations can both win,
// burnt through the staged, verified burn, and its state recorded from what
// the fuses read back. A board that already holds an address gets nothing new.
#include "runner.h"

#include "odbc.h"
#include "deve/efuse_map.h"

namespace deve::cli {

namespace {

constexpr const char *kSerialKey = "serial";

std::optional<MacNumber> held_mac(const FuseMap &map) {
    const MapRecord *record = map.current(kMacRecordType);
    if (record == nullptr || record->data.size() != MacAddress().size()) {
        return std::nullopt;
    }
    MacAddress mac{};
    std::copy(record->data.begin(), record->data.end(), mac.begin());
    return mac_number(mac);
}

}  // namespace

std::string Runner::meta_value(const std::string &key) const {
    for (const auto &[k, v] : globals_.meta) {
        if (k == key) {
            return v;
        }
    }
    return {};
}

BoardId Runner::board_id(const FuseMap &map) const { return BoardId{meta_value(kSerialKey), hex_word(map.chip_id())}; }

PoolBook &Runner::pools() {
    if (!pools_) {
        pools_ = env_.open_pools();
    }
    return *pools_;
}

std::optional<Outcome> Runner::check_pools(const std::vector<Command> &commands) {
    for (std::size_t i = 0; i < commands.size(); ++i) {
        const auto *write = std::get_if<MacWriteCmd>(&commands[i]);
        if (write == nullptr || write->pool.empty()) {
            continue;
        }
        step_ = i + 1;
        command_ = command_name(commands[i]);
        if (!env_.open_pools) {
            return error("usage", "mac write --from-pool needs the store: give --store URL or set DEVE_STORE");
        }
        const std::string serial = meta_value(kSerialKey);
        if (serial.empty()) {
            return error("usage", "mac write --from-pool needs the board's serial (--meta serial=...): the pool "
                                  "records which board each address went to");
        }
        if (const std::optional<std::string> bad = store::odbc::not_utf8_words(serial)) {
            return error("usage", "mac write --from-pool: the board's serial (--meta serial=...) " + *bad);
        }
        try {
            const std::optional<PoolStatus> status = pools().status(write->pool);
            if (!status) {
                return error("refused", "pool " + write->pool + " does not exist (store pool add " + write->pool +
                                            " FIRST LAST makes it)");
            }
            if (status->free == 0) {
                // A board the pool already knows may be a retest that needs
                // no new address: it goes on to have its fuses read.
                const std::vector<MacRow> rows = pools().rows_of(serial);
                if (rows.empty()) {
                    return error("refused", "pool " + write->pool + " has no free address");
                }
            }
        } catch (const PoolStoreError &e) {
            return error("pool", std::string(e.what()) + "; the link was not opened and nothing was programmed");
        }
    }
    step_ = 0;
    return std::nullopt;
}

Outcome Runner::pool_write(const MacWriteCmd &cmd) {
    const std::optional<FuseMap> now = read_map();
    if (!now) {
        return fuses_unread();
    }
    const BoardId board = board_id(*now);
    if (board.serial.empty()) {
        return error("usage", "mac write --from-pool needs the board's serial (--meta serial=...)");
    }
    if (!env_.open_pools) {
        return error("usage", "mac write --from-pool needs the store: give --store URL or set DEVE_STORE");
    }
    const std::optional<MacNumber> held = held_mac(*now);
    ordered_json resolved = ordered_json::array();
    auto record = [&](const char *outcome, const std::optional<MacNumber> &mac, const std::optional<MacState> &state,
                      const std::string &message) {
        ordered_json fields = head();
        fields.update({{"pool", cmd.pool}, {"outcome", outcome}});
        fields.update({{"mac", mac ? std::optional<std::string>(mac_text(*mac)) : std::nullopt}});
        fields.update({{"state", state ? std::optional<std::string>(state_name(*state)) : std::nullopt}});
        fields.update({{"serial", board.serial}, {"chip_id", board.chip_id}, {"resolved", resolved}});
        fields.update({{"message", message}});
        out_.record("mac_pool", fields);
        out_.text("mac pool " + cmd.pool + ": " + message);
    };
    std::optional<MacNumber> reserved;
    try {
        PoolBook &book = pools();
        // Reservations this board's earlier runs left open (their station
        // died): the fuses now tell whether the address got there.
        for (const MacRow &row : book.rows_of(board.serial)) {
            if (row.state != MacState::Reserved) {
                continue;
            }
            const MacState to = resolve_reservation(row.mac, held);
            if (!book.resolve(row, to, board)) {
                out_.text("mac pool " + row.pool + ": " + mac_text(row.mac) + " is reserved by run " + row.run_id +
                          " for a board with this serial, whose station is still at work: left reserved");
                continue;
            }
            resolved.push_back(ordered_json{{"mac", mac_text(row.mac)}, {"state", state_name(to)}, {"run_id", row.run_id}});
            out_.text("mac pool " + row.pool + ": the reservation of " + mac_text(row.mac) + " by run " + row.run_id +
                      " is resolved as " + state_name(to));
        }
        if (held) {
            const HeldDecision d = decide_held(*held, book.find(*held), board, cmd.adopt);
            switch (d.kind) {
            case HeldDecision::Kind::Unchanged:
                if (d.record_burned) {
                    book.change_state(*held, MacState::Burned, out_.run_id(), board);
                }
                record("unchanged", held, MacState::Burned, d.message + "; nothing programmed");
                return Outcome::Pass;
            case HeldDecision::Kind::Adopt:
                book.adopt(cmd.pool, *held, out_.run_id(), board);
                record("adopted", held, MacState::Burned, d.message + "; nothing programmed");
                return Outcome::Pass;
            case HeldDecision::Kind::Duplicate:
                record("duplicate", held, std::nullopt, d.message);
                return fail(d.message);
            case HeldDecision::Kind::Unknown:
                record("refused", held, std::nullopt, d.message);
                return error("refused", d.message);
            }
        }
        if (cmd.burn.dry_run) {
            const std::optional<PoolStatus> status = book.status(cmd.pool);
            const std::optional<MacNumber> next = status ? status->next_free : std::nullopt;
            if (!next) {
                record("refused", std::nullopt, std::nullopt, "pool " + cmd.pool + " has no free address");
                return error("refused", "pool " + cmd.pool + " has no free address");
            }
            record("dry-run", next, std::nullopt, "dry run: the next free address is " + mac_text(*next) +
                                                      "; nothing reserved");
            return burn("MAC", mac_request(mac_of(*next)), *now, cmd.burn);
        }
        reserved = book.reserve(cmd.pool, out_.run_id(), board);
        if (!reserved) {
            record("refused", std::nullopt, std::nullopt, "pool " + cmd.pool + " has no free address");
            return error("refused", "pool " + cmd.pool + " has no free address");
        }
    } catch (const PoolStoreError &e) {
        return error("pool", std::string(e.what()) + "; nothing was programmed");
    }

    BurnReport report;
    const Outcome burnt = burn("MAC", mac_request(mac_of(*reserved)), *now, cmd.burn, &report);
    const bool shows = report.readback && held_mac(*report.readback) == reserved;
    const MacState state = burn_outcome_state(report.programmed, shows);
    try {
        pools().change_state(*reserved, state, out_.run_id(), board);
    } catch (const PoolStoreError &e) {
        record(state_name(state), reserved, MacState::Reserved,
               "the outcome could not be recorded: " + mac_text(*reserved) + " stays reserved for board " +
                   board.serial + " until the board's next run reads its fuses");
        return std::max(burnt, error("pool", std::string(e.what()) + "; " + mac_text(*reserved) +
                                                  " stays reserved until the board's next run"));
    }
    const std::string told = state == MacState::Burned   ? " is burned on board " + board.serial
                             : state == MacState::Spoiled ? " is spoiled: programming began but the read-back does "
                                                           "not show it; it is never handed out again"
                                                         : " is released: nothing was programmed";
    record(state_name(state), reserved, state, mac_text(*reserved) + told);
    return burnt;
}

}  // namespace deve::cli
