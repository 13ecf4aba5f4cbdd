// Windows keeps no IANA zone files: a zone name is found only in a folder
// that TZDIR names (a copy of a zoneinfo folder); UTC and fixed offsets
// work everywhere. The machine's zone is not read (its names are Windows'
// own): without --tz the day table is UTC, and the report says so.
#include "zone.h"

#include <cstdlib>

namespace deve::cli::report::zone_platform {

std::vector<std::string> zone_folders() {
    std::vector<std::string> folders;
    if (const char *dir = std::getenv("TZDIR"); dir != nullptr && *dir != '\0') {
        folders.emplace_back(dir);
    }
    return folders;
}

std::optional<std::string> machine_zone_name() { return std::nullopt; }

std::string missing_zone_words() {
    return zone_folders().empty() ? "Windows has no IANA zone files: give a "
                                    "fixed offset such as +01:00, or set "
                                    "TZDIR to a folder of zone files"
                                  : "no such zone in the zone files (TZDIR)";
}

} // namespace deve::cli::report::zone_platform
