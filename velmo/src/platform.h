// The library's seam to the operating system: loading the transport module
// and the fine delays. One implementation per platform (platform_posix.cpp,
// platform_windows.cpp); the build picks one.
#pragma once

#include "load_failure.h"

#include <cstdint>
#include <string>

namespace velmo::platform {

using ModuleHandle = void *;

// The transport file tried when XOLT_LIBRARY is not set ("libxolt.so",
// "xolt.dll").
const char *default_transport_name();

// Loads a module (`file` is UTF-8). A name without a directory part is looked
// for where the platform's side says (POSIX: the normal search, then this
// library's own directory; Windows: the program's folder, the system folder,
// then this library's own); the current working directory is never searched.
// Returns null on failure and fills `failure`: the file that was there and
// did not load (empty when none was), the system's reason, and on Windows a
// DLL it imports that is nowhere to be found.
ModuleHandle load_module(const std::string &file, LoadFailure &failure);

// This library: its file name, the kind of module it loads, its architecture.
OwnModule own_module();

// The file a loaded module came from, with its directory, as the system
// tells it (UTF-8); empty when it cannot be told.
std::string module_path(ModuleHandle module);

// Looks up an exported function; null when absent.
void *find_symbol(ModuleHandle module, const char *name);

// Unloads a module; true on success.
bool unload_module(ModuleHandle module);

// One-shot timer with a relative due time in 100-nanosecond units.
void timer_delay(std::int64_t units_100ns);

// The platform's plain millisecond sleep.
void sleep_ms(std::uint32_t ms);

// Value of an environment variable; empty when unset.
std::string environment(const char *name);

}  // namespace velmo::platform
