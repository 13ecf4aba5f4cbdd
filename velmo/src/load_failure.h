// Why a transport file did not load, or loaded without the entry points the
// library looks up, in plain words: one line that follows the library's own
// "ERROR: unable to load ..." or "ERROR: unable to find DLL api" line. The
// words come from the file's own header (its format, machine type, DLL flag
// and export names), read without loading it, and from what the system said.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velmo {

// What the platform's loader tells about a failed load.
struct LoadFailure {
    std::string path;                // the file that was tried; empty when none was there
    std::string system_text;         // the system's own reason (FormatMessage, dlerror)
    std::string missing_dependency;  // a DLL the file imports that is nowhere to be found
};

// The module this code is part of, and the kind of file it loads.
struct OwnModule {
    const char *name;            // "velmo.dll", "libvelmo.so"
    bool windows;                // loads PE DLLs (else ELF shared objects)
    std::uint16_t pe_machine;    // when windows: its own PE machine type
    std::uint8_t elf_class;      // when not windows: 1 = 32-bit, 2 = 64-bit
    std::uint16_t elf_machine;   // when not windows: its own e_machine
};

// The first `limit` bytes of a file (UTF-8 path); empty when it cannot be read.
std::vector<std::uint8_t> read_file_head(const std::string &path, std::size_t limit);

// How much of a transport file is read to explain it: the headers and
// tables of any real transport DLL lie well within it.
constexpr std::size_t kExplainReadLimit = 64u << 20;

// The line (without "ERROR: " and the line end) that says why the file did
// not load: another architecture, not a DLL, a missing dependency, or the
// system's own reason. `bytes` is the file's head.
std::string explain_load_failure(const OwnModule &own, const LoadFailure &failure,
                                 const std::vector<std::uint8_t> &bytes);

// The line that says why entry points were not found in a file that loaded:
// the names it lacks, or, when it exports them only with __stdcall
// decorations (MSVC's "_xolt_read_reg@8", MinGW's "xolt_read_reg@8"), that it
// was built with another calling convention and what it exports instead.
std::string explain_missing_entry_points(const std::string &path, const std::vector<std::string> &missing,
                                         const std::vector<std::uint8_t> &bytes);

// The last component of a path ("C:\\Vendor\\xolt.dll" -> "xolt.dll").
std::string file_name_of(const std::string &path);

}  // namespace velmo
