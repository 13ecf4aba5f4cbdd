// Register table loader: the fixed writes, the chip identifier read from the
// eFuse in between, the variant writes chosen by it, and the closing update.
#include "fixture.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

using recording::Access;
using recording::StdoutCapture;
using recording::W;

namespace {

constexpr uint32_t kEfuseStatus = 0xC200010C;
constexpr uint32_t kEfuseWord0 = 0xC2000120;
constexpr std::size_t kFixedWrites = 82;

bool is_efuse(const Access &a) { return (a.address & 0xFFFF0000u) == 0xC2000000u; }
bool is_variant_control(const Access &a) { return (a.address & 0xFFFFFF00u) == 0xC0000500u; }

uint32_t code_for_db(double db) {
    return static_cast<uint32_t>(std::lround(128.0 * std::pow(10.0, db / 20.0)));
}

// Four gain codes packed from the lowest byte up.
uint32_t pack_codes(double db0, double db1, double db2, double db3) {
    return code_for_db(db0) | code_for_db(db1) << 8 | code_for_db(db2) << 16 | code_for_db(db3) << 24;
}

// A chip whose eFuse controller answers at once and whose map holds the given
// identifier in word 0 and nothing else.
class RegisterTable : public recording::Connected {
protected:
    void fuse_chip_id(uint32_t chip_id) {
        chip().memory[kEfuseStatus] = 1;
        chip().memory[kEfuseWord0] = chip_id;
        for (uint32_t i = 1; i < 8; ++i) {
            chip().memory[kEfuseWord0 + 4 * i] = 0;
        }
    }

