#include "deve/script.h"

#include "deve/text.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace deve {

namespace {

constexpr std::string_view kKeyword = "DIList";
constexpr std::string_view kEndLine = "//end";
constexpr std::size_t kAddressColumn = 28;
constexpr std::size_t kValueColumn = 39;
constexpr std::size_t kFieldWidth = 8;

bool is_hex_digit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The eight hexadecimal digits at a column, or nothing when the line is too
// short there or a character is not a digit.
std::optional<std::uint32_t> field_at(std::string_view line, std::size_t column) {
    if (line.size() < column + kFieldWidth) {
        return std::nullopt;
    }
    const std::string_view digits = line.substr(column, kFieldWidth);
    for (char c : digits) {
        if (!is_hex_digit(c)) {
            return std::nullopt;
        }
    }
    return parse_unsigned(digits, 16);
}

std::string plural(int count, const char *one, const char *many) {
    return decimal(count) + " " + (count == 1 ? one : many);
}

}  // namespace

std::optional<ScriptLine> parse_script_line(std::string_view line) {
    if (line.substr(0, kKeyword.size()) != kKeyword) {
        return std::nullopt;
    }
    const std::optional<std::uint32_t> address = field_at(line, kAddressColumn);
    const std::optional<std::uint32_t> value = field_at(line, kValueColumn);
    if (!address || !value) {
        return std::nullopt;
    }
    return ScriptLine{*address, *value};
}

LineKind classify_script_line(std::string_view line) {
    if (line == kEndLine) {
        return LineKind::End;
    }
    if (line.substr(0, kKeyword.size()) != kKeyword) {
        return LineKind::Other;
    }
    return parse_script_line(line) ? LineKind::Register : LineKind::Malformed;
}

ScriptRun run_script(RfApi &api, const std::string &path) {
    ScriptRun run;
    const std::filesystem::path file_path = std::filesystem::u8path(path);
    std::error_code error;
    if (std::filesystem::is_directory(file_path, error)) {
        return run;
    }
    std::ifstream file(file_path, std::ios::in);
    if (!file) {
        return run;
    }
    run.opened = true;
    std::string line;
    errno = 0;
    while (!run.ended && std::getline(file, line)) {
        // A file written with CR LF line ends reads the same.
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        switch (classify_script_line(line)) {
        case LineKind::Register: {
            const ScriptLine write = *parse_script_line(line);
            // The write goes to the chip only when the transport says so.
            if (api.xolt_write_reg(write.address, write.value) == 0) {
                ++run.written;
            } else {
                ++run.refused;
            }
            break;
        }
        case LineKind::Malformed: ++run.skipped; break;
        case LineKind::End: run.ended = true; break;
        case LineKind::Other: break;
        }
    }
    // getline stops at the end of the file and at a failed read alike; only
    // the failed read leaves the stream bad.
    if (file.bad()) {
        const int cause = errno;
        run.read_error = cause != 0 ? std::generic_category().message(cause) : std::string("read error");
    }
    return run;
}

std::string script_done_details(const ScriptRun &run) {
    std::string text = plural(run.written, "register", "registers") + " written, " +
                       plural(run.skipped, "DIList line", "DIList lines") +
                       " skipped (address or value not eight hexadecimal digits).";
    if (!run.ended) {
        text += "\nThe file has no \"//end\" line: it was read to its end.";
    }
    if (run.writes_refused()) {
        text += "\nThe transport failed " + plural(run.refused, "register write", "register writes") +
                ": the chip may not hold " + (run.refused == 1 ? "that register." : "those registers.");
    }
    return text;
}

std::string script_open_failure(const std::string &path) {
    return "Cannot open the script file \"" + path + "\" for reading. No register was written.";
}

std::string script_read_failure(const std::string &path, const ScriptRun &run) {
    return "Reading the script file \"" + path + "\" failed (" + run.read_error + ") after " +
           plural(run.written, "register", "registers") + " had been written; the rest of the file was not applied.";
}

}  // namespace deve
