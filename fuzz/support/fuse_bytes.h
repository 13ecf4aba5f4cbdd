// A fuse map from fuzz input: bytes 0-31 are the 256-bit array (map bit k is
// bit k mod 8 of byte k / 8; word i is bytes 4i to 4i+3, little endian);
// missing bytes read 0, as unblown fuses do.
#pragma once

#include "deve/efuse_map.h"

#include <cstddef>
#include <cstdint>

namespace fuzz {

constexpr std::size_t kFuseBytes = 32;

inline deve::FuseWords fuse_words(const std::uint8_t *data, std::size_t size) {
    deve::FuseWords words{};
    for (std::size_t i = 0; i < kFuseBytes && i < size; ++i) {
        words[i / 4] |= static_cast<std::uint32_t>(data[i]) << (8 * (i % 4));
    }
    return words;
}

// The byte after the map, or 0.
inline std::uint8_t byte_at(const std::uint8_t *data, std::size_t size, std::size_t i) {
    return i < size ? data[i] : 0;
}

}  // namespace fuzz
