// The eFuse store: the chip's 256-bit one-time-programmable fuse array, kept
// as an append-only log of small typed records behind a 32-bit header word
// (the chip identifier). Fuses can be set but never cleared, so a value is
// changed by appending a new record of its type, and readers take the last
// record of each type.
//
// Map layout: map bit k is bit (k mod 8) of byte k / 8; word i is bytes 4i to
// 4i+3, little endian. A record is a 4-bit type nibble followed at once by its
// data bits (data bit j = bit j mod 8 of data byte j / 8). Records start at
// bit 32 and are packed on nibble boundaries; a type nibble of 0 (unblown
// fuses) ends the log.
#include "efuse.h"

#include "bus.h"
#include "registers.h"
#include "velmo/velmo.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace velmo {

namespace {

// ---- eFuse controller (ADR_EFUSE_*) ---------------------------------------
constexpr std::uint32_t STROBE_START = 1;
constexpr std::uint32_t PROGRAM_ENABLE_ON = 1;
constexpr std::uint32_t PROGRAM_ENABLE_OFF = 0;
// The raw register readers wait for exactly this status value.
constexpr std::uint32_t STATUS_READ_DONE = EFUSE_STATUS_DONE;

constexpr std::uint32_t data_word_address(std::uint32_t i) { return ADR_EFUSE_DATA0 + 4 * i; }

// A read or program cycle: the status is polled up to 51 times, 100 us apart.
constexpr int CYCLE_POLL_LIMIT = 51;
constexpr std::int64_t CYCLE_POLL_INTERVAL = 1000;  // 100-ns units
// The raw readers poll 10 us apart and give up after 50 ms.
constexpr std::int64_t RAW_POLL_INTERVAL = 100;  // 100-ns units
constexpr std::chrono::milliseconds RAW_WAIT_LIMIT{50};

// ---- Map geometry -----------------------------------------------------------
constexpr unsigned MAP_BITS = 256;
constexpr unsigned MAP_BYTES = MAP_BITS / 8;
constexpr unsigned HEADER_BITS = 32;  // word 0, the chip identifier
constexpr unsigned TYPE_BITS = 4;
constexpr unsigned MAX_DATA_BYTES = 6;  // a MAC address

using Image = std::array<std::uint8_t, MAP_BYTES>;

enum RecordType : unsigned {
    TYPE_END = 0,
    TYPE_XTAL = 4,
    TYPE_TX_POWER1 = 5,
    TYPE_TX_POWER2 = 6,
    TYPE_VID = 9,
    TYPE_PID = 10,
    TYPE_MAC = 11,
    TYPE_RATE_GAIN_B_N40 = 12,
    TYPE_RATE_GAIN_G_N20 = 13,
};

// One row of the record-type table.
struct RecordKind {
    unsigned type_bits;
    unsigned data_bits;
    bool walk_passes;   // the walk that places records steps over it
    bool find_decodes;  // the search of the readers steps over it (and may decode it)

