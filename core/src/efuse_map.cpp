#include "deve/efuse_map.h"

#include "deve/efuse_items.h"
#include "deve/registers.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace deve {

namespace {

// ---- eFuse controller ------------------------------------------------------
using reg::ADR_EFUSE_DATA0;
using reg::ADR_EFUSE_READ_STROBE;
using reg::ADR_EFUSE_STATUS;
constexpr std::uint32_t kStrobeStart = 1;
constexpr std::chrono::microseconds kPollInterval{100};

// ---- Record types ------------------------------------------------------------
constexpr unsigned kTypeVid = 9;
constexpr unsigned kTypePid = 10;
constexpr unsigned kTypeMac = 11;

enum class Shape { None, NibblePair, Byte, Identifier, Mac, Raw };

struct RecordKind {
    unsigned data_bits;
    bool walk_passes;     // the library's record placement steps over it
    bool readers_decode;  // the library's readers step over (and decode) it
    Shape shape;
};

// Types 0 to 13; 14 and 15 have no length and end every walk.
constexpr std::array<RecordKind, 14> kRecordKinds{{
    {0, false, false, Shape::None},         // 0: end of the records
    {8, true, false, Shape::Raw},           // 1
    {8, true, false, Shape::Raw},           // 2
    {48, false, false, Shape::Raw},         // 3: ends the placement walk too
    {8, true, true, Shape::Byte},           // 4: crystal trim
    {8, true, true, Shape::NibblePair},     // 5: transmit power pair 1
    {8, true, true, Shape::NibblePair},     // 6: transmit power pair 2
    {4, true, false, Shape::Raw},           // 7
    {4, true, false, Shape::Raw},           // 8
    {16, true, true, Shape::Identifier},    // 9: vendor identifier
    {16, true, true, Shape::Identifier},    // 10: product identifier
    {48, true, true, Shape::Mac},           // 11: MAC address
    {8, true, true, Shape::NibblePair},     // 12: rate gain pair, 11b / HT40
    {8, true, true, Shape::NibblePair},     // 13: rate gain pair, 11g / HT20
}};

const RecordKind *kind_of(unsigned type) { return type < kRecordKinds.size() ? &kRecordKinds[type] : nullptr; }

unsigned nibble_at(const FuseMap &map, unsigned position) {
    unsigned value = 0;
    for (unsigned b = 0; b < kFuseTypeBits; ++b) {
        value |= (map.bit(position + b) ? 1u : 0u) << b;
    }
    return value;
}

std::vector<std::uint8_t> data_at(const FuseMap &map, unsigned first, unsigned bits) {
    std::vector<std::uint8_t> data((bits + 7) / 8, 0);
    for (unsigned j = 0; j < bits; ++j) {
        if (map.bit(first + j)) {
            data[j / 8] = static_cast<std::uint8_t>(data[j / 8] | (1u << (j % 8)));
        }
    }
    return data;
}

std::string hex_byte(std::uint8_t b) {
    char text[4];
    std::snprintf(text, sizeof text, "%02x", b);
    return text;
}

}  // namespace

std::optional<FuseWords> read_fuse_words(RfApi &api) {
    api.xolt_write_reg(ADR_EFUSE_READ_STROBE, kStrobeStart);
    bool done = false;
    for (int poll = 0; poll < kFuseReadPolls && !done; ++poll) {
        std::uint32_t status = 0;
        done = api.xolt_read_reg(ADR_EFUSE_STATUS, &status) == 0 && status != 0;
        if (!done) {
            std::this_thread::sleep_for(kPollInterval);
        }
    }
    if (!done) {
        return std::nullopt;
    }
    FuseWords words{};
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (api.xolt_read_reg(ADR_EFUSE_DATA0 + static_cast<std::uint32_t>(4 * i), &words[i]) != 0) {
            return std::nullopt;  // a word the transport did not deliver is not the fuses' word
        }
    }
    return words;
}

const char *state_name(RecordState state) {
    switch (state) {
    case RecordState::Current: return "current";
    case RecordState::Superseded: return "superseded";
    case RecordState::Stop: return "stop";
    case RecordState::Unreachable: return "unreachable";
    case RecordState::Truncated: return "truncated";
    case RecordState::Undecodable: return "undecodable";
    }
    return "";
}

std::string record_type_name(unsigned type) {
    for (const EfuseItem &item : kEfuseItems) {
        if (item.record_type == type) {
            return item.name;
        }
    }
    switch (type) {
    case kTypeMac: return "MAC";
    case kTypeVid: return "VID";
    case kTypePid: return "PID";
    default: return {};
    }
}

std::optional<unsigned> record_data_bits(unsigned type) {
    const RecordKind *kind = kind_of(type);
    return kind != nullptr ? std::optional<unsigned>(kind->data_bits) : std::nullopt;
}

bool readers_decode(unsigned type) {
    const RecordKind *kind = kind_of(type);
    return kind != nullptr && kind->readers_decode;
}

