// store upload's reader of a run's spool file: the input is the file's
// bytes, read as an ended run's file and as a dead station's .part file. A
// file that is taken must hold one run, whole: one open record, a run id
// that is one, every line a record of that run. Whatever the bytes, the
// reason for a refusal quotes no more than an excerpt of them.
#include "bounds.h"
#include "spool.h"
#include "support/fuzz_target.h"

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>

namespace {

constexpr std::size_t kMaxReasonBytes = 512;

void check_taken(const deve::store::SpoolRead &read, std::string_view text) {
    FUZZ_CHECK(!read.run_id.empty(), "a file taken without a run id");
    int opens = 0;
    for (const std::string &line : read.lines) {
        FUZZ_CHECK(line.size() <= deve::store::kSpoolLineMaxBytes, "a line past the bound taken");
        FUZZ_CHECK(text.find(line) != std::string_view::npos, "a line that is not the file's");
        const nlohmann::json record = nlohmann::json::parse(line, nullptr, false);
        FUZZ_CHECK(record.is_object(), "a line that is not a record taken: " + line.substr(0, 80));
        if (record.contains("run_id")) {
            FUZZ_CHECK(record["run_id"] == read.run_id, "a record of another run taken");
        }
        if (record.contains("type") && record["type"] == "open") {
            ++opens;
        }
        if (record.contains("step")) {
            FUZZ_CHECK(record["step"].is_number_integer() && record["step"].get<long long>() >= 0,
                       "a step that is not a whole number taken");
        }
    }
    FUZZ_CHECK(opens == 1, "a file taken with " + std::to_string(opens) + " open records");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const deve::store::SpoolRead ended = deve::store::check_spool_text(text, false);
    const deve::store::SpoolRead part = deve::store::check_spool_text(text, true);
    for (const deve::store::SpoolRead *read : {&ended, &part}) {
        if (read->refusal.empty()) {
            check_taken(*read, text);
        } else {
            FUZZ_CHECK(read->refusal.size() <= kMaxReasonBytes,
                       "a reason of " + std::to_string(read->refusal.size()) + " bytes");
        }
    }
    // A .part file may stop in the middle of its last line; otherwise the
    // two readings are the same.
    if (ended.refusal.empty()) {
        FUZZ_CHECK(part.refusal.empty() && part.lines == ended.lines, "a whole file read otherwise as .part");
    }
    return 0;
}
