// One invocation: open the link with the console's open sequence, run the
// commands in order, leave the radio safe (transmission and reception
// stopped) on every way out, close the link.
#pragma once

#include "commands.h"
#include "counters.h"
#include "deve/efuse_burn.h"
#include "deve/rf_api.h"
#include "input_file.h"
#include "mac_pool.h"
#include "output.h"
#include "progress.h"
#include "trim_search.h"
#include "tuning.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace deve::cli {

// What the runner needs besides the library's console exports.
struct Environment {
    // rf_read_temperature.
    std::function<std::int32_t(std::int32_t *celsius)> read_temperature;
    std::function<std::string()> requested_transport;
    // The library's diagnostic lines since the last call.
    std::function<std::vector<std::string>()> library_lines;
    // The interrupting signal, 0 when none.
    std::function<int()> pending_signal;
    std::function<const char *(int)> signal_name;
    // Asks the operator (prompt on standard error) and returns the answer;
    // nothing at end of input.
    std::function<std::optional<std::string>(const std::string &prompt)> ask;
    // All of the library's diagnostic lines go here as well, when set; false
    // when the line could not be written.
    std::function<bool(const std::string &line)> library_log;
    // The host the run is on, for the open and end records.
    std::string host;
    // Connects to the store's MAC pools (--store); throws PoolStoreError when
    // it cannot be reached. Unset: no store was given.
    std::function<std::unique_ptr<PoolBook>()> open_pools;
    // Called when the open and each command have ended, after their records.
    std::function<void(const StepEnd &)> step_end;
};

// Where the commands of a run come from: the command line, or the lines of
// a session read one at a time.
class CommandSource {
public:
    virtual ~CommandSource() = default;
    // The next commands, or a usage error (`error` set); nothing at the end.
    struct Batch {
        std::vector<Command> commands;
        std::string error;
        // The session line the commands come from (counted from 1), so that
        // a line_end record can tell a client that the line is done; 0 for
        // the command line, which has no such record.
        std::size_t line = 0;
    };
    virtual std::optional<Batch> next() = 0;
};

// The commands of the command line, once.
class FixedCommands final : public CommandSource {
public:
    explicit FixedCommands(std::vector<Command> commands) : commands_(std::move(commands)) {}
    std::optional<Batch> next() override;

private:
    std::vector<Command> commands_;
    bool given_ = false;
};

// A session's lines from a reader (one line per call, nothing at the end,
// the reason when the input failed): blank and comment lines are passed
// over, "quit" ends the session, a byte-order mark before the first line is
// skipped.
class SessionLines final : public CommandSource {
public:
    explicit SessionLines(std::function<LineRead()> read_line) : read_line_(std::move(read_line)) {}
    std::optional<Batch> next() override;

private:
    std::function<LineRead()> read_line_;
    std::size_t line_ = 0;
};

// The outcome of a command, ordered by severity; the value is the exit code.
enum class Outcome {
    Pass = 0,
    Fail = 1,     // a result failed its limits, or was not confirmed
    Refused = 2,  // a usage error or a refusal; also output that could not be written
    Link = 3,     // the link or the board: busy, did not open, did not answer
};

// A limit as records give it: name, relation, limit, value, unit, source,
// pass.
ordered_json limit_object(const LimitCheck &check);

// The outcome of an error of a kind: "usage", "refused", "output", "internal"
// are refusals; "link", "board", "busy", "store" are link, board or database
// errors.
Outcome outcome_of_error(const std::string &kind);

class Runner {
public:
    Runner(RfApi &api, Output &out, Progress &progress, Environment env, Globals globals);

    // Runs everything; returns the exit code (an Outcome, or 128 + signal
    // when interrupted).
    int run(CommandSource &source);
    int run(const std::vector<Command> &commands);

    // The commands.
    Outcome operator()(const InfoCmd &cmd);
    Outcome operator()(const RegReadCmd &cmd);
    Outcome operator()(const RegWriteCmd &cmd);
    Outcome operator()(const TuneCmd &cmd);
    Outcome operator()(const TxCmd &cmd);
    Outcome operator()(const RxCmd &cmd);
    Outcome operator()(const CalCmd &cmd);
    Outcome operator()(const DpdCmd &cmd);
    Outcome operator()(const TempCmd &cmd);
    Outcome operator()(const ScriptCmd &cmd);
    Outcome operator()(const MacReadCmd &cmd);
    Outcome operator()(const MacWriteCmd &cmd);
    Outcome operator()(const EfuseSummaryCmd &cmd);
    Outcome operator()(const EfuseReadCmd &cmd);
    Outcome operator()(const EfuseBurnCmd &cmd);
    Outcome operator()(const TrimFindCmd &cmd);

private:
    bool open_link();
    // Stops transmission and reception, reads back that they are off, and
    // closes the link. False when the radio does not read back as safe.
    bool close_link();
    // The fields every record of the current command starts with.
    ordered_json head() const;
    // head() and the operating point a tx or rx run used.
    ordered_json run_head() const;
    // An error of the current command, of a kind outcome_of_error knows.
    Outcome error(const std::string &kind, const std::string &message, const ordered_json &extra = ordered_json::object());
    // After the commands of a session line (or its refusal): the line's
    // number, the steps it ran and its verdict, so that a client driving the
    // session knows the line is done.
    void line_end(std::size_t line, std::size_t first_step, Outcome outcome);
    // A failed result of the current command, with the reason the end record
    // lists: one failure for each limit it broke (with the value measured),
    // or one without a limit; a result cut short by a signal is
    // "interrupted".
    Outcome fail(const std::string &reason, const std::vector<LimitCheck> &checks = {}, bool interrupted = false);
    // Runs one command; false when the run must stop after it.
    bool run_command(const Command &command, Outcome &worst);
    // The run's identity: tool version, host and the operator's metadata.
    ordered_json run_identity() const;
    // The operating point as tune, tx and rx report it.
    ordered_json operating_point_fields() const;
    static ordered_json operating_point_units();
    // Refuses a radio test when the link was opened without the radio's
    // calibrations and no cal ran since.
    std::optional<Outcome> refuse_uncalibrated();
    // Emits the library's diagnostics: every line to the log, the error lines
    // as results.
    void drain_library();
    // Waits until `deadline`; false when a signal or a closed output cut the
    // wait short.
    bool wait_until(std::chrono::steady_clock::time_point deadline);
    bool stopping() const;

