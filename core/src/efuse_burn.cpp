#include "deve/efuse_burn.h"
#include "deve/text.h"

#include <cstdio>

namespace deve {

namespace {

constexpr std::uint32_t kNibbleLimit = 0xF;
constexpr std::uint32_t kByteLimit = 0xFF;
// Bit 0 of the first byte of a MAC address marks a group (multicast) address.
constexpr std::uint8_t kMacGroupBit = 0x01;

std::string label_or(const char *label, const char *fallback) {
    return *label != '\0' ? std::string(label) : std::string(fallback);
}

std::string range_text(std::uint32_t limit) { return "0 to " + std::to_string(limit); }

std::string hex_word(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", value);
    return text;
}

std::string record_description(const MapRecord &record) {
    const std::string name = record_type_name(record.type);
    return "type-" + std::to_string(record.type) + (name.empty() ? "" : " (" + name + ")") + " record at bit " +
           std::to_string(record.position);
}

// The map with a record ORed in from `position`.
FuseWords with_record(const FuseWords &words, unsigned position, unsigned type, const std::vector<std::uint8_t> &data,
                      unsigned data_bits) {
    FuseWords out = words;
    auto set = [&out](unsigned k) {
        if (k < kFuseMapBits) {
            out[k / 32] |= 1u << (k % 32);
        }
    };
    for (unsigned b = 0; b < kFuseTypeBits; ++b) {
        if (((type >> b) & 1u) != 0) {
            set(position + b);
        }
    }
    for (unsigned j = 0; j < data_bits; ++j) {
        if (((data[j / 8] >> (j % 8)) & 1u) != 0) {
            set(position + kFuseTypeBits + j);
        }
    }
    return out;
}

}  // namespace

std::string BurnRequest::name() const { return item != nullptr ? std::string(item->name) : record_type_name(type); }

std::string BurnRequest::value_text() const { return record_value_text(type, data); }

const EfuseItem *find_efuse_item(std::string_view name) {
    for (const EfuseItem &item : kEfuseItems) {
        if (equal_ignoring_case(item.name, name)) {
            return &item;
        }
    }
    return nullptr;
}

std::uint32_t item_value_limit(const EfuseItem &item) { return item.single_value ? kByteLimit : kNibbleLimit; }

Staging item_request(const EfuseItem &item, const std::vector<std::uint32_t> &values, const FuseMap &now) {
    Staging out;
    const std::uint32_t limit = item_value_limit(item);
    const std::string first_label = label_or(item.first_label, "first value");
    const std::string second_label = label_or(item.second_label, "second value");
    // An item whose second field the list does not offer may leave it out.
    const bool second_optional = !item.single_value && item.first_enabled && !item.second_enabled;
    const std::size_t wanted = item.single_value ? 1 : 2;
    if (values.size() != wanted && !(second_optional && values.size() == 1)) {
        out.refusal = std::string(item.name) + " takes " +
                      (item.single_value ? "one value (" + first_label + ")"
                                         : "two values (" + first_label + ", " + second_label + ")") +
                      (second_optional ? "; the second may be left out to keep the stored one" : "") + ", " +
                      range_text(limit) + (item.single_value ? "" : " each") + "; got " +
                      std::to_string(values.size());
        return out;
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i] > limit) {
            out.refusal = std::string(item.name) + ": " + (i == 0 ? first_label : second_label) + " = " +
                          std::to_string(values[i]) + " is out of range " + range_text(limit);
            return out;
        }
    }
    BurnRequest request;
    request.item = &item;
    request.type = item.record_type;
    request.first = values[0];
    if (item.single_value) {
        request.data = {static_cast<std::uint8_t>(request.first)};
    } else {
        if (values.size() == 2) {
            request.second = values[1];
        } else if (const MapRecord *stored = now.current(item.record_type)) {
            request.second = record_values(stored->type, stored->data).at(1);
        }
        request.data = {static_cast<std::uint8_t>((request.first << 4) | request.second)};
    }
    out.request = request;
    return out;
}

Staging mac_request(const MacAddress &mac) {
    Staging out;
    BurnRequest request;
    request.mac = mac;
    request.type = kMacRecordType;
    request.data.assign(mac.begin(), mac.end());
    const std::string text = request.value_text();
    bool all_zero = true;
    bool all_ones = true;
    for (std::uint8_t b : mac) {
        all_zero = all_zero && b == 0x00;
        all_ones = all_ones && b == 0xFF;
    }
    if (all_zero) {
        out.refusal = text + " is the all-zero address, not a station address";
    } else if (all_ones) {
        out.refusal = text + " is the broadcast address, not a station address";
    } else if ((mac[0] & kMacGroupBit) != 0) {
        out.refusal = text + " is a multicast address (bit 0 of the first byte is set), not a station address";
    } else {
        out.request = request;
    }
    return out;
}

