// The time zone of the report's day table: UTC, a fixed offset ("+01:00",
// "-05:30"), or a zone of the IANA database by its name ("Europe/Berlin"),
// read from its TZif file, with its changes to and from summer time. The
// days of the table are the zone's local days, so a shift that works from
// 22:00 to 06:00 local time is not cut at UTC midnight.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace deve::cli::report {

class Zone {
public:
    // UTC.
    Zone();

    // The zone a name gives: "UTC" (or "Z"), an offset "+HH:MM" / "-HH:MM"
    // (also "+HH", "+HHMM", "UTC+01:00"), or an IANA name. Nothing, and the
    // reason in `error`, when there is no such zone here.
    static std::optional<Zone> find(const std::string &name, std::string &error);
    // The machine's own zone (TZ, else the system's setting); UTC when
    // none can be read.
    static Zone machine();
    // A zone from the bytes of a TZif file (RFC 8536), under a name;
    // nothing when they are not one.
    static std::optional<Zone> from_tzif(const std::string &name, const std::string &bytes);

    const std::string &name() const { return name_; }
    // Local time minus UTC at an instant, in milliseconds.
    std::int64_t offset_ms(std::int64_t utc_ms) const;
    // The local day of an instant: "2026-12-09".
    std::string day(std::int64_t utc_ms) const;
    // The local day of an instant, and the instants around it, from
    // `from_ms` up to (not including) `until_ms`, that have the same local
    // day at the same offset: to name the days of many instants in a row
    // without looking each one up.
    struct DaySpan {
        std::string day;
        std::int64_t from_ms = 0;
        std::int64_t until_ms = 0;
    };
    DaySpan day_span(std::int64_t utc_ms) const;

private:
    // How many transitions lie at or before an instant.
    std::size_t transitions_up_to(std::int64_t utc_ms) const;
    std::string name_ = "UTC";
    // From transition i on (seconds since 1970, UTC), offset_s_[i] holds;
    // before the first, before_s_.
    std::vector<std::int64_t> at_s_;
    std::vector<std::int32_t> offset_s_;
    std::int32_t before_s_ = 0;
};

namespace zone_platform {
// The folders that hold the IANA zone files, in the order to look.
std::vector<std::string> zone_folders();
// The machine's zone by its IANA name; nothing when it has none that a
// zone file gives.
std::optional<std::string> machine_zone_name();
// Words for a zone name no folder holds (what to do instead).
std::string missing_zone_words();
} // namespace zone_platform

} // namespace deve::cli::report
