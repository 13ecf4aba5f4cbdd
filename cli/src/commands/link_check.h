// deve-cli link check: the first command of a bring-up. It opens the link
// with rf_init alone (no open sequence), and reports the transport's entry
// points and file, the access time of repeated reads of the chip revision
// word, and whether the chip reads as one of this family. It writes
// nothing to the chip.
#pragma once

#include "commands.h"

#include <cstdint>
#include <optional>
#include <string>

namespace deve::cli {

// Runs the check: 0 when the link opened and the chip reads as one of the
// family; 1 when it does not; 3 when the link did not open or an access
// failed; 2 for output that cannot be written.
int run_link_check(const LinkCheckCommand &command, const Globals &globals);

// What a module file's header says: "ELF" or "PE", and its machine
// ("x86-64", "i386", "arm64"; "0x...." for another).
struct ModuleKind {
    std::string format;
    std::string machine;
};
std::optional<ModuleKind> module_kind(const std::string &header);

}  // namespace deve::cli
