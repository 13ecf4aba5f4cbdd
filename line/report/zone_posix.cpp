// Where a POSIX machine keeps its zone files and its own zone.
#include "zone.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace deve::cli::report::zone_platform {

std::vector<std::string> zone_folders() {
    std::vector<std::string> folders;
    if (const char *dir = std::getenv("TZDIR"); dir != nullptr && *dir != '\0') {
        folders.emplace_back(dir);
    }
    folders.emplace_back("/usr/share/zoneinfo");
    return folders;
}

std::optional<std::string> machine_zone_name() {
    if (const char *tz = std::getenv("TZ"); tz != nullptr && *tz != '\0') {
        return std::string(tz[0] == ':' ? tz + 1 : tz);
    }
    // /etc/localtime is a link into the zone folder: its name is the
    // zone's.
    std::error_code ec;
    const std::filesystem::path target = std::filesystem::read_symlink("/etc/localtime", ec);
    if (!ec) {
        const std::string text = target.generic_string();
        const std::string::size_type at = text.find("zoneinfo/");
        if (at != std::string::npos) {
            return text.substr(at + 9);
        }
    }
    std::ifstream in("/etc/timezone");
    std::string name;
    if (std::getline(in, name) && !name.empty()) {
        return name;
    }
    return std::nullopt;
}

std::string missing_zone_words() { return "no such zone in the zone files (" + zone_folders().back() + ")"; }

} // namespace deve::cli::report::zone_platform
