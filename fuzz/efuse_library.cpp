// The library's eFuse store on the simulated board, over a fuzzed fuse array:
// the array goes into the board's fuse file, the link opens (the board powers
// up with it), and the library's exports read every item, the chip identifier
// and the free bits through the board's eFuse controller. The console's map
// decoder reads the same 256 bits independently; the two readings must agree.
// Then one append (the item, its values or the MAC address taken from the
// input) must keep the fuses one-time-programmable: it never clears a fuse, a
// refused append programs nothing, the library refuses exactly what would
// not fit or would cover programmed fuses, and an accepted record lands where
// the decoder and the console's burn planner expect it. The readings are
// compared again on the fuses the board holds afterwards.
//
// Input: bytes 0-31 the fuse array; byte 32 the append (0 none, 1-4 the
// nibble pairs TX power 1 and 2 and rate gain b/n40 and g/n20, 5 crystal,
// 6 VID, 7 PID, 8 MAC); bytes 33-40 its arguments (two 32-bit little-endian
// values, or the six MAC bytes).
#include "deve/efuse_burn.h"
#include "deve/efuse_map.h"
#include "support/fuse_bytes.h"
#include "support/fuzz_target.h"
#include "support/scratch.h"
#include "velmo/velmo.h"

#include <dlfcn.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace {

using deve::FuseMap;
using deve::FuseWords;

constexpr std::int32_t kUsb = 4;

// The board's own view of its fuse array (xolt_sim_read_fuses), looked up in
// the same libxolt that the library loads.
using ReadFuses = std::int32_t (*)(std::uint32_t *, std::uint32_t);
ReadFuses read_fuses = nullptr;

FuseWords board_fuses() {
    FuseWords words{};
    FUZZ_CHECK(read_fuses(words.data(), static_cast<std::uint32_t>(words.size())) == 0, "the board's fuses are unreadable");
    return words;
}

std::string hex_words(const FuseWords &words) {
    std::string text;
    char word[12];
    for (std::uint32_t w : words) {
        std::snprintf(word, sizeof word, " %08x", w);
        text += word;
    }
    return text;
}

// ---- Readers -------------------------------------------------------------

using PairReader = std::int32_t (*)(std::uint8_t *, std::uint8_t *);
struct PairExport {
    unsigned type;
    const char *name;
    PairReader read;
    std::int32_t (*write)(std::int32_t, std::int32_t);
};
const std::array<PairExport, 4> kPairs{{
    {5, "rf_efuse_read_tx_power1", rf_efuse_read_tx_power1, rf_efuse_write_tx_power1},
    {6, "rf_efuse_read_tx_power2", rf_efuse_read_tx_power2, rf_efuse_write_tx_power2},
    {12, "rf_efuse_read_rate_gain_b_n40", rf_efuse_read_rate_gain_b_n40, rf_efuse_write_rate_gain_b_n40},
    {13, "rf_efuse_read_rate_gain_g_n20", rf_efuse_read_rate_gain_g_n20, rf_efuse_write_rate_gain_g_n20},
}};

constexpr unsigned kTypeXtal = 4;
constexpr unsigned kTypeVid = 9;
constexpr unsigned kTypePid = 10;
constexpr unsigned kTypeMac = 11;

// One reader's result and outputs against the decoder's current record:
// found with its value, or not found with the outputs as the export leaves
// them (`untouched`).
void check_reading(const FuseMap &map, unsigned type, const std::string &name, std::int32_t result,
                   const std::vector<std::uint32_t> &outputs, const std::vector<std::uint32_t> &untouched,
                   const std::string &when) {
    const deve::MapRecord *record = map.current(type);
    const std::string where = when + ", " + name + ":";
    if (record == nullptr) {
        FUZZ_CHECK(result == -1, where + " found a record the decoder does not see (" + std::to_string(result) + ")");
        FUZZ_CHECK(outputs == untouched, where + " not found, but its outputs changed");
        return;
    }
    FUZZ_CHECK(result == 0, where + " found nothing; the decoder's record is at bit " + std::to_string(record->position));
    FUZZ_CHECK(outputs == deve::record_values(type, record->data),
               where + " reads another value than the decoder: " + deve::record_value_text(type, record->data));
}

