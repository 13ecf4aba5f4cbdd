// The PE reader: DOS header, "PE\0\0", file header, optional header's data
// directories, section table, and the export and import directories reached
// through it. Offsets are computed in 64 bits and checked before each read.
#include "pe_image.h"

#include <algorithm>

namespace velmo::pe {

namespace {

// Layout of the headers (offsets in bytes).
constexpr std::size_t kDosSize = 64;
constexpr std::size_t kDosLfanew = 0x3C;
constexpr std::size_t kFileHeaderSize = 20;
constexpr std::size_t kFileMachine = 0;
constexpr std::size_t kFileSections = 2;
constexpr std::size_t kFileOptionalSize = 16;
constexpr std::size_t kFileCharacteristics = 18;
constexpr std::uint16_t kImageFileDll = 0x2000;
constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
// Where NumberOfRvaAndSizes sits in the optional header; the directories follow.
constexpr std::size_t kDirectoryCountPe32 = 92;
constexpr std::size_t kDirectoryCountPe32Plus = 108;
constexpr std::size_t kDirectorySize = 8;
constexpr std::size_t kDirectoryExport = 0;
constexpr std::size_t kDirectoryImport = 1;
constexpr std::size_t kSectionSize = 40;
constexpr std::size_t kSectionVirtualSize = 8;
constexpr std::size_t kSectionVirtualAddress = 12;
constexpr std::size_t kSectionRawSize = 16;
constexpr std::size_t kSectionRawPointer = 20;
constexpr std::size_t kExportNameCount = 24;
constexpr std::size_t kExportNames = 32;
constexpr std::size_t kExportDirectorySize = 40;
constexpr std::size_t kImportDescriptorSize = 20;
constexpr std::size_t kImportName = 12;

// Limits that no real module reaches: a crafted count cannot make the reader
// build an unbounded list.
constexpr std::uint32_t kMaxNames = 65536;
constexpr std::uint32_t kMaxImports = 4096;
constexpr std::size_t kMaxNameLength = 1024;

class Bytes {
public:
    Bytes(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}

    bool has(std::uint64_t offset, std::uint64_t length) const {
        return offset <= size_ && length <= size_ - offset;
    }
    std::optional<std::uint16_t> u16(std::uint64_t offset) const {
        if (!has(offset, 2)) {
            return std::nullopt;
        }
        return static_cast<std::uint16_t>(data_[offset] | data_[offset + 1] << 8);
    }
    std::optional<std::uint32_t> u32(std::uint64_t offset) const {
        if (!has(offset, 4)) {
            return std::nullopt;
        }
        return static_cast<std::uint32_t>(data_[offset]) | static_cast<std::uint32_t>(data_[offset + 1]) << 8 |
               static_cast<std::uint32_t>(data_[offset + 2]) << 16 |
               static_cast<std::uint32_t>(data_[offset + 3]) << 24;
    }
    // A NUL-terminated name that ends within the bytes and within `limit`
    // (the end of its section's data); nothing otherwise.
    std::optional<std::string> name(std::uint64_t offset, std::uint64_t limit) const {
        limit = std::min<std::uint64_t>(limit, size_);
        std::string text;
        for (std::uint64_t at = offset; at < limit && text.size() <= kMaxNameLength; ++at) {
            if (data_[at] == 0) {
                return text;
            }
            text.push_back(static_cast<char>(data_[at]));
        }
        return std::nullopt;
    }

private:
    const std::uint8_t *data_;
    std::size_t size_;
};

struct Section {
    std::uint32_t virtual_address;
    std::uint32_t virtual_size;
    std::uint32_t raw_pointer;
    std::uint32_t raw_size;
};

// File offset of an RVA and the end of its section's data in the file.
struct Place {
    std::uint64_t offset;
    std::uint64_t end;
};

class Reader {
public:
    Reader(const Bytes &bytes, std::vector<Section> sections) : bytes_(bytes), sections_(std::move(sections)) {}

    std::optional<Place> place(std::uint32_t rva) const {
        for (const Section &s : sections_) {
            const std::uint64_t span = std::max(s.virtual_size, s.raw_size);
            if (rva >= s.virtual_address && rva - s.virtual_address < span) {
                const std::uint64_t into = rva - s.virtual_address;
                if (into >= s.raw_size) {
                    return std::nullopt;  // in memory only, not in the file
                }
                return Place{std::uint64_t{s.raw_pointer} + into, std::uint64_t{s.raw_pointer} + s.raw_size};
            }
        }
        return std::nullopt;
    }
    std::optional<std::string> name_at(std::uint32_t rva) const {
        const std::optional<Place> p = place(rva);
        return p ? bytes_.name(p->offset, p->end) : std::nullopt;
    }

