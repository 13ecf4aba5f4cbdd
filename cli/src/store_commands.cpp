#include "store_commands.h"

#include "connect.h"
#include "odbc.h"
#include "pool_admin.h"
#include "schema.h"
#include "url.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>

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

    int done(json::Object fields, const std::string &text) {
        out_.record("store", head().merge(fields));
        out_.text(text);
        return end(0, {});
    }
    int failed(int code, const std::string &kind, const std::string &message) {
        out_.record("error", head().add("kind", kind).add("message", message));
        std::fprintf(stderr, "deve-cli: %s\n", message.c_str());
        return end(code, json::Array().push(
                             json::Object().add("step", 0).add("command", command_).add("kind", kind).add(
                                 "reason", message)));
    }

    int end(int code, const json::Array &failures) {
        out_.record("end", json::Object()
                               .add("step", 0)
                               .add("command", "end")
                               .add("verdict", code == 0 ? "pass" : "error")
                               .add("exit_code", code)
                               .add("failures", failures)
                               .add("version", kVersion));
        return code;
    }

private:
    json::Object head() const { return json::Object().add("step", 0).add("command", command_); }
    Output &out_;
    std::string command_;
};

int store_init(const store::StoreUrl &url, Report &report) {
    store::odbc::Environment env;
    try {
        std::unique_ptr<store::odbc::Connection> db = store::connect(env, url, true);
        const std::vector<int> applied = store::init_schema(*db, kVersion, utc_timestamp(std::chrono::system_clock::now()));
        json::Array versions;
        std::string list;
        for (int v : applied) {
            versions.push(v);
            list += (list.empty() ? "" : ", ") + std::to_string(v);
        }
        const int version = store::latest_schema_version();
        return report.done(json::Object()
                               .add("store", url.name)
                               .add("schema_version", version)
                               .add("applied", versions),
                           "store " + url.name + ": schema version " + std::to_string(version) +
                               (applied.empty() ? " (already current)" : " (applied migrations " + list + ")"));
    } catch (const store::odbc::Error &e) {
        return report.failed(exit_code_of(e), "store", e.what());
    } catch (const std::runtime_error &e) {
        return report.failed(kRefused, "store", e.what());
    }
}

// store pool ...: the pools of the store.
int store_pool(const StoreCommand &command, const store::StoreUrl &url, Report &report, Output &out) {
    const PoolAdminCmd cmd = *parse_pool_admin(command.words).cmd;
    std::string refusal;
    try {
        const int code = run_pool_admin(cmd, *open_pool_book(url), out, refusal);
        return code == 0 ? report.end(0, {}) : report.failed(code, "refused", refusal);
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
    std::vector<std::string> reversed(words.rbegin(), words.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp &) {
        result.kind = ParseResult::Kind::Help;
        result.text = app.get_subcommands().empty() ? app.help() : app.get_subcommands().front()->help();
        return result;
    } catch (const CLI::ParseError &e) {
        result.kind = ParseResult::Kind::Error;
        result.text = std::string("store: ") + e.what();
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
    if (command.action == kPoolAction) {
        return store_pool(command, *url.url, report, out);
    }
    return store_init(*url.url, report);
}

}  // namespace deve::cli