// Every reader of the library against the decoder's reading of `map`.
void check_readers(const FuseMap &map, const std::string &when) {
    std::uint32_t chip_id = 0xA5A5A5A5u;
    FUZZ_CHECK(rf_efuse_read_chip_id(&chip_id) == 0, when + ": rf_efuse_read_chip_id failed");
    FUZZ_CHECK(chip_id == map.chip_id(), when + ": chip identifier differs");
    const std::int32_t free_bits = rf_get_efuse_free_bits();
    FUZZ_CHECK(free_bits == map.free_bits(), when + ": rf_get_efuse_free_bits gives " + std::to_string(free_bits) +
                                                 ", the decoder " + std::to_string(map.free_bits()));

    for (const PairExport &pair : kPairs) {
        std::uint8_t high = 0xEE;
        std::uint8_t low = 0xEE;
        const std::int32_t result = pair.read(&high, &low);
        check_reading(map, pair.type, pair.name, result, {high, low}, {0, 0}, when);
    }
    {
        constexpr std::uint8_t kUntouched = 0x5A;
        std::uint8_t xtal = kUntouched;
        const std::int32_t result = rf_efuse_read_xtal(&xtal);
        check_reading(map, kTypeXtal, "rf_efuse_read_xtal", result, {xtal}, {kUntouched}, when);
    }
    using IdReader = std::int32_t (*)(std::uint16_t *);
    for (const auto &[type, name, read] : {std::tuple<unsigned, const char *, IdReader>{kTypeVid, "rf_efuse_read_vid", rf_efuse_read_vid},
                                           std::tuple<unsigned, const char *, IdReader>{kTypePid, "rf_efuse_read_pid", rf_efuse_read_pid}}) {
        constexpr std::uint16_t kUntouched = 0xA55A;
        std::uint16_t id = kUntouched;
        const std::int32_t result = read(&id);
        check_reading(map, type, name, result, {id}, {kUntouched}, when);
    }
    {
        const std::array<std::uint8_t, 6> untouched{0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0x23};
        std::array<std::uint8_t, 6> mac = untouched;
        const std::int32_t result = rf_efuse_read_mac(mac.data());
        check_reading(map, kTypeMac, "rf_efuse_read_mac", result, {mac.begin(), mac.end()},
                      {untouched.begin(), untouched.end()}, when);
    }
}

// ---- The append ------------------------------------------------------------

struct Append {
    unsigned type = 0;
    std::string name;
    std::vector<std::uint8_t> data;           // the record's data bytes as the export must store them
    std::optional<deve::BurnRequest> request;  // the console's request for it, when it has one in range
    std::int32_t result = -1;
};

std::int32_t int_at(const std::uint8_t *data, std::size_t size, std::size_t i) {
    std::uint32_t v = 0;
    for (std::size_t b = 0; b < 4; ++b) {
        v |= static_cast<std::uint32_t>(fuzz::byte_at(data, size, i + b)) << (8 * b);
    }
    return static_cast<std::int32_t>(v);
}

const deve::EfuseItem *item_of_type(unsigned type) {
    for (const deve::EfuseItem &item : deve::kEfuseItems) {
        if (item.record_type == type) {
            return &item;
        }
    }
    return nullptr;
}

// The console's request for an item's values, if they are in its range.
std::optional<deve::BurnRequest> item_request(unsigned type, std::vector<std::uint32_t> values, const FuseMap &map) {
    const deve::EfuseItem *item = item_of_type(type);
    if (item == nullptr) {
        return std::nullopt;
    }
    return deve::item_request(*item, values, map).request;
}

// Runs the append the input asks for; nothing when it asks for none.
std::optional<Append> run_append(const std::uint8_t *data, std::size_t size, const FuseMap &map) {
    const std::size_t at = fuzz::kFuseBytes;
    const unsigned choice = fuzz::byte_at(data, size, at) % 9u;
    const std::int32_t first = int_at(data, size, at + 1);
    const std::int32_t second = int_at(data, size, at + 5);
    const auto u1 = static_cast<std::uint32_t>(first);
    const auto u2 = static_cast<std::uint32_t>(second);
    Append a;
    if (choice == 0) {
        return std::nullopt;
    }
    if (choice <= kPairs.size()) {
        const PairExport &pair = kPairs[choice - 1];
        a.type = pair.type;
        a.name = pair.name;
        a.data = {static_cast<std::uint8_t>((u1 << 4) | (u2 & 0xFu))};
        if (u1 <= 0xF && u2 <= 0xF) {
            a.request = item_request(pair.type, {u1, u2}, map);
        }
        a.result = pair.write(first, second);
    } else if (choice == 5) {
        a.type = kTypeXtal;
        a.name = "rf_efuse_write_xtal";
        a.data = {static_cast<std::uint8_t>(u1)};
        if (u1 <= 0xFF) {
            a.request = item_request(kTypeXtal, {u1}, map);
        }
        a.result = rf_efuse_write_xtal(first);
    } else if (choice == 6 || choice == 7) {
        a.type = choice == 6 ? kTypeVid : kTypePid;
        a.name = choice == 6 ? "rf_efuse_write_vid" : "rf_efuse_write_pid";
        a.data = {static_cast<std::uint8_t>(u1), static_cast<std::uint8_t>(u1 >> 8)};
        a.result = choice == 6 ? rf_efuse_write_vid(first) : rf_efuse_write_pid(first);
    } else {
        deve::MacAddress mac{};
        for (std::size_t i = 0; i < mac.size(); ++i) {
            mac[i] = fuzz::byte_at(data, size, at + 1 + i);
        }
        a.type = kTypeMac;
        a.name = "rf_efuse_write_mac";
        a.data.assign(mac.begin(), mac.end());
        a.request = deve::mac_request(mac).request;
        a.result = rf_efuse_write_mac(mac.data());
    }
    return a;
}

