// Where results go: a readable text line by default, or with --json one JSON
// object per line, each with the schema version, a sequence number, a UTC
// timestamp, the run id, its type and the units of its quantities.
#pragma once

#include "json.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

namespace deve::cli {

constexpr int kSchemaVersion = 3;

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

// Receives every record as it is made, in text mode too: the line store.
class RecordSink {
public:
    virtual ~RecordSink() = default;
    // The record's JSON text. Members returned are added to the record as it
    // is written (after the sink has it): what became of it in the store.
    virtual json::Object record(std::string_view type, const std::string &line) = 0;
};

class Output {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;
    Output(std::FILE *out, bool json, Clock clock = std::chrono::system_clock::now);

    bool json() const { return json_; }
    // The run id every record carries after its time.
    void set_run_id(std::string id) { run_id_ = std::move(id); }
    const std::string &run_id() const { return run_id_; }
    // Every record also goes to the sink, when set (not owned).
    void set_sink(RecordSink *sink) { sink_ = sink; }
    // The records' clock.
    std::chrono::system_clock::time_point now() const { return clock_(); }
    // One JSON record (nothing in text mode).
    void record(std::string_view type, const json::Object &fields, const json::Object &units = json::Object());
    // One line of text (nothing in JSON mode).
    void text(const std::string &line);
    // A write failed: the reader of the output has gone away.
    bool broken() const { return broken_; }
    // Why the first failed write failed ("No space left on device").
    const std::string &failure() const { return failure_; }

private:
    void write(const std::string &line);

    std::FILE *out_;
    bool json_;
    Clock clock_;
    std::string run_id_;
    RecordSink *sink_ = nullptr;
    std::uint64_t sequence_ = 0;
    bool broken_ = false;
    std::string failure_;
};

}  // namespace deve::cli
