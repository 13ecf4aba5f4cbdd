// Staging an eFuse burn: value checks, the MAC address checks, where the
// record goes, the refusals, and the verification after programming.
#include "deve/efuse_burn.h"
#include "recording_api.h"

#include <gtest/gtest.h>

namespace {

using deve::BurnPlan;
using deve::FuseMap;
using deve::FuseWords;

const deve::EfuseItem &item(const char *name) {
    const deve::EfuseItem *found = deve::find_efuse_item(name);
    EXPECT_NE(found, nullptr) << name;
    return *found;
}

// Crystal 42 at bit 32 and the power pair 3, 5 at bit 44 (next record at 56).
FuseMap sample_map() { return deve::decode_fuse_map(FuseWords{0, 0x003552A4}); }

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

BurnPlan plan_for(const char *name, std::vector<std::uint32_t> values, const FuseMap &map) {
    const deve::Staging staging = deve::item_request(item(name), values, map);
    EXPECT_TRUE(staging.request.has_value()) << staging.refusal;
    return deve::plan_burn(*staging.request, map);
}

TEST(CliBurnRequest, ItemsAreFoundIgnoringCase) {
    EXPECT_EQ(deve::find_efuse_item("freq_OFFSET"), &deve::kEfuseItems[2]);
    EXPECT_EQ(deve::find_efuse_item("TX_Rate2"), &deve::kEfuseItems[4]);
    EXPECT_EQ(deve::find_efuse_item("MAC"), nullptr);
}

TEST(CliBurnRequest, ValuesAreCountedAndRangeChecked) {
    const FuseMap empty;
    EXPECT_TRUE(contains(deve::item_request(item("TX_PWR1"), {3}, empty).refusal, "takes two values"));
    EXPECT_TRUE(contains(deve::item_request(item("TX_PWR1"), {3, 16}, empty).refusal,
                         "2400 PWR = 16 is out of range 0 to 15"));
    EXPECT_TRUE(contains(deve::item_request(item("Freq_offset"), {256}, empty).refusal, "out of range 0 to 255"));
    EXPECT_TRUE(contains(deve::item_request(item("Freq_offset"), {1, 2}, empty).refusal, "takes one value"));
    EXPECT_TRUE(contains(deve::item_request(item("TX_Rate2"), {1}, empty).refusal, "takes two values"));

    const deve::Staging power = deve::item_request(item("TX_PWR1"), {3, 5}, empty);
    ASSERT_TRUE(power.request.has_value());
    EXPECT_EQ(power.request->data, (std::vector<std::uint8_t>{0x35}));
    EXPECT_EQ(power.request->value_text(), "3,5");
    const deve::Staging crystal = deve::item_request(item("Freq_offset"), {140}, empty);
    ASSERT_TRUE(crystal.request.has_value());
    EXPECT_EQ(crystal.request->data, (std::vector<std::uint8_t>{140}));
    EXPECT_EQ(crystal.request->type, 4u);
}

TEST(CliBurnRequest, LeftOutSecondValueOfTheElevenBGainKeepsTheStoredOne) {
    // TX_Rate1 record 4,7 at bit 32.
    const FuseMap map = deve::decode_fuse_map(FuseWords{0, 0x0000047C});
    ASSERT_NE(map.current(12), nullptr);
    const deve::Staging kept = deve::item_request(item("TX_Rate1"), {9}, map);
    ASSERT_TRUE(kept.request.has_value());
    EXPECT_EQ(kept.request->second, 7u);
    EXPECT_EQ(kept.request->data, (std::vector<std::uint8_t>{0x97}));
    const deve::Staging fresh = deve::item_request(item("TX_Rate1"), {9}, FuseMap{});
    ASSERT_TRUE(fresh.request.has_value());
    EXPECT_EQ(fresh.request->data, (std::vector<std::uint8_t>{0x90}));
}

TEST(CliBurnRequest, MacAddressesThatAreNoStationAddressAreRefused) {
    EXPECT_TRUE(contains(deve::mac_request({0, 0, 0, 0, 0, 0}).refusal, "all-zero"));
    EXPECT_TRUE(contains(deve::mac_request({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}).refusal, "broadcast"));
    EXPECT_TRUE(contains(deve::mac_request({0x01, 0x00, 0x5E, 0x00, 0x00, 0x01}).refusal, "multicast"));
    const deve::Staging ok = deve::mac_request({0x00, 0x11, 0x22, 0x33, 0x44, 0x55});
    ASSERT_TRUE(ok.request.has_value());
    EXPECT_EQ(ok.request->name(), "MAC");
    EXPECT_EQ(ok.request->value_text(), "00:11:22:33:44:55");
    EXPECT_TRUE(deve::mac_request({0x02, 0, 0, 0, 0, 1}).request.has_value());  // locally administered is fine
}

TEST(CliBurnPlan, RecordGoesWhereTheLibraryWalkEnds) {
    const BurnPlan plan = plan_for("TX_PWR2", {1, 2}, sample_map());
    EXPECT_TRUE(plan.allowed()) << plan.refusal;
    EXPECT_EQ(plan.position, 56u);
    EXPECT_EQ(plan.bits, 12u);
    EXPECT_FALSE(plan.value_before.has_value());
    EXPECT_EQ(plan.value_after, "1,2");
    EXPECT_EQ(plan.before.free_bits(), 200);
    EXPECT_EQ(plan.after.free_bits(), 188);
    // Type 6 in the low nibble of byte 7, data 0x12 low nibble first.
    EXPECT_EQ(plan.after.words[1], 0x263552A4u);
    EXPECT_EQ(plan.after.words[2], 0x00000001u);
}

TEST(CliBurnPlan, ABurnThatChangesNothingIsUnchangedAndTheRetestConditions) {
    const BurnPlan same = plan_for("TX_PWR1", {3, 5}, sample_map());
    EXPECT_TRUE(contains(same.refusal, "TX_PWR1 already reads 3,5")) << same.refusal;
    EXPECT_TRUE(same.unchanged);
    EXPECT_FALSE(same.allowed());  // still nothing to burn for a front end that only asks allowed()

    const auto planned = [](const char *name, std::vector<std::uint32_t> values, deve::BurnConditions c) {
        const deve::Staging staging = deve::item_request(item(name), values, sample_map());
        return deve::plan_burn(*staging.request, sample_map(), c);
    };
    // What the chip holds already passes whatever the conditions say.
    EXPECT_TRUE(planned("TX_PWR1", {3, 5}, {true, std::string("9,9")}).unchanged);
    const BurnPlan replace = planned("TX_PWR1", {3, 6}, {true, std::nullopt});
    EXPECT_TRUE(contains(replace.refusal, "TX_PWR1 already holds 3,5: not burnt over")) << replace.refusal;
    EXPECT_FALSE(replace.unchanged);
    EXPECT_TRUE(planned("TX_PWR2", {1, 2}, {true, std::nullopt}).allowed());  // blank
    EXPECT_TRUE(contains(planned("TX_PWR1", {3, 6}, {false, std::string("3,4")}).refusal,
                         "TX_PWR1 reads 3,5, not the expected 3,4"));
    EXPECT_TRUE(planned("TX_PWR1", {3, 6}, {false, std::string("3,5")}).allowed());
    EXPECT_TRUE(contains(planned("TX_PWR2", {1, 2}, {false, std::string("0,0")}).refusal, "reads nothing"));
    const BurnPlan other = plan_for("TX_PWR1", {3, 6}, sample_map());
    EXPECT_TRUE(other.allowed()) << other.refusal;
    EXPECT_EQ(other.value_before.value_or(""), "3,5");
    EXPECT_EQ(other.value_after, "3,6");
}

TEST(CliBurnPlan, NoSpaceIsRefused) {
    // Fifteen crystal records: the next record goes at bit 212.
    FuseWords words{};
    for (unsigned r = 0; r < 15; ++r) {
        const unsigned p = 32 + 12 * r;
        const std::uint32_t record = 0x4u | (std::uint32_t{r + 1} << 4);  // type 4, value r + 1
        for (unsigned b = 0; b < 12; ++b) {
            if ((record >> b) & 1u) {
                words[(p + b) / 32] |= 1u << ((p + b) % 32);
            }
        }
    }
    const FuseMap map = deve::decode_fuse_map(words);
    ASSERT_EQ(map.next_record, 212u);
    const deve::Staging mac = deve::mac_request({0x00, 0x11, 0x22, 0x33, 0x44, 0x55});
    const BurnPlan refused = deve::plan_burn(*mac.request, map);
    EXPECT_TRUE(contains(refused.refusal, "needs 52 bits and 44 are free")) << refused.refusal;
    EXPECT_TRUE(plan_for("TX_PWR1", {1, 1}, map).allowed());
}

TEST(CliBurnPlan, ARecordBehindAReaderStopIsRefused) {
    // Crystal 100, then a type-7 record at bit 44.
    const FuseMap map = deve::decode_fuse_map(FuseWords{0, 0x57644});
    ASSERT_EQ(map.readers_end, 44u);
    const BurnPlan plan = plan_for("Freq_offset", {120}, map);
    EXPECT_TRUE(contains(plan.refusal, "readers would never see it")) << plan.refusal;
    EXPECT_TRUE(contains(plan.refusal, "type-7 record at bit 44")) << plan.refusal;
}

TEST(CliBurnPlan, ProgrammedFusesAtTheWalkEndAreNeverBurntOver) {
    // Crystal 1, then a type-3 record at bit 44 that the walk cannot pass.
    FuseWords words{0, 0x00003014};
    words[2] = 0x1;  // some of its data bits
    const FuseMap map = deve::decode_fuse_map(words);
    const BurnPlan plan = plan_for("TX_PWR1", {1, 2}, map);
    EXPECT_TRUE(contains(plan.refusal, "already programmed")) << plan.refusal;
    EXPECT_TRUE(contains(plan.refusal, "type-3 record at bit 44")) << plan.refusal;
}

TEST(CliBurnCheck, VerifiedOnlyWhenTheFusesHoldTheRecordAndTheLibraryAgrees) {
    const BurnPlan plan = plan_for("TX_PWR2", {1, 2}, sample_map());
    const deve::BurnOutcome good = deve::check_burn(plan, 0, plan.after.words);
    EXPECT_TRUE(good.verified) << good.detail;
    EXPECT_TRUE(good.detail.empty());

    const deve::BurnOutcome untouched = deve::check_burn(plan, -1, plan.before.words);
    EXPECT_FALSE(untouched.verified);
    EXPECT_TRUE(contains(untouched.detail, "did not take: word 1")) << untouched.detail;
    ASSERT_TRUE(untouched.readback.has_value());
    EXPECT_EQ(untouched.readback->current(6), nullptr);

    const deve::BurnOutcome disowned = deve::check_burn(plan, -1, plan.after.words);
    EXPECT_FALSE(disowned.verified);
    EXPECT_TRUE(contains(disowned.detail, "library reported the write as failed")) << disowned.detail;

    const deve::BurnOutcome unread = deve::check_burn(plan, 0, std::nullopt);
    EXPECT_FALSE(unread.verified);
    EXPECT_TRUE(contains(unread.detail, "could not be read back"));
}

TEST(CliBurnCheck, ExecuteCallsTheItemsWriteExportAndReadsBack) {
    const BurnPlan plan = plan_for("TX_PWR2", {1, 2}, sample_map());
    fake::RecordingApi api;
    api.registers[0xC200010C] = 1;
    for (std::uint32_t i = 0; i < 8; ++i) {
        api.registers[0xC2000120 + 4 * i] = plan.after.words[i];
    }
    const deve::BurnOutcome outcome = deve::execute_burn(api, plan);
    EXPECT_TRUE(outcome.verified) << outcome.detail;
    ASSERT_FALSE(api.calls.empty());
    EXPECT_EQ(api.calls.front(), "rf_efuse_write_tx_power2(1, 2)");
    EXPECT_EQ(api.calls[1], fake::W(0xC2000114, 0x00000001));

    fake::RecordingApi failing;
    failing.results["rf_efuse_write_mac"] = -1;
    failing.registers[0xC200010C] = 1;
    const deve::Staging mac = deve::mac_request({0x00, 0x11, 0x22, 0x33, 0x44, 0x55});
    const deve::BurnOutcome not_burnt = deve::execute_burn(failing, deve::plan_burn(*mac.request, sample_map()));
    EXPECT_EQ(failing.calls.front(), "rf_efuse_write_mac(00:11:22:33:44:55)");
    EXPECT_EQ(not_burnt.library_result, -1);
    EXPECT_FALSE(not_burnt.verified);
}

}  // namespace
