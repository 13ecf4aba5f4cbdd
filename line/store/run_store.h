// A run's results in the line store, as the run goes: every record goes to
// the run's journal, and each step is written in one transaction when it
// ends. The writes run on a thread of their own, so that the board never
// waits for the database: a step is written while the next one runs. When a
// write fails (the network gone, the server stopped), or the store has not
// caught up a while after the run's end, the whole journal goes to the
// spool, a line-JSON file of the run's own, and the rest of the run follows
// it there; deve-cli store upload sends it later.
#pragma once

#include "record_sink.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>
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

    ordered_json record(std::string_view type, const std::string &line) override;
    void step_end(const StepEnd &end, const std::string &ended_at);

    // Why the store was away, when the run went to the spool.
    const std::string &away_reason() const { return away_reason_; }
    bool spooled() const { return spooling_; }
    // The run ended before the board was opened: the store keeps nothing of
    // it, and a spool file begun for it was removed.
    bool nothing_to_store() const { return nothing_to_store_; }
    std::string spool_file() const;
    // The spool could not be written either: the results are only in the
    // records.
    bool lost() const { return lost_; }

    // How long the run's end waits for the store to catch up before the run
    // goes to the spool.
    static constexpr std::chrono::seconds kCatchUp{20};

private:
    void write(const std::string &line);
    void spool(const std::string &reason);
    void append(const std::string &line);
    // The writer thread: takes the queue's lines in order until it is told
    // to stop or a write fails.
    void work();
    // Waits until the writer has written every line; false when it failed
    // or did not within kCatchUp (its reason in `failure`).
    bool caught_up(std::string &failure);
    void stop_writer();

    std::unique_ptr<store::StoreUrl> url_;
    std::string spool_dir_;
    std::string run_id_;
    std::unique_ptr<store::odbc::Environment> env_;
    std::unique_ptr<store::odbc::Connection> db_;
    std::unique_ptr<store::RunWriter> writer_;
    std::vector<std::string> journal_;
    // Shared with the writer thread.
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> queue_;
    bool busy_ = false;          // the writer is writing a line
    bool stop_ = false;
    std::string failure_;        // why a write failed; empty while none did
    std::thread writer_thread_;
    bool spooling_ = false;
    bool lost_ = false;
    bool ended_ = false;
    bool opened_ = false;
    bool nothing_to_store_ = false;        // the journal holds the run's open record
    std::string away_reason_;
    std::ofstream spool_;
};

}  // namespace deve::cli
