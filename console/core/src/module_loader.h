// Loading a shared library by file name and looking up its exports; one
// implementation per platform (module_loader_posix.cpp,
// module_loader_windows.cpp).
#pragma once

#include <string>

namespace deve::module_loader {

// Loads the file. A name without a directory is taken from the program's
// own folder on Windows (never the current directory or PATH) and goes
// through the dynamic linker's search elsewhere. Null on failure, with the
// platform's reason in `error`.
void *open(const std::string &file, std::string &error);

// The address of an export, or null.
void *find(void *module, const char *name);

// The address of an export of the transport module the library has loaded
// (the loaded module that itself defines the transport's xolt_open), without
// loading anything. Null when no transport is loaded or it lacks the export.
void *find_in_transport(const char *name);

}  // namespace deve::module_loader
