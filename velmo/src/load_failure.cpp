// The explanations of a transport that did not load or lacks entry points.
#include "load_failure.h"

#include "pe_image.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <optional>

namespace velmo {

namespace {

// The PE machine types a maker's DLL may come in: how a message names each,
// its width alone, and the package built for it (null: none is).
struct Architecture {
    std::uint16_t machine;
    const char *name;
    const char *width;
    const char *package;
};

constexpr std::array<Architecture, 4> kArchitectures{{
    {pe::kMachineI386, "32-bit (x86)", "32-bit", "x86"},
    {pe::kMachineAmd64, "64-bit (x64)", "64-bit", "x64"},
    {pe::kMachineArm64, "64-bit ARM (ARM64)", "64-bit", nullptr},
    {pe::kMachineArmNt, "32-bit ARM", "32-bit", nullptr},
}};

const Architecture *architecture(std::uint16_t machine) {
    const auto it = std::find_if(kArchitectures.begin(), kArchitectures.end(),
                                 [machine](const Architecture &a) { return a.machine == machine; });
    return it == kArchitectures.end() ? nullptr : &*it;
}

std::string hex4(std::uint16_t value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (int shift = 12; shift >= 0; shift -= 4) {
        text.push_back(digits[(value >> shift) & 0xF]);
    }
    return text;
}

// The ELF identification: "\x7F" "ELF", class, byte order, then e_machine
// at offset 18.
constexpr std::size_t kElfClass = 4;
constexpr std::size_t kElfData = 5;
constexpr std::size_t kElfMachine = 18;
constexpr std::uint8_t kElfBigEndian = 2;

bool is_elf(const std::vector<std::uint8_t> &b) {
    return b.size() >= kElfMachine + 2 && b[0] == 0x7F && b[1] == 'E' && b[2] == 'L' && b[3] == 'F';
}

std::uint16_t elf_machine(const std::vector<std::uint8_t> &b) {
    return b[kElfData] == kElfBigEndian ? static_cast<std::uint16_t>(b[kElfMachine] << 8 | b[kElfMachine + 1])
                                        : static_cast<std::uint16_t>(b[kElfMachine] | b[kElfMachine + 1] << 8);
}

std::string width_of_elf_class(std::uint8_t elf_class) {
    return elf_class == 1 ? "32-bit" : elf_class == 2 ? "64-bit" : "of an unknown class";
}

// A PE file that is not of this module's architecture.
std::string other_architecture(const OwnModule &own, const std::string &name, std::uint16_t machine) {
    const Architecture *file = architecture(machine);
    const Architecture *mine = architecture(own.pe_machine);
    const std::string mine_text = mine == nullptr ? hex4(own.pe_machine) : mine->name;
    if (file == nullptr) {
        return name + " is a DLL for another machine (PE machine type " + hex4(machine) + ") and this " +
               own.name + " is " + mine_text + ": they must be built for one architecture";
    }
    // "64-bit" alone says enough beside "32-bit (x86)"; beside another
    // 64-bit one the architecture is named.
    const bool same_width = mine != nullptr && std::string(mine->width) == file->width;
    const std::string own_text = mine != nullptr && !same_width ? mine->width : mine_text;
    std::string line = name + " is a " + file->name + " DLL and this " + own.name + " is " + own_text;
    if (file->package != nullptr) {
        return line + ": use the " + file->package + " package";
    }
    return line + ": there is no package for its architecture; the maker's DLL must be built for " +
           (mine != nullptr && mine->package != nullptr ? mine->package : mine_text);
}

bool digits_only(const std::string &text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// The __stdcall decorations of `name` among `exports`: "_name@N" (MSVC) and
// "name@N" (MinGW), N the bytes of arguments.
std::vector<std::string> decorations_of(const std::string &name, const std::vector<std::string> &exports) {
    std::vector<std::string> found;
    for (const std::string &e : exports) {
        const std::size_t at = e.rfind('@');
        if (at == std::string::npos || !digits_only(e.substr(at + 1))) {
            continue;
        }
        const std::string stem = e.substr(0, at);
        if (stem == name || stem == "_" + name) {
            found.push_back(e);
        }
    }
    return found;
}

std::string joined(const std::vector<std::string> &names) {
    std::string text;
    for (const std::string &n : names) {
        text += (text.empty() ? "" : ", ") + n;
    }
    return text;
}

// Names from the file and the system's words may hold control characters (a
// crafted import name, a path with a line break): each becomes '?', so the
// explanation stays one line.
std::string one_line(std::string text) {
    for (char &c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            c = '?';
        }
    }
    return text;
}

}  // namespace

std::string file_name_of(const std::string &path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::vector<std::uint8_t> read_file_head(const std::string &path, std::size_t limit) {
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    std::vector<std::uint8_t> bytes;
    if (!in) {
        return bytes;
    }
    char buffer[16384];
    while (bytes.size() < limit) {
        in.read(buffer, static_cast<std::streamsize>(std::min(sizeof buffer, limit - bytes.size())));
        const std::streamsize got = in.gcount();
        if (got <= 0) {
            break;
        }
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    return bytes;
}

namespace {

std::string explain_load(const OwnModule &own, const LoadFailure &failure, const std::vector<std::uint8_t> &bytes) {
    const std::string name = file_name_of(failure.path);
    const std::string why = failure.system_text.empty() ? "the system gave no reason" : failure.system_text;
    if (failure.path.empty()) {
        return why;  // no file was there: the system's words say where it looked
    }
    const std::optional<pe::Image> image = pe::read(bytes);
    if (own.windows) {
        if (!image) {
            return is_elf(bytes) ? name + " is not a DLL: it is a Linux or Unix shared object (ELF)"
                                 : name + " is not a DLL: it is not a Windows PE file";
        }
        if (own.pe_machine != 0 && image->machine != own.pe_machine) {
            return other_architecture(own, name, image->machine);
        }
        if (!image->dll) {
            return name + " is not a DLL: it is a Windows program";
        }
    } else if (!bytes.empty()) {
        if (image) {
            return name + " is a Windows DLL, not a shared object for this system";
        }
        if (!is_elf(bytes)) {
            return name + " is not a shared object: it is not an ELF file";
        }
        if (bytes[kElfClass] != own.elf_class) {
            return name + " is a " + width_of_elf_class(bytes[kElfClass]) + " shared object and this " + own.name +
                   " is " + width_of_elf_class(own.elf_class);
        }
        if (own.elf_machine != 0 && elf_machine(bytes) != own.elf_machine) {
            return name + " is built for another machine (ELF machine " + std::to_string(elf_machine(bytes)) +
                   ", this " + own.name + " " + std::to_string(own.elf_machine) + ")";
        }
    }
    if (!failure.missing_dependency.empty()) {
        return name + " needs " + failure.missing_dependency +
               ", which was found neither beside it nor in the system's folders";
    }
    return name + " did not load: " + why;
}

std::string explain_entry_points(const std::string &path, const std::vector<std::string> &missing,
                                 const std::vector<std::uint8_t> &bytes) {
    const std::string name = file_name_of(path);
    const std::optional<pe::Image> image = pe::read(bytes);
    std::vector<std::string> decorated;
    if (image) {
        for (const std::string &m : missing) {
            const std::vector<std::string> found = decorations_of(m, image->exports);
            decorated.insert(decorated.end(), found.begin(), found.end());
        }
    }
    if (decorated.empty()) {
        return name + " lacks " + joined(missing);
    }
    // The plain names are what is looked up: a decorated name is not bound in
    // their place, since a wrong calling convention corrupts the stack.
    return name + " was built with another calling convention (__stdcall): it exports " + joined(decorated) +
           " instead of " + joined(missing);
}

}  // namespace

std::string explain_load_failure(const OwnModule &own, const LoadFailure &failure,
                                 const std::vector<std::uint8_t> &bytes) {
    return one_line(explain_load(own, failure, bytes));
}

std::string explain_missing_entry_points(const std::string &path, const std::vector<std::string> &missing,
                                         const std::vector<std::uint8_t> &bytes) {
    return one_line(explain_entry_points(path, missing, bytes));
}

}  // namespace velmo
