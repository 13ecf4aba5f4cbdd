#include "store_commands.h"

#include "connect.h"
#include "odbc.h"
#include "pool_admin.h"
#include "platform.h"
#include "run_store.h"
#include "run_writer.h"
#include "schema.h"
#include "spool.h"
#include "standalone_parse.h"
#include "url.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace deve::cli {

namespace {

constexpr int kRefused = 2;
constexpr int kAway = 3;

int exit_code_of(const store::odbc::Error &e) {
    return e.failure() == store::odbc::Failure::Unreachable ? kAway : kRefused;
}

// The record of a store command and its end record, or its text.
class Report {
public:
    Report(Output &out, const StoreCommand &command) : out_(out), command_("store " + command.action) {}

    int done(ordered_json fields, const std::string &text) {
        out_.record("store", merged(head(), fields));
        out_.text(text);
        return end(0, ordered_json::array());
    }
    int failed(int code, const std::string &kind, const std::string &message) {
        out_.record("error", merged(head(), {{"kind", kind}, {"message", message}}));
        std::fprintf(stderr, "deve-cli: %s\n", message.c_str());
        return end(code, ordered_json::array({ordered_json{{"step", 0}, {"command", command_}, {"kind", kind}, {"reason", message}}}));
    }

    int end(int code, const ordered_json &failures) {
        out_.record("end", ordered_json{{"step", 0}, {"command", "end"}, {"verdict", code == 0 ? "pass" : "error"}, {"exit_code", code}, {"failures", failures}, {"version", kVersion}});
        return code;
    }

private:
    ordered_json head() const { return ordered_json{{"step", 0}, {"command", command_}}; }
    Output &out_;
    std::string command_;
};

int store_init(const store::StoreUrl &url, Report &report) {
    store::odbc::Environment env;
    try {
        std::unique_ptr<store::odbc::Connection> db = store::connect(env, url, true);
        const std::vector<int> applied = store::init_schema(*db, kVersion, utc_timestamp(std::chrono::system_clock::now()));
        if (url.backend == store::Backend::Sqlite) {
            // The database is ours now: SQLite's write-ahead log, kept in
            // the file, so that a step's commit is one append and one sync
            // and readers do not wait for writers. Only a store is switched:
            // a run or a report leaves any other database as it found it.
            db->scalar("PRAGMA journal_mode=WAL");
        }
        ordered_json versions = ordered_json::array();
        std::string list;
        for (int v : applied) {
            versions.push_back(v);
            list += (list.empty() ? "" : ", ") + std::to_string(v);
        }
        const int version = store::latest_schema_version();
        return report.done(ordered_json{{"store", url.name}, {"schema_version", version}, {"applied", versions}},
                           "store " + url.name + ": schema version " + std::to_string(version) +
                               (applied.empty() ? " (already current)" : " (applied migrations " + list + ")"));
    } catch (const store::odbc::Error &e) {
        return report.failed(exit_code_of(e), "store", e.what());
    } catch (const std::runtime_error &e) {
        return report.failed(kRefused, "store", e.what());
    }
}

// A spool file that a running station still writes is left alone; one not
// written for this long was left by a station that died.
constexpr std::chrono::minutes kStalePart{10};

bool ends_with(const std::string &text, const std::string &suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The spool's files to send: every ended run, and the runs whose station
// died while spooling. Oldest first.
std::vector<std::filesystem::path> spool_files(const std::filesystem::path &dir) {
    std::vector<std::pair<std::filesystem::file_time_type, std::filesystem::path>> found;
    std::error_code error;
    const auto now = std::filesystem::file_time_type::clock::now();
    for (const auto &entry : std::filesystem::directory_iterator(dir, error)) {
        const std::string name = entry.path().filename().u8string();
        // Only regular files: a FIFO would hang the upload, a device (a link
        // to /dev/zero) never end.
        std::error_code kind_error;
        if (!entry.is_regular_file(kind_error) || kind_error) {
            continue;
        }
        const auto written = entry.last_write_time(error);
        if (error) {
            continue;
        }
        if (ends_with(name, kSpoolSuffix) || (ends_with(name, kSpoolPartSuffix) && now - written > kStalePart)) {
            found.emplace_back(written, entry.path());
        }
    }
    std::sort(found.begin(), found.end());
    std::vector<std::filesystem::path> files;
    for (const auto &f : found) {
        files.push_back(f.second);
    }
    return files;
}

// A spool file that is damaged or is no run's: it goes to the rejected
// folder, and the rest of the spool is sent.
struct Rejected : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Sends one spooled run, whole or not at all; the run id, and whether it
// was stored already. Throws Rejected for a file that can never be stored,
// other errors for a store that failed (the file is kept).
std::pair<std::string, bool> upload_file(store::odbc::Connection &db, const std::filesystem::path &file) {
    const store::SpoolRead read = store::read_spool_file(file, ends_with(file.u8string(), kSpoolPartSuffix));
    if (!read.refusal.empty()) {
        if (read.unreadable) {
            throw std::runtime_error(file.u8string() + ": " + read.refusal);
        }
        throw Rejected(file.u8string() + ": " + read.refusal);
    }
    store::odbc::Transaction transaction(db);
    store::RunWriter writer(db, true, true);
    try {
        for (const std::string &line : read.lines) {
            writer.consume(line);
        }
        writer.finish();
    } catch (const store::odbc::Error &) {
        throw;
    } catch (const std::exception &e) {
        throw Rejected(file.u8string() + ": " + e.what());
    }
    transaction.commit();
    return {writer.run_id(), writer.already_stored()};
}

// Moves a rejected spool file to the spool's rejected folder, with a file
// beside it that says why. False when it could not be moved.
bool reject_file(const std::filesystem::path &file, const std::string &reason) {
    std::error_code error;
    const std::filesystem::path folder = file.parent_path() / "rejected";
    std::filesystem::create_directories(folder, error);
    std::filesystem::path target = folder / file.filename();
    for (int n = 1; std::filesystem::exists(target, error) && n < 1000; ++n) {
        target = folder / file.filename();
        target += "." + std::to_string(n);
    }
    std::filesystem::rename(file, target, error);
    if (error) {
        return false;
    }
    std::filesystem::path reason_file = target;
    reason_file += ".reason";
    std::ofstream why(reason_file, std::ios::binary);
    why << reason << '\n';
    return true;
}

int store_upload(const store::StoreUrl &url, Report &report) {
    const std::string dir = spool_directory(platform::state_directory());
    if (dir.empty()) {
        return report.failed(kRefused, "store", "store upload: no spool folder is known: set DEVE_SPOOL");
    }
    store::odbc::Environment env;
    std::unique_ptr<store::odbc::Connection> db;
    if (const std::optional<store::StoreProblem> problem = store::open_for_runs(env, url, db)) {
        return report.failed(problem->away ? kAway : kRefused, "store", problem->message);
    }
    ordered_json sent = ordered_json::array();
    ordered_json already = ordered_json::array();
    ordered_json failed = ordered_json::array();
    ordered_json rejected = ordered_json::array();
    std::size_t rejected_count = 0;
    std::size_t sent_count = 0;
    std::size_t already_count = 0;
    std::size_t failed_count = 0;
    std::string first_failure;
    bool away = false;
    for (const std::filesystem::path &file : spool_files(std::filesystem::u8path(dir))) {
        try {
            const auto [run_id, stored_before] = upload_file(*db, file);
            std::filesystem::remove(file);
            (stored_before ? already : sent).push_back(run_id);
            ++(stored_before ? already_count : sent_count);
        } catch (const Rejected &e) {
            const bool moved = reject_file(file, e.what());
            const std::string reason = std::string(e.what()) +
                                       (moved ? "; moved to the spool's rejected folder" : "; it could not be moved aside");
            (moved ? rejected : failed).push_back(ordered_json{{"file", file.u8string()}, {"reason", reason}});
            ++(moved ? rejected_count : failed_count);
            if (first_failure.empty()) {
                first_failure = reason;
            }
        } catch (const std::exception &e) {
            failed.push_back(ordered_json{{"file", file.u8string()}, {"reason", e.what()}});
            ++failed_count;
            if (first_failure.empty()) {
                first_failure = e.what();
            }
            const auto *odbc_error = dynamic_cast<const store::odbc::Error *>(&e);
            if (odbc_error != nullptr && odbc_error->failure() == store::odbc::Failure::Unreachable) {
                away = true;
                break;
            }
        }
    }
    const std::string text = "store upload to " + url.name + ": " + std::to_string(sent_count) + " runs sent, " +
                             std::to_string(already_count) + " already stored, " +
                             std::to_string(rejected_count) + " rejected, " + std::to_string(failed_count) +
                             " failed; spool " + dir;
    if (failed_count != 0 || rejected_count != 0) {
        return report.failed(away ? kAway : kRefused, "store",
                             text + (failed_count != 0 ? "; the failed files stay in the spool" : "") +
                                 (rejected_count != 0 ? "; the rejected files are in its rejected folder" : "") +
                                 ": " + first_failure);
    }
    return report.done(ordered_json{{"store", url.name},
                                    {"spool", dir},
                                    {"sent", sent},
                                    {"already_stored", already},
                                    {"rejected", rejected},
                                    {"failed", failed}},
                       text);
}

// store pool ...: the pools of the store.
int store_pool(const StoreCommand &command, const store::StoreUrl &url, Report &report, Output &out) {
    const PoolAdminCmd cmd = *parse_pool_admin(command.words).cmd;
    std::string refusal;
    try {
        const int code = run_pool_admin(cmd, *open_pool_book(url), out, refusal);
        return code == 0 ? report.end(0, ordered_json::array()) : report.failed(code, "refused", refusal);
    } catch (const PoolStoreError &e) {
        return report.failed(kAway, "store", e.what());
    }
}

}  // namespace

ParseResult parse_store_command(const std::vector<std::string> &words) {
    if (!words.empty() && words.front() == kPoolAction) {
        return parse_store_pool(words);
    }
    ParseResult result;
    CLI::App app{"The line store, without the board. The store is named by --store URL (or DEVE_STORE).",
                 "deve-cli store"};
    app.require_subcommand(1, 1);
    app.allow_windows_style_options(false);
    CLI::App *init = app.add_subcommand("init", "create the store's schema, or upgrade it by its numbered "
                                                "migrations; a schema newer than this deve-cli is refused");
    app.add_subcommand(kPoolAction, "the line's MAC address pools: store pool add, status, reclaim (store pool "
                                    "--help)");
    init->allow_windows_style_options(false);
    CLI::App *upload = app.add_subcommand(
        "upload", "send the runs waiting in the spool (DEVE_SPOOL, else the state folder's spool) to the store; "
                  "a run already stored whole is not stored twice, a part of one is replaced");
    upload->allow_windows_style_options(false);
    if (take_help_or_error(parse_standalone(app, words, "store"), result)) {
        return result;
    }
    StoreCommand command;
    command.action = app.get_subcommands().front()->get_name();
    command.words = words;
    result.line.store = command;
    return result;
}

int run_store_command(const StoreCommand &command, const Globals &globals, Output &out) {
    Report report(out, command);
    if (globals.store.empty()) {
        return report.failed(kRefused, "usage", "store " + command.action + ": no store is named: give --store URL "
                                                "or set DEVE_STORE");
    }
    const store::UrlResult url = store::parse_store_url(globals.store);
    if (!url.url) {
        return report.failed(kRefused, "usage", url.error);
    }
    if (command.action == "upload") {
        return store_upload(*url.url, report);
    }
    if (command.action == kPoolAction) {
        return store_pool(command, *url.url, report, out);
    }
    return store_init(*url.url, report);
}

}  // namespace deve::cli
