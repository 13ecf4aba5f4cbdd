#include "zone.h"

#include "common/text_format.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>

namespace deve::cli::report {

namespace {

constexpr std::int64_t kMsPerSecond = 1000;

// A big-endian whole number of `size` bytes at `at`.
std::int64_t big_endian(const std::string &bytes, std::size_t at, std::size_t size) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    }
    // Sign-extend a 4-byte value.
    if (size == 4 && (value & 0x80000000U) != 0) {
        return static_cast<std::int64_t>(value) - (std::int64_t{1} << 32);
    }
    return static_cast<std::int64_t>(value);
}

// "UTC", "Z", "+01", "+0100", "+01:00", "UTC+01:00": the offset in seconds.
std::optional<std::int32_t> fixed_offset(std::string text) {
    if (text == "Z" || text == "UTC" || text == "GMT") {
        return 0;
    }
    if (text.rfind("UTC", 0) == 0 || text.rfind("GMT", 0) == 0) {
        text = text.substr(3);
    }
    if (text.size() == 6 && text[3] == ':') {
        text.erase(3, 1);
    }
    if ((text.size() != 3 && text.size() != 5) || (text[0] != '+' && text[0] != '-') ||
        !std::all_of(text.begin() + 1, text.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
        return std::nullopt;
    }
    const int hours = std::stoi(text.substr(1, 2));
    const int minutes = text.size() == 5 ? std::stoi(text.substr(3, 2)) : 0;
    if (hours > 14 || minutes > 59) {
        return std::nullopt;
    }
    return (text[0] == '-' ? -1 : 1) * (hours * 3600 + minutes * 60);
}

// "+01:00" for an offset in seconds.
std::string offset_name(std::int32_t seconds) {
    const std::int32_t magnitude = seconds < 0 ? -seconds : seconds;
    std::string text = seconds < 0 ? "-" : "+";
    const auto two = [](int v) {
        return std::string(1, static_cast<char>('0' + v / 10)) + static_cast<char>('0' + v % 10);
    };
    return text + two(magnitude / 3600) + ":" + two(magnitude % 3600 / 60);
}

// An IANA name as a relative path of the zone folder: letters, digits and
// - _ + / only, no part that climbs (..) and no leading /.
bool plausible_zone_name(const std::string &name) {
    if (name.empty() || name.size() > 64 || name[0] == '/' || name.find("..") != std::string::npos) {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '/' || c == '_' || c == '-' || c == '+';
    });
}

std::optional<std::string> read_file(const std::filesystem::path &path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return in.bad() ? std::nullopt : std::optional<std::string>(bytes);
}

} // namespace

Zone::Zone() = default;

std::optional<Zone> Zone::from_tzif(const std::string &name, const std::string &bytes) {
    constexpr std::size_t kHeader = 44;
    if (bytes.size() < kHeader || bytes.compare(0, 4, "TZif") != 0) {
        return std::nullopt;
    }
    // The counts of the header at `at`: isut, isstd, leap, time, type, char.
    const auto counts = [&bytes](std::size_t at) {
        std::array<std::int64_t, 6> c{};
        for (std::size_t i = 0; i < 6; ++i) {
            c[i] = big_endian(bytes, at + 20 + 4 * i, 4);
        }
        return c;
    };
    const auto block_size = [](const std::array<std::int64_t, 6> &c, std::int64_t time_size) {
        return c[3] * time_size + c[3] + c[4] * 6 + c[5] + c[2] * (time_size + 4) + c[1] + c[0];
    };
    std::array<std::int64_t, 6> c = counts(0);
    std::size_t at = kHeader;
    std::size_t time_size = 4;
    // Version 2 and later repeat the data with 64-bit times: use those.
    if (bytes[4] >= '2') {
        at = kHeader + static_cast<std::size_t>(block_size(c, 4));
        if (bytes.size() < at + kHeader || bytes.compare(at, 4, "TZif") != 0) {
            return std::nullopt;
        }
        c = counts(at);
        at += kHeader;
        time_size = 8;
    }
    for (std::int64_t n : c) {
        if (n < 0 || n > 100000) {
            return std::nullopt;
        }
    }
    if (c[4] == 0 ||
        bytes.size() < at + static_cast<std::size_t>(block_size(c, static_cast<std::int64_t>(time_size)))) {
        return std::nullopt;
    }
    const auto times = static_cast<std::size_t>(c[3]);
    const auto types = static_cast<std::size_t>(c[4]);
    std::vector<std::int32_t> type_offset(types);
    const std::size_t type_at = at + times * time_size + times;
    for (std::size_t i = 0; i < types; ++i) {
        type_offset[i] = static_cast<std::int32_t>(big_endian(bytes, type_at + 6 * i, 4));
    }
    Zone zone;
    zone.name_ = name;
    // Local time before the first transition is that of type 0.
    zone.before_s_ = type_offset[0];
    for (std::size_t i = 0; i < times; ++i) {
        const std::size_t type = static_cast<unsigned char>(bytes[at + times * time_size + i]);
        if (type >= types) {
            return std::nullopt;
        }
        const std::int64_t when = big_endian(bytes, at + i * time_size, time_size);
        if (!zone.at_s_.empty() && when <= zone.at_s_.back()) {
            return std::nullopt;
        }
        zone.at_s_.push_back(when);
        zone.offset_s_.push_back(type_offset[type]);
    }
    return zone;
}

