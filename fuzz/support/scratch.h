// A folder of this process's own for the files a target writes (a script
// file, the board's fuse file), so that parallel fuzzing processes never
// share one. It is removed when the process exits normally.
#pragma once

#include <cstddef>
#include <string>

namespace fuzz {

// The path of `name` inside the folder; the folder is made on first use.
std::string scratch_path(const std::string &name);

// Writes the bytes to the file, replacing what it held.
void write_file(const std::string &path, const void *data, std::size_t size);

}  // namespace fuzz
