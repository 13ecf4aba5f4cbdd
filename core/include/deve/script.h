// Register scripts: text files whose lines beginning with "DIList" carry an
// eight-digit hexadecimal address at column 28 and an eight-digit value at
// column 39 (columns from 0). Reading stops after a line "//end", or at the
// end of the file; every other line is ignored.
#pragma once

#include "deve/rf_api.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace deve {

struct ScriptLine {
    std::uint32_t address;
    std::uint32_t value;
};

// Classifies one line (line end removed).
enum class LineKind { Other, Register, Malformed, End };
LineKind classify_script_line(std::string_view line);
// The register write of a "Register" line.
std::optional<ScriptLine> parse_script_line(std::string_view line);

struct ScriptRun {
    bool opened = false;
    int written = 0;  // registers written
    int refused = 0;  // register writes the transport failed (not counted as written)
    int skipped = 0;  // "DIList" lines without eight hex digits in a field
    bool ended = false;  // "//end" was read
    // Reading failed before the end of the file (an I/O error, not the end):
    // the lines after the failure were not applied. Empty when it did not.
    std::string read_error;

    bool read_failed() const { return !read_error.empty(); }
    bool writes_refused() const { return refused > 0; }
};

// Opens the file read-only and writes each register line in file order.
// A file that cannot be opened writes nothing; a file that cannot be read to
// its end stops at the failure and says so in read_error.
ScriptRun run_script(RfApi &api, const std::string &path);

// Texts of the message boxes after a run.
constexpr std::string_view kScriptDone = "Done";
std::string script_done_details(const ScriptRun &run);
std::string script_open_failure(const std::string &path);
// The message after a run whose file could not be read to its end.
std::string script_read_failure(const std::string &path, const ScriptRun &run);

}  // namespace deve
