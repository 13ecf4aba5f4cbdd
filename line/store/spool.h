// Reading a run's spool file for store upload. The whole file is read and
// checked before any of it is stored: a file that is damaged (cut in the
// middle of a line, a line that is not a record, a step that is not a
// number, text that is not UTF-8, nesting past any record's), that holds no
// run or two, or whose run id is not one, is refused whole, with the reason.
// The file and its lines are bounded, so that a file that never ends (a
// device, a link to /dev/zero) costs no more memory than the bound.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace deve::store {

struct SpoolRead {
    std::vector<std::string> lines;  // the journal, checked
    std::string run_id;
    // Why the file is refused; empty when it may be stored.
    std::string refusal;
    // The file could not be read (not its content's fault): it stays.
    bool unreadable = false;
};

// The checks on a spool file's bytes. `part`: the file of a station that
// died while spooling (RUN_ID.jsonl.part): its last line may be cut short,
// and is then left out.
SpoolRead check_spool_text(std::string_view text, bool part);

// Reads a spool file (at most kSpoolFileMaxBytes, lines of at most
// kSpoolLineMaxBytes) and checks it. Only a regular file is read.
SpoolRead read_spool_file(const std::filesystem::path &file, bool part);

}  // namespace deve::store
