// What trace diff counts, and what link check reads from a module's header.
#include "link_check.h"
#include "trace_commands.h"

#include <gtest/gtest.h>

namespace {

using deve::cli::module_kind;
using xolt_trace::Entry;
using xolt_trace::EntryPoint;

Entry read(std::uint32_t address, std::uint32_t value) {
    Entry e;
    e.entry = EntryPoint::ReadReg;
    e.args = {address};
    e.values = {value};
    return e;
}
Entry write(std::uint32_t address, std::uint32_t value) {
    Entry e;
    e.entry = EntryPoint::WriteReg;
    e.args = {address, value};
    return e;
}

TEST(TraceDiff, FirstPartingCallAndWhatDiffersBeforeAndAfterIt) {
    xolt_trace::Trace board;
    xolt_trace::Trace sim;
    board.entries = {read(0xC200010C, 0), read(0xC200010C, 1), write(0xCCB0A400, 1), write(0xCCB0A400, 2),
                     write(0xCCB0A400, 3), read(0xC0000010, 7)};
    sim.entries = {read(0xC200010C, 1), read(0xC200010C, 1), write(0xCCB0A400, 1), write(0xCCB0A400, 9),
                   write(0xCCB0A400, 3)};
    const deve::cli::TraceDiff d = deve::cli::trace_diff(board, sim);
    ASSERT_TRUE(d.first);
    EXPECT_EQ(*d.first, 4u);
    EXPECT_EQ(d.first_a, "write_reg ADR_MODE_REGISTER <- 0x00000002");
    EXPECT_EQ(d.first_b, "write_reg ADR_MODE_REGISTER <- 0x00000009");
    EXPECT_EQ(d.differing_after, 1u);  // entry 6, which only the board's trace has
    EXPECT_EQ(d.values_differing, 1u);
    EXPECT_EQ(d.first_value, 1u);

    // One trace a prefix of the other: they part where the shorter ends.
    sim.entries = {board.entries.begin(), board.entries.begin() + 3};
    const deve::cli::TraceDiff prefix = deve::cli::trace_diff(board, sim);
    ASSERT_TRUE(prefix.first);
    EXPECT_EQ(*prefix.first, 4u);
    EXPECT_EQ(prefix.first_b, "");
    EXPECT_EQ(prefix.differing_after, 2u);
    EXPECT_FALSE(deve::cli::trace_diff(board, board).first);
}

TEST(TraceStats, PercentilesByNearestRank) {
    std::vector<std::uint64_t> times;
    for (std::uint64_t t = 1; t <= 200; ++t) {
        times.push_back(t);
    }
    EXPECT_EQ(deve::cli::percentile(times, 50), 100u);
    EXPECT_EQ(deve::cli::percentile(times, 99), 198u);
    EXPECT_EQ(deve::cli::percentile({5}, 99), 5u);
}

// A PE header: "MZ", the offset of "PE\0\0" at 0x3C, then the machine.
std::string pe(std::uint16_t machine) {
    std::string h(0x100, '\0');
    h[0] = 'M';
    h[1] = 'Z';
    h[0x3C] = static_cast<char>(0x80);
    h.replace(0x80, 4, std::string("PE\0\0", 4));
    h[0x84] = static_cast<char>(machine & 0xFF);
    h[0x85] = static_cast<char>(machine >> 8);
    return h;
}

TEST(LinkCheck, TheModulesMachineFromItsHeader) {
    // The 32-bit DLL that a 64-bit deve-cli cannot load, and the right one.
    EXPECT_EQ(module_kind(pe(0x14C))->machine, "i386");
    EXPECT_EQ(module_kind(pe(0x8664))->machine, "x86-64");
    EXPECT_EQ(module_kind(pe(0x8664))->format, "PE");
    EXPECT_EQ(module_kind(pe(0x1234))->machine, "0x1234");
    std::string elf(64, '\0');
    elf.replace(0, 4, "\x7f" "ELF");
    elf[5] = 1;
    elf[18] = static_cast<char>(0xB7);
    EXPECT_EQ(module_kind(elf)->machine, "arm64");
    // Cut or foreign headers: nothing, never a read past the end.
    EXPECT_FALSE(module_kind("MZ"));
    std::string far = pe(0x8664);
    far[0x3C] = static_cast<char>(0xFE);  // "PE" would lie past the bytes read
    EXPECT_FALSE(module_kind(far));
    EXPECT_FALSE(module_kind("just text, not a module"));
}

}  // namespace
