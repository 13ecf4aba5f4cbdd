// The trace of a link: every call that crossed the transport's entry points,
// one text line each (docs/traces.md). The recording transport writes it,
// the replay transport plays it back, and deve-cli shows, counts and
// compares traces.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace xolt_trace {

// The format's version, in the first line of every trace. A reader refuses a
// trace of a later version.
constexpr int kTraceVersion = 1;
// The first word of the first line.
constexpr const char *kMagic = "xolt-trace";

// The transport's entry points, and the optional refusal entry point.
enum class EntryPoint {
    Init,
    Select,
    Open,
    Close,
    ReadReg,
    WriteReg,
    BurstReadReg,
    BurstWriteReg,
    RecvPacket,
    SendPacket,
    DownloadFw,
    OpenRefusal,
};
constexpr int kEntryPointCount = 12;

// "read_reg", as in a trace line; the exported name is "xolt_" + this.
const char *entry_name(EntryPoint entry);
std::optional<EntryPoint> entry_from_name(const std::string &name);

// One call. What `args`, `values` and `bytes` hold depends on the entry
// point (docs/traces.md):
//   select        args {selector}
//   read_reg      args {address}              values {value read}
//   write_reg     args {address, value}
//   burst_read    args {address, count}       values {the words read}
//   burst_write   args {address, count, the words written...}
//   recv_packet   args {capacity}             values {length}   bytes: received
//   send_packet   args {length}                                 bytes: sent
//   download_fw   args {length}                                 bytes: the image
//   open_refusal                              values {reason, holder}
struct Entry {
    EntryPoint entry = EntryPoint::Init;
    std::int32_t result = 0;
    std::uint64_t time_us = 0;      // when the call began, since the section began
    std::uint64_t duration_us = 0;  // how long the call took
    std::uint64_t thread = 0;   // the operating system's thread id
    std::vector<std::uint32_t> args;
    std::vector<std::uint32_t> values;
    std::string bytes;
    std::size_t section = 0;  // 1 for the first process that wrote to the file
};

// One process's part of a trace: its first line.
struct Section {
    std::uint64_t process = 0;
    std::string started;  // UTC, "2026-12-09T05:30:00.123Z"
    std::string target;   // the transport that was recorded
};

// The trace's first line.
std::string header_line();
// A section's first line.
std::string section_line(const Section &section);
// One entry's line, "\n" included: written with one write, so a kill leaves
// whole lines and at most one cut line at the end.
std::string entry_line(const Entry &entry);

// Whether two calls are the same call: the entry point, its arguments and
// the bytes it sent (not what it read, its result, time or thread).
bool same_call(const Entry &a, const Entry &b);

struct Trace {
    int version = 0;
    std::vector<Section> sections;
    std::vector<Entry> entries;
    bool cut = false;  // the last line was cut short (a killed writer) and is left out
};

// What reading a trace gave: the trace, or why not.
struct ReadResult {
    std::optional<Trace> trace;
    std::string error;
};

ReadResult read_trace(const std::string &path);
// The same from the file's bytes (`name` only for the messages).
ReadResult parse_trace(const std::string &text, const std::string &name);

// A register by the chip's register map: "ADR_MODE_REGISTER",
// "ADR_EFUSE_DATA0[3]" for the fourth eFuse data word; "0xccb0e030" for an
// address the map does not name.
std::string register_name(std::uint32_t address);

// The call as a person reads it: "write_reg ADR_MODE_REGISTER <- 0x00000301",
// "read_reg ADR_CHIP_REVISION -> 0x30303643", "select 4".
std::string describe(const Entry &entry);

}  // namespace xolt_trace
