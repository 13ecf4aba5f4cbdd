// The arithmetic of MAC ranges and the rules of the pools, without a store.
#include "mac_pool.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using namespace deve::cli;

constexpr MacNumber kGroupBoundary = MacNumber{0x03} << 40;  // 03:00:00:00:00:00, the first group address after 02:...

// Refusal by the definition, address by address.
bool refused_by_enumeration(const MacRange &r, const std::vector<PoolRange> &existing) {
    if (r.last < r.first) {
        return true;
    }
    for (MacNumber m = r.first; m <= r.last; ++m) {
        const bool group = (mac_of(m)[0] & 0x01) != 0;
        bool taken = false;
        for (const PoolRange &p : existing) {
            taken = taken || p.range.contains(m);
        }
        if (m == 0 || group || taken) {
            return true;
        }
    }
    return false;
}

TEST(MacPool, RangeRefusalsAgreeWithTheAddresses) {
    // Small ranges about the start of the address space and about the edge
    // where byte 0 turns odd, against two pools' ranges there.
    const std::vector<PoolRange> existing{{"a", {kGroupBoundary - 40, kGroupBoundary - 30}}, {"b", {20, 25}}};
    std::mt19937_64 random(7);
    for (int i = 0; i < 4000; ++i) {
        const MacNumber base = (i % 2 == 0) ? 0 : kGroupBoundary - 64;
        const MacRange r{base + random() % 80, base + random() % 80};
        const std::optional<std::string> refusal = refuse_range(r, existing);
        ASSERT_EQ(refusal.has_value(), refused_by_enumeration(r, existing))
            << mac_text(r.first) << " to " << mac_text(r.last) << ": " << refusal.value_or("accepted");
    }
    EXPECT_EQ(refuse_range({MacNumber{0x02} << 40, (MacNumber{0x02} << 40) + 9}, existing), std::nullopt);
    EXPECT_NE(refuse_range({5, 4}, {})->find("reversed"), std::string::npos);
    EXPECT_NE(refuse_range({0, 4}, {})->find("all-zero"), std::string::npos);
    EXPECT_NE(refuse_range({kGroupBoundary - 1, kGroupBoundary}, {})->find("multicast"), std::string::npos);
    EXPECT_NE(refuse_range({22, 30}, existing)->find("overlaps pool b's range"), std::string::npos);
    // A whole 24-bit block of a locally administered prefix.
    EXPECT_EQ(refuse_range({*parse_mac_number("02:00:00:00:00:00"), *parse_mac_number("02:00:00:ff:ff:ff")}, {}),
              std::nullopt);
    EXPECT_EQ(mac_text(*parse_mac_number("02-AB-00-00-01-0F")), "02:ab:00:00:01:0f");
}

TEST(MacPool, StatesOnlyReleasedReturnsToFreeAndNothingLeavesTheFuses) {
    const std::vector<MacState> all{MacState::Free, MacState::Reserved, MacState::Burned, MacState::Spoiled,
                                    MacState::Released};
    for (MacState s : all) {
        EXPECT_EQ(parse_state(state_name(s)), s);
        // Nothing that is or may be in a board's fuses is handed out again,
        // nor goes back to free.
        const bool reservable = may_be_reserved(s);
        EXPECT_EQ(reservable, s == MacState::Free || s == MacState::Released) << state_name(s);
        EXPECT_EQ(may_change(s, MacState::Free), s == MacState::Released) << state_name(s);
        EXPECT_FALSE(may_change(MacState::Burned, s)) << state_name(s);
    }
    // The outcome of a burn is read from the fuses, not from the library.
    EXPECT_EQ(burn_outcome_state(true, true), MacState::Burned);
    EXPECT_EQ(burn_outcome_state(true, false), MacState::Spoiled);
    EXPECT_EQ(burn_outcome_state(false, false), MacState::Released);
    EXPECT_EQ(resolve_reservation(10, 10), MacState::Burned);
    EXPECT_EQ(resolve_reservation(10, 11), MacState::Released);
    EXPECT_EQ(resolve_reservation(10, std::nullopt), MacState::Released);
}

TEST(MacPool, ABoardThatHoldsAnAddress) {
    const BoardId board{"SN1", "0x00000000"};
    const MacNumber mac = 0x020000000010;
    auto row = [&](MacState state, const std::string &serial) {
        return MacRow{mac, "line", state, "run", BoardId{serial, "0x00000000"}};
    };
    using K = HeldDecision::Kind;
    EXPECT_EQ(decide_held(mac, row(MacState::Burned, "SN1"), board, false).kind, K::Unchanged);
    EXPECT_FALSE(decide_held(mac, row(MacState::Burned, "SN1"), board, false).record_burned);
    // The fuses are the truth: the board's own spoiled or released address is burned.
    for (MacState s : {MacState::Reserved, MacState::Spoiled, MacState::Released}) {
        const HeldDecision d = decide_held(mac, row(s, "SN1"), board, false);
        EXPECT_EQ(d.kind, K::Unchanged) << state_name(s);
        EXPECT_TRUE(d.record_burned) << state_name(s);
    }
    for (MacState s : {MacState::Reserved, MacState::Burned, MacState::Spoiled}) {
        const HeldDecision d = decide_held(mac, row(s, "SN2"), board, true);
        EXPECT_EQ(d.kind, K::Duplicate) << state_name(s);
        EXPECT_EQ(d.message.rfind("duplicate MAC", 0), 0u) << d.message;
    }
    EXPECT_EQ(decide_held(mac, std::nullopt, board, false).kind, K::Unknown);
    EXPECT_EQ(decide_held(mac, row(MacState::Released, "SN2"), board, false).kind, K::Unknown);
    EXPECT_EQ(decide_held(mac, std::nullopt, board, true).kind, K::Adopt);
}

TEST(MacPool, Durations) {
    EXPECT_EQ(parse_duration("90"), std::chrono::seconds(90));
    EXPECT_EQ(parse_duration("15m"), std::chrono::seconds(900));
    EXPECT_EQ(parse_duration("12h"), std::chrono::seconds(43200));
    EXPECT_EQ(parse_duration("7d"), std::chrono::seconds(604800));
    for (const char *bad : {"", "h", "1.5h", "-3m", "10w", "3hh", "99999999999999"}) {
        EXPECT_EQ(parse_duration(bad), std::nullopt) << bad;
    }
}

}  // namespace
