// The parsers of the eFuse commands, mac and efuse, and the options every
// burn takes.
#include "argument_parts.h"

#include "deve/efuse_burn.h"
#include "deve/text.h"
#include "odbc.h"

namespace deve::cli::parsing {

void burn_flags(CLI::App &app, BurnOptions &burn, std::string &expect) {
    app.add_flag("--dry-run", burn.dry_run, "show the preview and program nothing");
    app.add_flag("--yes", burn.yes, "burn without asking the operator to type BURN (for scripted lines)");
    app.add_flag("--if-blank", burn.if_blank,
                 "refuse when the item already holds a value (a burn of the value it holds is still a pass)");
    app.add_option("--expect", expect,
                   "refuse unless the item reads VALUE first: 3,5 for a pair, 140 for Freq_offset, a MAC address")
        ->type_name("VALUE");
}

// The value an item is expected to read, as readers show it; a usage error
// when it is not a value of the item.
std::string expected_item_value(const EfuseItem &item, const std::string &text) {
    std::vector<std::uint32_t> values;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::optional<std::uint32_t> v = parse_decimal(text.substr(start, comma - start));
        if (!v) {
            throw UsageError("--expect '" + text + "' is not a value of " + item.name);
        }
        values.push_back(*v);
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    const Staging staging = item_request(item, values, FuseMap{});
    if (!staging.request || values.size() != (item.single_value ? 1u : 2u)) {
        throw UsageError("--expect '" + text + "' is not a value of " + item.name + " (" +
                         (item.single_value ? "one value" : "two values, as 3,5") + ", " +
                         std::to_string(item_value_limit(item)) + " at most)");
    }
    return staging.request->value_text();
}

namespace {

std::string expected_mac(const std::string &text) {
    const std::optional<MacAddress> mac = parse_mac_text(text);
    if (!mac) {
        throw UsageError("--expect '" + text + "' is not a MAC address");
    }
    return record_value_text(kMacRecordType, {mac->begin(), mac->end()});
}

MacAddress mac_argument(const std::string &text) {
    const std::optional<MacAddress> mac = parse_mac_text(text);
    if (!mac) {
        throw UsageError("'" + text + "' is not a MAC address (six hexadecimal bytes, 00:11:22:33:44:55)");
    }
    const Staging staging = mac_request(*mac);
    if (!staging.request) {
        throw UsageError("refused: " + staging.refusal);
    }
    return *mac;
}

std::string item_names() {
    std::string text;
    for (const EfuseItem &item : kEfuseItems) {
        text += std::string(item.name) + ", ";
    }
    return text + "MAC";
}

}  // namespace

// mac write --from-pool NAME [--adopt].
void pool_flags(CLI::App &app, MacWriteCmd &cmd) {
    app.add_option("--from-pool", cmd.pool,
                   "take the next free address of the pool in the store (--store), burn it and record the outcome; "
                   "a board that holds an address keeps it")
        ->type_name("NAME");
    app.add_flag("--adopt", cmd.adopt, "with --from-pool: record an address the board holds that no pool knows as "
                                       "burned on this board, instead of refusing");
}

Command parse_mac(const std::vector<std::string> &words) {
    CLI::App app{"Read the MAC address from the eFuse, or burn one (staged: preview, then type BURN).",
                 "deve-cli mac"};
    app.require_subcommand(1, 1);
    CLI::App *read = app.add_subcommand("read", "read the MAC address");
    CLI::App *write = app.add_subcommand(
        "write", "burn a MAC address into the eFuse: preview, confirmation, read-back. The all-zero, broadcast and "
                 "multicast addresses are refused.");
    std::string text;
    std::string expect;
    MacWriteCmd cmd;
    write->add_option("MAC", text, "six hexadecimal bytes: 00:11:22:33:44:55, 00-11-22-33-44-55 or 001122334455");
    burn_flags(*write, cmd.burn, expect);
    pool_flags(*write, cmd);
    parse_words(app, words);
    if (read->parsed()) {
        return MacReadCmd{};
    }
    if (text.empty() == cmd.pool.empty()) {
        throw UsageError("mac write takes a MAC address or --from-pool NAME (one of the two)");
    }
    if (!cmd.pool.empty()) {
        // The store keeps names as UTF-8; bytes that are not are refused,
        // never guessed at.
        if (const std::optional<std::string> bad = store::odbc::not_utf8_words(cmd.pool)) {
            throw UsageError("--from-pool: the pool's name " + *bad);
        }
        if (!expect.empty() || cmd.burn.if_blank) {
            throw UsageError("mac write --from-pool decides by the pool what a board that holds an address gets: "
                             "--expect and --if-blank do not apply");
        }
        return cmd;
    }
    if (cmd.adopt) {
        throw UsageError("--adopt goes with --from-pool");
    }
    cmd.mac = mac_argument(text);
    if (!expect.empty()) {
        cmd.burn.expect = expected_mac(expect);
    }
    return cmd;
}

Command parse_efuse(const std::vector<std::string> &words) {
    CLI::App app{"The eFuse (256 one-time-programmable bits): summary of the map, the items' values, or a burn.",
                 "deve-cli efuse"};
    app.require_subcommand(1, 1);
    CLI::App *summary = app.add_subcommand(
        "summary", "every record decoded (type, item, value, bit range), superseded records, records behind a stop "
                   "marked unreachable, the free bits and the 256-bit map");
    CLI::App *read = app.add_subcommand("read", "the values the library's readers return, and the free bits");
    std::string read_item;
    read->add_option("ITEM", read_item, "one item (" + item_names() + "); all when left out");
    CLI::App *burn = app.add_subcommand(
        "burn", "stage a record, preview it (value readers will see, bits it takes, free bits left), ask for BURN, "
                "program it and read it back. Refused: a burn that changes nothing, values out of range, and the "
                "all-zero, broadcast and multicast MAC addresses.");
    EfuseBurnCmd cmd;
    std::string expect;
    std::vector<std::string> values;
    burn->add_option("ITEM", cmd.item, item_names())->required();
    burn->add_option("VALUES", values,
                     "TX_PWR1, TX_PWR2, TX_Rate2: two values 0-15; TX_Rate1: one or two values 0-15 (a left-out "
                     "second value keeps the stored one); Freq_offset: one value 0-255; MAC: the address")
        ->required();
    burn_flags(*burn, cmd.burn, expect);
    parse_words(app, words);

    if (summary->parsed()) {
        return EfuseSummaryCmd{};
    }
    if (read->parsed()) {
        if (!read_item.empty() && !deve::equal_ignoring_case(read_item, "MAC") && find_efuse_item(read_item) == nullptr) {
            throw UsageError("unknown eFuse item '" + read_item + "' (items: " + item_names() + ")");
        }
        return EfuseReadCmd{read_item};
    }
    if (deve::equal_ignoring_case(cmd.item, "MAC")) {
        if (values.size() != 1) {
            throw UsageError("efuse burn MAC takes one address");
        }
        cmd.item = "MAC";
        cmd.mac = mac_argument(values[0]);
        if (!expect.empty()) {
            cmd.burn.expect = expected_mac(expect);
        }
        return cmd;
    }
    const EfuseItem *item = find_efuse_item(cmd.item);
    if (item == nullptr) {
        throw UsageError("unknown eFuse item '" + cmd.item + "' (items: " + item_names() + ")");
    }
    cmd.item = item->name;
    for (const std::string &v : values) {
        const std::optional<std::uint32_t> number = parse_decimal(v);
        if (!number) {
            throw UsageError("eFuse value '" + v + "' is not a decimal number");
        }
        cmd.values.push_back(*number);
    }
    // Counts and ranges do not depend on the fuses: refuse them before the
    // link opens. (A left-out second value is filled in when the map is read.)
    const Staging staging = item_request(*item, cmd.values, FuseMap{});
    if (!staging.request) {
        throw UsageError("refused: " + staging.refusal);
    }
    if (!expect.empty()) {
        cmd.burn.expect = expected_item_value(*item, expect);
    }
    return cmd;
}

}  // namespace deve::cli::parsing
