// The eFuse store over the recording transport, with a small eFuse controller
// emulated behind its registers: register traffic, record placement and
// decoding, full-map and blocked appends, and every failure of the cycles.
#include "fixture.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

using recording::Access;
using recording::R;
using recording::State;
using recording::StdoutCapture;
using recording::W;

namespace {

constexpr uint32_t ADR_STATUS = 0xC200010C;
constexpr uint32_t ADR_PROGRAM_STROBE = 0xC2000110;
constexpr uint32_t ADR_READ_STROBE = 0xC2000114;
constexpr uint32_t ADR_PROGRAM_ENABLE = 0xC2000118;
constexpr uint32_t ADR_DATA0 = 0xC2000120;
constexpr uint32_t ADR_PMU = 0xCCB0B008;
constexpr uint32_t PROGRAM_POWER = 0x10000;
constexpr uint32_t kChipId = 0x7C000000;

using Fuses = std::array<uint32_t, 8>;

constexpr uint32_t data(uint32_t i) { return ADR_DATA0 + 4 * i; }

// Writes records into a fuse array the way the map lays them out, from bit 32.
struct MapWriter {
    Fuses &fuses;
    unsigned pos = 32;

    MapWriter &bits(uint64_t value, unsigned n) {
        for (unsigned j = 0; j < n; ++j, ++pos) {
            if ((value >> j) & 1u) {
                fuses[pos / 32] |= 1u << (pos % 32);
            }
        }
        return *this;
    }
    MapWriter &record(unsigned type, uint64_t value, unsigned data_bits) { return bits(type, 4).bits(value, data_bits); }
    MapWriter &xtal(uint8_t v) { return record(4, v, 8); }
    MapWriter &mac(uint64_t v) { return record(11, v, 48); }
};

class Efuse : public recording::Connected {
protected:
    void SetUp() override {
        Connected::SetUp();
        fuses[0] = kChipId;
        chip().on_write = [this](State &s, uint32_t address, uint32_t value) { controller(s, address, value); };
    }

    // The eFuse controller: a read cycle copies the fuses to the data words, a
    // program cycle ORs the data words into the fuses when enabled and
    // powered; both set the status to `done_status` unless they stall.
    void controller(State &s, uint32_t address, uint32_t value) {
        if ((value & 1u) == 0 || (address != ADR_READ_STROBE && address != ADR_PROGRAM_STROBE)) {
            return;
        }
        s.memory[ADR_STATUS] = 0;
        if (address == ADR_READ_STROBE) {
            if (read_stalls) {
                return;
            }
            for (uint32_t i = 0; i < 8; ++i) {
                s.memory[data(i)] = fuses[i];
            }
        } else {
            if (program_stalls) {
                return;
            }
            if (s.memory[ADR_PROGRAM_ENABLE] == 1 && (s.memory[ADR_PMU] & PROGRAM_POWER) != 0) {
                for (uint32_t i = 0; i < 8; ++i) {
                    fuses[i] |= s.memory[data(i)] & ~stuck[i];
                }
            }
        }
        s.memory[ADR_STATUS] = done_status;
    }

    bool programmed() const {
        for (const Access &a : log()) {
            if (a == W(ADR_PROGRAM_STROBE, 1)) {
                return true;
            }
        }
        return false;
    }

    std::vector<Access> image_read() const {
        std::vector<Access> v{W(ADR_READ_STROBE, 1), R(ADR_STATUS, 1)};
        for (uint32_t i = 0; i < 8; ++i) {
            v.push_back(R(data(i), fuses[i]));
        }
        return v;
    }

