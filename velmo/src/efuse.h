// The eFuse store's interface to the other blocks of the library.
#pragma once

#include <cstdint>

namespace velmo::efuse {

// The library's copy of eFuse word 0, the chip identifier, as last captured
// (0 until the eFuse has been read).
std::uint32_t chip_id();

// The chip-identifier capture of rf_efuse_read_chip_id: reads the map, copies
// word 0 into chip_id() and into `out`. 0 on success; -1 when the eFuse could
// not be read (chip_id() and `out` then unchanged).
std::int32_t capture_chip_id(std::uint32_t &out);

}  // namespace velmo::efuse
