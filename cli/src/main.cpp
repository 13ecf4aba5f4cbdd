// deve-cli: the Deve console's bench operations from the command line.
#include "commands.h"
#include "deve/velmo_api.h"
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
#include "tuning.h"
#include "url.h"
#include "velmo/velmo.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace deve::cli;

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

// A run refused before the link opens: the message on standard error, and
// as an error and an end record. `kind`: "usage", or "store" for a store
// that cannot take the run.
int usage_error(const std::string &message, bool json, const char *kind = "usage") {
    std::fprintf(stderr, "deve-cli: %s\n", message.c_str());
    Output out(stdout, json);
    out.set_run_id(random_uuid());
    out.record("error", json::Object().add("step", 0).add("command", "").add("kind", kind).add("message", message));
    out.record("end", json::Object()
                          .add("step", 0)
                          .add("command", "end")
                          .add("verdict", "error")
                          .add("exit_code", kUsageExit)
                          .add("failures", json::Array().push(json::Object()
                                                                  .add("step", 0)
                                                                  .add("command", "")
                                                                  .add("kind", kind)
                                                                  .add("reason", message)))
                          .add("version", kVersion)
                          .add("host", platform::host_name())
                          .add("meta", json::Object()));
    return kUsageExit;
}

}  // namespace

int main(int argc, char **argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const ParseResult parsed = parse_command_line(args);
    if (parsed.kind == ParseResult::Kind::Help) {
        std::fputs(parsed.text.c_str(), stdout);
        return 0;
    }
    if (parsed.kind == ParseResult::Kind::Error) {
        return usage_error(parsed.text, json_requested(args));
    }
    Globals globals = parsed.line.globals;
    if (globals.store.empty()) {
        if (const char *store = std::getenv("DEVE_STORE"); store != nullptr) {
            globals.store = store;
        }
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
            return usage_error("--limits: " + limits.error, globals.json);
        }
        globals.limits = std::move(limits.file);
        globals.limits_sha256 = file_sha256(globals.limits_file).value_or("");
    }

    // A session's file is read and checked before the link opens.
    std::vector<Command> commands = parsed.line.commands;
    const bool from_input = parsed.line.session && parsed.line.session->commands_file.empty();
    if (parsed.line.session && !from_input) {
        const std::string &file = parsed.line.session->commands_file;
        std::ifstream in(std::filesystem::u8path(file));
        if (!in) {
            return usage_error("session: cannot open the command file " + file, globals.json);
        }
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        if (in.bad()) {
            return usage_error("session: the command file " + file + " could not be read to its end", globals.json);
        }
        std::size_t next = 0;
        SessionLines source([&]() -> std::optional<std::string> {
            return next < lines.size() ? std::optional<std::string>(lines[next++]) : std::nullopt;
        });
        while (const std::optional<CommandSource::Batch> batch = source.next()) {
            if (!batch->error.empty()) {
                return usage_error("session " + file + ": " + batch->error, globals.json);
            }
            commands.insert(commands.end(), batch->commands.begin(), batch->commands.end());
        }
        if (const std::optional<std::string> refusal = check_tunes(commands)) {
            return usage_error("session " + file + ": " + *refusal, globals.json);
        }
        globals.commands_file = file;
        globals.commands_sha256 = file_sha256(file).value_or("");
    }

    // The line store, checked before the link opens.
    const std::string run_id = random_uuid();
    std::unique_ptr<RunStore> store;
    if (!globals.store.empty()) {
        const deve::store::UrlResult url = deve::store::parse_store_url(globals.store);
        if (!url.url) {
            return usage_error(url.error, globals.json);
        }
        store = std::make_unique<RunStore>(*url.url, spool_directory(platform::state_directory()), run_id);
        if (const std::optional<std::string> refusal = store->open()) {
            return usage_error(*refusal, globals.json, "store");
        }
        if (store->spooled()) {
            std::fprintf(stderr, "deve-cli: %s\ndeve-cli: the run's results go to the spool %s; send them with "
                                 "deve-cli store upload\n",
                         store->away_reason().c_str(), store->spool_file().c_str());
        }
    }

    // A limit set that a run's --frames cannot satisfy is refused before
    // the link opens.
    if (globals.limits) {
        if (const std::optional<std::string> refusal = check_limit_sets(commands, *globals.limits)) {
            return usage_error("--limits: " + *refusal, globals.json);
        }
    }

    std::FILE *log = nullptr;
    if (globals.library_log == "-") {
        log = stderr;
    } else if (!globals.library_log.empty()) {
        log = std::fopen(globals.library_log.c_str(), "a");
        if (log == nullptr) {
            return usage_error("--library-log: cannot open " + globals.library_log + " for writing", globals.json);
        }
    }

    platform::install_signal_handlers();
    platform::LibraryOutput library;
    std::FILE *results = library.divert();
    if (results == nullptr) {
        results = stdout;
    }
    Progress progress(globals.progress && platform::is_terminal(stderr) ? stderr : nullptr);
    deve::VelmoApi velmo;
    ProgressApi api(velmo, progress);
    Output out(results, globals.json);
    out.set_run_id(run_id);
    if (store) {
        out.set_sink(store.get());
    }

    Environment env;
    env.read_temperature = [](std::int32_t *celsius) { return ::rf_read_temperature(celsius); };
    env.requested_transport = platform::requested_transport_file;
    env.loaded_transport = platform::loaded_transport_file;
    env.library_lines = [&library] { return library.take_lines(); };
    env.pending_signal = platform::pending_signal;
    env.signal_name = platform::signal_name;
    env.host = platform::host_name();
    env.ask = [](const std::string &prompt) {
        std::fputs(prompt.c_str(), stderr);
        std::fflush(stderr);
        const std::optional<std::string> answer = platform::read_line();
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
    } else {
        code = runner.run(commands);
    }
    std::fflush(results);
    if (log != nullptr && log != stderr) {
        std::fclose(log);
    }
    if (store && store->lost()) {
        std::fprintf(stderr, "deve-cli: %s\ndeve-cli: the spool %s could not be written either: the run's results "
                             "are only in its records\n",
                     store->away_reason().c_str(), store->spool_file().c_str());
        // Output that could not be written.
        code = code == 0 || code == 1 ? 2 : code;
    } else if (store && store->spooled() && !store->away_reason().empty()) {
        std::fprintf(stderr, "deve-cli: the run is in the spool %s; send it with deve-cli store upload\n",
                     store->spool_file().c_str());
    }
    if (const int signal = platform::pending_signal(); signal != 0) {
        platform::end_by_signal(signal);
    }
    return code;
}
