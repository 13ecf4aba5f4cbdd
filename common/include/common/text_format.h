// Small text formats that the records, the store and the reports share:
// UTC times, register words, fixed and short numbers, run ids.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace deve {

// UTC times, from milliseconds since 1970-01-01 (times before it too).
// "2026-12-08T14:30:05.250Z", the records' and the store's form.
std::string utc_text(std::int64_t ms);
// "2026-12-08".
std::string utc_day(std::int64_t ms);
// "2026-12-08 14:30", for people.
std::string utc_minute(std::int64_t ms);
// utc_text of a clock's time, to the millisecond below it.
std::string utc_timestamp(std::chrono::system_clock::time_point when);
// Milliseconds since 1970-01-01T00:00:00Z of a UTC time: "2024-05-01",
// "2024-05-01T12:00", "2024-05-01 12:00:05", "2024-05-01T12:00:05.123Z" (the
// form utc_timestamp writes). Nothing when the text is none of them.
std::optional<std::int64_t> parse_utc_time(const std::string &text);
// "0x0000beef".
std::string hex_word(std::uint32_t value);
// A number with a fixed count of decimals: "12.50".
std::string fixed(double value, int decimals);
// Six significant digits, no trailing zeros: "1.86667", "8".
std::string short_number(double value);

// A random (version 4) UUID, "1b4e28ba-2fa1-41d2-883f-0016d3cca427".
std::string random_uuid();

}  // namespace deve
