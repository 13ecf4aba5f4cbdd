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

// The address of an export of the transport module the library has loaded
// (the loaded module that itself defines the transport's xolt_open), without
// loading anything. Null when no transport is loaded or it lacks the export.
void *find_in_transport(const char *name);

}  // namespace deve::module_loader
