// Loading a shared library by file name and looking up its exports; one
// implementation per platform (module_loader_posix.cpp,
// module_loader_windows.cpp).
#pragma once

#include <string>

namespace deve::module_loader {

// Loads the file (a name without a directory goes through the platform's
// normal search, which includes the program's own directory). Null on
// failure, with the platform's reason in `error`.
void *open(const std::string &file, std::string &error);

// The address of an export, or null.
void *find(void *module, const char *name);

}  // namespace deve::module_loader
