// What a Windows module file says about itself, read from its bytes without
// loading it: the PE header's machine type and DLL flag, the names it exports
// and the DLLs it imports. The file may be anything an operator points
// XOLT_LIBRARY at, so every offset and count is checked against the bytes
// given; a malformed table yields no names, never a read outside the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmo::pe {

// IMAGE_FILE_HEADER.Machine values.
enum Machine : std::uint16_t {
    kMachineI386 = 0x014C,
    kMachineArmNt = 0x01C4,
    kMachineAmd64 = 0x8664,
    kMachineArm64 = 0xAA64,
};

struct Image {
    std::uint16_t machine = 0;
    bool dll = false;                   // IMAGE_FILE_DLL in the characteristics
    std::vector<std::string> exports;   // the export directory's names, in its order
    std::vector<std::string> imports;   // the import directory's DLL names, in its order
};

// The image in `size` bytes at `data`; nothing when they do not start with a
// DOS header whose e_lfanew leads to a "PE\0\0" signature and a file header.
std::optional<Image> read(const std::uint8_t *data, std::size_t size);

inline std::optional<Image> read(const std::vector<std::uint8_t> &bytes) { return read(bytes.data(), bytes.size()); }

}  // namespace velmo::pe
