// Numbers typed by the operator and numbers shown to the operator.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace deve {

// The standard unsigned text-to-number conversion the dialog's fields use,
// with 32-bit results: leading blanks skipped, an optional sign (a minus
// negates modulo 2^32), in base 16 an optional "0x"/"0X" prefix; parsing
// stops at the first character that is not a digit of the base; no digits
// gives 0; a value beyond 32 bits gives 0xFFFFFFFF.
std::uint32_t parse_unsigned(std::string_view text, int base);

// Whether two texts are equal ignoring the case of ASCII letters (item and
// label names typed by an operator).
bool equal_ignoring_case(std::string_view a, std::string_view b);

// "%x": lower-case hexadecimal, no prefix, no leading zeros.
std::string hex(std::uint32_t value);
// "%d" and "%u".
std::string decimal(std::int32_t value);
std::string unsigned_decimal(std::uint32_t value);

// The packet error rate, errors / total x 100 in single precision, as "%.1f"
// and a percent sign; empty when the total is 0 (the dialog shows "NA").
std::optional<std::string> packet_error_rate(std::uint32_t errors, std::uint32_t total);

}  // namespace deve
