#include "common/text_format.h"

#include <cctype>
#include <cstdio>
#include <optional>
#include <random>

namespace deve {

namespace {

constexpr std::int64_t kMsPerSecond = 1000;
constexpr std::int64_t kMsPerMinute = 60 * kMsPerSecond;
constexpr std::int64_t kMsPerHour = 60 * kMsPerMinute;
constexpr std::int64_t kMsPerDay = 24 * kMsPerHour;

struct Civil {
    std::int64_t year;
    unsigned month;
    unsigned day;
};

// The proleptic Gregorian date of a count of days since 1970-01-01.
Civil civil_from_days(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto day_of_era = static_cast<unsigned>(days - era * 146097);
    const unsigned year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const unsigned day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const unsigned mp = (5 * day_of_year + 2) / 153;
    const unsigned day = day_of_year - (153 * mp + 2) / 5 + 1;
    const unsigned month = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<std::int64_t>(year_of_era) + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

}  // namespace

std::string utc_day(std::int64_t ms) {
    const std::int64_t days = (ms >= 0 ? ms : ms - (kMsPerDay - 1)) / kMsPerDay;
    const Civil c = civil_from_days(days);
    char text[32];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02u", static_cast<long long>(c.year), c.month, c.day);
    return text;
}

std::string utc_text(std::int64_t ms) {
    std::int64_t in_day = ms % kMsPerDay;
    if (in_day < 0) {
        in_day += kMsPerDay;
    }
    char text[32];
    std::snprintf(text, sizeof text, "T%02d:%02d:%02d.%03dZ", static_cast<int>(in_day / kMsPerHour),
                  static_cast<int>(in_day / kMsPerMinute % 60), static_cast<int>(in_day / kMsPerSecond % 60),
                  static_cast<int>(in_day % kMsPerSecond));
    return utc_day(ms) + text;
}

std::string utc_minute(std::int64_t ms) {
    std::string text = utc_text(ms).substr(0, 16);
    text[10] = ' ';
    return text;
}

std::string utc_timestamp(std::chrono::system_clock::time_point when) {
    return utc_text(std::chrono::floor<std::chrono::milliseconds>(when.time_since_epoch()).count());
}

std::string hex_word(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", value);
    return text;
}

std::string fixed(double value, int decimals) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string short_number(double value) {
    char text[48];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string random_uuid() {
    std::random_device device;
    std::mt19937_64 generator((static_cast<std::uint64_t>(device()) << 32) ^ device() ^
                              static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::uint64_t high = generator();
    std::uint64_t low = generator();
    high = (high & ~0xF000ull) | 0x4000ull;                     // version 4
    low = (low & ~(0xC0ull << 56)) | (0x80ull << 56);           // variant 10
    char text[40];
    std::snprintf(text, sizeof text, "%08x-%04x-%04x-%04x-%012llx", static_cast<unsigned>(high >> 32),
                  static_cast<unsigned>((high >> 16) & 0xFFFFu), static_cast<unsigned>(high & 0xFFFFu),
                  static_cast<unsigned>(low >> 48), static_cast<unsigned long long>(low & 0xFFFFFFFFFFFFull));
    return text;
}

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t days_from_civil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto year_of_era = static_cast<unsigned>(year - era * 400);
    const unsigned day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + static_cast<std::int64_t>(day_of_era) - 719468;
}

unsigned days_in_month(std::int64_t year, unsigned month) {
    static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

// Reads exactly `digits` decimal digits at `pos`.
std::optional<unsigned> read_digits(const std::string &text, std::size_t &pos, std::size_t digits) {
    if (pos + digits > text.size()) {
        return std::nullopt;
    }
    unsigned value = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const char c = text[pos + i];
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return std::nullopt;
        }
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    pos += digits;
    return value;
}

bool consume(const std::string &text, std::size_t &pos, char c) {
    if (pos < text.size() && text[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

}  // namespace

std::optional<std::int64_t> parse_utc_time(const std::string &text) {
    std::size_t pos = 0;
    const std::optional<unsigned> year = read_digits(text, pos, 4);
    if (!year || !consume(text, pos, '-')) {
        return std::nullopt;
    }
    const std::optional<unsigned> month = read_digits(text, pos, 2);
    if (!month || *month < 1 || *month > 12 || !consume(text, pos, '-')) {
        return std::nullopt;
    }
    const std::optional<unsigned> day = read_digits(text, pos, 2);
    if (!day || *day < 1 || *day > days_in_month(*year, *month)) {
        return std::nullopt;
    }
    std::int64_t ms = days_from_civil(*year, *month, *day) * kMsPerDay;
    if (pos == text.size()) {
        return ms;
    }
    if (!consume(text, pos, 'T') && !consume(text, pos, ' ')) {
        return std::nullopt;
    }
    const std::optional<unsigned> hour = read_digits(text, pos, 2);
    if (!hour || *hour > 23 || !consume(text, pos, ':')) {
        return std::nullopt;
    }
    const std::optional<unsigned> minute = read_digits(text, pos, 2);
    if (!minute || *minute > 59) {
        return std::nullopt;
    }
    ms += *hour * kMsPerHour + *minute * kMsPerMinute;
    if (consume(text, pos, ':')) {
        const std::optional<unsigned> second = read_digits(text, pos, 2);
        if (!second || *second > 59) {
            return std::nullopt;
        }
        ms += *second * kMsPerSecond;
        if (consume(text, pos, '.')) {
            const std::optional<unsigned> millis = read_digits(text, pos, 3);
            if (!millis) {
                return std::nullopt;
            }
            ms += *millis;
        }
    }
    consume(text, pos, 'Z');
    return pos == text.size() ? std::optional<std::int64_t>(ms) : std::nullopt;
}

}  // namespace deve