std::vector<std::uint32_t> record_values(unsigned type, const std::vector<std::uint8_t> &data) {
    const RecordKind *kind = kind_of(type);
    if (kind == nullptr || data.size() * 8 < kind->data_bits) {
        return {};
    }
    switch (kind->shape) {
    case Shape::NibblePair: return {static_cast<std::uint32_t>(data[0] >> 4), static_cast<std::uint32_t>(data[0] & 0xFu)};
    case Shape::Byte: return {data[0]};
    case Shape::Identifier: return {static_cast<std::uint32_t>(data[0] | data[1] << 8)};
    case Shape::Mac: return {data.begin(), data.end()};
    case Shape::None:
    case Shape::Raw: return {};
    }
    return {};
}

std::string record_value_text(unsigned type, const std::vector<std::uint8_t> &data) {
    const RecordKind *kind = kind_of(type);
    if (kind == nullptr || data.size() * 8 < kind->data_bits) {
        return {};
    }
    const std::vector<std::uint32_t> values = record_values(type, data);
    char text[16];
    switch (kind->shape) {
    case Shape::NibblePair: return std::to_string(values[0]) + "," + std::to_string(values[1]);
    case Shape::Byte: return std::to_string(values[0]);
    case Shape::Identifier:
        std::snprintf(text, sizeof text, "0x%04x", values[0]);
        return text;
    case Shape::Mac: {
        std::string mac;
        for (std::size_t i = 0; i < data.size(); ++i) {
            mac += (i == 0 ? "" : ":") + hex_byte(data[i]);
        }
        return mac;
    }
    case Shape::Raw: {
        // Most significant byte first, as one number.
        std::string raw = "0x";
        for (std::size_t i = data.size(); i-- > 0;) {
            raw += hex_byte(data[i]);
        }
        return raw;
    }
    case Shape::None: return {};
    }
    return {};
}

bool FuseMap::bit(unsigned k) const {
    return k < kFuseMapBits && ((words[k / 32] >> (k % 32)) & 1u) != 0;
}

const MapRecord *FuseMap::current(unsigned type) const {
    for (const MapRecord &r : records) {
        if (r.type == type && r.state == RecordState::Current) {
            return &r;
        }
    }
    return nullptr;
}

bool FuseMap::fits(unsigned bits) const {
    if (next_record + bits > kFuseMapBits) {
        return false;
    }
    for (unsigned k = next_record; k < next_record + bits; ++k) {
        if (bit(k)) {
            return false;
        }
    }
    return true;
}

std::string FuseMap::bit_string() const {
    std::string text(kFuseMapBits, '0');
    for (unsigned k = 0; k < kFuseMapBits; ++k) {
        text[k] = bit(k) ? '1' : '0';
    }
    return text;
}

FuseMap decode_fuse_map(const FuseWords &words) {
    FuseMap map;
    map.words = words;
    unsigned position = kFuseHeaderBits;
    bool walk_stopped = false;                // the placement walk has found its end
    std::optional<unsigned> readers_stop;     // where the readers' search ended
    while (position < kFuseMapBits) {
        const unsigned type = nibble_at(map, position);
        if (type == 0) {
            break;  // end mark
        }
        MapRecord record;
        record.position = position;
        record.type = type;
        const RecordKind *kind = kind_of(type);
        if (kind == nullptr) {
            // No length: nothing behind it can be told apart.
            record.state = RecordState::Undecodable;
            map.records.push_back(record);
            readers_stop = readers_stop.value_or(position);
            break;
        }
        record.bits = kFuseTypeBits + kind->data_bits;
        const bool truncated = record.end() > kFuseMapBits;
        if (!truncated) {
            record.data = data_at(map, position + kFuseTypeBits, kind->data_bits);
        }
        if (truncated) {
            record.state = RecordState::Truncated;
        } else if (readers_stop) {
            record.state = RecordState::Unreachable;
        } else if (!kind->readers_decode) {
            record.state = RecordState::Stop;
        } else {
            // A later record of the type supersedes this one.
            for (MapRecord &earlier : map.records) {
                if (earlier.type == type && earlier.state == RecordState::Current) {
                    earlier.state = RecordState::Superseded;
                }
            }
        }
        if (record.state == RecordState::Truncated || record.state == RecordState::Stop) {
            readers_stop = readers_stop.value_or(position);
        }
        if (!walk_stopped) {
            if (kind->walk_passes) {
                map.next_record = record.end() < kFuseMapBits ? record.end() : kFuseMapBits;
            } else {
                walk_stopped = true;
            }
        }
        map.records.push_back(record);
        position = record.end();
    }
    map.readers_end = readers_stop.value_or(position < kFuseMapBits ? position : kFuseMapBits);
    for (unsigned k = position; k < kFuseMapBits; ++k) {
        map.stray_bits += map.bit(k) ? 1u : 0u;
    }
    return map;
}

}  // namespace deve