std::optional<Zone> Zone::find(const std::string &name, std::string &error) {
    if (const std::optional<std::int32_t> offset = fixed_offset(name)) {
        Zone zone;
        zone.before_s_ = *offset;
        zone.name_ = *offset == 0 ? "UTC" : offset_name(*offset);
        return zone;
    }
    if (!plausible_zone_name(name)) {
        error = "not a zone: " + name +
                " (an IANA name such as Europe/Berlin, UTC, or an offset such as "
                "+01:00)";
        return std::nullopt;
    }
    for (const std::string &folder : zone_platform::zone_folders()) {
        const std::optional<std::string> bytes =
            read_file(std::filesystem::u8path(folder) / std::filesystem::u8path(name));
        if (!bytes) {
            continue;
        }
        if (std::optional<Zone> zone = from_tzif(name, *bytes)) {
            return zone;
        }
        error = "the zone file of " + name + " in " + folder + " cannot be read (not a TZif file)";
        return std::nullopt;
    }
    error = name + ": " + zone_platform::missing_zone_words();
    return std::nullopt;
}

Zone Zone::machine() {
    if (const std::optional<std::string> name = zone_platform::machine_zone_name()) {
        std::string ignored;
        if (std::optional<Zone> zone = find(*name, ignored)) {
            return *zone;
        }
    }
    return Zone();
}

namespace {
// Floor division: an instant before 1970 belongs to the second (or day)
// before.
std::int64_t floor_div(std::int64_t value, std::int64_t unit) {
    return value >= 0 ? value / unit : -((-value + unit - 1) / unit);
}
} // namespace

std::size_t Zone::transitions_up_to(std::int64_t utc_ms) const {
    const std::int64_t seconds = floor_div(utc_ms, kMsPerSecond);
    return static_cast<std::size_t>(std::upper_bound(at_s_.begin(), at_s_.end(), seconds) - at_s_.begin());
}

std::int64_t Zone::offset_ms(std::int64_t utc_ms) const {
    const std::size_t passed = transitions_up_to(utc_ms);
    return std::int64_t{passed == 0 ? before_s_ : offset_s_[passed - 1]} * kMsPerSecond;
}

std::string Zone::day(std::int64_t utc_ms) const { return utc_day(utc_ms + offset_ms(utc_ms)); }

Zone::DaySpan Zone::day_span(std::int64_t utc_ms) const {
    constexpr std::int64_t kMsPerDay = 86400 * kMsPerSecond;
    const std::size_t passed = transitions_up_to(utc_ms);
    const std::int64_t offset = offset_ms(utc_ms);
    // The offset holds from the transition before the instant to the next.
    const std::int64_t offset_from =
        passed == 0 ? std::numeric_limits<std::int64_t>::min() : at_s_[passed - 1] * kMsPerSecond;
    const std::int64_t offset_until =
        passed == at_s_.size() ? std::numeric_limits<std::int64_t>::max() : at_s_[passed] * kMsPerSecond;
    const std::int64_t local = utc_ms + offset;
    const std::int64_t local_midnight = floor_div(local, kMsPerDay) * kMsPerDay;
    DaySpan span;
    span.day = utc_day(local);
    span.from_ms = std::max(local_midnight - offset, offset_from);
    span.until_ms = std::min(local_midnight + kMsPerDay - offset, offset_until);
    return span;
}

} // namespace deve::cli::report
