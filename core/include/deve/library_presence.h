// The library-presence check: the console loads libvelmo once more by its
// file name and looks up the exports it knows, so that a wrong or partial
// library is reported when the dialog opens. The addresses are kept for the
// life of the program and never called through.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <vector>

namespace deve {

// The file name of the library the program is linked against ("velmo.dll",
// "libvelmo.so.0").
const char *velmo_library_file();

// The 44 export names, in look-up order.
extern const std::array<const char *, 44> kLibraryExports;

class LibraryPresence {
public:
    // Loads `file` and looks up every name. Prints "ERROR: unable to load
    // <file>\n" when it does not load, and "load dll and api fails!!\n" when
    // rf_init is not found, on `out`. The library is never unloaded.
    explicit LibraryPresence(const std::string &file, std::FILE *out = stdout);

    bool loaded() const { return loaded_; }
    const std::string &file() const { return file_; }
    const std::string &load_error() const { return load_error_; }
    // Names that were not found (all of them when the file did not load).
    const std::vector<std::string> &missing() const { return missing_; }
    bool complete() const { return loaded_ && missing_.empty(); }
    void *address(std::size_t index) const { return addresses_.at(index); }

    // A plain report for a message box; empty when the check passed.
    std::string problem() const;

private:
    std::string file_;
    bool loaded_ = false;
    std::string load_error_;
    std::vector<std::string> missing_;
    std::array<void *, 44> addresses_{};
};

}  // namespace deve