    Fuses fuses{};
    Fuses stuck{};  // fuses that do not blow
    bool read_stalls = false;
    bool program_stalls = false;
    uint32_t done_status = 1;
};

TEST_F(Efuse, ReaderStrobesPollsThenReadsTheDataWords) {
    MapWriter{fuses}.xtal(0x2A);
    chip().memory[data(1)] = 0;  // what the data registers held before: stale
    uint8_t xtal = 0;
    EXPECT_EQ(rf_efuse_read_xtal(&xtal), 0);
    EXPECT_EQ(xtal, 0x2A);
    EXPECT_EQ(log(), image_read());
}

TEST_F(Efuse, WriterProgramsTheWholeMapThenVerifies) {
    chip().memory[ADR_PMU] = 0x00000001;  // DC-DC on: preserved
    StdoutCapture out;
    EXPECT_EQ(rf_efuse_write_xtal(0x2A), 0);
    EXPECT_EQ(out.take(), "");
    std::vector<Access> expected{W(ADR_READ_STROBE, 1), R(ADR_STATUS, 1)};
    for (uint32_t i = 0; i < 8; ++i) {
        expected.push_back(R(data(i), i == 0 ? kChipId : 0));
    }
    expected.push_back(W(data(0), kChipId));
    expected.push_back(W(data(1), 0x000002A4));
    for (uint32_t i = 2; i < 8; ++i) {
        expected.push_back(W(data(i), 0));
    }
    const std::vector<Access> cycle{R(ADR_PMU, 0x1),           W(ADR_PMU, 0x10001),        W(ADR_PROGRAM_ENABLE, 1),
                                    W(ADR_PROGRAM_STROBE, 1),  R(ADR_STATUS, 1),           R(ADR_PMU, 0x10001),
                                    W(ADR_PMU, 0x1),           W(ADR_PROGRAM_ENABLE, 0)};
    expected.insert(expected.end(), cycle.begin(), cycle.end());
    const auto verify = image_read();
    expected.insert(expected.end(), verify.begin(), verify.end());
    EXPECT_EQ(log(), expected);
    EXPECT_EQ(fuses[1], 0x000002A4u);
}

TEST_F(Efuse, WorkedExampleOnAnEmptyMap) {
    EXPECT_EQ(rf_get_efuse_free_bits(), 224);
    EXPECT_EQ(rf_efuse_write_xtal(0x2A), 0);
    EXPECT_EQ(fuses[1], 0x000002A4u);  // byte 4 = 0xA4, byte 5 = 0x02
    EXPECT_EQ(rf_efuse_write_tx_power1(3, 5), 0);
    EXPECT_EQ(fuses[1], 0x003552A4u);  // byte 5 = 0x52, byte 6 = 0x35
    EXPECT_EQ(rf_get_efuse_free_bits(), 200);
    uint8_t high = 0xFF, low = 0xFF;
    EXPECT_EQ(rf_efuse_read_tx_power1(&high, &low), 0);
    EXPECT_EQ(high, 3);
    EXPECT_EQ(low, 5);
    uint16_t vid = 0xBEEF;
    EXPECT_EQ(rf_efuse_read_vid(&vid), -1);
    EXPECT_EQ(vid, 0xBEEF);
    uint32_t id = 0;
    EXPECT_EQ(rf_efuse_read_chip_id(&id), 0);
    EXPECT_EQ(id, kChipId);
}

TEST_F(Efuse, ValuesAreMaskedAndLaidOutLowByteFirst) {
    EXPECT_EQ(rf_efuse_write_vid(0x1234), 0);
    EXPECT_EQ(fuses[1], 0x00012349u);  // bytes 4 to 6: 0x49, 0x23, 0x01
    EXPECT_EQ(rf_efuse_write_tx_power2(0x13, 0x25), 0);  // only the low nibbles count
    EXPECT_EQ(rf_efuse_write_pid(0x7FFFABCD), 0);        // only the low 16 bits
    EXPECT_EQ(rf_efuse_write_rate_gain_b_n40(0x21, 0xF2), 0);  // data byte 0x12
    EXPECT_EQ(rf_efuse_write_rate_gain_g_n20(0xF, 0xE), 0);
    Fuses expected{kChipId};
    MapWriter{expected}.record(9, 0x1234, 16).record(6, 0x35, 8).record(10, 0xABCD, 16).record(12, 0x12, 8).record(
        13, 0xFE, 8);
    EXPECT_EQ(fuses, expected);
    uint16_t pid = 0;
    uint8_t high = 0, low = 0;
    EXPECT_EQ(rf_efuse_read_pid(&pid), 0);
    EXPECT_EQ(pid, 0xABCD);
    EXPECT_EQ(rf_efuse_read_tx_power2(&high, &low), 0);
    EXPECT_EQ(high * 16 + low, 0x35);
    EXPECT_EQ(rf_efuse_read_rate_gain_g_n20(&high, &low), 0);
    EXPECT_EQ(high * 16 + low, 0xFE);
    // Absent pair: both outputs become 0.
    EXPECT_EQ(rf_efuse_read_tx_power1(&high, &low), -1);
    EXPECT_EQ(high + low, 0);
}

TEST_F(Efuse, LastMacRecordWinsAndAnUnknownMacLeavesTheOutputAlone) {
    uint8_t mac[6] = {9, 9, 9, 9, 9, 9};
    EXPECT_EQ(rf_efuse_read_mac(mac), -1);
    EXPECT_EQ(mac[0] + mac[5], 18);
    MapWriter{fuses}.mac(0x554433221100);  // 00:11:22:33:44:55
    EXPECT_EQ(rf_efuse_read_mac(mac), 0);
    EXPECT_EQ(std::vector<uint8_t>(mac, mac + 6), (std::vector<uint8_t>{0x00, 0x11, 0x22, 0x33, 0x44, 0x55}));
    uint8_t second[6] = {0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB};
    EXPECT_EQ(rf_efuse_write_mac(second), 0);
    EXPECT_EQ(rf_efuse_read_mac(mac), 0);
    EXPECT_EQ(std::vector<uint8_t>(mac, mac + 6), std::vector<uint8_t>(second, second + 6));
}

TEST_F(Efuse, TypeSevenRecordHidesLaterRecordsFromReadersButNotFromTheWalk) {
    MapWriter{fuses}.xtal(0x11).record(7, 0x5, 4).xtal(0x22);  // ends at bit 64
    uint8_t xtal = 0;
    EXPECT_EQ(rf_efuse_read_xtal(&xtal), 0);
    EXPECT_EQ(xtal, 0x11);
    EXPECT_EQ(rf_get_efuse_free_bits(), 192);
    EXPECT_EQ(rf_efuse_write_xtal(0x33), 0);
    EXPECT_EQ(fuses[2], 0x00000334u);  // appended at bit 64, behind the second crystal record
}

TEST_F(Efuse, RecordEndingAtBit256FitsAndOneMoreBitDoesNot) {
    MapWriter w{fuses};
    w.mac(1).mac(2).mac(3).xtal(1).xtal(2).xtal(3).record(9, 0x0102, 16);
    ASSERT_EQ(w.pos, 244u);
    const Fuses before = fuses;
    StdoutCapture out;
    EXPECT_EQ(rf_efuse_write_vid(0x1234), -1);  // 20 bits: would end at 264
    EXPECT_EQ(out.take(), "There is not enough space, 256!!\n");
    EXPECT_FALSE(programmed());
    EXPECT_EQ(fuses, before);
    EXPECT_EQ(rf_efuse_write_xtal(0x5A), 0);  // 12 bits: ends exactly at 256
    EXPECT_EQ(fuses[7] >> 20, 0x5A4u);
    EXPECT_EQ(rf_get_efuse_free_bits(), 0);
    uint8_t xtal = 0;
    EXPECT_EQ(rf_efuse_read_xtal(&xtal), 0);
    EXPECT_EQ(xtal, 0x5A);
    StdoutCapture full;
    EXPECT_EQ(rf_efuse_write_tx_power1(1, 1), -1);
    EXPECT_EQ(full.take(), "There is not enough space, 256!!\n");
}

class BlockedAppend : public Efuse, public ::testing::WithParamInterface<unsigned> {};

TEST_P(BlockedAppend, WalkStoppedOnProgrammedFusesRefusesTheAppend) {
    MapWriter{fuses}.xtal(0x11).bits(GetParam(), 4);  // stops both walks at bit 44
    const Fuses before = fuses;
    EXPECT_EQ(rf_get_efuse_free_bits(), 212);
    StdoutCapture out;
    EXPECT_EQ(rf_efuse_write_xtal(0x22), -1);
    EXPECT_EQ(out.take().rfind("ERROR: ", 0), 0u);
    EXPECT_FALSE(programmed());
    EXPECT_EQ(fuses, before);
    uint8_t xtal = 0;
    EXPECT_EQ(rf_efuse_read_xtal(&xtal), 0);
    EXPECT_EQ(xtal, 0x11);
}

INSTANTIATE_TEST_SUITE_P(Types, BlockedAppend, ::testing::Values(3u, 14u, 15u));

TEST_F(Efuse, ProgramCycleThatNeverCompletesFails) {
    chip().memory[ADR_PMU] = 0x1;
    program_stalls = true;
    StdoutCapture out;
    EXPECT_EQ(rf_efuse_write_xtal(0x2A), -1);
    EXPECT_EQ(out.take().rfind("ERROR: ", 0), 0u);
    // After the strobe: 51 polls, then the supply and enable are dropped and
    // nothing else happens.
    const auto all = log();
    auto it = std::find(all.begin(), all.end(), W(ADR_PROGRAM_STROBE, 1));
    ASSERT_NE(it, all.end());
    std::vector<Access> expected(51, R(ADR_STATUS, 0));
    expected.push_back(R(ADR_PMU, 0x10001));
    expected.push_back(W(ADR_PMU, 0x1));
    expected.push_back(W(ADR_PROGRAM_ENABLE, 0));
    EXPECT_EQ(std::vector<Access>(it + 1, all.end()), expected);
}

TEST_F(Efuse, FusesThatDoNotBlowFailTheVerify) {
    stuck[1] = 0x00000200;  // one bit of the crystal record
    StdoutCapture out;
    EXPECT_EQ(rf_efuse_write_xtal(0x2A), -1);
    EXPECT_EQ(out.take().rfind("ERROR: eFuse verify failed", 0), 0u);
    EXPECT_EQ(fuses[1], 0x000000A4u);
}

TEST_F(Efuse, ReadCycleThatNeverCompletesFailsEveryExport) {
    read_stalls = true;
    StdoutCapture out;
    EXPECT_EQ(rf_efuse_write_xtal(1), -1);
    EXPECT_EQ(rf_efuse_write_mac(std::array<uint8_t, 6>{1, 2, 3, 4, 5, 6}.data()), -1);
    EXPECT_FALSE(programmed());
    EXPECT_EQ(rf_get_efuse_free_bits(), -1);
    uint8_t xtal = 7, high = 7, low = 7;
    uint16_t vid = 7;
    uint32_t id = 7;
    EXPECT_EQ(rf_efuse_read_xtal(&xtal), -1);
    EXPECT_EQ(rf_efuse_read_vid(&vid), -1);
    EXPECT_EQ(rf_efuse_read_rate_gain_b_n40(&high, &low), -1);
    EXPECT_EQ(rf_efuse_read_chip_id(&id), -1);
    EXPECT_EQ(xtal + vid + id, 21u);
    EXPECT_EQ(high + low, 0);
    // One read cycle of 51 polls, no data word read.
    chip().log.clear();
    EXPECT_EQ(rf_get_efuse_free_bits(), -1);
    std::vector<Access> expected{W(ADR_READ_STROBE, 1)};
    expected.insert(expected.end(), 51, R(ADR_STATUS, 0));
    EXPECT_EQ(log(), expected);
}

TEST_F(Efuse, RawReaderReportsTheLastWordBeforeTheFirstZeroWord) {
    fuses = {kChipId, 0x2A4, 0x1234, 0, 0x5555, 0, 0, 0};
    uint32_t address = 0, value = 0;
    EXPECT_EQ(rf_read_efuse(&address, &value), 0);
    EXPECT_EQ(address, 0xC2000128u);
    EXPECT_EQ(value, 0x1234u);
    std::vector<Access> expected;
    for (uint32_t i = 0; i < 8; ++i) {
        expected.push_back(W(data(i), 0));
    }
    expected.push_back(W(ADR_READ_STROBE, 1));
    expected.push_back(R(ADR_STATUS, 1));
    for (uint32_t i = 0; i < 4; ++i) {
        expected.push_back(R(data(i), fuses[i]));
    }
    EXPECT_EQ(log(), expected);
    fuses = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(rf_read_efuse(&address, &value), 0);
    EXPECT_EQ(address, 0xC200013Cu);
    EXPECT_EQ(value, 8u);
    fuses = {0, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(rf_read_efuse(&address, &value), 0);
    EXPECT_EQ(address, 0xC2000120u);
    EXPECT_EQ(value, 0u);
}

TEST_F(Efuse, OldChipIdReaderPrintsItsNoticeAndReadsWordZero) {
    StdoutCapture out;
    uint32_t id = 0;
    EXPECT_EQ(rf_chip_id(&id), 0);
    EXPECT_EQ(id, kChipId);
    EXPECT_EQ(out.take(), "this API is phase out!!!! please use rf_efuse_read_chip_id\n\n");
}

TEST_F(Efuse, RawReadersWaitForStatusOneWithinABound) {
    done_status = 2;  // done for the image read, never 1
    uint8_t xtal = 0;
    MapWriter{fuses}.xtal(0x2A);
    EXPECT_EQ(rf_efuse_read_xtal(&xtal), 0);
    chip().log.clear();
    uint32_t address = 0xAA, value = 0xBB, id = 0xCC;
    StdoutCapture out;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(rf_read_efuse(&address, &value), -1);
    EXPECT_EQ(rf_chip_id(&id), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(address + value + id, 0xAAu + 0xBB + 0xCC);
    const std::string text = out.take();
    EXPECT_NE(text.find("ERROR: "), std::string::npos);
    for (const Access &a : log()) {
        EXPECT_TRUE(a.write || a.address == ADR_STATUS) << "data word read after a time-out";
    }
}

class EfuseNoTransport : public ::testing::Test {
protected:
    void SetUp() override {
        recording::use_transport();
        state = &recording::open_state();
        state->reset();
    }
    State *state = nullptr;
};

TEST_F(EfuseNoTransport, ExportsReturnMinusOneAndTouchNothing) {
    StdoutCapture out;
    uint8_t mac[6] = {1, 2, 3, 4, 5, 6}, b1 = 9, b2 = 9;
    uint16_t w = 9;
    uint32_t d1 = 9, d2 = 9;
    const std::vector<int32_t> results{
        rf_efuse_write_mac(mac),           rf_efuse_read_mac(mac),           rf_efuse_read_chip_id(&d1),
        rf_get_efuse_free_bits(),          rf_efuse_write_tx_power1(1, 2),   rf_efuse_read_tx_power1(&b1, &b2),
        rf_efuse_write_tx_power2(1, 2),    rf_efuse_read_tx_power2(&b1, &b2), rf_efuse_write_rate_gain_b_n40(1, 2),
        rf_efuse_read_rate_gain_b_n40(&b1, &b2), rf_efuse_write_rate_gain_g_n20(1, 2),
        rf_efuse_read_rate_gain_g_n20(&b1, &b2), rf_efuse_write_xtal(1), rf_efuse_read_xtal(&b1),
        rf_efuse_write_vid(1),             rf_efuse_read_vid(&w),            rf_efuse_write_pid(1),
        rf_efuse_read_pid(&w),             rf_read_efuse(&d1, &d2),          rf_chip_id(&d1)};
    EXPECT_EQ(results, std::vector<int32_t>(20, -1));
    EXPECT_TRUE(state->log.empty());
    EXPECT_EQ(b1 + b2 + w + d1 + d2 + mac[0], 46u);
    EXPECT_EQ(out.take(), "");
}

}  // namespace
