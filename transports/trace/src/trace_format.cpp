#include "xolt_trace/trace_format.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>

namespace xolt_trace {

namespace {

constexpr std::array<const char *, kEntryPointCount> kNames{
    "init",      "select",          "open",        "close",       "read_reg",    "write_reg",
    "burst_read", "burst_write", "recv_packet", "send_packet", "download_fw", "open_refusal",
};

// How many arguments and values each entry point carries: fixed counts, or
// -1 where a count argument decides.
struct Shape {
    int args;
    int values;
    bool bytes;
};
constexpr std::array<Shape, kEntryPointCount> kShapes{{
    {0, 0, false},   // init
    {1, 0, false},   // select
    {0, 0, false},   // open
    {0, 0, false},   // close
    {1, 1, false},   // read_reg
    {2, 0, false},   // write_reg
    {2, -1, false},  // burst_read: address, count; count words read
    {-1, 0, false},  // burst_write: address, count, count words
    {1, 1, true},    // recv_packet: capacity; length; the bytes
    {1, 0, true},    // send_packet: length; the bytes
    {1, 0, true},    // download_fw: length; the bytes
    {0, 2, false},   // open_refusal: reason, holder
}};

std::string hex8(std::uint32_t v) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", v);
    return text;
}

std::string hex_bytes(const std::string &bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// The target's path on one line: %, CR and LF written as %25, %0D, %0A.
std::string escape(const std::string &text) {
    std::string out;
    for (const char c : text) {
        if (c == '%' || c == '\n' || c == '\r') {
            char code[4];
            std::snprintf(code, sizeof code, "%%%02X", static_cast<unsigned char>(c));
            out += code;
        } else {
            out += c;
        }
    }
    return out;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string unescape(const std::string &text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hex_digit(text[i + 1]) >= 0 && hex_digit(text[i + 2]) >= 0) {
            out += static_cast<char>(hex_digit(text[i + 1]) * 16 + hex_digit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::optional<std::uint64_t> parse_hex(const std::string &word, std::size_t max_digits) {
    if (word.empty() || word.size() > max_digits) {
        return std::nullopt;
    }
    std::uint64_t v = 0;
    for (const char c : word) {
        const int d = hex_digit(c);
        if (d < 0) {
            return std::nullopt;
        }
        v = v * 16 + static_cast<std::uint64_t>(d);
    }
    return v;
}

std::optional<std::uint64_t> parse_unsigned(const std::string &word) {
    if (word.empty() || word.size() > 19) {
        return std::nullopt;
    }
    std::uint64_t v = 0;
    for (const char c : word) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return v;
}

std::optional<std::int32_t> parse_result(const std::string &word) {
    const bool negative = !word.empty() && word[0] == '-';
    const std::optional<std::uint64_t> magnitude = parse_unsigned(negative ? word.substr(1) : word);
    if (!magnitude || *magnitude > (negative ? 2147483648ull : 2147483647ull)) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(*magnitude)
                                              : static_cast<std::int64_t>(*magnitude));
}

std::vector<std::string> words_of(const std::string &line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    std::string word;
    while (in >> word) {
        words.push_back(word);
    }
    return words;
}

// One entry line; nothing when it is not one.
std::optional<Entry> parse_entry(const std::string &line) {
    const std::vector<std::string> w = words_of(line);
    if (w.size() < 5) {
        return std::nullopt;
    }
    const std::optional<EntryPoint> entry = entry_from_name(w[0]);
    const std::optional<std::int32_t> result = parse_result(w[1]);
    const std::optional<std::uint64_t> time = parse_unsigned(w[2]);
    const std::optional<std::uint64_t> duration = parse_unsigned(w[3]);
    const std::optional<std::uint64_t> thread = parse_hex(w[4], 16);
    if (!entry || !result || !time || !duration || !thread) {
        return std::nullopt;
    }
    Entry e;
    e.entry = *entry;
    e.result = *result;
    e.time_us = *time;
    e.duration_us = *duration;
    e.thread = *thread;
    enum { Args, Values, Bytes } part = Args;
    for (std::size_t i = 5; i < w.size(); ++i) {
        if (w[i] == "=" && part == Args) {
            part = Values;
            continue;
        }
        if (w[i] == ":" && part != Bytes) {
            part = Bytes;
            continue;
        }
        if (part == Bytes) {
            if (!e.bytes.empty() || w[i].size() % 2 != 0) {
                return std::nullopt;
            }
            for (std::size_t k = 0; k < w[i].size(); k += 2) {
                const int hi = hex_digit(w[i][k]);
                const int lo = hex_digit(w[i][k + 1]);
                if (hi < 0 || lo < 0) {
                    return std::nullopt;
                }
                e.bytes += static_cast<char>(hi * 16 + lo);
            }
            continue;
        }
        const std::optional<std::uint64_t> word = parse_hex(w[i], 8);
        if (!word) {
            return std::nullopt;
        }
        (part == Args ? e.args : e.values).push_back(static_cast<std::uint32_t>(*word));
    }
    // The shape of the entry point's arguments and values.
    const Shape shape = kShapes[static_cast<std::size_t>(e.entry)];
    if (e.entry == EntryPoint::BurstWriteReg) {
        if (e.args.size() < 2 || e.args.size() - 2 != e.args[1] || !e.values.empty()) {
            return std::nullopt;
        }
    } else if (static_cast<int>(e.args.size()) != shape.args) {
        return std::nullopt;
    } else if (e.entry == EntryPoint::BurstReadReg) {
        if (e.values.size() != e.args[1] && !(e.result != 0 && e.values.empty())) {
            return std::nullopt;
        }
    } else if (static_cast<int>(e.values.size()) != shape.values) {
        return std::nullopt;
    }
    if (!shape.bytes && !e.bytes.empty()) {
        return std::nullopt;
    }
    if (e.entry == EntryPoint::SendPacket || e.entry == EntryPoint::DownloadFw) {
        if (e.bytes.size() != e.args[0]) {
            return std::nullopt;
        }
    }
    return e;
}

}  // namespace

const char *entry_name(EntryPoint entry) { return kNames[static_cast<std::size_t>(entry)]; }

std::optional<EntryPoint> entry_from_name(const std::string &name) {
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        if (name == kNames[i]) {
            return static_cast<EntryPoint>(i);
        }
    }
    return std::nullopt;
}

std::string header_line() { return std::string(kMagic) + " " + std::to_string(kTraceVersion) + "\n"; }

std::string section_line(const Section &section) {
    return "begin " + std::to_string(section.process) + " " + section.started + " " + escape(section.target) + "\n";
}

std::string entry_line(const Entry &e) {
    std::string line = entry_name(e.entry);
    char head[96];
    std::snprintf(head, sizeof head, " %d %llu %llu %llx", static_cast<int>(e.result),
                  static_cast<unsigned long long>(e.time_us), static_cast<unsigned long long>(e.duration_us),
                  static_cast<unsigned long long>(e.thread));
    line += head;
    for (const std::uint32_t a : e.args) {
        line += " " + hex8(a);
    }
    if (!e.values.empty()) {
        line += " =";
        for (const std::uint32_t v : e.values) {
            line += " " + hex8(v);
        }
    }
    if (!e.bytes.empty()) {
        line += " : " + hex_bytes(e.bytes);
    }
    return line + "\n";
}

bool same_call(const Entry &a, const Entry &b) {
    if (a.entry != b.entry || a.args != b.args) {
        return false;
    }
    // Bytes the call sent take part; bytes it received do not.
    return a.entry == EntryPoint::RecvPacket || a.bytes == b.bytes;
}

ReadResult parse_trace(const std::string &text, const std::string &name) {
    ReadResult out;
    if (text.empty()) {
        out.error = name + " is empty: not a trace";
        return out;
    }
    const std::size_t first_end = text.find('\n');
    const std::string first = text.substr(0, first_end);
    const std::string magic = std::string(kMagic) + " ";
    if (first.compare(0, magic.size(), magic) != 0) {
        out.error = name + " is not a trace (a trace starts with the line \"" + kMagic + " VERSION\")";
        return out;
    }
    const std::optional<std::uint64_t> version = parse_unsigned(first.substr(magic.size()));
    if (!version || *version == 0) {
        out.error = name + " is not a trace (its first line names no version: \"" + first.substr(0, 40) + "\")";
        return out;
    }
    if (*version > static_cast<std::uint64_t>(kTraceVersion)) {
        out.error = name + " is a trace of version " + std::to_string(*version) + ", newer than this reader's (" +
                    std::to_string(kTraceVersion) + "): read it with a newer deve-cli";
        return out;
    }
    if (first_end == std::string::npos) {
        out.error = name + " is cut short inside its first line";
        return out;
    }
    Trace trace;
    trace.version = static_cast<int>(*version);
    std::size_t at = first_end + 1;
    std::size_t line_number = 1;
    while (at < text.size()) {
        ++line_number;
        const std::size_t end = text.find('\n', at);
        if (end == std::string::npos) {
            // A writer killed in the middle of a line: the entries before it
            // are whole.
            trace.cut = true;
            break;
        }
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (line.empty()) {
            continue;
        }
        if (line.compare(0, 6, "begin ") == 0) {
            const std::vector<std::string> w = words_of(line);
            const std::optional<std::uint64_t> process = w.size() >= 3 ? parse_unsigned(w[1]) : std::nullopt;
            if (!process) {
                out.error = name + ", line " + std::to_string(line_number) + ": not a section line";
                return out;
            }
            // The target is the rest of the line after the third space.
            std::size_t spaces = 0;
            std::size_t pos = 0;
            while (spaces < 3 && pos < line.size()) {
                if (line[pos++] == ' ') {
                    ++spaces;
                }
            }
            trace.sections.push_back(Section{*process, w[2], spaces == 3 ? unescape(line.substr(pos)) : ""});
            continue;
        }
        std::optional<Entry> entry = parse_entry(line);
        if (!entry) {
            out.error = name + ", line " + std::to_string(line_number) + ": not an entry of a trace: \"" +
                        line.substr(0, 40) + (line.size() > 40 ? "..." : "") + "\"";
            return out;
        }
        if (trace.sections.empty()) {
            out.error = name + ", line " + std::to_string(line_number) + ": an entry before the first section line";
            return out;
        }
        entry->section = trace.sections.size();
        trace.entries.push_back(std::move(*entry));
    }
    out.trace = std::move(trace);
    return out;
}

ReadResult read_trace(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        const int code = errno;
        ReadResult out;
        out.error = "cannot open the trace " + path + ": " + (code != 0 ? std::strerror(code) : "cannot be read");
        return out;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        ReadResult out;
        out.error = "cannot read the trace " + path + " to its end";
        return out;
    }
    return parse_trace(text, path);
}

std::string describe(const Entry &e) {
    std::string text = entry_name(e.entry);
    auto hex = [](std::uint32_t v) { return "0x" + hex8(v); };
    switch (e.entry) {
    case EntryPoint::Select:
        text += " " + std::to_string(static_cast<std::int32_t>(e.args.at(0)));
        break;
    case EntryPoint::ReadReg:
        text += " " + register_name(e.args.at(0)) + (e.values.empty() ? "" : " -> " + hex(e.values[0]));
        break;
    case EntryPoint::WriteReg:
        text += " " + register_name(e.args.at(0)) + " <- " + hex(e.args.at(1));
        break;
    case EntryPoint::BurstReadReg:
        text += " " + register_name(e.args.at(0)) + " x" + std::to_string(e.args.at(1));
        break;
    case EntryPoint::BurstWriteReg:
        text += " " + register_name(e.args.at(0)) + " x" + std::to_string(e.args.at(1));
        break;
    case EntryPoint::RecvPacket:
        text += " capacity " + std::to_string(e.args.at(0)) +
                (e.values.empty() ? "" : " -> " + std::to_string(e.values[0]) + " bytes");
        break;
    case EntryPoint::SendPacket:
    case EntryPoint::DownloadFw:
        text += " " + std::to_string(e.args.at(0)) + " bytes";
        break;
    case EntryPoint::OpenRefusal:
        if (e.values.size() == 2) {
            text += " -> reason " + std::to_string(static_cast<std::int32_t>(e.values[0])) + ", holder " +
                    std::to_string(static_cast<std::int32_t>(e.values[1]));
        }
        break;
    default:
        break;
    }
    return text;
}

}  // namespace xolt_trace