    constexpr unsigned length() const { return type_bits + data_bits; }
};

// Types 0 to 13; 14 and 15 have no row and stop both walks. Type 3 has a
// length but stops both walks; types 1, 2, 7 and 8 are stepped over when
// placing a record but end a reader's search.
constexpr std::array<RecordKind, 14> kRecordKinds{{
    {TYPE_BITS, 0, false, false},   // 0: end of the records
    {TYPE_BITS, 8, true, false},    // 1
    {TYPE_BITS, 8, true, false},    // 2
    {TYPE_BITS, 48, false, false},  // 3
    {TYPE_BITS, 8, true, true},     // 4: crystal trim
    {TYPE_BITS, 8, true, true},     // 5: transmit power pair 1
    {TYPE_BITS, 8, true, true},     // 6: transmit power pair 2
    {TYPE_BITS, 4, true, false},    // 7
    {TYPE_BITS, 4, true, false},    // 8
    {TYPE_BITS, 16, true, true},    // 9: vendor identifier
    {TYPE_BITS, 16, true, true},    // 10: product identifier
    {TYPE_BITS, 48, true, true},    // 11: MAC address
    {TYPE_BITS, 8, true, true},     // 12: rate gain pair, 11b / HT40
    {TYPE_BITS, 8, true, true},     // 13: rate gain pair, 11g / HT20
}};

const RecordKind *record_kind(unsigned type) {
    return type < kRecordKinds.size() ? &kRecordKinds[type] : nullptr;
}

// ---- Module state -------------------------------------------------------------
Image efuse_image{};          // the library's copy of the whole map
std::uint16_t efuse_end = 0;  // first nibble after the last record
std::uint32_t chip_id = 0;    // map word 0 as last captured

// ---- Bits of the map ----------------------------------------------------------
bool map_bit(const Image &image, unsigned k) { return ((image[k / 8] >> (k % 8)) & 1u) != 0; }

void set_map_bit(Image &image, unsigned k) {
    image[k / 8] = static_cast<std::uint8_t>(image[k / 8] | (1u << (k % 8)));
}

// The type nibble at a record position (always a multiple of 4).
unsigned type_at(unsigned position) { return (efuse_image[position / 8] >> (position % 8)) & 0xFu; }

std::uint32_t image_word(const Image &image, std::uint32_t i) {
    return static_cast<std::uint32_t>(image[4 * i]) | static_cast<std::uint32_t>(image[4 * i + 1]) << 8 |
           static_cast<std::uint32_t>(image[4 * i + 2]) << 16 | static_cast<std::uint32_t>(image[4 * i + 3]) << 24;
}

void put_image_word(Image &image, std::uint32_t i, std::uint32_t word) {
    for (std::uint32_t b = 0; b < 4; ++b) {
        image[4 * i + b] = static_cast<std::uint8_t>(word >> (8 * b));
    }
}

// ---- Controller cycles ----------------------------------------------------------

// Polls the status after a strobe: read, wait 100 us, done on any non-zero
// value. False when the 51st read is still 0.
bool wait_cycle_done() {
    for (int poll = 0; poll < CYCLE_POLL_LIMIT; ++poll) {
        const std::uint32_t status = reg_read(ADR_EFUSE_STATUS);
        timer_delay(CYCLE_POLL_INTERVAL);
        if (status != 0) {
            return true;
        }
    }
    return false;
}

// Reads the fuses into efuse_image. The data words are read only after the
// read cycle has completed, so the image is what the fuses hold now and not
// what the data registers held before. False (image unchanged) on a time-out.
bool efuse_read_image() {
    reg_write(ADR_EFUSE_READ_STROBE, STROBE_START);
    if (!wait_cycle_done()) {
        log("ERROR: eFuse read cycle timed out\n");
        return false;
    }
    Image buffer{};
    for (std::uint32_t i = 0; i < EFUSE_DATA_WORDS; ++i) {
        put_image_word(buffer, i, reg_read(data_word_address(i)));
    }
    efuse_image = buffer;
    return true;
}

// Compares a fresh read of the fuses with the map that was programmed: every
// bit meant to be set must read back set.
std::int32_t efuse_verify(const Image &intended) {
    if (!efuse_read_image()) {
        log("ERROR: eFuse verify failed, the fuses could not be read back\n");
        return -1;
    }
    for (std::uint32_t i = 0; i < EFUSE_DATA_WORDS; ++i) {
        const std::uint32_t want = image_word(intended, i);
        const std::uint32_t got = image_word(efuse_image, i);
        if ((got & want) != want) {
            log("ERROR: eFuse verify failed, word %u reads 0x%08x, missing bits 0x%08x\n", i, got, want & ~got);
            return -1;
        }
    }
    return 0;
}

// Burns efuse_image into the fuses. The whole map goes to the data words,
// header and old records included: the controller ORs them into the array.
// The programming supply (bit 16 of the PMU word) is on for the length of the
// cycle. 0 when the cycle completed and the fuses read back as intended.
std::int32_t efuse_program() {
    const Image intended = efuse_image;
    for (std::uint32_t i = 0; i < EFUSE_DATA_WORDS; ++i) {
        reg_write(data_word_address(i), image_word(intended, i));
    }
    reg_rmw(ADR_PMU_CONTROL, RG_EFUSE_PROGRAM_POWER.keep(), RG_EFUSE_PROGRAM_POWER.prep(1));
    reg_write(ADR_EFUSE_PROGRAM_ENABLE, PROGRAM_ENABLE_ON);
    reg_write(ADR_EFUSE_PROGRAM_STROBE, STROBE_START);
    timer_delay(CYCLE_POLL_INTERVAL);
    const bool done = wait_cycle_done();
    reg_rmw(ADR_PMU_CONTROL, RG_EFUSE_PROGRAM_POWER.keep(), RG_EFUSE_PROGRAM_POWER.prep(0));
    reg_write(ADR_EFUSE_PROGRAM_ENABLE, PROGRAM_ENABLE_OFF);
    if (!done) {
        log("ERROR: eFuse program cycle timed out\n");
        return -1;
    }
    return efuse_verify(intended);
}

// ---- Record log ---------------------------------------------------------------

// Reads the map and finds where the next record goes: steps over every record
// whose type the walk passes, and stops on an end mark, on types 3, 14 and 15,
// or at the end of the map. The end position, or -1 when the map could not be
// read.
std::int32_t efuse_walk() {
    if (!efuse_read_image()) {
        return -1;
    }
    efuse_end = HEADER_BITS;
    while (efuse_end < MAP_BITS) {
        const RecordKind *kind = record_kind(type_at(efuse_end));
        if (kind == nullptr || !kind->walk_passes) {
            break;
        }
        efuse_end = static_cast<std::uint16_t>(std::min(efuse_end + kind->length(), MAP_BITS));
    }
    return efuse_end;
}

// Runs the walk `times` times in a row; false when a read of the map failed.
bool walk(int times) {
    for (int i = 0; i < times; ++i) {
        if (efuse_walk() < 0) {
            return false;
        }
    }
    return true;
}

// Searches the current efuse_image for records of `type` and decodes the last
// one into `out` (data_bits / 8 bytes). Stops at the first type a reader does
// not know (including 1, 2, 7 and 8), so records behind one are never seen.
// 0 = found, -1 = not found (out untouched).
std::int32_t efuse_find(unsigned type, std::uint8_t *out) {
    std::int32_t result = -1;
    efuse_end = HEADER_BITS;
    while (efuse_end < MAP_BITS) {
        const unsigned found = type_at(efuse_end);
        const RecordKind *kind = record_kind(found);
        if (kind == nullptr || !kind->find_decodes || efuse_end + kind->length() > MAP_BITS) {
            break;
        }
        if (found == type) {
            std::array<std::uint8_t, MAX_DATA_BYTES> data{};
            const unsigned first = efuse_end + kind->type_bits;
            for (unsigned j = 0; j < kind->data_bits; ++j) {
                if (map_bit(efuse_image, first + j)) {
                    data[j / 8] = static_cast<std::uint8_t>(data[j / 8] | (1u << (j % 8)));
                }
            }
            std::copy_n(data.begin(), kind->data_bits / 8, out);
            result = 0;
        }
        efuse_end = static_cast<std::uint16_t>(efuse_end + kind->length());
    }
    return result;
}

// Appends a record of `type` with `data` (data_bits / 8 bytes) at efuse_end
// and programs the map. Refused (-1, nothing programmed) when it would run
// past bit 256, or when any fuse it would cover is already blown (the walk
// stopped on a type 3, 14 or 15 record, or on stray bits).
std::int32_t efuse_append(unsigned type, const std::uint8_t *data) {
    const RecordKind &kind = kRecordKinds[type];
    const unsigned start = efuse_end;
    if (start + kind.length() > MAP_BITS) {
        log("There is not enough space, %d!!\n", static_cast<int>(MAP_BITS));
        return -1;
    }
    for (unsigned k = start; k < start + kind.length(); ++k) {
        if (map_bit(efuse_image, k)) {
            log("ERROR: eFuse bits from %u are already programmed (type nibble %u), record type %u not "
                "written\n",
                start, type_at(start), type);
            return -1;
        }
    }
    for (unsigned b = 0; b < kind.type_bits; ++b) {
        if (((type >> b) & 1u) != 0) {
            set_map_bit(efuse_image, start + b);
        }
    }
    for (unsigned j = 0; j < kind.data_bits; ++j) {
        if (((data[j / 8] >> (j % 8)) & 1u) != 0) {
            set_map_bit(efuse_image, start + kind.type_bits + j);
        }
    }
    efuse_end = static_cast<std::uint16_t>(start + kind.length());
    return efuse_program();
}

// ---- Shared bodies of the exports -------------------------------------------------

std::int32_t write_byte_record(unsigned type, std::uint8_t value) {
    if (!walk(1)) {
        return -1;
    }
    return efuse_append(type, &value);
}

// A nibble pair: high nibble in bits 4-7, low nibble in bits 0-3.
std::int32_t write_nibble_pair(unsigned type, std::int32_t high, std::int32_t low) {
    const auto byte = static_cast<std::uint8_t>((static_cast<std::uint32_t>(high) << 4) |
                                                (static_cast<std::uint32_t>(low) & 0xFu));
    return write_byte_record(type, byte);
}

// Both outputs are written, found or not (0 and 0 when not found).
std::int32_t read_nibble_pair(unsigned type, std::uint8_t *high, std::uint8_t *low) {
    if (high == nullptr || low == nullptr) {
        return -1;
    }
    std::uint8_t byte = 0;
    const std::int32_t result = walk(1) ? efuse_find(type, &byte) : -1;
    *high = static_cast<std::uint8_t>(byte >> 4);
    *low = static_cast<std::uint8_t>(byte & 0xFu);
    return result;
}

// A 16-bit identifier, low byte first.
std::int32_t write_identifier(unsigned type, std::int32_t value) {
    const auto v = static_cast<std::uint32_t>(value);
    const std::array<std::uint8_t, 2> data{static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
    if (!walk(1)) {
        return -1;
    }
    return efuse_append(type, data.data());
}

// The output keeps its contents when no record is found.
std::int32_t read_identifier(unsigned type, std::uint16_t *out) {
    if (out == nullptr || !walk(1)) {
        return -1;
    }
    std::array<std::uint8_t, 2> data{static_cast<std::uint8_t>(*out), static_cast<std::uint8_t>(*out >> 8)};
    const std::int32_t result = efuse_find(type, data.data());
    *out = static_cast<std::uint16_t>(data[0] | data[1] << 8);
    return result;
}

// The raw view of the data registers: clears them, runs a read cycle and waits
// for the status to read exactly 1, within a bounded time.
bool raw_read_cycle() {
    for (std::uint32_t i = 0; i < EFUSE_DATA_WORDS; ++i) {
        reg_write(data_word_address(i), 0);
    }
    reg_write(ADR_EFUSE_READ_STROBE, STROBE_START);
    const auto deadline = std::chrono::steady_clock::now() + RAW_WAIT_LIMIT;
    while (reg_read(ADR_EFUSE_STATUS) != STATUS_READ_DONE) {
        if (std::chrono::steady_clock::now() >= deadline) {
            log("ERROR: eFuse read cycle timed out\n");
            return false;
        }
        timer_delay(RAW_POLL_INTERVAL);
    }
    return true;
}

}  // namespace

namespace efuse {

std::uint32_t chip_id() { return velmo::chip_id; }

std::int32_t capture_chip_id(std::uint32_t &out) {
    if (!transport_loaded() || !walk(2)) {
        return -1;
    }
    efuse_end = HEADER_BITS;
    velmo::chip_id = image_word(efuse_image, 0);
    out = velmo::chip_id;
    return 0;
}

}  // namespace efuse

}  // namespace velmo

