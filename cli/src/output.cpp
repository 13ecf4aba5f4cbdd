#include "output.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <random>
#include <system_error>

namespace deve::cli {

std::string utc_timestamp(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count() % 1000;
    std::tm utc{};
#if defined(_WIN32)
    gmtime_s(&utc, &seconds);
#else
    gmtime_r(&seconds, &utc);
#endif
    char text[40];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + length, sizeof text - length, ".%03dZ", static_cast<int>(millis < 0 ? millis + 1000 : millis));
    return text;
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

Output::Output(std::FILE *out, bool json, Clock clock) : out_(out), json_(json), clock_(std::move(clock)) {}

void Output::record(std::string_view type, const json::Object &fields, const json::Object &units) {
    if (!json_ && sink_ == nullptr) {
        return;
    }
    json::Object line;
    line.add("schema", kSchemaVersion)
        .add("seq", ++sequence_)
        .add("time", utc_timestamp(clock_()));
    if (!run_id_.empty()) {
        line.add("run_id", run_id_);
    }
    line.add("type", type).merge(fields);
    if (sink_ != nullptr) {
        line.merge(sink_->record(type, json::Object(line).add("units", units).str()));
    }
    if (json_) {
        write(line.add("units", units).str());
    }
}

void Output::text(const std::string &line) {
    if (!json_) {
        write(line);
    }
}

void Output::write(const std::string &line) {
    if (broken_) {
        return;
    }
    errno = 0;
    if (std::fputs(line.c_str(), out_) < 0 || std::fputc('\n', out_) == EOF || std::fflush(out_) != 0) {
        broken_ = true;
        failure_ = errno != 0 ? std::generic_category().message(errno) : "write error";
    }
}

}  // namespace deve::cli
