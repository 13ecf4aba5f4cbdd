// The replay's two modes on a made-up session: an eFuse read cycle (a strobe
// written, a status polled until done, the data read) between two writes.
#include "replay_script.h"

#include <gtest/gtest.h>

namespace {

using xolt_replay::Answer;
using xolt_replay::Script;
using xolt_trace::Entry;
using xolt_trace::EntryPoint;

constexpr std::uint32_t kStrobe = 0xC2000114;
constexpr std::uint32_t kStatus = 0xC200010C;
constexpr std::uint32_t kData0 = 0xC2000120;
constexpr std::uint32_t kPmu = 0xCCB0B008;

Entry read(std::uint32_t address, std::uint32_t value = 0) {
    Entry e;
    e.entry = EntryPoint::ReadReg;
    e.args = {address};
    e.values = {value};
    return e;
}
Entry call(std::uint32_t address) {
    Entry e = read(address);
    e.values.clear();
    return e;
}
Entry write(std::uint32_t address, std::uint32_t value) {
    Entry e;
    e.entry = EntryPoint::WriteReg;
    e.args = {address, value};
    return e;
}
Entry plain(EntryPoint point) {
    Entry e;
    e.entry = point;
    return e;
}

// Entries 1-9: open, a read cycle polled three times, one data word, a PMU
// write, close.
std::vector<Entry> session() {
    return {plain(EntryPoint::Init), plain(EntryPoint::Open), write(kStrobe, 1), read(kStatus, 0), read(kStatus, 0),
            read(kStatus, 1),        read(kData0, 0x7C000000), write(kPmu, 1),    plain(EntryPoint::Close)};
}

std::uint32_t value_of(const Answer &a) { return a.values.at(0); }

TEST(Replay, StrictAnswersTheSameSessionAndStopsAtTheFirstChangedCall) {
    Script same(session(), 1, false);
    for (const Entry &e : session()) {
        Entry asked = e;
        asked.values.clear();
        const Answer a = same.next(asked);
        ASSERT_TRUE(a.matched) << same.divergence();
        EXPECT_EQ(a.values, e.values);
    }
    EXPECT_EQ(same.played(), same.to_play());

    // The library writes another PMU value: entry 8.
    Script changed(session(), 1, false);
    for (std::size_t i = 0; i < 7; ++i) {
        Entry asked = session()[i];
        asked.values.clear();
        ASSERT_TRUE(changed.next(asked).matched);
    }
    EXPECT_FALSE(changed.next(write(kPmu, 0)).matched);
    EXPECT_EQ(changed.divergence_index(), 8u);
    EXPECT_NE(changed.divergence().find("entry 8: recorded write_reg ADR_PMU_CONTROL <- 0x00000001, got write_reg "
                                        "ADR_PMU_CONTROL <- 0x00000000"),
              std::string::npos)
        << changed.divergence();
    // Every call after it fails too, also one the trace has next.
    EXPECT_FALSE(changed.next(plain(EntryPoint::Close)).matched);

    // One poll fewer is a change in strict mode: the data read comes where
    // the trace polls again.
    Script fewer(session(), 1, false);
    for (const Entry &e : {plain(EntryPoint::Init), plain(EntryPoint::Open), write(kStrobe, 1), call(kStatus),
                           call(kStatus)}) {
        ASSERT_TRUE(fewer.next(e).matched);
    }
    EXPECT_FALSE(fewer.next(call(kData0)).matched);
    EXPECT_EQ(fewer.divergence_index(), 6u);

    // Past the end of the trace.
    Script longer(session(), 1, false);
    for (const Entry &e : session()) {
        Entry asked = e;
        asked.values.clear();
        ASSERT_TRUE(longer.next(asked).matched);
    }
    EXPECT_FALSE(longer.next(call(kStatus)).matched);
    EXPECT_NE(longer.divergence().find("the trace ends after entry 9"), std::string::npos) << longer.divergence();
}

TEST(Replay, WritesModeTakesAnyNumberOfPollsButNoChangedWrite) {
    // Polled five times (two more than recorded): the recorded values in
    // turn, then "done" again; the data word; a register last read before.
    Script more(session(), 1, true);
    EXPECT_TRUE(more.next(plain(EntryPoint::Init)).matched);
    EXPECT_TRUE(more.next(plain(EntryPoint::Open)).matched);
    EXPECT_TRUE(more.next(write(kStrobe, 1)).matched);
    std::vector<std::uint32_t> polled;
    for (int i = 0; i < 5; ++i) {
        polled.push_back(value_of(more.next(call(kStatus))));
    }
    EXPECT_EQ(polled, (std::vector<std::uint32_t>{0, 0, 1, 1, 1}));
    EXPECT_EQ(value_of(more.next(call(kData0))), 0x7C000000u);
    EXPECT_TRUE(more.next(write(kPmu, 1)).matched);
    EXPECT_EQ(value_of(more.next(call(kData0))), 0x7C000000u);  // not read in this stretch: its last value
    EXPECT_TRUE(more.next(plain(EntryPoint::Close)).matched);
    EXPECT_EQ(more.played(), more.to_play());

    // Polled once, data word left out: the reads left over are passed over.
    Script fewer(session(), 1, true);
    for (const Entry &e : {plain(EntryPoint::Init), plain(EntryPoint::Open), write(kStrobe, 1), call(kStatus),
                           write(kPmu, 1), plain(EntryPoint::Close)}) {
        EXPECT_TRUE(fewer.next(e).matched) << fewer.divergence();
    }

    // A changed write fails at its entry; so does a read of a register the
    // trace has not read by then.
    Script changed(session(), 1, true);
    for (const Entry &e : {plain(EntryPoint::Init), plain(EntryPoint::Open), write(kStrobe, 1)}) {
        ASSERT_TRUE(changed.next(e).matched);
    }
    EXPECT_FALSE(changed.next(write(kPmu, 0)).matched);
    EXPECT_EQ(changed.divergence_index(), 8u);

    Script unknown(session(), 1, true);
    ASSERT_TRUE(unknown.next(plain(EntryPoint::Init)).matched);
    EXPECT_FALSE(unknown.next(call(kData0)).matched);
    EXPECT_NE(unknown.divergence().find("read_reg ADR_EFUSE_DATA0[0], a read the trace has not made by then"),
              std::string::npos)
        << unknown.divergence();
}

TEST(Replay, ASectionIsChosenByItsNumber) {
    xolt_trace::Trace trace;
    trace.sections = {{1, "t", "a"}, {2, "t", "b"}};
    for (std::size_t s = 1; s <= 2; ++s) {
        Entry e = read(kData0, static_cast<std::uint32_t>(s));
        e.section = s;
        trace.entries.push_back(e);
    }
    std::string error;
    std::optional<Script> second = xolt_replay::make_script(trace, {false, 2}, error);
    ASSERT_TRUE(second) << error;
    EXPECT_EQ(value_of(second->next(call(kData0))), 2u);
    EXPECT_FALSE(xolt_replay::make_script(trace, {false, 3}, error));
    EXPECT_NE(error.find("the trace has 2 section(s), not a section 3"), std::string::npos) << error;
}

}  // namespace