BurnPlan plan_burn(const BurnRequest &request, const FuseMap &now, const BurnConditions &conditions) {
    BurnPlan plan;
    plan.request = request;
    plan.before = now;
    plan.position = now.next_record;
    const unsigned data_bits = record_data_bits(request.type).value_or(0);
    plan.bits = kFuseTypeBits + data_bits;
    plan.value_after = request.value_text();
    if (const MapRecord *stored = now.current(request.type)) {
        plan.value_before = record_value_text(stored->type, stored->data);
    }
    plan.after = decode_fuse_map(with_record(now.words, plan.position, request.type, request.data, data_bits));

    const std::string name = request.name();
    if (plan.value_before && *plan.value_before == plan.value_after) {
        plan.refusal = name + " already reads " + plan.value_after + ": burning it again would change nothing";
        plan.unchanged = true;
        return plan;
    }
    if (conditions.if_blank && plan.value_before) {
        plan.refusal = name + " already holds " + *plan.value_before + ": not burnt over (only a blank " + name +
                       " is burnt)";
        return plan;
    }
    if (conditions.expect && plan.value_before != conditions.expect) {
        plan.refusal = name + " reads " + plan.value_before.value_or("nothing") + ", not the expected " +
                       *conditions.expect + ": not burnt";
        return plan;
    }
    if (plan.position + plan.bits > kFuseMapBits) {
        plan.refusal = "not enough eFuse space: the " + name + " record needs " + std::to_string(plan.bits) +
                       " bits and " + std::to_string(now.free_bits()) + " are free";
        return plan;
    }
    if (!now.fits(plan.bits)) {
        std::string cause = "programmed bits that belong to no record";
        for (const MapRecord &r : now.records) {
            if (r.position == plan.position) {
                cause = "a " + record_description(r) + " that the library cannot step over";
            }
        }
        plan.refusal = "the fuses from bit " + std::to_string(plan.position) + " on are already programmed (" +
                       cause + "): the record would be burnt over them";
        return plan;
    }
    const MapRecord *seen = plan.after.current(request.type);
    if (seen == nullptr || seen->position != plan.position) {
        std::string cause = "a record";
        for (const MapRecord &r : now.records) {
            if (r.position == now.readers_end) {
                cause = "the " + record_description(r);
            }
        }
        plan.refusal = "the record would go at bit " + std::to_string(plan.position) + ", behind " + cause +
                       ", which ends the readers' search: readers would never see it";
        return plan;
    }
    return plan;
}

BurnOutcome check_burn(const BurnPlan &plan, std::int32_t library_result, const std::optional<FuseWords> &readback) {
    BurnOutcome out;
    out.library_result = library_result;
    if (!readback) {
        out.detail = "the fuses could not be read back";
        return out;
    }
    out.readback = decode_fuse_map(*readback);
    std::string missing;
    for (std::size_t i = 0; i < kFuseMapWords; ++i) {
        const std::uint32_t lacking = plan.after.words[i] & ~(*readback)[i];
        if (lacking != 0) {
            missing += (missing.empty() ? "" : ", ") + std::string("word ") + std::to_string(i) + " reads " +
                       hex_word((*readback)[i]) + ", missing bits " + hex_word(lacking);
        }
    }
    const MapRecord *seen = out.readback->current(plan.request.type);
    const std::string value = seen != nullptr ? record_value_text(seen->type, seen->data) : std::string();
    const bool value_ok = seen != nullptr && value == plan.value_after;
    if (!missing.empty()) {
        out.detail = "the record did not take: " + missing;
    } else if (!value_ok) {
        out.detail = plan.request.name() + " reads back " + (seen != nullptr ? value : std::string("nothing")) +
                     " instead of " + plan.value_after;
    } else if (library_result != 0) {
        out.detail = "the fuses read back as planned, but the library reported the write as failed (result " +
                     std::to_string(library_result) + ")";
    }
    out.verified = missing.empty() && value_ok && library_result == 0;
    return out;
}

BurnOutcome execute_burn(RfApi &api, const BurnPlan &plan) {
    std::int32_t result = -1;
    if (plan.request.item != nullptr) {
        result = plan.request.item->write(api, static_cast<std::int32_t>(plan.request.first),
                                          static_cast<std::int32_t>(plan.request.second));
    } else {
        MacAddress mac = plan.request.mac;
        result = api.rf_efuse_write_mac(mac.data());
    }
    return check_burn(plan, result, read_fuse_words(api));
}

}  // namespace deve