void check_append(const Append &a, const FuseMap &before, const FuseWords &after) {
    const unsigned bits = deve::kFuseTypeBits + deve::record_data_bits(a.type).value_or(0);
    const unsigned position = before.next_record;
    const std::string what = a.name + " at bit " + std::to_string(position) + ", before" + hex_words(before.words) +
                             ", after" + hex_words(after);
    for (std::size_t i = 0; i < after.size(); ++i) {
        FUZZ_CHECK((after[i] & before.words[i]) == before.words[i], what + ": a programmed fuse was cleared");
    }
    const bool fits = before.fits(bits);
    if (a.result != 0) {
        FUZZ_CHECK(a.result == -1, what + ": result " + std::to_string(a.result));
        FUZZ_CHECK(after == before.words, what + ": refused, but fuses were programmed");
        FUZZ_CHECK(!fits, what + ": refused, though the record fits on unprogrammed fuses");
    } else {
        FUZZ_CHECK(fits, what + ": accepted over programmed fuses or past the end of the map");
        for (unsigned k = 0; k < deve::kFuseMapBits; ++k) {
            const bool changed = ((after[k / 32] ^ before.words[k / 32]) >> (k % 32) & 1u) != 0;
            FUZZ_CHECK(!changed || (k >= position && k < position + bits),
                       what + ": bit " + std::to_string(k) + " programmed outside the record");
        }
        const FuseMap decoded = deve::decode_fuse_map(after);
        const deve::MapRecord *record = nullptr;
        for (const deve::MapRecord &r : decoded.records) {
            if (r.position == position) {
                record = &r;
            }
        }
        FUZZ_CHECK(record != nullptr && record->type == a.type && record->data == a.data,
                   what + ": the decoder does not find the record as written");
    }
    if (a.request) {
        const deve::BurnPlan plan = deve::plan_burn(*a.request, before);
        FUZZ_CHECK(plan.position == position, what + ": the burn planner places it at bit " + std::to_string(plan.position));
        if (plan.allowed()) {
            const deve::BurnOutcome outcome = deve::check_burn(plan, a.result, after);
            FUZZ_CHECK(outcome.verified, what + ": the planner allowed the burn, but it does not verify: " + outcome.detail);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // Only the settings given here: no fault injection or latency from the
    // caller's environment.
    for (const char *name : {"XOLT_CHIP_ID", "XOLT_LINK_LATENCY_US", "XOLT_TRACE", "XOLT_FAULT_OPEN",
                             "XOLT_FAULT_EFUSE_STALL", "XOLT_FAULT_EFUSE_NO_PROGRAM"}) {
        unsetenv(name);
    }
    setenv("XOLT_LIBRARY", SIM_XOLT_PATH, 1);
    setenv("XOLT_FUSE_FILE", fuzz::scratch_path("efuse.bin").c_str(), 1);
    // Held open for the whole run, so the library's rf_deinit never unloads
    // the board and its rf_init finds the same one.
    void *board = dlopen(SIM_XOLT_PATH, RTLD_NOW | RTLD_LOCAL);
    FUZZ_CHECK(board != nullptr, std::string("cannot load the simulated board ") + SIM_XOLT_PATH);
    read_fuses = reinterpret_cast<ReadFuses>(dlsym(board, "xolt_sim_read_fuses"));
    FUZZ_CHECK(read_fuses != nullptr, "the board has no xolt_sim_read_fuses");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const FuseWords words = fuzz::fuse_words(data, size);
    std::array<std::uint8_t, fuzz::kFuseBytes> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = fuzz::byte_at(data, size, i);
    }
    static const std::string fuse_file = std::getenv("XOLT_FUSE_FILE");
    fuzz::write_file(fuse_file, bytes.data(), bytes.size());

    FUZZ_CHECK(rf_init(kUsb) == 0, "the simulated board did not open");
    FUZZ_CHECK(board_fuses() == words, "the board powered up with other fuses than its file holds");
    const FuseMap map = deve::decode_fuse_map(words);
    check_readers(map, "as loaded");

    if (const std::optional<Append> append = run_append(data, size, map)) {
        const FuseWords after = board_fuses();
        check_append(*append, map, after);
        if (after != words) {
            check_readers(deve::decode_fuse_map(after), "after " + append->name);
        }
    }
    rf_deinit();
    return 0;
}
