#include "run_store.h"

#include "connect.h"
#include "run_writer.h"
#include "url.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace deve::cli {

std::string spool_directory(const std::string &state_directory) {
    if (const char *spool = std::getenv("DEVE_SPOOL"); spool != nullptr && *spool != '\0') {
        return spool;
    }
    return state_directory.empty() ? std::string()
                                   : (std::filesystem::u8path(state_directory) / "spool").u8string();
}

RunStore::RunStore(const store::StoreUrl &url, std::string spool_dir, std::string run_id)
    : url_(std::make_unique<store::StoreUrl>(url)), spool_dir_(std::move(spool_dir)), run_id_(std::move(run_id)) {}

RunStore::~RunStore() { stop_writer(); }

void RunStore::stop_writer() {
    if (!writer_thread_.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    std::unique_lock<std::mutex> lock(mutex_);
    if (busy_ && !changed_.wait_for(lock, std::chrono::seconds(1), [this] { return !busy_; })) {
        // A write hangs on a database that does not answer: the thread and
        // its connection are left to the end of the process.
        lock.unlock();
        writer_thread_.detach();
        (void)writer_.release();
        (void)db_.release();
        (void)env_.release();
        return;
    }
    lock.unlock();
    writer_thread_.join();
}

void RunStore::work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (queue_.empty() || !failure_.empty()) {
            if (stop_) {
                return;
            }
            queue_.clear();
            continue;
        }
        const std::string line = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        std::string failure;
        try {
            writer_->consume(line);
        } catch (const store::odbc::Error &e) {
            failure = e.what();
        } catch (const std::exception &e) {
            failure = "store " + url_->name + ": " + e.what();
        }
        lock.lock();
        busy_ = false;
        if (!failure.empty()) {
            failure_ = failure;
            queue_.clear();
        }
        changed_.notify_all();
    }
}

bool RunStore::caught_up(std::string &failure) {
    std::unique_lock<std::mutex> lock(mutex_);
    const bool done = changed_.wait_for(lock, kCatchUp, [this] { return (queue_.empty() && !busy_) || !failure_.empty(); });
    failure = !failure_.empty() ? failure_
              : done            ? std::string()
                                : "store " + url_->name + ": the store did not take the run's results within " +
                           std::to_string(kCatchUp.count()) + " s of its end";
    return failure.empty();
}

std::optional<std::string> RunStore::open() {
    try {
        env_ = std::make_unique<store::odbc::Environment>();
    } catch (const store::odbc::Error &e) {
        return std::string(e.what());
    }
    if (const std::optional<store::StoreProblem> problem = store::open_for_runs(*env_, *url_, db_)) {
        if (!problem->away) {
            return problem->message;
        }
        // Away: the run goes on, into the spool.
        if (spool_dir_.empty()) {
            return problem->message + "; and there is no spool folder for the results (set DEVE_SPOOL)";
        }
        spool(problem->message);
        if (lost_) {
            return problem->message + "; and the spool " + spool_file() + " cannot be written";
        }
        return std::nullopt;
    }
    writer_ = std::make_unique<store::RunWriter>(*db_, false);
    writer_thread_ = std::thread([this] { work(); });
    return std::nullopt;
}

std::string RunStore::spool_file() const {
    return (std::filesystem::u8path(spool_dir_) / (run_id_ + (ended_ ? kSpoolSuffix : kSpoolPartSuffix))).u8string();
}

void RunStore::append(const std::string &line) {
    if (lost_) {
        return;
    }
    spool_ << line << '\n';
    spool_.flush();
    lost_ = !spool_;
}

void RunStore::spool(const std::string &reason) {
    spooling_ = true;
    away_reason_ = reason;
    stop_writer();
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::u8path(spool_dir_), error);
    spool_.open(std::filesystem::u8path(spool_file()), std::ios::binary | std::ios::app);
    lost_ = !spool_;
    for (const std::string &line : journal_) {
        append(line);
    }
}

void RunStore::write(const std::string &line) {
    journal_.push_back(line);
    if (spooling_) {
        append(line);
        return;
    }
    std::string failure;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        failure = failure_;
        if (failure.empty()) {
            queue_.push_back(line);
        }
    }
    if (failure.empty()) {
        changed_.notify_all();
    } else {
        spool(failure);
    }
}

ordered_json RunStore::record(std::string_view type, const std::string &line) {
    opened_ = opened_ || type == "open";
    write(line);
    if (type != "end") {
        return ordered_json::object();
    }
    if (!opened_) {
        // Refused before the board was opened (a MAC pool the store could
        // not give): the store keeps runs from their open, so there is
        // nothing to store, live or later. No spool file is left that no
        // upload could send.
        stop_writer();
        nothing_to_store_ = true;
        if (spooling_) {
            spool_.close();
            std::error_code error;
            std::filesystem::remove(std::filesystem::u8path(spool_file()), error);
            spooling_ = false;
            lost_ = false;
        }
        return json::Object()
            .add("store", "not stored")
            .add("store_reason", "the run ended before the board was opened; the store keeps runs from their open");
    }
    if (std::string failure; !spooling_ && !caught_up(failure)) {
        spool(failure);
    }
    if (!spooling_) {
        stop_writer();
        return ordered_json{{"store", "stored"}};
    }
    // The run has ended: its spool file is whole and may be uploaded.
    spool_.close();
    const std::string part = spool_file();
    ended_ = true;
    std::error_code error;
    std::filesystem::rename(std::filesystem::u8path(part), std::filesystem::u8path(spool_file()), error);
    if (error) {
        ended_ = false;
    }
    if (lost_) {
        return ordered_json{{"store", "lost"}};
    }
    return ordered_json{{"store", "spooled"}, {"spool", spool_file()}};
}

void RunStore::step_end(const StepEnd &end, const std::string &ended_at) {
    store::StepMark mark;
    mark.step = end.step;
    mark.command = end.command;
    mark.outcome = end.outcome;
    mark.kind = end.kind;
    mark.reason = end.reason;
    mark.started_at = end.started_at;
    mark.ended_at = ended_at;
    write(store::step_mark_line(mark));
}

}  // namespace deve::cli
