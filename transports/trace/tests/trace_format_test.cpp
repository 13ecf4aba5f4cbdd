// The trace format: what is written reads back the same, a cut trace reads
// to its last whole line, and what is not a trace of this version is refused
// with the reason.
#include "xolt_trace/trace_format.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using xolt_trace::Entry;
using xolt_trace::EntryPoint;

std::string header_and_section() {
    return xolt_trace::header_line() + xolt_trace::section_line({42, "2026-12-09T05:00:00.000Z", "/opt/x 100%\nb/libxolt.so"});
}

// A random call of every kind, with its arguments of the right shape.
Entry random_entry(std::mt19937 &rng) {
    std::uniform_int_distribution<std::uint32_t> word;
    Entry e;
    e.entry = static_cast<EntryPoint>(rng() % xolt_trace::kEntryPointCount);
    e.result = static_cast<std::int32_t>(word(rng));
    e.time_us = static_cast<std::uint64_t>(rng());
    e.duration_us = rng() % 100000;
    e.thread = (static_cast<std::uint64_t>(rng()) << 32) | rng();
    const auto n = static_cast<std::uint32_t>(rng() % 5);
    std::string bytes;
    for (std::uint32_t i = 0; i < n; ++i) {
        bytes += static_cast<char>(rng() & 0xFF);
    }
    switch (e.entry) {
    case EntryPoint::Select: e.args = {word(rng)}; break;
    case EntryPoint::ReadReg: e.args = {word(rng)}; e.values = {word(rng)}; break;
    case EntryPoint::WriteReg: e.args = {word(rng), word(rng)}; break;
    case EntryPoint::BurstReadReg:
        e.args = {word(rng), n};
        for (std::uint32_t i = 0; i < n; ++i) e.values.push_back(word(rng));
        break;
    case EntryPoint::BurstWriteReg:
        e.args = {word(rng), n};
        for (std::uint32_t i = 0; i < n; ++i) e.args.push_back(word(rng));
        break;
    case EntryPoint::RecvPacket: e.args = {64}; e.values = {n}; e.bytes = bytes; break;
    case EntryPoint::SendPacket:
    case EntryPoint::DownloadFw: e.args = {n}; e.bytes = bytes; break;
    case EntryPoint::OpenRefusal: e.values = {word(rng), word(rng)}; break;
    default: break;
    }
    return e;
}

void expect_same(const Entry &a, const Entry &b) {
    EXPECT_EQ(a.entry, b.entry);
    EXPECT_EQ(a.result, b.result);
    EXPECT_EQ(a.time_us, b.time_us);
    EXPECT_EQ(a.duration_us, b.duration_us);
    EXPECT_EQ(a.thread, b.thread);
    EXPECT_EQ(a.args, b.args);
    EXPECT_EQ(a.values, b.values);
    EXPECT_EQ(a.bytes, b.bytes);
}

TEST(TraceFormat, EveryEntryReadsBackAsWrittenAndEveryCutReadsToTheLastWholeLine) {
    std::mt19937 rng(7);
    std::vector<Entry> written;
    std::string text = header_and_section();
    const std::size_t first_entry = text.size();
    for (int i = 0; i < 120; ++i) {
        written.push_back(random_entry(rng));
        text += xolt_trace::entry_line(written.back());
    }
    const xolt_trace::ReadResult whole = xolt_trace::parse_trace(text, "t");
    ASSERT_TRUE(whole.trace) << whole.error;
    EXPECT_FALSE(whole.trace->cut);
    ASSERT_EQ(whole.trace->sections.size(), 1u);
    EXPECT_EQ(whole.trace->sections[0].target, "/opt/x 100%\nb/libxolt.so");
    EXPECT_EQ(whole.trace->sections[0].process, 42u);
    ASSERT_EQ(whole.trace->entries.size(), written.size());
    for (std::size_t i = 0; i < written.size(); ++i) {
        expect_same(whole.trace->entries[i], written[i]);
        EXPECT_EQ(whole.trace->entries[i].section, 1u);
    }
    // A writer killed at any byte: the entries before the cut are all there.
    for (std::size_t cut = first_entry; cut < text.size(); cut += 5) {
        const xolt_trace::ReadResult part = xolt_trace::parse_trace(text.substr(0, cut), "t");
        ASSERT_TRUE(part.trace) << "cut at " << cut << ": " << part.error;
        const std::size_t whole_lines =
            static_cast<std::size_t>(std::count(text.begin() + first_entry, text.begin() + cut, '\n'));
        EXPECT_EQ(part.trace->entries.size(), whole_lines) << cut;
        EXPECT_EQ(part.trace->cut, text[cut - 1] != '\n') << cut;
    }
}