    // The log split into the fixed writes, the eFuse traffic, and the rest.
    struct Phases {
        std::vector<Access> fixed, efuse, after;
    };
    Phases load() {
        chip().log.clear();
        EXPECT_EQ(rf_load_register(), 0);
        Phases p;
        for (const Access &a : log()) {
            if (is_efuse(a)) {
                EXPECT_TRUE(p.after.empty()) << "eFuse access after the variant writes";
                p.efuse.push_back(a);
            } else if (p.efuse.empty()) {
                p.fixed.push_back(a);
            } else {
                p.after.push_back(a);
            }
        }
        return p;
    }
};

TEST_F(RegisterTable, OrdinaryChipGetsFixedTableThenIdReadThenClosingWrite) {
    fuse_chip_id(0x12345678);
    const Phases p = load();
    ASSERT_EQ(p.fixed.size(), kFixedWrites);
    for (const Access &a : p.fixed) {
        EXPECT_TRUE(a.write) << std::hex << a.address;
    }
    // Framed like a rate change: update held, 20 MHz bandwidth, update held.
    EXPECT_EQ(p.fixed[0], W(0xCCB0E004, 0));
    EXPECT_EQ(p.fixed[1], W(0xCCB0E000, 0x80010000));
    EXPECT_EQ(p.fixed[2], W(0xCCB0E004, 0));
    EXPECT_EQ(p.fixed[81], W(0xCCB0A808, 0x88000000));
    // The identifier came from the eFuse data words.
    EXPECT_NE(std::find(p.efuse.begin(), p.efuse.end(), recording::R(kEfuseWord0, 0x12345678)),
              p.efuse.end());
    EXPECT_EQ(p.after, (std::vector<Access>{W(0xCCB0E004, 0x17F)}));
    for (uint32_t gains : {0xCCB0E184u, 0xCCB0E188u, 0xCCB0E18Cu}) {
        EXPECT_EQ(chip().memory[gains], 0xB5A19080u);
    }
}

TEST_F(RegisterTable, VariantAGetsTenWritesWithItsControlWord) {
    fuse_chip_id(0x74000000);
    const Phases p = load();
    ASSERT_EQ(p.fixed.size(), kFixedWrites);
    ASSERT_FALSE(p.efuse.empty());
    EXPECT_EQ(p.after, (std::vector<Access>{
                           W(0xC0000500, 0x00000007),
                           W(0xC000051C, 0x006FFFB8),
                           W(0xCCB0A424, 0x05744432),
                           W(0xCCB0A400, 0x22000004),
                           W(0xCCB0A634, 0x1C309000),
                           W(0xCCB0A62C, 0x923D923F),
                           W(0xCCB0A630, 0x92439242),
                           W(0xCCB0E188, 0x90807966),
                           W(0xCCB0E184, 0x90807966),
                           W(0xCCB0E18C, 0x90807966),
                           W(0xCCB0E004, 0x17F),
                       }));
}

TEST_F(RegisterTable, VariantBDiffersOnlyInItsControlWord) {
    fuse_chip_id(0x7C000000);
    const Phases b = load();
    fuse_chip_id(0x74000000);
    const Phases a = load();
    ASSERT_EQ(b.after.size(), 11u);
    ASSERT_EQ(a.after.size(), 11u);
    EXPECT_EQ(b.after[0], W(0xC0000500, 0x00100047));
    EXPECT_TRUE(std::equal(a.after.begin() + 1, a.after.end(), b.after.begin() + 1));
    EXPECT_EQ(a.fixed, b.fixed);
}

TEST_F(RegisterTable, IdentifierIsReadAfreshOnEveryLoad) {
    // A variant first, then the same connection sees an ordinary chip.
    fuse_chip_id(0x7C000000);
    ASSERT_EQ(load().after.size(), 11u);
    for (uint32_t other : {0x00000000u, 0x74000001u, 0x7C000000u >> 1}) {
        fuse_chip_id(other);
        const Phases p = load();
        EXPECT_EQ(p.after, (std::vector<Access>{W(0xCCB0E004, 0x17F)})) << std::hex << other;
        for (const Access &a : log()) {
            EXPECT_FALSE(is_variant_control(a)) << std::hex << other << " " << a.address;
        }
    }
}

TEST_F(RegisterTable, GainAndTrimRowsFollowTheirRules) {
    fuse_chip_id(0);
    const Phases p = load();
    ASSERT_EQ(p.fixed.size(), kFixedWrites);
    auto value_of = [&](uint32_t address) {
        uint32_t found = 0;
        int count = 0;
        for (const Access &a : p.fixed) {
            if (a.address == address) {
                found = a.value;
                ++count;
            }
        }
        EXPECT_EQ(count, 1) << std::hex << address;
        return found;
    };
    // 11b gain: enable bit and the code of -2.5 dB.
    EXPECT_EQ(value_of(0xCCB0E180), 0x00010000 | code_for_db(-2.5));
    // Gain code words: 0, +1, +2, +3 dB.
    EXPECT_EQ(value_of(0xCCB0E184), pack_codes(0, 1, 2, 3));
    // Frequency offset 151 in both fields.
    const uint32_t offset = value_of(0xCCB0B000);
    EXPECT_EQ((offset >> 8) & 0xFF, 151u);
    EXPECT_EQ((offset >> 17) & 0xFF, 151u);

    // The variants' replacement words: -2, -0.5, 0, +1 dB.
    fuse_chip_id(0x74000000);
    const Phases v = load();
    ASSERT_EQ(v.after.size(), 11u);
    for (std::size_t i = 7; i < 10; ++i) {
        EXPECT_EQ(v.after[i].value, pack_codes(-2, -0.5, 0, 1));
    }
    // Mode register: manual, standby, 2.4 GHz gain index 1.
    const uint32_t mode = v.after[3].value;
    EXPECT_EQ((mode >> 2) & 1, 1u);
    EXPECT_EQ((mode >> 8) & 7, 0u);
    EXPECT_EQ((mode >> 25) & 0xF, 1u);
}

TEST_F(RegisterTable, LoadPhyIsAPlaceholderWithoutRegisterAccess) {
    StdoutCapture out;
    EXPECT_EQ(rf_load_phy(), 0);
    EXPECT_EQ(out.take(), "Not Implement!!!!\n");
    EXPECT_TRUE(log().empty());
}

TEST(RegisterTableUnconnected, LoaderRefusesAndLoadPhyStillPrints) {
    recording::use_transport();
    recording::State &state = recording::open_state();
    state.reset();
    StdoutCapture out;
    EXPECT_EQ(rf_load_register(), -1);
    EXPECT_EQ(rf_load_phy(), 0);
    EXPECT_EQ(out.take(), "Not Implement!!!!\n");
    EXPECT_TRUE(state.log.empty());
}

}  // namespace
