// Numbers the operator types into the console's fields: the decimal fields
// (packet interval, frequency offset, eFuse values) and the hexadecimal ones
// (registers, MAC bytes, engineering edits). The console's conversion must
// read every text as the C library's unsigned conversion does with a 32-bit
// result (leading blanks, a sign that negates modulo 2^32, "0x" in base 16,
// no digits giving 0, a value beyond 32 bits giving 0xFFFFFFFF), and a number
// the console shows must read back as itself.
#include "deve/efuse_items.h"
#include "deve/text.h"
#include "support/fuzz_target.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <string>

namespace {

constexpr std::uint64_t kMax32 = 0xFFFFFFFFu;

// strtoul with a 32-bit unsigned long, built on the C library's 64-bit
// conversion: the magnitude decides overflow, then the sign applies.
std::uint32_t c_library_reading(const std::string &text, int base) {
    const char *begin = text.c_str();  // a field's text ends at a NUL
    char *end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(begin, &end, base);
    if (end == begin) {
        return 0;
    }
    if (errno == ERANGE) {
        return static_cast<std::uint32_t>(kMax32);
    }
    const char *p = begin;
    while (std::isspace(static_cast<unsigned char>(*p)) != 0) {
        ++p;
    }
    const bool negative = *p == '-';
    const std::uint64_t magnitude = negative ? 0 - value : value;
    if (magnitude > kMax32) {
        return static_cast<std::uint32_t>(kMax32);
    }
    const auto low = static_cast<std::uint32_t>(magnitude);
    return negative ? 0u - low : low;
}

void check_field(const std::string &text, int base) {
    const std::uint32_t console = deve::parse_unsigned(text, base);
    const std::uint32_t reference = c_library_reading(text, base);
    FUZZ_CHECK(console == reference, "base " + std::to_string(base) + ": the console reads " + std::to_string(console) +
                                         ", the C library " + std::to_string(reference));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    check_field(text, 10);
    check_field(text, 16);

    // What the console shows reads back as the same number.
    const std::uint32_t value = deve::parse_unsigned(text, 16);
    FUZZ_CHECK(deve::parse_unsigned(deve::hex(value), 16) == value, "\"%x\" does not read back: " + deve::hex(value));
    FUZZ_CHECK(deve::parse_unsigned(deve::unsigned_decimal(value), 10) == value,
               "\"%u\" does not read back: " + deve::unsigned_decimal(value));

    // The six MAC byte fields, one text per line: base 16, low 8 bits kept.
    std::array<std::string, 6> fields;
    std::size_t start = 0;
    for (std::string &f : fields) {
        const std::size_t stop = std::min(text.find('\n', start), text.size());
        f = start < text.size() ? text.substr(start, stop - start) : std::string();
        start = stop + 1;
    }
    const deve::MacAddress mac = deve::parse_mac(fields);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        FUZZ_CHECK(mac[i] == (c_library_reading(fields[i], 16) & 0xFFu), "MAC byte " + std::to_string(i));
    }
    return 0;
}
