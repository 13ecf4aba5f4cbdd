// What a run hands the line store as it goes: every record as it is
// written, and each step's end.
#pragma once

#include "common/json.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace deve::cli {

// Receives every record as it is made, in text mode too: the line store.
class RecordSink {
public:
    virtual ~RecordSink() = default;
    // The record's JSON text. Members returned (an object) are added to the
    // record as it is written (after the sink has it): what became of it in
    // the store.
    virtual ordered_json record(std::string_view type, const std::string &line) = 0;
};

// A step that has ended, for the line store: each step is written in one
// transaction when it ends.
struct StepEnd {
    std::size_t step = 0;  // 0: the open
    std::string command;
    std::string outcome;   // "pass", "fail", "error"
    std::string kind;      // the error's kind, or "fail"; empty for a pass
    std::string reason;
    std::string started_at;
};

}  // namespace deve::cli
