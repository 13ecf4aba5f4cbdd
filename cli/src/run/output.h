// Where results go: a readable text line by default, or with --json one JSON
// object per line, each with the schema version, a sequence number, a UTC
// timestamp, the run id, its type and the units of its quantities.
#pragma once

#include "common/json.h"
#include "common/text_format.h"
#include "record_sink.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

namespace deve::cli {

constexpr int kSchemaVersion = 5;

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
    // One JSON record (nothing in text mode): the envelope, then the fields
    // and the units (both objects).
    void record(std::string_view type, const ordered_json &fields,
                const ordered_json &units = ordered_json::object());
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
