// Decoding the eFuse map: records, values, superseded and unreachable
// records, stops, free bits, and reading the raw words through the
// controller's registers.
#include "deve/efuse_map.h"
#include "recording_api.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using deve::FuseMap;
using deve::FuseWords;
using deve::RecordState;

// Lays records out from bit 32 as the map format says (type nibble, then the
// data bits, low bit first).
class MapBuilder {
public:
    MapBuilder &header(std::uint32_t word) {
        words_[0] = word;
        return *this;
    }
    MapBuilder &record(unsigned type, const std::vector<std::uint8_t> &data, unsigned data_bits) {
        put(type, 4);
        for (unsigned j = 0; j < data_bits; ++j) {
            bit(((data[j / 8] >> (j % 8)) & 1u) != 0);
        }
        return *this;
    }
    MapBuilder &at(unsigned position) {
        position_ = position;
        return *this;
    }
    FuseWords words() const { return words_; }
    FuseMap map() const { return deve::decode_fuse_map(words_); }

private:
    void put(unsigned value, unsigned bits) {
        for (unsigned b = 0; b < bits; ++b) {
            bit(((value >> b) & 1u) != 0);
        }
    }
    void bit(bool on) {
        if (on) {
            words_[position_ / 32] |= 1u << (position_ % 32);
        }
        ++position_;
    }
    FuseWords words_{};
    unsigned position_ = 32;
};

std::vector<RecordState> states(const FuseMap &map) {
    std::vector<RecordState> out;
    for (const deve::MapRecord &r : map.records) {
        out.push_back(r.state);
    }
    return out;
}

std::string value(const deve::MapRecord &r) { return deve::record_value_text(r.type, r.data); }

TEST(CliFuseMap, EmptyMapHasOnlyTheHeader) {
    const FuseMap map = deve::decode_fuse_map(FuseWords{0x7C000000});
    EXPECT_TRUE(map.records.empty());
    EXPECT_EQ(map.chip_id(), 0x7C000000u);
    EXPECT_EQ(map.next_record, 32u);
    EXPECT_EQ(map.readers_end, 32u);
    EXPECT_EQ(map.free_bits(), 224);
    EXPECT_EQ(map.stray_bits, 0u);
    EXPECT_EQ(map.bit_string().substr(0, 32), "00000000000000000000000000111110");
}

TEST(CliFuseMap, DecodesTheCrystalAndPowerRecordsFromTheirBytes) {
    // Crystal 0x2A at bit 32, then the power pair 3 and 5: bytes 4-6 are
    // 0xA4, 0x52, 0x35.
    const FuseMap map = deve::decode_fuse_map(FuseWords{0, 0x003552A4});
    ASSERT_EQ(map.records.size(), 2u);
    EXPECT_EQ(map.records[0].position, 32u);
    EXPECT_EQ(map.records[0].type, 4u);
    EXPECT_EQ(map.records[0].bits, 12u);
    EXPECT_EQ(value(map.records[0]), "42");
    EXPECT_EQ(deve::record_type_name(4), "Freq_offset");
    EXPECT_EQ(map.records[1].position, 44u);
    EXPECT_EQ(value(map.records[1]), "3,5");
    EXPECT_EQ(deve::record_values(5, map.records[1].data), (std::vector<std::uint32_t>{3, 5}));
    EXPECT_EQ(deve::record_type_name(5), "TX_PWR1");
    EXPECT_EQ(states(map), (std::vector<RecordState>{RecordState::Current, RecordState::Current}));
    EXPECT_EQ(map.next_record, 56u);
    EXPECT_EQ(map.free_bits(), 200);
}

TEST(CliFuseMap, DecodesIdentifiersLowByteFirst) {
    // VID 0x1234 on an empty map: bytes 4-6 are 0x49, 0x23, 0x01.
    const FuseMap map = deve::decode_fuse_map(FuseWords{0, 0x00012349});
    ASSERT_EQ(map.records.size(), 1u);
    EXPECT_EQ(deve::record_type_name(9), "VID");
    EXPECT_EQ(value(map.records[0]), "0x1234");
    EXPECT_EQ(map.records[0].bits, 20u);
    EXPECT_EQ(map.next_record, 52u);
}

TEST(CliFuseMap, LaterRecordOfATypeSupersedesTheEarlier) {
    const FuseMap map = MapBuilder()
                            .record(11, {0x00, 0x11, 0x22, 0x33, 0x44, 0x55}, 48)
                            .record(5, {0x12}, 8)
                            .record(11, {0x02, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE}, 48)
                            .map();
    EXPECT_EQ(states(map),
              (std::vector<RecordState>{RecordState::Superseded, RecordState::Current, RecordState::Current}));
    ASSERT_NE(map.current(11), nullptr);
    EXPECT_EQ(value(*map.current(11)), "02:aa:bb:cc:dd:ee");
    EXPECT_EQ(map.next_record, 32u + 52 + 12 + 52);
}

TEST(CliFuseMap, RecordsBehindAReaderStopAreUnreachableButStillTakeSpace) {
    // Crystal 100, a type-7 record, crystal 120: readers return 100, the next
    // record goes after the second crystal.
    const FuseMap map = MapBuilder().record(4, {100}, 8).record(7, {0x5}, 4).record(4, {120}, 8).map();
    EXPECT_EQ(states(map),
              (std::vector<RecordState>{RecordState::Current, RecordState::Stop, RecordState::Unreachable}));
    EXPECT_EQ(map.readers_end, 44u);
    EXPECT_EQ(map.next_record, 64u);
    ASSERT_NE(map.current(4), nullptr);
    EXPECT_EQ(value(*map.current(4)), "100");
    EXPECT_EQ(value(map.records[1]), "0x05");
    EXPECT_EQ(deve::record_type_name(7), "");
}

