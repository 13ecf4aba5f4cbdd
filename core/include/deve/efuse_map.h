// The eFuse map as the chip holds it: the eight raw fuse words read through
// the eFuse controller's registers, and every record decoded from them, with
// what the library's readers and its record placement make of each one.
//
// The map is 256 bits: map bit k is bit (k mod 8) of byte k / 8, word i is
// bytes 4i to 4i+3 (little endian). Bits 0-31 are the header (the chip
// identifier). Records follow from bit 32 on nibble boundaries: a 4-bit type,
// then the data bits (data bit j is bit j mod 8 of data byte j / 8). A type
// nibble of 0 (unblown fuses) ends the records.
#pragma once

#include "deve/rf_api.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace deve {

constexpr unsigned kFuseMapBits = 256;
constexpr std::size_t kFuseMapWords = 8;
constexpr unsigned kFuseHeaderBits = 32;
constexpr unsigned kFuseTypeBits = 4;
// The record type of the MAC address.
constexpr unsigned kMacRecordType = 11;

using FuseWords = std::array<std::uint32_t, kFuseMapWords>;

// Reads the fuses through the controller: a read cycle (read strobe, then the
// status polled until it is non-zero, at most kFuseReadPolls times 100 us
// apart), then the eight data words. Nothing when the cycle never completes
// or the transport fails a read.
constexpr int kFuseReadPolls = 500;
std::optional<FuseWords> read_fuse_words(RfApi &api);

// How one record stands.
enum class RecordState {
    Current,      // the value the library's readers return for its type
    Superseded,   // a later record of the same type replaces it
    Stop,         // a type the readers do not decode: their search ends here
    Unreachable,  // behind a stop: readers never see it
    Truncated,    // would run past the end of the map: not decoded
    Undecodable,  // type 14 or 15, whose length is unknown: decoding ends here
};
const char *state_name(RecordState state);  // "current", "superseded", ...

struct MapRecord {
    unsigned position = 0;  // first bit (the type nibble)
    unsigned type = 0;
    unsigned bits = 0;      // type and data; 0 when the length is unknown
    std::vector<std::uint8_t> data;  // data bytes (empty when not decoded)
    RecordState state = RecordState::Current;

    unsigned end() const { return position + bits; }  // first bit after it
};

// Names of the record types: the eFuse item names of the console's list,
// "MAC", "VID" and "PID"; empty for types the library has no export for.
std::string record_type_name(unsigned type);
// Data bits of a type; nothing for types 14 and 15.
std::optional<unsigned> record_data_bits(unsigned type);
// Whether the library's readers decode the type (4, 5, 6, 9, 10, 11, 12, 13).
bool readers_decode(unsigned type);

// A record's value as the readers see it: "3,5" for a nibble pair (first,
// second), "140" for the crystal trim, "0x1234" for VID and PID,
// "00:11:22:33:44:55" for the MAC address, raw hexadecimal for other types.
std::string record_value_text(unsigned type, const std::vector<std::uint8_t> &data);
// The numbers of the value: [first, second] for a nibble pair, [byte] for
// the crystal trim, [identifier] for VID/PID, the six bytes of a MAC address.
std::vector<std::uint32_t> record_values(unsigned type, const std::vector<std::uint8_t> &data);

struct FuseMap {
    FuseWords words{};
    std::vector<MapRecord> records;
    // Where the library places the next record: its walk steps over every
    // record except types 3, 14 and 15 and stops at the end mark.
    unsigned next_record = kFuseHeaderBits;
    // Where the readers' search ends.
    unsigned readers_end = kFuseHeaderBits;
    // Programmed bits at or after the point where decoding ended.
    unsigned stray_bits = 0;

    std::uint32_t chip_id() const { return words[0]; }
    int free_bits() const { return static_cast<int>(kFuseMapBits - next_record); }
    bool bit(unsigned k) const;
    // The record readers return for a type, if any.
    const MapRecord *current(unsigned type) const;
    // Whether a record of `bits` bits can go at next_record: it fits before
    // the end of the map and covers no programmed fuse.
    bool fits(unsigned bits) const;
    // The map as 256 characters, bit 0 first: '1' programmed, '0' not.
    std::string bit_string() const;
};

FuseMap decode_fuse_map(const FuseWords &words);

}  // namespace deve