using namespace velmo;

extern "C" {

VELMO_API int32_t rf_efuse_write_mac(uint8_t *mac) {
    return with_chip([&]() -> std::int32_t {
        if (mac == nullptr || !walk(2)) {
            return -1;
        }
        return efuse_append(TYPE_MAC, mac);
    });
}

VELMO_API int32_t rf_efuse_read_mac(uint8_t *mac) {
    return with_chip([&]() -> std::int32_t {
        if (mac == nullptr || !walk(2)) {
            return -1;
        }
        return efuse_find(TYPE_MAC, mac);
    });
}

VELMO_API int32_t rf_efuse_read_chip_id(uint32_t *out) {
    return with_chip([&]() -> std::int32_t {
        std::uint32_t id = 0;
        if (out == nullptr || efuse::capture_chip_id(id) != 0) {
            return -1;
        }
        *out = id;
        return 0;
    });
}

VELMO_API int32_t rf_get_efuse_free_bits(void) {
    return with_chip([&]() -> std::int32_t {
        const std::int32_t end = efuse_walk();
        return end < 0 ? -1 : static_cast<std::int32_t>(MAP_BITS) - end;
    });
}

VELMO_API int32_t rf_efuse_write_tx_power1(int32_t high, int32_t low) {
    return with_chip([&] { return write_nibble_pair(TYPE_TX_POWER1, high, low); });
}

VELMO_API int32_t rf_efuse_read_tx_power1(uint8_t *high, uint8_t *low) {
    return with_chip([&] { return read_nibble_pair(TYPE_TX_POWER1, high, low); });
}

VELMO_API int32_t rf_efuse_write_tx_power2(int32_t high, int32_t low) {
    return with_chip([&] { return write_nibble_pair(TYPE_TX_POWER2, high, low); });
}

VELMO_API int32_t rf_efuse_read_tx_power2(uint8_t *high, uint8_t *low) {
    return with_chip([&] { return read_nibble_pair(TYPE_TX_POWER2, high, low); });
}

VELMO_API int32_t rf_efuse_write_rate_gain_b_n40(int32_t high, int32_t low) {
    return with_chip([&] { return write_nibble_pair(TYPE_RATE_GAIN_B_N40, high, low); });
}

VELMO_API int32_t rf_efuse_read_rate_gain_b_n40(uint8_t *high, uint8_t *low) {
    return with_chip([&] { return read_nibble_pair(TYPE_RATE_GAIN_B_N40, high, low); });
}

VELMO_API int32_t rf_efuse_write_rate_gain_g_n20(int32_t high, int32_t low) {
    return with_chip([&] { return write_nibble_pair(TYPE_RATE_GAIN_G_N20, high, low); });
}

VELMO_API int32_t rf_efuse_read_rate_gain_g_n20(uint8_t *high, uint8_t *low) {
    return with_chip([&] { return read_nibble_pair(TYPE_RATE_GAIN_G_N20, high, low); });
}

VELMO_API int32_t rf_efuse_write_xtal(int32_t value) {
    return with_chip([&] { return write_byte_record(TYPE_XTAL, static_cast<std::uint8_t>(value)); });
}

VELMO_API int32_t rf_efuse_read_xtal(uint8_t *value) {
    return with_chip([&]() -> std::int32_t {
        if (value == nullptr || !walk(1)) {
            return -1;
        }
        return efuse_find(TYPE_XTAL, value);
    });
}

VELMO_API int32_t rf_efuse_write_vid(int32_t value) {
    return with_chip([&] { return write_identifier(TYPE_VID, value); });
}

VELMO_API int32_t rf_efuse_read_vid(uint16_t *value) {
    return with_chip([&] { return read_identifier(TYPE_VID, value); });
}

VELMO_API int32_t rf_efuse_write_pid(int32_t value) {
    return with_chip([&] { return write_identifier(TYPE_PID, value); });
}

VELMO_API int32_t rf_efuse_read_pid(uint16_t *value) {
    return with_chip([&] { return read_identifier(TYPE_PID, value); });
}

// Reports the last non-zero data word before the first zero one, as read
// after a fresh read cycle; efuse_image is left alone.
VELMO_API int32_t rf_read_efuse(uint32_t *address, uint32_t *value) {
    return with_chip([&]() -> std::int32_t {
        if (address == nullptr || value == nullptr || !raw_read_cycle()) {
            return -1;
        }
        std::uint32_t last_address = data_word_address(0);
        std::uint32_t last_value = reg_read(last_address);
        for (std::uint32_t i = 1; last_value != 0 && i < EFUSE_DATA_WORDS; ++i) {
            const std::uint32_t word = reg_read(data_word_address(i));
            if (word == 0) {
                break;
            }
            last_address = data_word_address(i);
            last_value = word;
        }
        *address = last_address;
        *value = last_value;
        return 0;
    });
}

// The older chip-identifier reader: the raw header word, without capturing it.
VELMO_API int32_t rf_chip_id(uint32_t *out) {
    return with_chip([&]() -> std::int32_t {
        log("this API is phase out!!!! please use rf_efuse_read_chip_id\n\n");
        if (out == nullptr || !raw_read_cycle()) {
            return -1;
        }
        *out = reg_read(data_word_address(0));
        return 0;
    });
}

}  // extern "C"