    // The transmitted-frame counter; nothing when the transport failed the read.
    std::optional<std::uint32_t> read_tx_frames();
    // The error of a test run whose counter reads the transport failed.
    Outcome counter_failure(const char *which);
    std::optional<FuseMap> read_map();
    // The error when the fuses could not be read.
    Outcome fuses_unread();
    // What a burn did, for a caller that records it (the MAC pools).
    struct BurnReport {
        bool programmed = false;          // programming was started
        std::optional<FuseMap> readback;  // the fuses after it, when read
    };
    Outcome burn(const std::string &name, const Staging &staging, const FuseMap &now, const BurnOptions &options,
                 BurnReport *report = nullptr);
    // mac write --from-pool: the board's address from a pool of the store.
    Outcome pool_write(const MacWriteCmd &cmd);
    // Before the link opens: the store is reachable, the pools named exist and
    // can give an address. Nothing when the run may go on.
    std::optional<Outcome> check_pools(const std::vector<Command> &commands);
    // The store's pools, connected at first use; throws PoolStoreError.
    PoolBook &pools();
    BoardId board_id(const FuseMap &map) const;
    std::string meta_value(const std::string &key) const;
    // After a Freq_offset burn (or one that found it already there): the
    // trim goes to the running radio at once.
    void apply_burnt_trim(const BurnPlan &plan, ordered_json &fields);
    // The limits and the verdict: pass when the run completed and every
    // limit holds.
    void emit_limits(const std::vector<LimitCheck> &checks, bool complete, const LimitSet *set, ordered_json &fields);
    // The limit file's set for a run of `command` at the radio's operating
    // point, if any.
    const LimitSet *limit_set(const char *command) const;
    // With a limit file, a tx or rx that neither a set nor a limit option
    // judges fails (unless --unjudged-ok): the reason, or nothing.
    std::optional<std::string> unjudged(const LimitSet *set, const std::vector<LimitCheck> &checks) const;
    // A set whose min-frames a run of `frames` frames cannot reach: the
    // refusal, or nothing.
    std::optional<std::string> unreachable_set(const char *command, const std::optional<std::uint64_t> &frames,
                                               const std::optional<std::uint64_t> &min_frames) const;
    std::string limits_text(const std::vector<LimitCheck> &checks, bool complete) const;
    // limits_text, or why a run no limit judges fails.
    std::string verdict_text(const std::vector<LimitCheck> &checks, bool complete,
                             const std::optional<std::string> &unjudged_reason) const;
    // A tx or rx run's outcome: a fail for each limit broken, cut short
    // (interrupted, when a signal did it) or judged by nothing.
    Outcome judged(const std::vector<LimitCheck> &checks, bool complete, bool interrupted,
                   const std::optional<std::string> &unjudged_reason);
    std::string operating_point() const;
    // Applies a tune plan and records what it changed.
    ordered_json apply_plan(const TunePlan &plan);
    // Stops the receive counter block of the mode; its counts stay. False
    // when the transport failed an access.
    bool stop_rx_counting();
    // One point of the trim search: the receiver at `trim` from zero counts
    // until `frames` frames, until `stop` decides it worse than the best so
    // far, or until the point's time is up. Nothing when the transport
    // failed a read or a signal stopped the run.
    std::optional<TrimPoint> measure_trim(std::uint32_t trim, std::uint64_t frames, EarlyStop &stop, bool fine,
                                          bool &read_failed);

    RfApi &api_;
    Output &out_;
    Progress &progress_;
    Environment env_;
    Globals globals_;
    RadioState radio_;
    bool link_open_ = false;
    bool calibrated_ = false;  // the open sequence or cal calibrated the radio
    bool log_failed_ = false;  // the library log could not be written
    std::size_t step_ = 0;
    std::string command_;
    std::string run_started_;   // before the link opened
    std::string step_started_;  // when the current command started; the run's start for open and end
    std::string line_started_;  // when the current session line started
    // Tells the store that the current step has ended with this outcome.
    void end_step(Outcome outcome);
    // Every step that failed or ended in an error, and why.
    struct Failure {
        std::size_t step;
        std::string command;
        std::string kind;  // "fail", "interrupted" or the error's kind
        std::string reason;
        std::optional<LimitCheck> limit;  // the limit broken, with the value measured
    };
    std::vector<Failure> failures_;
    std::unique_ptr<PoolBook> pools_;
    std::vector<Command> planned_;  // the command line's commands, known before the link opens
};

}  // namespace deve::cli
