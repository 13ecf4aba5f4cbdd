#include "spool.h"

#include "bounds.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <system_error>

namespace deve::store {

namespace {

using nlohmann::json;

// No record of a run nests deeper than this.
constexpr int kMaxDepth = 16;
// No run has more steps than this.
constexpr std::int64_t kMaxStep = 1000000;
constexpr std::size_t kRunIdMaxBytes = 64;

// The deepest nesting of a JSON text, counted outside its strings.
int depth_of(std::string_view line) {
    int depth = 0;
    int deepest = 0;
    bool in_string = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (in_string) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                in_string = false;
            }
        } else if (c == '"') {
            in_string = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return deepest;
}

// True when a string anywhere in the value (a key included) holds a NUL:
// the store's text columns would cut it there.
bool holds_nul(const json &value) {
    if (value.is_string()) {
        return value.get_ref<const std::string &>().find('\0') != std::string::npos;
    }
    if (value.is_object()) {
        for (const auto &[key, item] : value.items()) {
            if (key.find('\0') != std::string::npos || holds_nul(item)) {
                return true;
            }
        }
    } else if (value.is_array()) {
        for (const json &item : value) {
            if (holds_nul(item)) {
                return true;
            }
        }
    }
    return false;
}

// A run id as deve-cli makes them: letters, digits and - _ .
bool run_id_ok(const std::string &id) {
    return !id.empty() && id.size() <= kRunIdMaxBytes && id != "." && id != ".." &&
           std::all_of(id.begin(), id.end(), [](unsigned char c) {
               return std::isalnum(c) != 0 || c == '-' || c == '_' || c == '.';
           });
}

bool step_ok(const json &record) {
    const auto it = record.find("step");
    if (it == record.end()) {
        return !record.contains("mark");
    }
    return it->is_number_integer() && it->get<std::int64_t>() >= 0 && it->get<std::int64_t>() <= kMaxStep;
}

SpoolRead refused(std::string why) {
    SpoolRead read;
    read.refusal = std::move(why);
    return read;
}

}  // namespace

SpoolRead check_spool_text(std::string_view text, bool part) {
    SpoolRead read;
    if (text.size() > kSpoolFileMaxBytes) {
        return refused("the file is larger than " + std::to_string(kSpoolFileMaxBytes >> 20) + " MiB");
    }
    std::size_t line_number = 0;
    std::size_t start = 0;
    bool open_seen = false;
    while (start < text.size()) {
        const std::size_t newline = text.find('\n', start);
        const bool cut = newline == std::string_view::npos;
        std::string_view line = text.substr(start, cut ? std::string_view::npos : newline - start);
        start = cut ? text.size() : newline + 1;
        ++line_number;
        const std::string where = "line " + std::to_string(line_number) + ": ";
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty()) {
            continue;
        }
        if (line.size() > kSpoolLineMaxBytes) {
            return refused(where + "longer than " + std::to_string(kSpoolLineMaxBytes) + " bytes");
        }
        if (cut) {
            // A station killed in the middle of a line leaves it half
            // written; a run that ended wrote every line whole.
            if (part) {
                break;
            }
            return refused(where + "the file ends in the middle of a line");
        }
        if (depth_of(line) > kMaxDepth) {
            return refused(where + "nested deeper than any record (" + std::to_string(kMaxDepth) + ")");
        }
        const json record = json::parse(line, nullptr, false);
        if (record.is_discarded()) {
            return refused(where + "not JSON, or text that is not UTF-8: " + excerpt_of(line));
        }
        if (!record.is_object()) {
            return refused(where + "not a record of a run: " + excerpt_of(line));
        }
        if (holds_nul(record)) {
            return refused(where + "a value holds a NUL character (\\u0000), which the store does not keep");
        }
        const auto mark = record.find("mark");
        const auto type = record.find("type");
        if (mark != record.end()) {
            if (*mark != "step_end") {
                return refused(where + "a mark that is not a step's end");
            }
        } else if (type == record.end() || !type->is_string() || type->get_ref<const std::string &>().empty()) {
            return refused(where + "not a record of a run (no type): " + excerpt_of(line));
        }
        if (!step_ok(record)) {
            return refused(where + "its step is not a whole number from 0 to " + std::to_string(kMaxStep));
        }
        if (const auto id = record.find("run_id"); id != record.end()) {
            const std::string run_id = id->is_string() ? id->get<std::string>() : std::string();
            if (!run_id_ok(run_id)) {
                return refused(where + "the run_id " + excerpt_of(id->dump()) + " is not a run's id");
            }
            if (!read.run_id.empty() && run_id != read.run_id) {
                return refused(where + "a record of another run (" + run_id + " after " + read.run_id +
                               "): the file joins two runs");
            }
            read.run_id = run_id;
        }
        if (type != record.end() && *type == "open") {
            if (open_seen) {
                return refused(where + "a second open record: the file joins two runs");
            }
            open_seen = true;
            if (!record.contains("run_id")) {
                return refused(where + "the open record has no run_id");
            }
            const auto meta = record.find("meta");
            if (meta != record.end()) {
                if (!meta->is_object() || meta->size() > kMetaMaxPairs) {
                    return refused(where + "the run's meta is not at most " + std::to_string(kMetaMaxPairs) +
                                   " KEY=VALUE pairs");
                }
                for (const auto &[key, value] : meta->items()) {
                    const std::string shown = value.is_string() ? value.get<std::string>() : value.dump();
                    if (const std::optional<std::string> why = meta_refusal(key, shown)) {
                        return refused(where + "--meta: " + *why);
                    }
                }
            }
        }
        read.lines.emplace_back(line);
    }
    if (!open_seen) {
        return refused("no open record: not a run's spool");
    }
    return read;
}

SpoolRead read_spool_file(const std::filesystem::path &file, bool part) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(file, error);
    if (error || !std::filesystem::is_regular_file(status)) {
        return refused("not a regular file");
    }
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (!error && size > kSpoolFileMaxBytes) {
        return refused("the file is larger than " + std::to_string(kSpoolFileMaxBytes >> 20) + " MiB");
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        SpoolRead read = refused("it cannot be opened");
        read.unreadable = true;
        return read;
    }
    // Read to the bound and one byte past it, whatever the size said.
    std::string text;
    char chunk[64 * 1024];
    while (in && text.size() <= kSpoolFileMaxBytes) {
        in.read(chunk, sizeof chunk);
        text.append(chunk, static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) {
        SpoolRead read = refused("it cannot be read");
        read.unreadable = true;
        return read;
    }
    return check_spool_text(text, part);
}

}  // namespace deve::store
