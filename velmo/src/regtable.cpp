// The register table loader: the chip's working register configuration, one
// fixed list of writes, then extra writes for the two chip variants named by
// eFuse word 0.
#include "bus.h"
#include "efuse.h"
#include "registers.h"
#include "velmo/velmo.h"

#include <array>
#include <cstdint>

namespace velmo {

namespace {

struct RegValue {
    std::uint32_t address;
    std::uint32_t value;
};

// Written in order on every chip. The first three writes and the closing
// update frame the change like a rate change: update held, 20 MHz bandwidth.
constexpr std::array<RegValue, 82> kFixedTable{{
    {ADR_PHY_UPDATE, PHY_UPDATE_HOLD},
    {ADR_PHY_BANDWIDTH, 0x80010000},
    {ADR_PHY_UPDATE, PHY_UPDATE_HOLD},
    {0xCCB0E010, 0x00000FFF},
    {0xCCB0E014, 0x00807F03},
    // Packet generator off with PIT 15; the next two hold until a transmit
    // test starts.
    {0xCCB0E018, 0x0055003C},
    {0xCCB0E01C, 0x00000064},
    {0xCCB0E020, 0x00000000},
    {0xCCB0E02C, 0x7004606C},
    {0xCCB0E030, 0x7004606C},
    {0xCCB0E034, 0x1A040400},
    {0xCCB0E038, 0x630F36D0},
    {0xCCB0E03C, 0x100C0003},
    {0xCCB0E040, 0x11600800},
    {0xCCB0E044, 0x00080868},
    {0xCCB0E048, 0xFF001160},
    {0xCCB0E04C, 0x00100040},
    {0xCCB0E060, 0x11501150},
    {0xCCB0E12C, 0x00001160},
    {0xCCB0E130, 0x00100040},
    {0xCCB0E134, 0x00080010},
    // 11b rate gain -2.5 dB; then three words of four gain codes
    // (0, +1, +2, +3 dB from the lowest byte up).
    {0xCCB0E180, 0x00010060},
    {0xCCB0E184, 0xB5A19080},
    {0xCCB0E188, 0xB5A19080},
    {0xCCB0E18C, 0xB5A19080},
    {0xCCB0E190, 0x00010006},
    {0xCCB0E194, 0x06060606},
    {0xCCB0E198, 0x06060606},
    {0xCCB0E19C, 0x06060606},
    {0xCCB0E080, 0x0110000F},
    {0xCCB0E098, 0x00102000},
    {0xCCB0E09C, 0x00100018},
    {0xCCB0E4B4, 0x00002001},
    {0xCCB0ECA4, 0x00009001},
    {0xCCB0ECB8, 0x000C50CC},
    {0xCCB0FC44, 0x00028080},
    {0xCCB0F008, 0x00004775},
    {0xCCB0F00C, 0x10000075},
    {0xCCB0F010, 0x3F304905},
    {0xCCB0F014, 0x40182000},
    {0xCCB0F018, 0x20600000},
    {0xCCB0F01C, 0x0C010080},
    {0xCCB0F03C, 0x0000005A},
    {0xCCB0F020, 0x20202020},
    {0xCCB0F024, 0x20000000},
    {0xCCB0F028, 0x50505050},
    {0xCCB0F02C, 0x20202020},
    {0xCCB0F030, 0x20000000},
    {0xCCB0F034, 0x00002424},
    {0xCCB0F09C, 0x000030A0},
    {0xCCB0F0C0, 0x0F0003C0},
    {0xCCB0F0C4, 0x30023003},  // receiver setting
    {0xCCB0F0CC, 0x00000120},
    {0xCCB0F0D0, 0x00000020},
    {0xCCB0F130, 0x40000000},
    {0xCCB0F164, 0x000E0090},
    {0xCCB0F188, 0x82000000},
    {0xCCB0F190, 0x00000020},
    {0xCCB0F194, 0x09370001},  // receiver setting
    {0xCCB0F3F8, 0x00100001},  // one receive counter block counting
    {0xCCB0F3FC, 0x00010425},
    {0xCCB0E804, 0x00020000},
    {0xCCB0E808, 0x20280060},
    {0xCCB0E80C, 0x00003467},
    {0xCCB0E810, 0x00430000},
    {0xCCB0E814, 0x30000015},
    {0xCCB0E818, 0x00390005},
    {0xCCB0E81C, 0x05050005},
    {0xCCB0E820, 0x00570057},
    {0xCCB0E824, 0x00570057},
    {0xCCB0E828, 0x00236700},
    {0xCCB0E82C, 0x000D1746},
    {0xCCB0E830, 0x05051787},
    {0xCCB0E834, 0x07800000},
    {0xCCB0E89C, 0x009000B0},
    {0xCCB0E8A0, 0x00000000},
    {0xCCB0EBF8, 0x00100000},  // the other receive counter block counting
    {0xCCB0EBFC, 0x00000001},
    {0xCCB0A420, 0x0033E73F},
    {0xCCB0A598, 0x0F1E00FF},
    {ADR_FREQ_OFFSET, 0x252E9714},  // frequency offset 151 in both fields
    {0xCCB0A808, 0x88000000},
}};

// Written after the fixed table on the two variants, in order; one value
// column per variant.
struct VariantWrite {
    std::uint32_t address;
    std::uint32_t value_a;  // chip identifier CHIP_ID_VARIANT_A
    std::uint32_t value_b;  // chip identifier CHIP_ID_VARIANT_B
};

constexpr std::array<VariantWrite, 10> kVariantTable{{
    {0xC0000500, 0x00000007, 0x00100047},
    {0xC000051C, 0x006FFFB8, 0x006FFFB8},
    {0xCCB0A424, 0x05744432, 0x05744432},
    // Manual standby, 2.4 GHz gain index 1, bit 29.
    {ADR_MODE_REGISTER, 0x22000004, 0x22000004},
    {ADR_5G_TX_GAIN_PAFB_CONTROL, 0x1C309000, 0x1C309000},
    {0xCCB0A62C, 0x923D923F, 0x923D923F},
    {0xCCB0A630, 0x92439242, 0x92439242},
    // Gain code words -2, -0.5, 0, +1 dB in place of the fixed table's.
    {0xCCB0E188, 0x90807966, 0x90807966},
    {0xCCB0E184, 0x90807966, 0x90807966},
    {0xCCB0E18C, 0x90807966, 0x90807966},
}};

}  // namespace

}  // namespace velmo

using namespace velmo;

extern "C" VELMO_API int32_t rf_load_register(void) {
    return with_chip([&] {
        for (const RegValue &w : kFixedTable) {
            reg_write(w.address, w.value);
        }

        // The identifier read refreshes efuse::chip_id(); the loader always
        // goes on, with whatever identifier the library then holds.
        std::uint32_t chip = 0;
        efuse::capture_chip_id(chip);
        const std::uint32_t id = efuse::chip_id();
        if (is_variant(id)) {
            for (const VariantWrite &w : kVariantTable) {
                reg_write(w.address, id == CHIP_ID_VARIANT_A ? w.value_a : w.value_b);
            }
        }

        reg_write(ADR_PHY_UPDATE, PHY_UPDATE_APPLY);
        return 0;
    });
}

extern "C" VELMO_API int32_t rf_load_phy(void) {
    // A placeholder with no register access, so it needs no transport.
    velmo::log("Not Implement!!!!\n");
    return 0;
}
