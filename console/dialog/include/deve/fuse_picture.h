// The eFuse map as a picture: what each of the 256 fuse bits belongs to (the
// header, a record, free space, or a blown fuse outside every record), the
// colour it is drawn in, and what hovering it tells. Colours are plain
// 0xRRGGBB values: one per record type, paler for records the library's
// readers no longer return (superseded, or behind a record they stop at),
// white for free bits.
#pragma once

#include "deve/efuse_map.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace deve {

enum class FuseCellKind {
    Header,  // bits 0-31, the chip identifier
    Record,  // part of a decoded record (type nibble or data)
    Free,    // after the last record, not blown
    Stray,   // after the last record, but blown
};

struct FuseCell {
    FuseCellKind kind = FuseCellKind::Free;
    int record = -1;          // index into FuseMap::records for a record's bits
    bool programmed = false;  // the fuse is blown
};

using FuseCells = std::array<FuseCell, kFuseMapBits>;
FuseCells fuse_cells(const FuseMap &map);

// Colours.
constexpr std::uint32_t kFuseHeaderRgb = 0x5F6B7A;
constexpr std::uint32_t kFuseFreeRgb = 0xFFFFFF;
constexpr std::uint32_t kFuseFaultRgb = 0xB2182B;  // truncated, undecodable, stray
constexpr std::uint32_t kFuseOtherTypeRgb = 0xA0A0A0;  // types the library has no export for
// The full colour of a record type.
std::uint32_t record_type_rgb(unsigned type);
// A colour blended most of the way to white.
std::uint32_t paler(std::uint32_t rgb);
// Whether a record is drawn pale: the readers do not return it.
bool drawn_pale(RecordState state);
std::uint32_t fuse_cell_rgb(const FuseMap &map, const FuseCell &cell);

// The outline of a cell: grey around a free bit, else its fill darkened.
constexpr std::uint32_t kFuseEmptyOutlineRgb = 0xB0B0B0;
std::uint32_t fuse_cell_outline_rgb(const FuseMap &map, const FuseCell &cell);
// The dot of a blown fuse: black on a light fill, white on a dark one.
std::uint32_t fuse_dot_rgb(std::uint32_t fill);

// The map as a grid: one row per 32-bit word, a wider gap between bytes,
// the rows' first bit numbers on the left and the bit offsets on top. The
// metrics are pixels; the default is the Qt skin's grid at 96 DPI.
struct FuseGridRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};
constexpr int kFuseGridBitsPerRow = 32;
constexpr int kFuseGridRows = static_cast<int>(kFuseMapBits) / kFuseGridBitsPerRow;
struct FuseGridMetrics {
    int cell = 11;
    int gap = 1;
    int byte_gap = 4;
    int left = 26;  // room for the rows' bit numbers
    int top = 16;   // room for the bit offsets
    int dot = 4;    // a blown fuse's dot
};
FuseGridRect fuse_grid_cell(unsigned bit, const FuseGridMetrics &m = {});
// The bit under a point of the grid, or -1.
int fuse_grid_bit_at(int x, int y, const FuseGridMetrics &m = {});
// The grid's whole size.
FuseGridRect fuse_grid_bounds(const FuseGridMetrics &m = {});

// The hover text of a bit: the record's item and value, the header's chip
// identifier, or the free space.
std::string fuse_cell_tip(const FuseMap &map, unsigned bit);

// What the colours mean for this map: the header, each record type present
// (in order of first appearance), pale records, free bits and faults when
// there are any.
struct FuseLegendEntry {
    std::string label;
    std::uint32_t rgb;
};
std::vector<FuseLegendEntry> fuse_legend(const FuseMap &map);

// "Free: 200 bits" (where the library places the next record, to the end).
std::string fuse_free_text(const FuseMap &map);

}  // namespace deve
