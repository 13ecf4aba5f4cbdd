// deve-cli: the Deve console's bench operations from the command line.
#include "commands.h"
#include "deve/library_lines.h"
#include "deve/velmo_api.h"
#include "input_file.h"
#include "link_check.h"
#include "output.h"
#include "platform.h"
#include "pool_admin.h"
#include "progress.h"
#include "report_command.h"
#include "run_store.h"
#include "runner.h"
#include "sha256.h"
#include "url.h"
#include "store_commands.h"
#include "trace_commands.h"
#include "tuning.h"
#include "url.h"
#include "velmo/velmo.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <vector>

namespace {

using namespace deve::cli;
using deve::random_uuid;
using deve::utc_timestamp;
using deve::ordered_json;

constexpr int kUsageExit = 2;

// --json among the global options, for reporting a usage error as JSON.
bool json_requested(const std::vector<std::string> &args) {
    for (const std::string &word : args) {
        const auto &names = command_names();
        if (std::find(names.begin(), names.end(), word) != names.end()) {
            break;
        }
        if (word == "--json") {
            return true;
        }
    }
    return false;
}

// Whether the command line or DEVE_STORE names a store for a run refused
// before its words were understood: --store among the global options, or
// a DEVE_STORE that is not empty. The commands that stand alone (report,
// store, trace, link) are no runs the store would keep.
bool store_named(const std::vector<std::string> &args) {
    for (const std::string &word : args) {
        const auto &names = command_names();
        if (std::find(names.begin(), names.end(), word) != names.end()) {
            if (word == "report" || word == "store" || word == "trace" || word == "link") {
                return false;
            }
            break;
        }
        if (word == "--store" || word.rfind("--store=", 0) == 0) {
            return true;
        }
    }
    const char *variable = std::getenv("DEVE_STORE");
    return variable != nullptr && *variable != '\0';
}

// A run refused before the link opens: the message on standard error, and
// as an error and an end record. `kind`: "usage", or "store" for a store
// that cannot take the run. With a store named, the end record says that
// the run was not stored, and why: the store keeps runs from their open.
int usage_error(const std::string &message, bool json, const char *kind = "usage", bool with_store = false) {
    std::fprintf(stderr, "deve-cli: %s\n", message.c_str());
    Output out(stdout, json);
    out.set_run_id(random_uuid());
    out.record("error", ordered_json{{"step", 0}, {"command", ""}, {"kind", kind}, {"message", message}});
    ordered_json end{{"step", 0}, {"command", "end"}, {"verdict", "error"}, {"exit_code", kUsageExit}, {"failures", ordered_json::array({ordered_json{{"step", 0}, {"command", ""}, {"kind", kind}, {"reason", message}}})}, {"version", kVersion}, {"host", platform::host_name()}, {"meta", ordered_json::object()}};
    if (with_store) {
        end.update({{"store", "not stored"}, {"store_reason", "refused before the board was opened: " + message}});
    }
    out.record("end", end);
    return kUsageExit;
}

// The end record of a run without a store says so, when DEVE_STORE was set
// but empty: a script's results did not go to any store.
class NoStoreNote final : public RecordSink {
public:
    ordered_json record(std::string_view type, const std::string &) override {
        return type == "end" ? ordered_json{{"store", "none"}} : ordered_json::object();
    }
};

// Says on standard error that the results could not be written, and why.
void tell_output_lost(const std::string &reason) {
    std::fprintf(stderr, "deve-cli: standard output could not be written (%s): the results are lost\n",
                 reason.c_str());
}

int run_program(const std::vector<std::string> &args) {
    const ParseResult parsed = parse_command_line(args);
    if (parsed.kind == ParseResult::Kind::Help) {
        errno = 0;
        if (std::fputs(parsed.text.c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
            tell_output_lost(errno != 0 ? std::generic_category().message(errno) : "write error");
            return kUsageExit;
        }
        return 0;
    }
    if (parsed.kind == ParseResult::Kind::Error) {
        return usage_error(parsed.text, json_requested(args), "usage", store_named(args));
    }
    Globals globals = parsed.line.globals;
    // An empty DEVE_STORE is as if it were unset (an environment that
    // clears a variable); the end record then says "store":"none".
    bool store_variable_empty = false;
    if (globals.store.empty()) {
        if (const char *store = std::getenv("DEVE_STORE"); store != nullptr) {
            globals.store = store;
            store_variable_empty = globals.store.empty();
        }
    }
    // An empty --store '' is refused as a usage error above; here a store
    // is named when the URL (from --store or DEVE_STORE) is not empty.
    const bool store_wanted = !globals.store.empty();
    if (parsed.line.trace) {
        return run_trace_command(*parsed.line.trace, globals);
    }
    if (parsed.line.link_check) {
        return run_link_check(*parsed.line.link_check, globals);
    }
    if (parsed.line.report) {
        return run_report_command(*parsed.line.report, globals);
    }
    if (parsed.line.store) {
        Output out(stdout, globals.json || parsed.line.store->json);
        out.set_run_id(random_uuid());
        return run_store_command(*parsed.line.store, globals, out);
    }
    if (!globals.limits_file.empty()) {
        LimitFileResult limits = read_limit_file(globals.limits_file);
        if (!limits.file) {
            return usage_error("--limits: " + limits.error, globals.json, "usage", store_wanted);
        }
        globals.limits = std::move(limits.file);
        globals.limits_sha256 = file_sha256(globals.limits_file).value_or("");
    }

    // A session's file is checked before the link opens, and read again
    // for the run; neither pass keeps more than a line of it.
    const bool from_input = parsed.line.session && parsed.line.session->commands_file.empty();
    const std::string command_file = parsed.line.session ? parsed.line.session->commands_file : std::string();
    if (!command_file.empty()) {
        InputFile in(command_file, "the command file");
        if (!in.error().empty()) {
            return usage_error("session: " + in.error(), globals.json, "usage", store_wanted);
        }
        SessionLines source([&in] { return in.read_line(); });
        OperatingPointCheck check;
        while (const std::optional<CommandSource::Batch> batch = source.next()) {
            if (!batch->error.empty()) {
                return usage_error("session " + command_file + ": " + batch->error, globals.json, "usage",
                                   store_wanted);
            }
            for (const Command &command : batch->commands) {
                if (const std::optional<std::string> refusal = check.tune(command)) {
                    return usage_error("session " + command_file + ": " + *refusal, globals.json, "usage",
                                       store_wanted);
                }
                // A limit set that a run's --frames cannot satisfy.
                if (globals.limits) {
                    if (const std::optional<std::string> refusal = check.limit_set(command, *globals.limits)) {
                        return usage_error("--limits: " + *refusal, globals.json, "usage", store_wanted);
                    }
                }
            }
        }
        globals.commands_file = command_file;
        globals.commands_sha256 = file_sha256(command_file).value_or("");
    }

    // The line store, checked before the link opens.
    const std::string run_id = random_uuid();
    std::unique_ptr<RunStore> store;
    if (!globals.store.empty()) {
        const deve::store::UrlResult url = deve::store::parse_store_url(globals.store);
        if (!url.url) {
            return usage_error(url.error, globals.json, "usage", store_wanted);
        }
        store = std::make_unique<RunStore>(*url.url, spool_directory(platform::state_directory()), run_id);
        if (const std::optional<std::string> refusal = store->open()) {
            return usage_error(*refusal, globals.json, "store", true);
        }
        if (store->spooled()) {
            std::fprintf(stderr, "deve-cli: %s\ndeve-cli: the run's results go to the spool %s; send them with "
                                 "deve-cli store upload\n",
                         store->away_reason().c_str(), store->spool_file().c_str());
        }
    }

    // A limit set that a run's --frames cannot satisfy is refused before
    // the link opens.
    if (globals.limits && !parsed.line.session) {
        if (const std::optional<std::string> refusal = check_limit_sets(parsed.line.commands, *globals.limits)) {
            return usage_error("--limits: " + *refusal, globals.json, "usage", store_wanted);
        }
    }

    std::FILE *log = nullptr;
    if (globals.library_log == "-") {
        log = stderr;
    } else if (!globals.library_log.empty()) {
        log = std::fopen(globals.library_log.c_str(), "a");
        if (log == nullptr) {
            return usage_error("--library-log: cannot open " + globals.library_log + " for writing", globals.json,
                               "usage", store_wanted);
        }
    }

    platform::install_signal_handlers();
    // The library hands its diagnostic lines to the run (for the library log
    // and its error results); standard output carries the results alone,
    // each line ending in LF on every platform.
    deve::LibraryLines library;
    std::FILE *results = stdout;
    platform::binary_output(results);
    Progress progress(globals.progress && platform::is_terminal(stderr) ? stderr : nullptr);
    deve::VelmoApi velmo;
    ProgressApi api(velmo, progress);
    Output out(results, globals.json);
    out.set_run_id(run_id);
    NoStoreNote no_store;
    if (store) {
        out.set_sink(store.get());
    } else if (store_variable_empty) {
        out.set_sink(&no_store);
    }

    Environment env;
    env.read_temperature = [](std::int32_t *celsius) { return ::rf_read_temperature(celsius); };
    env.requested_transport = platform::requested_transport_file;
    env.library_lines = [&library] { return library.take(); };
    env.pending_signal = platform::pending_signal;
    env.signal_name = platform::signal_name;
    env.host = platform::host_name();
    env.ask = [](const std::string &prompt) {
        std::fputs(prompt.c_str(), stderr);
        std::fflush(stderr);
        const std::optional<std::string> answer = platform::read_line().line;
        if (!platform::is_terminal(stdin)) {
            // The answer was not echoed: end the prompt's line.
            std::fputc('\n', stderr);
        }
        return answer;
    };
    if (log != nullptr) {
        env.library_log = [log](const std::string &line) {
            return std::fprintf(log, "%s\n", line.c_str()) >= 0 && std::fflush(log) == 0;
        };
    }

    if (store) {
        env.step_end = [&store, &out](const StepEnd &end) { store->step_end(end, utc_timestamp(out.now())); };
    }

    if (!globals.store.empty()) {
        env.open_pools = [url = globals.store]() {
            const deve::store::UrlResult store_url = deve::store::parse_store_url(url);
            if (!store_url.url) {
                throw PoolStoreError(store_url.error);
            }
            return open_pool_book(*store_url.url);
        };
    }

    Runner runner(api, out, progress, env, globals);
    int code = 0;
    if (from_input) {
        SessionLines lines(platform::read_line);
        code = runner.run(lines);
    } else if (!command_file.empty()) {
        InputFile in(command_file, "the command file");
        SessionLines lines([&in] { return in.read_line(); });
        code = runner.run(lines);
    } else {
        code = runner.run(parsed.line.commands);
    }
    std::fflush(results);
    if (out.broken()) {
        tell_output_lost(out.failure());
    }
    if (log != nullptr && log != stderr) {
        std::fclose(log);
    }
    if (store && store->lost()) {
        std::fprintf(stderr, "deve-cli: %s\ndeve-cli: the spool %s could not be written either: the run's results "
                             "are only in its records\n",
                     store->away_reason().c_str(), store->spool_file().c_str());
        // Output that could not be written.
        code = code == 0 || code == 1 ? 2 : code;
    } else if (store && store->nothing_to_store() && !store->away_reason().empty()) {
        std::fprintf(stderr, "deve-cli: the run ended before the board was opened: nothing of it is spooled\n");
    } else if (store && store->spooled() && !store->away_reason().empty()) {
        std::fprintf(stderr, "deve-cli: the run is in the spool %s; send it with deve-cli store upload\n",
                     store->spool_file().c_str());
    }
    if (const int signal = platform::pending_signal(); signal != 0) {
        platform::end_by_signal(signal);
    }
    return code;
}

}  // namespace

int main(int argc, char **argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        return run_program(args);
    } catch (const std::bad_alloc &) {
        // Memory ran out before the link opened or after it closed (the run
        // itself stops the radio and reports it as an error of its own).
        try {
            return usage_error("out of memory", json_requested(args));
        } catch (const std::bad_alloc &) {
            std::fputs("deve-cli: out of memory\n", stderr);
            return kUsageExit;
        }
    }
}
