// Small text formats that the records, the store and the reports share:
// UTC times, register words, fixed and short numbers, run ids.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace deve {

// "2024-05-01T12:00:00.123Z".
std::string utc_timestamp(std::chrono::system_clock::time_point when);
// "0x0000beef".
std::string hex_word(std::uint32_t value);
// A number with a fixed count of decimals: "12.50".
std::string fixed(double value, int decimals);
// Six significant digits, no trailing zeros: "1.86667", "8".
std::string short_number(double value);

// A random (version 4) UUID, "1b4e28ba-2fa1-41d2-883f-0016d3cca427".
std::string random_uuid();

}  // namespace deve