TEST(CliFuseMap, TypeThreeEndsThePlacementWalkOnProgrammedFuses) {
    const FuseMap map = MapBuilder().record(4, {1}, 8).record(3, {1, 2, 3, 4, 5, 6}, 48).record(5, {0x11}, 8).map();
    EXPECT_EQ(states(map),
              (std::vector<RecordState>{RecordState::Current, RecordState::Stop, RecordState::Unreachable}));
    EXPECT_EQ(map.next_record, 44u);
    EXPECT_EQ(map.free_bits(), 212);
    EXPECT_FALSE(map.fits(12));  // the walk's end holds the type-3 record
}

TEST(CliFuseMap, TypeFifteenCannotBeDecodedPast) {
    const FuseMap map = MapBuilder().record(4, {7}, 8).record(15, {0xFF}, 8).map();
    EXPECT_EQ(states(map), (std::vector<RecordState>{RecordState::Current, RecordState::Undecodable}));
    EXPECT_EQ(map.records[1].bits, 0u);
    EXPECT_EQ(map.next_record, 44u);
    EXPECT_EQ(map.readers_end, 44u);
    EXPECT_EQ(map.stray_bits, 12u);  // the nibble and its byte after it
    EXPECT_FALSE(map.fits(12));
}

TEST(CliFuseMap, StrayBitsAfterTheEndMarkAreCounted) {
    FuseWords words{0, 0x00000024};  // crystal 2 at bit 32
    words[5] = 0x00000300;           // two programmed bits far behind
    const FuseMap map = deve::decode_fuse_map(words);
    EXPECT_EQ(map.records.size(), 1u);
    EXPECT_EQ(map.stray_bits, 2u);
    EXPECT_TRUE(map.fits(12));
}

TEST(CliFuseMap, ARecordEndingAtBitTwoHundredFiftySixFitsAndOneMoreBitDoesNot) {
    // 32 + 7 x 12 + 4 x 20 + 4 x 12: the next record starts at bit 244.
    MapBuilder builder;
    for (int i = 0; i < 7; ++i) {
        builder.record(4, {static_cast<std::uint8_t>(i + 1)}, 8);  // 84 bits
    }
    for (int i = 0; i < 4; ++i) {
        builder.record(9, {0x01, static_cast<std::uint8_t>(i)}, 16);  // 80 bits
    }
    for (int i = 0; i < 4; ++i) {
        builder.record(4, {static_cast<std::uint8_t>(i + 10)}, 8);  // 48 bits
    }
    const FuseMap map = builder.map();
    ASSERT_EQ(map.next_record, 244u);
    EXPECT_TRUE(map.fits(12));
    EXPECT_FALSE(map.fits(13));
    EXPECT_FALSE(map.fits(20));
    EXPECT_EQ(value(*map.current(4)), "13");
    EXPECT_EQ(value(*map.current(9)), "0x0301");
}

TEST(CliFuseMap, ARecordRunningPastTheEndIsTruncatedAndEndsTheReaders) {
    MapBuilder builder;
    for (int i = 0; i < 8; ++i) {
        builder.record(4, {static_cast<std::uint8_t>(i + 1)}, 8);
    }
    for (int i = 0; i < 4; ++i) {
        builder.record(10, {0x34, 0x12}, 16);
    }
    builder.record(11, {0x00, 0x11, 0x22, 0x33, 0x44, 0x55}, 48);  // starts at 208, would end at 260
    const FuseMap map = builder.map();
    ASSERT_EQ(map.records.back().position, 208u);
    EXPECT_EQ(map.records.back().state, RecordState::Truncated);
    EXPECT_TRUE(map.records.back().data.empty());
    EXPECT_EQ(map.readers_end, 208u);
    EXPECT_EQ(map.next_record, 256u);
    EXPECT_EQ(map.free_bits(), 0);
    EXPECT_EQ(map.current(11), nullptr);
}

TEST(CliFuseWordsRead, StrobesWaitsAndReadsTheEightDataWords) {
    fake::RecordingApi api;
    api.registers[0xC200010C] = 1;
    for (std::uint32_t i = 0; i < 8; ++i) {
        api.registers[0xC2000120 + 4 * i] = 0x100 + i;
    }
    const std::optional<FuseWords> words = deve::read_fuse_words(api);
    ASSERT_TRUE(words.has_value());
    EXPECT_EQ((*words)[0], 0x100u);
    EXPECT_EQ((*words)[7], 0x107u);
    EXPECT_EQ(api.calls, (std::vector<std::string>{fake::W(0xC2000114, 0x00000001), fake::R(0xC200010C),
                                                    fake::R(0xC2000120), fake::R(0xC2000124), fake::R(0xC2000128),
                                                    fake::R(0xC200012C), fake::R(0xC2000130), fake::R(0xC2000134),
                                                    fake::R(0xC2000138), fake::R(0xC200013C)}));
}

TEST(CliFuseWordsRead, GivesUpWhenTheControllerNeverCompletes) {
    fake::RecordingApi api;  // status reads 0 for ever
    EXPECT_FALSE(deve::read_fuse_words(api).has_value());
    EXPECT_EQ(api.named(fake::R(0xC200010C)).size(), static_cast<std::size_t>(deve::kFuseReadPolls));
    EXPECT_EQ(api.calls.back(), fake::R(0xC200010C));  // no data word was read
}

}  // namespace
