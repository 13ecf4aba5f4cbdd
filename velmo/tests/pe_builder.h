// Small PE files built from bytes for the reader's tests and fuzz seeds: a
// DOS header, the file and optional headers, one section that holds an
// export directory with its name table and an import directory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pe_builder {

struct Layout {
    std::uint16_t machine = 0x8664;
    bool dll = true;
    bool pe32_plus = true;
    std::vector<std::string> exports;
    std::vector<std::string> imports;
};

inline void put16(std::vector<std::uint8_t> &b, std::size_t at, std::uint32_t v) {
    if (b.size() < at + 2) {
        b.resize(at + 2);
    }
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

inline void put32(std::vector<std::uint8_t> &b, std::size_t at, std::uint32_t v) {
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}

inline std::vector<std::uint8_t> build(const Layout &layout) {
    constexpr std::uint32_t kLfanew = 0x80, kRaw = 0x200, kRva = 0x1000;
    // The section's contents, addressed by RVA.
    std::vector<std::uint8_t> data(40, 0);
    auto rva_of = [&](std::size_t offset) { return static_cast<std::uint32_t>(kRva + offset); };
    auto add_string = [&](const std::string &s) {
        const std::size_t at = data.size();
        data.insert(data.end(), s.begin(), s.end());
        data.push_back(0);
        return rva_of(at);
    };
    // Export directory at the start: NumberOfNames (+24), AddressOfNames (+32).
    const std::size_t names_table = data.size();
    data.resize(data.size() + 4 * layout.exports.size());
    put32(data, 24, static_cast<std::uint32_t>(layout.exports.size()));
    put32(data, 32, rva_of(names_table));
    for (std::size_t i = 0; i < layout.exports.size(); ++i) {
        put32(data, names_table + 4 * i, add_string(layout.exports[i]));
    }
    // Import descriptors (20 bytes, Name at +12), then the empty one.
    const std::size_t imports = data.size();
    data.resize(data.size() + 20 * (layout.imports.size() + 1));
    for (std::size_t i = 0; i < layout.imports.size(); ++i) {
        put32(data, imports + 20 * i + 12, add_string(layout.imports[i]));
    }

    std::vector<std::uint8_t> b(kRaw, 0);
    b[0] = 'M';
    b[1] = 'Z';
    put32(b, 0x3C, kLfanew);
    b[kLfanew] = 'P';
    b[kLfanew + 1] = 'E';
    const std::size_t file = kLfanew + 4;
    const std::uint32_t optional_size = layout.pe32_plus ? 240 : 224;
    put16(b, file, layout.machine);
    put16(b, file + 2, 1);
    put16(b, file + 16, optional_size);
    put16(b, file + 18, 0x0002 | (layout.dll ? 0x2000 : 0));
    const std::size_t optional = file + 20;
    put16(b, optional, layout.pe32_plus ? 0x20B : 0x10B);
    const std::size_t count_at = optional + (layout.pe32_plus ? 108 : 92);
    put32(b, count_at, 16);
    put32(b, count_at + 4, kRva);  // export directory
    put32(b, count_at + 8, 40);
    put32(b, count_at + 12, layout.imports.empty() ? 0 : rva_of(imports));
    put32(b, count_at + 16, static_cast<std::uint32_t>(20 * (layout.imports.size() + 1)));
    const std::size_t section = optional + optional_size;
    const char name[] = ".rdata";
    std::copy(name, name + 6, b.begin() + static_cast<std::ptrdiff_t>(section));
    put32(b, section + 8, static_cast<std::uint32_t>(data.size()));
    put32(b, section + 12, kRva);
    put32(b, section + 16, static_cast<std::uint32_t>(data.size()));
    put32(b, section + 20, kRaw);
    b.resize(kRaw);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

}  // namespace pe_builder
