#include "link_check.h"

#include "output.h"
#include "platform.h"
#include "standalone_parse.h"
#include "standalone_run.h"
#include "trace_commands.h"

#include "common/text_format.h"
#include "deve/library_lines.h"
#include "deve/velmo_api.h"
#include "varimon/chip_registers.h"
#include "xolt/xolt.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

namespace deve::cli {

namespace {

constexpr int kRefused = 2;
constexpr int kLink = 3;

// The transport's entry points; the last is optional.
constexpr std::array<const char *, 12> kEntryPoints{
    "xolt_init",        "xolt_select",      "xolt_open",           "xolt_close",
    "xolt_read_reg",    "xolt_write_reg",   "xolt_burst_read_reg", "xolt_burst_write_reg",
    "xolt_recv_packet", "xolt_send_packet", "xolt_download_fw",    "xolt_open_refusal",
};

// Revision words of the family's chips.
struct Known {
    std::uint32_t word;
    const char *name;
};
constexpr std::array<Known, 1> kRevisions{{{0x30303643u, "C600"}}};
// Chip identifiers (eFuse word 0) the library and the console know.
constexpr std::array<Known, 3> kChipIds{{
    {0x00000000u, "blank header"},
    {0x74000000u, "variant with extra control writes"},
    {0x7C000000u, "variant with extra control writes"},
}};

template <std::size_t N>
const Known *known(const std::array<Known, N> &table, std::uint32_t word) {
    const auto it = std::find_if(table.begin(), table.end(), [word](const Known &k) { return k.word == word; });
    return it != table.end() ? &*it : nullptr;
}

std::uint32_t little16(const std::string &b, std::size_t at) {
    return static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8;
}

std::uint32_t little32(const std::string &b, std::size_t at) {
    return little16(b, at) | little16(b, at + 2) << 16;
}

struct Machine {
    std::uint32_t code;
    const char *name;
};
constexpr std::array<Machine, 4> kElfMachines{{{3, "i386"}, {0x28, "arm"}, {0x3E, "x86-64"}, {0xB7, "arm64"}}};
constexpr std::array<Machine, 4> kPeMachines{{{0x14C, "i386"}, {0x1C4, "arm"}, {0x8664, "x86-64"}, {0xAA64, "arm64"}}};

template <std::size_t N>
std::string machine_name(const std::array<Machine, N> &table, std::uint32_t code) {
    for (const Machine &m : table) {
        if (m.code == code) {
            return m.name;
        }
    }
    char text[16];
    std::snprintf(text, sizeof text, "0x%04x", code);
    return text;
}

std::string header_of(const std::string &file) {
    std::ifstream in(std::filesystem::u8path(file), std::ios::binary);
    std::string bytes(4096, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

json::Object timing_json(const std::vector<std::uint64_t> &sorted) {
    json::Object o;
    if (sorted.empty()) {
        return o.add_null("median_us").add_null("p99_us").add_null("max_us");
    }
    return o.add("median_us", percentile(sorted, 50)).add("p99_us", percentile(sorted, 99)).add("max_us", sorted.back());
}

}  // namespace

std::optional<ModuleKind> module_kind(const std::string &h) {
    if (h.size() >= 20 && h.compare(0, 4, "\x7f" "ELF") == 0 && h[5] == 1) {
        return ModuleKind{"ELF", machine_name(kElfMachines, little16(h, 18))};
    }
    if (h.size() >= 0x40 && h.compare(0, 2, "MZ") == 0) {
        const std::uint32_t pe = little32(h, 0x3C);
        if (pe <= h.size() - 6 && h.compare(pe, 4, std::string("PE\0\0", 4)) == 0) {
            return ModuleKind{"PE", machine_name(kPeMachines, little16(h, pe + 4))};
        }
    }
    return std::nullopt;
}

ParseResult parse_link_command(const std::vector<std::string> &words) {
    ParseResult result;
    LinkCheckCommand command;
    CLI::App app{"The link alone, for bring-up.", "deve-cli link"};
    app.require_subcommand(1, 1);
    app.allow_windows_style_options(false);
    CLI::App *check = app.add_subcommand(
        "check", "open the link (rf_init alone, no open sequence) and report the transport's entry points and file, "
                 "the access time of repeated reads of the chip revision word, and whether the chip reads as one "
                 "of the family. Writes nothing to the chip; --port chooses the host link");
    check->allow_windows_style_options(false);
    check->add_option("--reads", command.reads, "timed reads of the chip revision word")
        ->type_name("N")
        ->check(CLI::Range(10u, 100000u));
    check->add_flag("--json", command.json, "one JSON object per line");
    if (take_help_or_error(parse_standalone(app, words, "link"), result)) {
        return result;
    }
    result.line.link_check = command;
    return result;
}

int run_link_check(const LinkCheckCommand &command, const Globals &globals) {
    deve::LibraryLines library;
    Output out(stdout, globals.json || command.json);
    out.set_run_id(random_uuid());
    StandaloneRun run(out, "link check");
    const bool sdio = globals.open.port == 1;
    const std::string requested = platform::requested_transport_file();

    VelmoApi api;
    const std::int32_t init = api.rf_init(sdio ? XOLT_SELECT_SDIO : XOLT_SELECT_USB);
    std::string library_said;
    for (const std::string &line : library.take()) {
        out.record("library", run.head().add("line", line));
        library_said += (library_said.empty() ? "" : "; ") + line;
    }
    json::Object fields = run.head();
    fields.add("port", sdio ? "SDIO" : "USB").add("transport_requested", requested).add("opened", init == 0);
    fields.add("init_result", init);
    const std::string loaded = api.transport_path();
    json::Object entry_points;
    std::string missing;
    for (const char *name : kEntryPoints) {
        const bool present = !loaded.empty() && platform::transport_exports(loaded, name);
        entry_points.add(name, present);
        if (!present && std::string(name) != "xolt_open_refusal") {
            missing += (missing.empty() ? "" : ", ") + std::string(name);
        }
    }
    const bool refusal_present = !loaded.empty() && platform::transport_exports(loaded, "xolt_open_refusal");
    if (loaded.empty()) {
        fields.add_null("transport").add_null("size").add_null("format").add_null("machine");
    } else {
        std::error_code ec;
        const std::uintmax_t size = std::filesystem::file_size(std::filesystem::u8path(loaded), ec);
        const std::optional<ModuleKind> kind = module_kind(header_of(loaded));
        fields.add("transport", loaded);
        if (ec) {
            fields.add_null("size");
        } else {
            fields.add("size", static_cast<std::uint64_t>(size));
        }
        fields.add("format", kind ? kind->format : "unknown").add("machine", kind ? kind->machine : "unknown");
    }
    fields.add("entry_points", entry_points);

    out.text("transport     " + (loaded.empty() ? std::string("(not loaded)") : loaded) + " (requested " +
             requested + ")");
    if (init != 0) {
        std::string why = "the link did not open: rf_init returned " + std::to_string(init);
        if (const std::optional<OpenRefusal> refusal = api.open_refusal()) {
            why += refusal->reason == OpenRefusal::Reason::Busy
                       ? " (board busy" + (refusal->holder ? ", held by process " + std::to_string(*refusal->holder)
                                                           : std::string()) + ")"
                       : refusal->reason == OpenRefusal::Reason::Settings ? " (a setting of the transport is refused)"
                                                                          : " (the board's state file cannot be used)";
        }
        if (!library_said.empty()) {
            why += "; the library said: " + library_said;
        }
        out.record("link_check", fields);
        return run.failed(kLink, "link", why);
    }

    // Repeated reads of a register that reading changes nothing in.
    std::vector<std::uint64_t> times;
    std::set<std::uint32_t> revisions;
    std::uint32_t revision = 0;
    unsigned failed_reads = 0;
    for (unsigned i = 0; i < command.reads; ++i) {
        std::uint32_t value = 0;
        const auto started = std::chrono::steady_clock::now();
        const std::int32_t r = api.xolt_read_reg(varimon::ADR_CHIP_REVISION, &value);
        const auto took = std::chrono::steady_clock::now() - started;
        times.push_back(static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(took).count()));
        if (r != 0) {
            ++failed_reads;
            continue;
        }
        revision = value;
        revisions.insert(value);
    }
    std::sort(times.begin(), times.end());
    // The chip identifier as the eFuse controller's first data word holds it
    // since power-up: starting a read cycle would be a write.
    std::uint32_t chip_id = 0;
    const bool have_id = api.xolt_read_reg(varimon::ADR_EFUSE_DATA0, &chip_id) == 0;
    const std::int32_t closed = api.rf_deinit();

    const Known *revision_known = revisions.size() == 1 ? known(kRevisions, revision) : nullptr;
    const Known *id_known = have_id ? known(kChipIds, chip_id) : nullptr;
    const bool stable = revisions.size() == 1 && failed_reads == 0;
    const bool family = stable && revision_known != nullptr;
    fields.add("reads", command.reads).add("failed_reads", failed_reads).merge(timing_json(times));
    if (revisions.empty()) {
        fields.add_null("revision");
    } else {
        fields.add("revision", hex_word(revision));
    }
    fields.add("revision_stable", stable).add("revision_known", revision_known != nullptr);
    if (have_id) {
        fields.add("chip_id", hex_word(chip_id));
    } else {
        fields.add_null("chip_id");
    }
    fields.add("chip_id_known", id_known != nullptr).add("family", family).add("close_result", closed);
    out.record("link_check", fields,
               json::Object().add("size", "byte").add("median_us", "us").add("p99_us", "us").add("max_us", "us"));

    out.text("entry points  " + (missing.empty() ? std::string("all eleven") : "missing " + missing) +
             (refusal_present ? ", and xolt_open_refusal" : ", without the optional xolt_open_refusal"));
    if (!loaded.empty()) {
        const std::optional<ModuleKind> kind = module_kind(header_of(loaded));
        std::error_code ec;
        const std::uintmax_t size = std::filesystem::file_size(std::filesystem::u8path(loaded), ec);
        out.text("file          " + (ec ? std::string("size unknown") : std::to_string(size) + " bytes") + ", " +
                 (kind ? kind->format + " " + kind->machine : std::string("not a module this tool knows")));
    }
    const auto us = [&times](double p) { return std::to_string(percentile(times, p)) + " us"; };
    out.text("access time   " + std::to_string(command.reads) + " reads of ADR_CHIP_REVISION: median " + us(50) +
             ", 99th percentile " + us(99) + ", maximum " + std::to_string(times.back()) + " us" +
             (failed_reads != 0 ? " (" + std::to_string(failed_reads) + " failed)" : ""));
    const std::string revision_text = revisions.empty() ? std::string("not read")
                                      : revisions.size() > 1
                                          ? std::to_string(revisions.size()) + " different values"
                                          : hex_word(revision) + (revision_known != nullptr
                                                                      ? " (" + std::string(revision_known->name) + ")"
                                                                      : " (not a revision of the family)");
    out.text("revision      " + revision_text);
    out.text("chip id       " + (have_id ? hex_word(chip_id) + (id_known != nullptr ? " (" + std::string(id_known->name) + ")"
                                                                                    : " (not one the library knows)")
                                         : std::string("not read")));
    out.text(std::string("family        ") + (family ? "yes" : "no"));
    if (failed_reads != 0 || !have_id) {
        return run.failed(kLink, "link", "the transport failed " + std::to_string(failed_reads + (have_id ? 0 : 1)) +
                                             " reads");
    }
    if (closed != 0) {
        return run.failed(kLink, "link", "the link did not close: xolt_close returned " + std::to_string(closed));
    }
    if (!family) {
        return run.fail(revisions.size() > 1 ? "the chip revision word read back different values"
                                              : "the chip revision word " + hex_word(revision) +
                                                    " is not one of the family");
    }
    const int code = run.end(0);
    if (out.broken()) {
        std::fprintf(stderr, "deve-cli: standard output could not be written (%s)\n", out.failure().c_str());
        return kRefused;
    }
    return code;
}

}  // namespace deve::cli
