// Loading a shared library by file name and looking up its exports; one
// implementation per platform (module_loader_posix.cpp,
// module_loader_windows.cpp).
#pragma once

#include <string>

namespace deve::module_loader {

// Loads the file. On Windows a name without a directory is taken from the
// program's own folder when it is there, else from the system folder (never
// the current directory or PATH); elsewhere it goes through the dynamic
// linker's search. Null on failure, with the platform's reason in `error`.
void *open(const std::string &file, std::string &error);

// The address of an export, or null.
void *find(void *module, const char *name);

// The address of an export that the already loaded module `file` itself
// defines (`file` as the library names the transport it loaded), without
// loading anything. Null when that module is not loaded or lacks the export.
void *find_loaded(const std::string &file, const char *name);

}  // namespace deve::module_loader
