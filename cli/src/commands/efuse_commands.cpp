// mac and efuse: reading the MAC address and the items, the decoded map, and
// the staged burn (preview, the operator's BURN, programming, read-back).
#include "runner.h"

#include "deve/efuse_burn.h"
#include "deve/efuse_map.h"
#include "deve/efuse_items.h"
#include "deve/open_sequence.h"
#include "deve/text.h"

#include <cstdio>

namespace deve::cli {

namespace {

constexpr const char *kConfirmWord = "BURN";

// Data bytes in record order: "35", "00 11 22 33 44 55".
std::string data_bytes(const std::vector<std::uint8_t> &data) {
    std::string text;
    for (std::uint8_t b : data) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02x", b);
        text += (text.empty() ? "" : " ") + std::string(byte);
    }
    return text;
}

std::string bit_range(unsigned first, unsigned bits) {
    return bits == 0 ? std::to_string(first) + "-?" : std::to_string(first) + "-" + std::to_string(first + bits - 1);
}

std::string padded_right(std::string text, std::size_t width) {
    if (text.size() < width) {
        text.resize(width, ' ');
    }
    return text;
}

std::string trimmed(const std::string &text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

ordered_json numbers(const std::vector<std::uint32_t> &values) {
    ordered_json a = ordered_json::array();
    for (std::uint32_t v : values) {
        a.push_back(v);
    }
    return a;
}

ordered_json optional_text(const char *key, const std::optional<std::string> &text) {
    return ordered_json{{key, text}};
}

}  // namespace

std::optional<FuseMap> Runner::read_map() {
    const std::optional<FuseWords> words = read_fuse_words(api_);
    if (!words) {
        return std::nullopt;
    }
    return decode_fuse_map(*words);
}

Outcome Runner::fuses_unread() {
    return error("board", "the eFuse could not be read: the controller did not complete a read cycle, or the "
                          "transport failed the reads");
}

Outcome Runner::operator()(const MacReadCmd &) {
    // The library's reader answers "no record" also when the controller does
    // not answer: the controller must first complete a read cycle.
    if (!read_map()) {
        return fuses_unread();
    }
    MacAddress mac{};
    const bool found = api_.rf_efuse_read_mac(mac.data()) == 0;
    const std::string text = read_mac(api_);
    ordered_json fields = head();
    fields.update({{"found", found}});
    if (found) {
        fields.update({{"mac", record_value_text(kMacRecordType, {mac.begin(), mac.end()})}});
    } else {
        fields.update({{"mac", nullptr}});
    }
    fields.update({{"text", text}});
    out_.record("mac", fields);
    out_.text("mac: " + text);
    return Outcome::Pass;
}

Outcome Runner::operator()(const EfuseReadCmd &cmd) {
    if (!read_map()) {
        return fuses_unread();
    }
    ordered_json items = ordered_json::array();
    out_.text("efuse read:");
    const bool all = cmd.item.empty();
    for (const EfuseItem &item : kEfuseItems) {
        if (!all && find_efuse_item(cmd.item) != &item) {
            continue;
        }
        std::uint8_t first = 0;
        std::uint8_t second = 0;
        const bool found = item.read(api_, &first, &second) == 0;
        const ItemReading reading = read_item(api_, item);
        ordered_json values = ordered_json::array();
        values.push_back(first);
        if (!item.single_value) {
            values.push_back(second);
        }
        items.push_back(ordered_json{{"item", item.name}, {"found", found}, {"values", values}, {"text", reading.values}});
        out_.text("  " + padded_right(item.name, 13) + reading.values + (found ? "" : " (no record)"));
    }
    if (all || deve::equal_ignoring_case(cmd.item, "MAC")) {
        MacAddress mac{};
        const bool found = api_.rf_efuse_read_mac(mac.data()) == 0;
        ordered_json o = ordered_json::object();
        o.update({{"item", "MAC"}, {"found", found}});
        if (found) {
            o.update({{"mac", record_value_text(kMacRecordType, {mac.begin(), mac.end()})}});
        } else {
            o.update({{"mac", nullptr}});
        }
        const std::string text = read_mac(api_);
        o.update({{"text", text}});
        items.push_back(o);
        out_.text("  " + padded_right("MAC", 13) + text);
    }
    const std::int32_t free_bits = api_.rf_get_efuse_free_bits();
    if (free_bits < 0) {
        return fuses_unread();  // the controller stopped answering during the reads
    }
    out_.record("efuse_read", merged(head(), {{"items", items}, {"free_bits", free_bits}}),
                ordered_json{{"free_bits", "bit"}});
    out_.text("  Empty: " + std::to_string(free_bits) + " bit");
    return Outcome::Pass;
}

Outcome Runner::operator()(const EfuseSummaryCmd &) {
    const std::optional<FuseMap> map = read_map();
    if (!map) {
        return fuses_unread();
    }
    ordered_json records = ordered_json::array();
    for (const MapRecord &r : map->records) {
        ordered_json o = ordered_json::object();
        o.update({{"position", r.position}});
        if (r.bits != 0) {
            o.update({{"last_bit", r.end() - 1}, {"bits", r.bits}});
        } else {
            o.update({{"last_bit", nullptr}, {"bits", nullptr}});
        }
        o.update({{"type", r.type}});
        const std::string name = record_type_name(r.type);
        if (name.empty()) {
            o.update({{"item", nullptr}});
        } else {
            o.update({{"item", name}});
        }
        const std::string value = record_value_text(r.type, r.data);
        if (value.empty()) {
            o.update({{"value", nullptr}});
        } else {
            o.update({{"value", value}});
        }
        o.update({{"values", numbers(record_values(r.type, r.data))}, {"data", data_bytes(r.data)}, {"state", state_name(r.state)}});
        records.push_back(o);
    }
    ordered_json words = ordered_json::array();
    for (std::uint32_t w : map->words) {
        words.push_back(hex_word(w));
    }
    ordered_json fields = head();
    fields.update({{"chip_id", hex_word(map->chip_id())}, {"records", records}, {"next_record", map->next_record}, {"readers_end", map->readers_end}, {"free_bits", map->free_bits()}, {"stray_bits", map->stray_bits}, {"words", words}, {"bits", map->bit_string()}});
    out_.record("efuse_summary", fields,
                ordered_json{{"position", "bit"}, {"last_bit", "bit"}, {"bits", "bit"}, {"next_record", "bit"}, {"readers_end", "bit"}, {"free_bits", "bit"}, {"stray_bits", "bit"}});

    out_.text("eFuse map: chip id " + hex_word(map->chip_id()) + "; next record at bit " +
              std::to_string(map->next_record) + ", " + std::to_string(map->free_bits()) +
              " free bits; readers stop at bit " + std::to_string(map->readers_end));
    if (map->records.empty()) {
        out_.text("  no records");
    } else {
        out_.text("  bits      type  item         value              state");
        for (const MapRecord &r : map->records) {
            const std::string name = record_type_name(r.type);
            out_.text("  " + padded_right(bit_range(r.position, r.bits), 10) +
                      padded_right(std::to_string(r.type), 6) + padded_right(name.empty() ? "-" : name, 13) +
                      padded_right(r.data.empty() ? "-" : record_value_text(r.type, r.data), 19) +
                      state_name(r.state));
        }
    }
    if (map->stray_bits != 0) {
        out_.text("  " + std::to_string(map->stray_bits) + " programmed bits lie after the records");
    }
    out_.text("  map, bit 0 first, a space between nibbles:");
    const std::string bits = map->bit_string();
    for (std::size_t w = 0; w < kFuseMapWords; ++w) {
        std::string row;
        for (std::size_t n = 0; n < 8; ++n) {
            row += (n == 0 ? "" : " ") + bits.substr(32 * w + 4 * n, 4);
        }
        char label[48];
        std::snprintf(label, sizeof label, "  word %zu %s  bits %3zu-%3zu  ", w, hex_word(map->words[w]).c_str(), 32 * w,
                      32 * w + 31);
        out_.text(label + row);
    }
    return Outcome::Pass;
}

Outcome Runner::operator()(const MacWriteCmd &cmd) {
    if (!cmd.pool.empty()) {
        return pool_write(cmd);
    }
    const std::optional<FuseMap> now = read_map();
    if (!now) {
        return fuses_unread();
    }
    return burn("MAC", mac_request(cmd.mac), *now, cmd.burn);
}

Outcome Runner::operator()(const EfuseBurnCmd &cmd) {
    const std::optional<FuseMap> now = read_map();
    if (!now) {
        return fuses_unread();
    }
    if (cmd.item == "MAC") {
        return burn("MAC", mac_request(cmd.mac), *now, cmd.burn);
    }
    const EfuseItem *item = find_efuse_item(cmd.item);
    if (item == nullptr) {
        return error("usage", "unknown eFuse item " + cmd.item);
    }
    return burn(item->name, item_request(*item, cmd.values, *now), *now, cmd.burn);
}

void Runner::apply_burnt_trim(const BurnPlan &plan, ordered_json &fields) {
    const EfuseItem *item = plan.request.item;
    if (item == nullptr || item->record_type != find_efuse_item("Freq_offset")->record_type) {
        return;
    }
    // The crystal trim the chip now holds takes effect at once, as the open
    // sequence would apply it, and is the offset the next tx or rx uses.
    const auto trim = static_cast<std::uint8_t>(plan.request.first);
    apply_crystal_trim(api_, trim);
    radio_.offset = trim;
    fields.update({{"applied_offset", trim}});
    out_.text("  the running radio now uses the frequency offset " + std::to_string(trim));
}

Outcome Runner::burn(const std::string &item, const Staging &staging, const FuseMap &now,
                     const BurnOptions &options, BurnReport *report) {
    auto result = [this](const std::string &name, const char *outcome, ordered_json extra,
                         ordered_json units = ordered_json::object()) {
        out_.record("efuse_burn", merged(merged(head(), {{"item", name}, {"outcome", outcome}}), extra), units);
    };
    if (!staging.request) {
        result(item, "refused", ordered_json{{"reason", staging.refusal}});
        return error("refused", staging.refusal);
    }
    BurnConditions conditions;
    conditions.if_blank = options.if_blank;
    conditions.expect = options.expect;
    const BurnPlan plan = plan_burn(*staging.request, now, conditions);
    const std::string name = plan.request.name();
    if (plan.unchanged) {
        // A retest that asks for what the chip holds: nothing to burn, a pass.
        ordered_json extra = ordered_json::object();
        extra.update({{"programmed", false}, {"value", plan.value_after}, {"free_bits", now.free_bits()}});
        apply_burnt_trim(plan, extra);
        result(name, "unchanged", extra, ordered_json{{"free_bits", "bit"}});
        out_.text("efuse burn " + name + ": unchanged, it already reads " + plan.value_after + "; nothing programmed");
        return Outcome::Pass;
    }
    if (!plan.allowed()) {
        result(name, "refused", ordered_json{{"reason", plan.refusal}});
        return error("refused", plan.refusal);
    }

    // The preview.
    out_.record("efuse_preview",
                merged(merged(merged(head(), {{"item", name}, {"record_type", plan.request.type}, {"position", plan.position}, {"last_bit", plan.position + plan.bits - 1}, {"bits", plan.bits}, {"data", data_bytes(plan.request.data)}}), optional_text("value_before", plan.value_before)), {{"value_after", plan.value_after}, {"values_after", numbers(record_values(plan.request.type, plan.request.data))}, {"free_bits_before", plan.before.free_bits()}, {"free_bits_after", plan.after.free_bits()}, {"dry_run", options.dry_run}}),
                ordered_json{{"position", "bit"}, {"last_bit", "bit"}, {"bits", "bit"}, {"free_bits_before", "bit"}, {"free_bits_after", "bit"}});
    out_.text("efuse burn " + name + (options.dry_run ? " (dry run)" : "") + ":");
    out_.text("  record       type " + std::to_string(plan.request.type) + ", bits " +
              bit_range(plan.position, plan.bits) + " (" + std::to_string(plan.bits) + " bits), data " +
              data_bytes(plan.request.data));
    out_.text("  readers see  " + plan.value_before.value_or("nothing") + " now, " + plan.value_after + " after");
    out_.text("  free bits    " + std::to_string(plan.before.free_bits()) + " now, " +
              std::to_string(plan.after.free_bits()) + " after");
    out_.text("  eFuse bits can be set but never cleared: this cannot be undone.");

    if (options.dry_run) {
        result(name, "dry-run", ordered_json{{"programmed", false}});
        out_.text("  dry run: nothing programmed");
        return Outcome::Pass;
    }
    if (!options.yes) {
        const std::optional<std::string> answer =
            env_.ask ? env_.ask("Type " + std::string(kConfirmWord) + " to program " + name +
                                " into the eFuse (anything else cancels): ")
                     : std::nullopt;
        if (stopping() || !answer || trimmed(*answer) != kConfirmWord) {
            result(name, "declined", ordered_json{{"programmed", false}});
            out_.text("  not confirmed: nothing programmed");
            return fail(name + ": the burn was not confirmed (BURN not typed); nothing programmed", {}, stopping());
        }
    }
    if (stopping()) {
        result(name, "declined", ordered_json{{"programmed", false}});
        return fail(name + ": the burn was not confirmed; nothing programmed", {}, true);
    }
    BurnOutcome outcome;
    {
        ProgressTask task(progress_, "eFuse burn");
        progress_.step(name);
        if (report != nullptr) {
            report->programmed = true;
        }
        outcome = execute_burn(api_, plan);
    }
    if (report != nullptr) {
        report->readback = outcome.readback;
    }
    drain_library();  // the library's own failure lines come before the result
    ordered_json extra = ordered_json::object();
    extra.update({{"programmed", true}, {"verified", outcome.verified}, {"library_result", outcome.library_result}});
    extra.update({{"detail", outcome.detail}});
    const MapRecord *seen = outcome.readback ? outcome.readback->current(plan.request.type) : nullptr;
    extra.update(optional_text("value", seen != nullptr ? std::optional<std::string>(record_value_text(seen->type, seen->data)) : std::nullopt));
    if (outcome.readback) {
        extra.update({{"free_bits", outcome.readback->free_bits()}});
    } else {
        extra.update({{"free_bits", nullptr}});
    }
    if (outcome.verified) {
        apply_burnt_trim(plan, extra);
    }
    result(name, outcome.verified ? "burned" : "failed", extra, ordered_json{{"free_bits", "bit"}});
    if (outcome.verified) {
        out_.text("  burned and verified: " + name + " reads " + plan.value_after + "; " +
                  std::to_string(outcome.readback->free_bits()) + " free bits left");
        return Outcome::Pass;
    }
    out_.text("  BURN FAILED: " + outcome.detail);
    return fail(name + ": the burn failed: " + outcome.detail);
}

}  // namespace deve::cli
