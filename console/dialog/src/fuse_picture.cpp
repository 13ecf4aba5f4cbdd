#include "deve/fuse_picture.h"

#include "deve/text.h"

#include <algorithm>

namespace deve {

namespace {

// Colours of the record types the library reads and writes (a palette that
// stays apart for colour-blind eyes); the rest share kFuseOtherTypeRgb.
struct TypeColour {
    unsigned type;
    std::uint32_t rgb;
};
constexpr TypeColour kTypeColours[] = {
    {4, 0xE69F00},   // Freq_offset: orange
    {5, 0x56B4E9},   // TX_PWR1: sky blue
    {6, 0x0072B2},   // TX_PWR2: blue
    {9, 0xF0E442},   // VID: yellow
    {10, 0xCC79A7},  // PID: reddish purple
    {11, 0x009E73},  // MAC: bluish green
    {12, 0x999933},  // TX_Rate1: olive
    {13, 0x8C564B},  // TX_Rate2: brown
};

// How far a pale colour goes towards white, in 1/256.
constexpr unsigned kPaleBlend = 170;
constexpr unsigned kWhite = 0xFF;

std::string type_label(unsigned type) {
    const std::string name = record_type_name(type);
    return name.empty() ? "record type " + unsigned_decimal(type) : name;
}

std::string bit_span(unsigned first, unsigned end) {
    const unsigned last = std::min(end, kFuseMapBits) - 1;
    return first == last ? "bit " + unsigned_decimal(first)
                         : "bits " + unsigned_decimal(first) + "-" + unsigned_decimal(last);
}

std::string record_tip(const MapRecord &r) {
    const std::string value = record_value_text(r.type, r.data);
    std::string what = type_label(r.type) + (value.empty() ? "" : " = " + value);
    const std::string where = " (record type " + unsigned_decimal(r.type) + ", " +
                              bit_span(r.position, r.bits != 0 ? r.end() : r.position + kFuseTypeBits) + ")";
    switch (r.state) {
    case RecordState::Current: break;
    case RecordState::Superseded: what += ", superseded by a later record"; break;
    case RecordState::Stop: what += ": the library's readers stop here"; break;
    case RecordState::Unreachable: what += ": behind a record the readers stop at, never read"; break;
    case RecordState::Truncated: what = type_label(r.type) + ": runs past the end of the map"; break;
    case RecordState::Undecodable: what = type_label(r.type) + ": unknown length, decoding ends here"; break;
    }
    return what + where;
}

}  // namespace

FuseCells fuse_cells(const FuseMap &map) {
    FuseCells cells{};
    for (unsigned k = 0; k < kFuseMapBits; ++k) {
        cells[k].programmed = map.bit(k);
        if (k < kFuseHeaderBits) {
            cells[k].kind = FuseCellKind::Header;
        } else {
            cells[k].kind = cells[k].programmed ? FuseCellKind::Stray : FuseCellKind::Free;
        }
    }
    for (std::size_t i = 0; i < map.records.size(); ++i) {
        const MapRecord &r = map.records[i];
        // An undecodable record covers its type nibble; a truncated one runs
        // to the end of the map.
        const unsigned end = std::min(r.bits != 0 ? r.end() : r.position + kFuseTypeBits, kFuseMapBits);
        for (unsigned k = r.position; k < end; ++k) {
            cells[k].kind = FuseCellKind::Record;
            cells[k].record = static_cast<int>(i);
        }
    }
    return cells;
}

std::uint32_t record_type_rgb(unsigned type) {
    for (const TypeColour &c : kTypeColours) {
        if (c.type == type) {
            return c.rgb;
        }
    }
    return kFuseOtherTypeRgb;
}

std::uint32_t paler(std::uint32_t rgb) {
    std::uint32_t out = 0;
    for (unsigned shift : {16u, 8u, 0u}) {
        const unsigned channel = (rgb >> shift) & kWhite;
        const unsigned blended = (channel * (256 - kPaleBlend) + kWhite * kPaleBlend) / 256;
        out |= static_cast<std::uint32_t>(blended) << shift;
    }
    return out;
}

bool drawn_pale(RecordState state) {
    return state == RecordState::Superseded || state == RecordState::Unreachable;
}

std::uint32_t fuse_cell_rgb(const FuseMap &map, const FuseCell &cell) {
    switch (cell.kind) {
    case FuseCellKind::Header: return kFuseHeaderRgb;
    case FuseCellKind::Free: return kFuseFreeRgb;
    case FuseCellKind::Stray: return kFuseFaultRgb;
    case FuseCellKind::Record: break;
    }
    const MapRecord &r = map.records.at(static_cast<std::size_t>(cell.record));
    if (r.state == RecordState::Truncated || r.state == RecordState::Undecodable) {
        return kFuseFaultRgb;
    }
    const std::uint32_t full = record_type_rgb(r.type);
    return drawn_pale(r.state) ? paler(full) : full;
}

std::uint32_t fuse_cell_outline_rgb(const FuseMap &map, const FuseCell &cell) {
    if (cell.kind == FuseCellKind::Free) {
        return kFuseEmptyOutlineRgb;
    }
    // Every channel scaled down by 1.3: the same hue, darker.
    const std::uint32_t fill = fuse_cell_rgb(map, cell);
    std::uint32_t out = 0;
    for (unsigned shift : {16u, 8u, 0u}) {
        out |= (((fill >> shift) & kWhite) * 100 / 130) << shift;
    }
    return out;
}

std::uint32_t fuse_dot_rgb(std::uint32_t fill) {
    unsigned lowest = kWhite;
    unsigned highest = 0;
    for (unsigned shift : {16u, 8u, 0u}) {
        const unsigned channel = (fill >> shift) & kWhite;
        lowest = std::min(lowest, channel);
        highest = std::max(highest, channel);
    }
    // Lightness as (max + min) / 2 of the channels.
    constexpr unsigned kLightFill = 140;
    return (lowest + highest) / 2 > kLightFill ? 0x000000 : 0xFFFFFF;
}

FuseGridRect fuse_grid_cell(unsigned bit, const FuseGridMetrics &m) {
    const int row = static_cast<int>(bit) / kFuseGridBitsPerRow;
    const int column = static_cast<int>(bit) % kFuseGridBitsPerRow;
    const int x = m.left + column * (m.cell + m.gap) + (column / 8) * m.byte_gap;
    const int y = m.top + row * (m.cell + m.gap);
    return {x, y, m.cell, m.cell};
}

int fuse_grid_bit_at(int x, int y, const FuseGridMetrics &m) {
    for (unsigned bit = 0; bit < kFuseMapBits; ++bit) {
        const FuseGridRect cell = fuse_grid_cell(bit, m);
        if (x >= cell.x && x < cell.x + cell.width && y >= cell.y && y < cell.y + cell.height) {
            return static_cast<int>(bit);
        }
    }
    return -1;
}

FuseGridRect fuse_grid_bounds(const FuseGridMetrics &m) {
    const FuseGridRect last = fuse_grid_cell(kFuseMapBits - 1, m);
    return {0, 0, last.x + last.width + 1, last.y + last.height + 1};
}

std::string fuse_cell_tip(const FuseMap &map, unsigned bit) {
    if (bit >= kFuseMapBits) {
        return {};
    }
    const FuseCell cell = fuse_cells(map)[bit];
    switch (cell.kind) {
    case FuseCellKind::Header: return "Header: chip ID " + hex(map.chip_id()) + " (bits 0-31)";
    case FuseCellKind::Record: return record_tip(map.records.at(static_cast<std::size_t>(cell.record)));
    case FuseCellKind::Stray: return "Blown fuse after the last record (" + bit_span(bit, bit + 1) + ")";
    case FuseCellKind::Free: break;
    }
    return fuse_free_text(map) + " (" + bit_span(bit, bit + 1) + " is free)";
}

std::vector<FuseLegendEntry> fuse_legend(const FuseMap &map) {
    std::vector<FuseLegendEntry> legend{{"Header", kFuseHeaderRgb}};
    std::vector<unsigned> seen;
    bool pale = false;
    bool fault = map.stray_bits > 0;
    for (const MapRecord &r : map.records) {
        if (r.state == RecordState::Truncated || r.state == RecordState::Undecodable) {
            fault = true;
            continue;
        }
        pale = pale || drawn_pale(r.state);
        if (std::find(seen.begin(), seen.end(), r.type) == seen.end()) {
            seen.push_back(r.type);
            legend.push_back({type_label(r.type), record_type_rgb(r.type)});
        }
    }
    if (pale) {
        legend.push_back({"Superseded or unread (paler)", paler(kFuseOtherTypeRgb)});
    }
    legend.push_back({"Free", kFuseFreeRgb});
    if (fault) {
        legend.push_back({"Fault", kFuseFaultRgb});
    }
    return legend;
}

std::string fuse_free_text(const FuseMap &map) { return "Free: " + decimal(map.free_bits()) + " bits"; }

}  // namespace deve
