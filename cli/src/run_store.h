// A run's results in the line store, as the run goes: every record goes to
// the run's journal, and each step is written in one transaction when it
// ends. When a write fails (the network gone, the server stopped), the
// whole journal goes to the spool, a line-JSON file of the run's own, and
// the rest of the run follows it there; deve-cli store upload sends it later.
#pragma once

#include "output.h"
#include "runner.h"

#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace deve::store {
class RunWriter;
struct StoreUrl;
namespace odbc {
class Connection;
class Environment;
}  // namespace odbc
}  // namespace deve::store

namespace deve::cli {

// The spool folder: DEVE_SPOOL, else the state folder's spool.
std::string spool_directory(const std::string &state_directory);
// A run's spool file while it is written, and once the run has ended.
constexpr const char *kSpoolPartSuffix = ".jsonl.part";
constexpr const char *kSpoolSuffix = ".jsonl";

class RunStore final : public RecordSink {
public:
    RunStore(const store::StoreUrl &url, std::string spool_dir, std::string run_id);
    ~RunStore() override;

    // Before the link opens: connects and checks the store. Nothing when the
    // run may go on (the store is ready, or it is away and the run will
    // spool); otherwise the reason to refuse the run.
    std::optional<std::string> open();

    json::Object record(std::string_view type, const std::string &line) override;
    void step_end(const StepEnd &end, const std::string &ended_at);

    // Why the store was away, when the run went to the spool.
    const std::string &away_reason() const { return away_reason_; }
    bool spooled() const { return spooling_; }
    std::string spool_file() const;
    // The spool could not be written either: the results are only in the
    // records.
    bool lost() const { return lost_; }

private:
    void write(const std::string &line);
    void spool(const std::string &reason);
    void append(const std::string &line);

    std::unique_ptr<store::StoreUrl> url_;
    std::string spool_dir_;
    std::string run_id_;
    std::unique_ptr<store::odbc::Environment> env_;
    std::unique_ptr<store::odbc::Connection> db_;
    std::unique_ptr<store::RunWriter> writer_;
    std::vector<std::string> journal_;
    bool spooling_ = false;
    bool lost_ = false;
    bool ended_ = false;
    std::string away_reason_;
    std::ofstream spool_;
};

}  // namespace deve::cli
