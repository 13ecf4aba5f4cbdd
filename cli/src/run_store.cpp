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

RunStore::~RunStore() = default;

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
    writer_.reset();
    db_.reset();
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
    try {
        writer_->consume(line);
    } catch (const store::odbc::Error &e) {
        spool(e.what());
    } catch (const std::exception &e) {
        spool(std::string("store ") + url_->name + ": " + e.what());
    }
}

json::Object RunStore::record(std::string_view type, const std::string &line) {
    write(line);
    if (type != "end") {
        return json::Object();
    }
    if (!spooling_) {
        return json::Object().add("store", "stored");
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
        return json::Object().add("store", "lost");
    }
    return json::Object().add("store", "spooled").add("spool", spool_file());
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
