// The console's eFuse map decoder over any 256-bit fuse array. The decoded
// pieces must account for every programmed fuse exactly: the header, each
// record's type nibble and data bits where the decoder says they are, and the
// stray bits from where decoding ended. The record states must be those the
// library's two walks give (readers stop at the first type they do not decode
// and take the last record of a type; placement steps over all but types 3,
// 14 and 15). The burn planner, given the map, must place a record where the
// placement walk ends and, when it allows the burn, leave readers seeing it.
#include "deve/efuse_burn.h"
#include "deve/efuse_map.h"
#include "support/fuse_bytes.h"
#include "support/fuzz_target.h"

#include <algorithm>
#include <bitset>
#include <string>

namespace {

using deve::FuseMap;
using deve::FuseWords;
using deve::MapRecord;
using deve::RecordState;

constexpr unsigned kMapBits = deve::kFuseMapBits;

void set_bit(FuseWords &words, unsigned k) { words[k / 32] |= 1u << (k % 32); }

bool walk_passes(unsigned type) { return type != 0 && type != 3 && type < 14; }

std::string at(const MapRecord &r) { return "record type " + std::to_string(r.type) + " at bit " + std::to_string(r.position); }

// Rebuilds the array from the decoded pieces alone: the header, each record's
// type and data, the undecoded rest of a record that runs past the end, and
// the stray bits from where decoding ended.
void check_pieces(const FuseMap &map) {
    FuseWords rebuilt{};
    rebuilt[0] = map.words[0];
    auto copy_bits = [&](unsigned from) {
        unsigned count = 0;
        for (unsigned k = from; k < kMapBits; ++k) {
            if (map.bit(k)) {
                set_bit(rebuilt, k);
                ++count;
            }
        }
        return count;
    };
    unsigned next = deve::kFuseHeaderBits;
    unsigned stray_from = next;
    for (std::size_t i = 0; i < map.records.size(); ++i) {
        const MapRecord &r = map.records[i];
        const bool last = i + 1 == map.records.size();
        FUZZ_CHECK(r.position == next, at(r) + " does not follow the record before it");
        FUZZ_CHECK(r.type != 0, "an end mark decoded as a record");
        if (r.state == RecordState::Undecodable) {
            FUZZ_CHECK(r.type >= 14 && last && r.bits == 0, at(r) + ": undecodable but not the last of type 14/15");
            stray_from = r.position;
            break;
        }
        for (unsigned b = 0; b < deve::kFuseTypeBits; ++b) {
            if (((r.type >> b) & 1u) != 0) {
                set_bit(rebuilt, r.position + b);
            }
        }
        const std::optional<unsigned> data_bits = deve::record_data_bits(r.type);
        FUZZ_CHECK(data_bits && r.bits == deve::kFuseTypeBits + *data_bits, at(r) + ": wrong length");
        if (r.state == RecordState::Truncated) {
            FUZZ_CHECK(r.end() > kMapBits && last && r.data.empty(), at(r) + ": truncated but fits or is decoded");
            copy_bits(r.position + deve::kFuseTypeBits);
            stray_from = kMapBits;
            break;
        }
        FUZZ_CHECK(r.end() <= kMapBits && r.data.size() == (*data_bits + 7) / 8, at(r) + ": data not decoded");
        for (unsigned j = 0; j < *data_bits; ++j) {
            if (((r.data[j / 8] >> (j % 8)) & 1u) != 0) {
                set_bit(rebuilt, r.position + deve::kFuseTypeBits + j);
            }
        }
        next = stray_from = r.end();
    }
    const unsigned stray = copy_bits(stray_from);
    for (std::size_t i = 0; i < rebuilt.size(); ++i) {
        FUZZ_CHECK(rebuilt[i] == map.words[i], "word " + std::to_string(i) + " does not rebuild from the records");
    }
    FUZZ_CHECK(map.stray_bits == stray,
               "stray bits " + std::to_string(map.stray_bits) + ", counted " + std::to_string(stray));
    const std::string bits = map.bit_string();
    FUZZ_CHECK(bits.size() == kMapBits, "bit string length");
    for (unsigned k = 0; k < kMapBits; ++k) {
        FUZZ_CHECK((bits[k] == '1') == map.bit(k), "bit string differs at " + std::to_string(k));
    }
}

// The states as the library's walks see the records.
void check_states(const FuseMap &map) {
    bool readers_stopped = false;
    bool placement_stopped = false;
    unsigned placement = deve::kFuseHeaderBits;
    std::bitset<16> later_current;  // types with a Current record after this one
    for (std::size_t i = map.records.size(); i-- > 0;) {
        const MapRecord &r = map.records[i];
        if (r.state == RecordState::Superseded) {
            FUZZ_CHECK(later_current.test(r.type), at(r) + ": superseded with no later record of its type");
        }
        if (r.state == RecordState::Current) {
            FUZZ_CHECK(!later_current.test(r.type), at(r) + ": two current records of one type");
            later_current.set(r.type);
        }
    }
    for (const MapRecord &r : map.records) {
        const bool fits = r.bits != 0 && r.end() <= kMapBits;
        if (!readers_stopped) {
            if (deve::readers_decode(r.type) && fits) {
                FUZZ_CHECK(r.state == RecordState::Current || r.state == RecordState::Superseded,
                           at(r) + ": readers see it, but it is " + deve::state_name(r.state));
                FUZZ_CHECK(r.position < map.readers_end, at(r) + ": before the readers' end");
                FUZZ_CHECK(!deve::record_values(r.type, r.data).empty(), at(r) + ": no value");
            } else {
                FUZZ_CHECK(r.position == map.readers_end, at(r) + ": the readers stop here, not at " +
                                                              std::to_string(map.readers_end));
                readers_stopped = true;
            }
        } else {
            FUZZ_CHECK(r.state != RecordState::Current && r.state != RecordState::Superseded && r.state != RecordState::Stop,
                       at(r) + ": behind the readers' end, but " + deve::state_name(r.state));
        }
        if (!placement_stopped) {
            if (walk_passes(r.type)) {
                placement = std::min(r.position + r.bits, kMapBits);
            } else {
                placement_stopped = true;
            }
        }
        (void)deve::record_value_text(r.type, r.data);
    }
    if (!readers_stopped) {
        const unsigned end = map.records.empty() ? deve::kFuseHeaderBits : std::min(map.records.back().end(), kMapBits);
        FUZZ_CHECK(map.readers_end == end, "readers end at " + std::to_string(map.readers_end) + ", the records at " +
                                               std::to_string(end));
    }
    FUZZ_CHECK(map.next_record == placement,
               "next record at " + std::to_string(map.next_record) + ", placement walk ends at " + std::to_string(placement));
    FUZZ_CHECK(map.free_bits() == static_cast<int>(kMapBits - placement), "free bits");
}

// The burn planner on this map: a record of every item, and a MAC address.
void check_planner(const FuseMap &map, std::uint8_t value) {
    std::vector<deve::BurnRequest> requests;
    for (const deve::EfuseItem &item : deve::kEfuseItems) {
        const std::uint32_t v = value;
        const std::vector<std::uint32_t> values =
            item.single_value ? std::vector<std::uint32_t>{v} : std::vector<std::uint32_t>{v >> 4, v & 0xFu};
        const deve::Staging staging = deve::item_request(item, values, map);
        FUZZ_CHECK(staging.request.has_value(), std::string(item.name) + ": in-range values refused: " + staging.refusal);
        requests.push_back(*staging.request);
    }
    const deve::Staging mac = deve::mac_request({0x02, value, 0x10, 0x20, 0x30, value});
    FUZZ_CHECK(mac.request.has_value(), "a station MAC address refused");
    requests.push_back(*mac.request);

    for (const deve::BurnRequest &request : requests) {
        const deve::BurnPlan plan = deve::plan_burn(request, map);
        FUZZ_CHECK(plan.position == map.next_record, request.name() + ": planned away from the placement walk's end");
        for (std::size_t i = 0; i < plan.after.words.size(); ++i) {
            FUZZ_CHECK((plan.after.words[i] & map.words[i]) == map.words[i], request.name() + ": a fuse cleared");
        }
        if (!plan.allowed()) {
            continue;
        }
        FUZZ_CHECK(map.fits(plan.bits), request.name() + ": allowed over programmed fuses or past the end");
        const MapRecord *seen = plan.after.current(request.type);
        FUZZ_CHECK(seen != nullptr && seen->position == plan.position && seen->data == request.data,
                   request.name() + ": allowed, but readers would not see the record");
        // Fewer when the record joins stray bits behind it to the records.
        FUZZ_CHECK(plan.after.free_bits() <= map.free_bits() - static_cast<int>(plan.bits),
                   request.name() + ": free bits after");
        const deve::BurnOutcome outcome = deve::check_burn(plan, 0, plan.after.words);
        FUZZ_CHECK(outcome.verified, request.name() + ": the planned map does not verify: " + outcome.detail);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const FuseMap map = deve::decode_fuse_map(fuzz::fuse_words(data, size));
    check_pieces(map);
    check_states(map);
    check_planner(map, fuzz::byte_at(data, size, fuzz::kFuseBytes));
    return 0;
}