    std::vector<std::string> exports(std::uint32_t directory_rva) const {
        std::vector<std::string> names;
        const std::optional<Place> dir = place(directory_rva);
        if (!dir || !bytes_.has(dir->offset, kExportDirectorySize)) {
            return names;
        }
        const std::uint32_t count = std::min(*bytes_.u32(dir->offset + kExportNameCount), kMaxNames);
        const std::uint32_t table_rva = *bytes_.u32(dir->offset + kExportNames);
        const std::optional<Place> table = place(table_rva);
        if (!table) {
            return names;
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint64_t entry = table->offset + std::uint64_t{i} * 4;
            if (entry + 4 > table->end) {
                break;
            }
            const std::optional<std::uint32_t> name_rva = bytes_.u32(entry);
            if (!name_rva) {
                break;
            }
            if (std::optional<std::string> name = name_at(*name_rva)) {
                names.push_back(std::move(*name));
            }
        }
        return names;
    }

    std::vector<std::string> imports(std::uint32_t directory_rva) const {
        std::vector<std::string> names;
        const std::optional<Place> dir = place(directory_rva);
        if (!dir) {
            return names;
        }
        for (std::uint32_t i = 0; i < kMaxImports; ++i) {
            const std::uint64_t entry = dir->offset + std::uint64_t{i} * kImportDescriptorSize;
            if (entry + kImportDescriptorSize > dir->end || !bytes_.has(entry, kImportDescriptorSize)) {
                break;
            }
            const std::uint32_t name_rva = *bytes_.u32(entry + kImportName);
            if (name_rva == 0) {
                break;  // the descriptor that ends the table
            }
            if (std::optional<std::string> name = name_at(name_rva)) {
                names.push_back(std::move(*name));
            }
        }
        return names;
    }

private:
    const Bytes &bytes_;
    std::vector<Section> sections_;
};

}  // namespace

std::optional<Image> read(const std::uint8_t *data, std::size_t size) {
    const Bytes bytes(data, size);
    if (!bytes.has(0, kDosSize) || data[0] != 'M' || data[1] != 'Z') {
        return std::nullopt;
    }
    const std::uint64_t pe = *bytes.u32(kDosLfanew);
    if (!bytes.has(pe, 4 + kFileHeaderSize) || data[pe] != 'P' || data[pe + 1] != 'E' || data[pe + 2] != 0 ||
        data[pe + 3] != 0) {
        return std::nullopt;
    }
    const std::uint64_t file = pe + 4;
    Image image;
    image.machine = *bytes.u16(file + kFileMachine);
    image.dll = (*bytes.u16(file + kFileCharacteristics) & kImageFileDll) != 0;

    // The directories and sections; a module whose tables do not hold
    // together still has its machine type and flag.
    const std::uint64_t optional = file + kFileHeaderSize;
    const std::uint16_t optional_size = *bytes.u16(file + kFileOptionalSize);
    const std::uint16_t section_count = *bytes.u16(file + kFileSections);
    const std::optional<std::uint16_t> magic = bytes.u16(optional);
    if (!magic || !bytes.has(optional, optional_size)) {
        return image;
    }
    std::uint64_t count_at = 0;
    if (*magic == kMagicPe32) {
        count_at = kDirectoryCountPe32;
    } else if (*magic == kMagicPe32Plus) {
        count_at = kDirectoryCountPe32Plus;
    } else {
        return image;
    }
    if (count_at + 4 > optional_size) {
        return image;
    }
    const std::uint32_t directory_count = *bytes.u32(optional + count_at);
    auto directory_rva = [&](std::size_t index) -> std::uint32_t {
        const std::uint64_t at = count_at + 4 + index * kDirectorySize;
        if (index >= directory_count || at + kDirectorySize > optional_size) {
            return 0;
        }
        return *bytes.u32(optional + at);
    };

    std::vector<Section> sections;
    const std::uint64_t table = optional + optional_size;
    for (std::uint16_t i = 0; i < section_count; ++i) {
        const std::uint64_t s = table + std::uint64_t{i} * kSectionSize;
        if (!bytes.has(s, kSectionSize)) {
            break;
        }
        sections.push_back(Section{*bytes.u32(s + kSectionVirtualAddress), *bytes.u32(s + kSectionVirtualSize),
                                   *bytes.u32(s + kSectionRawPointer), *bytes.u32(s + kSectionRawSize)});
    }
    const Reader reader(bytes, std::move(sections));
    if (const std::uint32_t rva = directory_rva(kDirectoryExport); rva != 0) {
        image.exports = reader.exports(rva);
    }
    if (const std::uint32_t rva = directory_rva(kDirectoryImport); rva != 0) {
        image.imports = reader.imports(rva);
    }
    return image;
}

}  // namespace velmo::pe
