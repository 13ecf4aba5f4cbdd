// A run's journal into the store's tables. The journal is the run's records
// as deve-cli writes them (line-JSON), with a mark after each step that says
// how the step ended. The live run and store upload both write through this,
// so a run that went through the spool is stored exactly as one that did not.
//
// Each step is one transaction: the open (step 0) with the run's row, its
// board and its --meta pairs; then every command with its measurements and
// burns; the end record sets the verdict. A run whose station dies part-way
// keeps the verdict incomplete.
#pragma once

#include "odbc.h"

#include <memory>
#include <string>

namespace deve::store {

// The mark that ends a step in the journal.
struct StepMark {
    std::size_t step = 0;
    std::string command;
    std::string outcome;  // pass, fail, error
    std::string kind;
    std::string reason;
    std::string started_at;
    std::string ended_at;
};
std::string step_mark_line(const StepMark &mark);

class RunWriter {
public:
    // from_spool: the run may be in the store already. One that was stored
    // whole (it has its verdict) is left as it is and the journal is passed
    // over; a part of one (verdict incomplete) is replaced.
    // whole: the caller holds one transaction for the whole journal (store
    // upload stores a spooled run whole or not at all); otherwise each step
    // is a transaction of its own.
    RunWriter(odbc::Connection &db, bool from_spool, bool whole = false);
    ~RunWriter();
    RunWriter(const RunWriter &) = delete;
    RunWriter &operator=(const RunWriter &) = delete;

    // One line of the journal. Throws odbc::Error when the database fails,
    // std::runtime_error for a line that is not a record or a mark.
    void consume(const std::string &line);
    // The end of a journal that may have stopped part-way (a spool whose
    // station died): the run's row is written if it was not, and a step
    // under way is stored with the outcome incomplete.
    void finish();

    const std::string &run_id() const;
    // from_spool: the run was already stored whole, nothing was written.
    bool already_stored() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace deve::store
