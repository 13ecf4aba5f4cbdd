// SHA-256 (FIPS 180-4), to name the files a run followed (limit file,
// session command file) by their contents.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace deve::cli {

// The digest of the bytes, in lower-case hex (64 digits).
std::string sha256_hex(std::string_view bytes);
// The digest of a file's bytes; nothing when it cannot be read.
std::optional<std::string> file_sha256(const std::string &path);

}  // namespace deve::cli
