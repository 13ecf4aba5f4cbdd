#include "pool_admin.h"

#include "connect.h"
#include "odbc.h"
#include "pool_store.h"
#include "standalone_parse.h"
#include "url.h"

#include <CLI/CLI.hpp>

#include <algorithm>

namespace deve::cli {

namespace {

ordered_json status_fields(const PoolStatus &s) {
    ordered_json ranges = ordered_json::array();
    for (const MacRange &r : s.ranges) {
        ranges.push_back(ordered_json{{"first", mac_text(r.first)}, {"last", mac_text(r.last)}, {"size", r.size()}});
    }
    ordered_json counts = ordered_json::object();
    counts.update({{"free", s.free}, {"reserved", s.reserved}, {"burned", s.burned}, {"spoiled", s.spoiled}, {"released", s.released}});
    return ordered_json{{"pool", s.pool}, {"ranges", ranges}, {"size", s.size}, {"counts", counts}, {"adopted", s.adopted}, {"outside", s.outside}, {"next_free", s.next_free ? std::optional<std::string>(mac_text(*s.next_free)) : std::nullopt}};
}

}  // namespace

PoolAdminParse parse_pool_admin(const std::vector<std::string> &words) {
    CLI::App app{"The line's MAC address pools in the store.", "deve-cli store pool"};
    app.require_subcommand(1, 1);
    app.allow_windows_style_options(false);
    PoolAdminCmd cmd;
    std::string first;
    std::string last;
    std::string older;
    CLI::App *add = app.add_subcommand(
        "add", "add the range FIRST to LAST (both included) to pool NAME, made when new. Refused: a reversed range, "
               "one that overlaps any pool's range, one that holds the all-zero or a multicast address");
    add->add_option("NAME", cmd.pool, "the pool")->required();
    add->add_option("FIRST", first, "first address, 02:00:00:00:00:00")->required();
    add->add_option("LAST", last, "last address")->required();
    CLI::App *status = app.add_subcommand("status", "counts of the pool's addresses by state, and the next free one");
    status->add_option("NAME", cmd.pool, "the pool")->required();
    CLI::App *reclaim = app.add_subcommand(
        "reclaim", "list the reservations older than DURATION whose board never came back; each stays reserved "
                   "until its board's next run reads its fuses");
    reclaim->add_option("--older-than", older, "90s, 15m, 12h, 7d")->required();
    reclaim->add_option("--pool", cmd.pool, "only this pool");
    for (CLI::App *sub : {add, status, reclaim}) {
        sub->add_flag("--json", cmd.json, "one JSON object per line");
        sub->allow_windows_style_options(false);
    }
    PoolAdminParse out;
    const StandaloneParse parsed = parse_standalone(app, words, "store pool");
    if (!parsed.help.empty() || !parsed.error.empty()) {
        out.help = parsed.help;
        out.error = parsed.error;
        return out;
    }
    // The store keeps names as UTF-8; bytes that are not are refused, never
    // guessed at.
    if (const std::optional<std::string> bad = store::odbc::not_utf8_words(cmd.pool)) {
        out.error = "store pool: the pool's name " + *bad;
        return out;
    }
    if (add->parsed()) {
        cmd.action = PoolAdminCmd::Action::Add;
        const std::optional<MacNumber> a = parse_mac_number(first);
        const std::optional<MacNumber> b = parse_mac_number(last);
        if (!a || !b) {
            out.error = "store pool add: '" + (!a ? first : last) +
                        "' is not a MAC address (six hexadecimal bytes, 02:00:00:00:00:00)";
            return out;
        }
        cmd.range = MacRange{*a, *b};
    } else if (reclaim->parsed()) {
        cmd.action = PoolAdminCmd::Action::Reclaim;
        const std::optional<std::chrono::seconds> d = parse_duration(older);
        if (!d) {
            out.error = "store pool reclaim: --older-than '" + older + "' is not a duration (90s, 15m, 12h, 7d)";
            return out;
        }
        cmd.older_than = *d;
    } else {
        cmd.action = PoolAdminCmd::Action::Status;
    }
    out.cmd = cmd;
    return out;
}

int run_pool_admin(const PoolAdminCmd &cmd, PoolBook &book, Output &out, std::string &refusal) {
    switch (cmd.action) {
    case PoolAdminCmd::Action::Add: {
        if (const std::optional<std::string> refused = book.add_range(cmd.pool, cmd.range)) {
            refusal = *refused;
            return 2;
        }
        out.record("pool_add", ordered_json{{"pool", cmd.pool}, {"first", mac_text(cmd.range.first)}, {"last", mac_text(cmd.range.last)}, {"size", cmd.range.size()}});
        out.text("pool " + cmd.pool + ": added " + mac_text(cmd.range.first) + " to " + mac_text(cmd.range.last) + " (" +
                 std::to_string(cmd.range.size()) + " addresses)");
        return 0;
    }
    case PoolAdminCmd::Action::Status: {
        const std::optional<PoolStatus> s = book.status(cmd.pool);
        if (!s) {
            refusal = "pool " + cmd.pool + " does not exist";
            return 2;
        }
        out.record("pool_status", status_fields(*s));
        out.text("pool " + s->pool + ": " + std::to_string(s->size) + " addresses in " +
                 std::to_string(s->ranges.size()) + (s->ranges.size() == 1 ? " range" : " ranges"));
        for (const MacRange &r : s->ranges) {
            out.text("  " + mac_text(r.first) + " to " + mac_text(r.last));
        }
        out.text("  free " + std::to_string(s->free) + ", reserved " + std::to_string(s->reserved) + ", burned " +
                 std::to_string(s->burned) + (s->adopted != 0 ? " (" + std::to_string(s->adopted) + " adopted)" : "") +
                 ", spoiled " + std::to_string(s->spoiled) + ", released " + std::to_string(s->released) +
                 (s->outside != 0 ? "; and " + std::to_string(s->outside) + " adopted from outside the ranges" : ""));
        out.text("  next free: " + (s->next_free ? mac_text(*s->next_free) : std::string("none, the pool is used up")));
        return 0;
    }
    case PoolAdminCmd::Action::Reclaim: {
        const std::vector<Reservation> stale = book.stale_reservations(cmd.older_than, cmd.pool);
        ordered_json listed = ordered_json::array();
        for (const Reservation &r : stale) {
            listed.push_back(ordered_json{{"mac", mac_text(r.row.mac)}, {"pool", r.row.pool}, {"serial", r.row.board.serial}, {"chip_id", r.row.board.chip_id}, {"run_id", r.row.run_id}, {"reserved_at", r.reserved_at}, {"station_alive", r.station_alive}});
            out.text("  " + mac_text(r.row.mac) + "  pool " + r.row.pool + ", board " + r.row.board.serial +
                     ", run " + r.row.run_id + ", reserved " + r.reserved_at +
                     (!r.station_alive ? "" : *r.station_alive ? "; its station is still at work"
                                                               : "; its station is gone"));
        }
        out.record("pool_reclaim", ordered_json{{"older_than", static_cast<std::int64_t>(cmd.older_than.count())}, {"reserved", listed}},
                   ordered_json{{"older_than", "s"}});
        out.text(std::to_string(stale.size()) + " reservation" + (stale.size() == 1 ? "" : "s") + " older than " +
                 std::to_string(cmd.older_than.count()) + " s stay reserved: a board's next run (mac write " +
                 "--from-pool, also with --dry-run) reads its fuses and resolves its reservation");
        return 0;
    }
    }
    return 0;
}

ParseResult parse_store_pool(const std::vector<std::string> &words) {
    ParseResult result;
    const std::vector<std::string> rest(words.begin() + 1, words.end());
    const PoolAdminParse parsed = parse_pool_admin(rest);
    if (!parsed.help.empty()) {
        result.kind = ParseResult::Kind::Help;
        result.text = parsed.help;
    } else if (!parsed.error.empty()) {
        result.kind = ParseResult::Kind::Error;
        result.text = parsed.error;
    } else {
        result.line.store = StoreCommand{kPoolAction, rest, parsed.cmd->json};
    }
    return result;
}

std::unique_ptr<PoolBook> open_pool_book(const store::StoreUrl &url) {
    // One ODBC environment for the process: the connection lives in it.
    static store::odbc::Environment env;
    std::unique_ptr<store::odbc::Connection> db;
    if (const std::optional<store::StoreProblem> problem = store::open_for_runs(env, url, db)) {
        throw PoolStoreError(problem->message);
    }
    return pool_book(std::move(db));
}

}  // namespace deve::cli