TEST(TraceFormat, WhatIsNotATraceOfThisVersionIsRefusedWithTheReason) {
    const std::string entry = "read_reg 0 1 1 a c0000010 = 30303643\n";
    const struct {
        std::string text;
        const char *says;
    } cases[] = {
        {"", "is empty"},
        {"xolt-tr", "is not a trace"},
        {"xolt-trace 1", "cut short inside its first line"},
        {"PK\x03\x04 a zip file\n", "is not a trace"},
        {"xolt-trace x\n", "names no version"},
        {"xolt-trace 2\n" + entry, "version 2, newer than this reader's (1)"},
        {"xolt-trace 1\n" + entry, "an entry before the first section line"},
        {header_and_section() + "read_reg 0 1 1 a c0000010\n", "line 3: not an entry"},
        {header_and_section() + "write_reg 0 1 1 a c0000010 = 1\n", "line 3: not an entry"},
        {header_and_section() + "burst_read 0 1 1 a c0000010 00000003 = 1 2\n", "line 3: not an entry"},
        {header_and_section() + "send_packet 0 1 1 a 00000004 : 0102\n", "line 3: not an entry"},
        {header_and_section() + "read_reg 0 1 1 a 1c0000010 = 0\n", "line 3: not an entry"},
        {header_and_section() + "read_reg 2147483648 1 1 a c0000010 = 0\n", "line 3: not an entry"},
        {header_and_section() + "poke 0 1 1 a c0000010 = 0\n", "line 3: not an entry"},
    };
    for (const auto &c : cases) {
        const xolt_trace::ReadResult r = xolt_trace::parse_trace(c.text, "f.trace");
        EXPECT_FALSE(r.trace) << c.text;
        EXPECT_NE(r.error.find(c.says), std::string::npos) << r.error;
        EXPECT_EQ(r.error.rfind("f.trace", 0), 0u) << r.error;
    }
    const xolt_trace::ReadResult missing = xolt_trace::read_trace("/nonexistent/dir/t.trace");
    EXPECT_FALSE(missing.trace);
    EXPECT_NE(missing.error.find("cannot open the trace /nonexistent/dir/t.trace"), std::string::npos);
}

TEST(TraceFormat, AccessesAreNamedFromTheChipsRegisterMap) {
    Entry write;
    write.entry = EntryPoint::WriteReg;
    write.args = {0xCCB0A400, 0x301};
    EXPECT_EQ(xolt_trace::describe(write), "write_reg ADR_MODE_REGISTER <- 0x00000301");
    Entry read;
    read.entry = EntryPoint::ReadReg;
    read.args = {0xC2000124};
    read.values = {7};
    EXPECT_EQ(xolt_trace::describe(read), "read_reg ADR_EFUSE_DATA0[1] -> 0x00000007");
    EXPECT_EQ(xolt_trace::register_name(0xC0000010), "ADR_CHIP_REVISION");
    EXPECT_EQ(xolt_trace::register_name(0xC2000140), "0xc2000140");  // past the eight data words
    EXPECT_EQ(xolt_trace::register_name(0xCCB0E030), "0xccb0e030");
}

}  // namespace
