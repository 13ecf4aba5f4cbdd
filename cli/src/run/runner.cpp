#include "runner.h"

#include "deve/efuse_items.h"
#include "deve/open_sequence.h"
#include "deve/operations.h"
#include "deve/registers.h"
#include "deve/text.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iterator>
#include <string_view>
#include <thread>

namespace deve::cli {

namespace {

// UTF-8's byte-order mark, which some editors put before a file's first line.
constexpr const char *kByteOrderMark = "\xEF\xBB\xBF";

// How often a wait looks for a signal.
constexpr std::chrono::milliseconds kWaitSlice{50};


// The library's lines that report a failure, by how they begin and end: its
// loader's and eFuse engine's errors, the eFuse map being full, a transport
// entry point's failure, and rf_init's own.
struct FailureLine {
    std::string_view begins;
    std::string_view ends;
};
constexpr FailureLine kLibraryFailureLines[] = {
    {"ERROR", ""},
    {"There is not enough space", ""},
    {"[velmo] ", ""},
    {"rf_init ", " fails"},
};

bool is_library_error(std::string_view line) {
    return std::any_of(std::begin(kLibraryFailureLines), std::end(kLibraryFailureLines), [line](const FailureLine &f) {
        return line.size() >= f.begins.size() + f.ends.size() && line.substr(0, f.begins.size()) == f.begins &&
               line.substr(line.size() - f.ends.size()) == f.ends;
    });
}

// 5180 from "CH36_5180MHz".
std::int32_t frequency_of(const std::string &label) {
    const std::size_t underscore = label.find('_');
    return underscore == std::string::npos ? 0 : static_cast<std::int32_t>(std::atoi(label.c_str() + underscore + 1));
}

}  // namespace

Outcome outcome_of_error(const std::string &kind) {
    return kind == "link" || kind == "board" || kind == "busy" || kind == "pool" ? Outcome::Link : Outcome::Refused;
}

Runner::Runner(RfApi &api, Output &out, Progress &progress, Environment env, Globals globals)
    : api_(api), out_(out), progress_(progress), env_(std::move(env)), globals_(std::move(globals)) {}

ordered_json Runner::head() const {
    return {{"step", step_}, {"command", command_}, {"started_at", step_started_}};
}

ordered_json Runner::operating_point_fields() const {
    ordered_json fields = {{"band", kBandChoices.labels[radio_.band]},
                           {"channel", radio_.channel_number()},
                           {"channel_label", radio_.channel_label()},
                           {"frequency", frequency_of(radio_.channel_label())},
                           {"mode", kModeChoices.labels[radio_.mode]},
                           {"rate", radio_.rate},
                           {"rate_code", rate_code(radio_.rate).value_or(0)}};
    auto gain = [&fields](const char *key, const std::optional<int> &position, const auto &choices) {
        fields[key] = position ? ordered_json(label_number(choices.labels[*position])) : ordered_json(nullptr);
    };
    gain("rf_gain", radio_.rf_gain, kRfGainChoices);
    gain("dac", radio_.dac, kDacChoices);
    gain("b_gain", radio_.b_gain, kBrateGainChoices);
    fields["offset"] = radio_.offset;
    return fields;
}

ordered_json Runner::operating_point_units() {
    return {{"frequency", "MHz"}, {"rf_gain", "step"}, {"dac", "dB"}, {"b_gain", "dB"}};
}

ordered_json Runner::run_head() const { return merged(head(), operating_point_fields()); }

Outcome Runner::error(const std::string &kind, const std::string &message, const ordered_json &extra) {
    out_.record("error", merged(merged(head(), {{"kind", kind}, {"message", message}}), extra));
    out_.text(command_ + ": error: " + message);
    failures_.push_back(Failure{step_, command_, kind, message, std::nullopt});
    return outcome_of_error(kind);
}

Outcome Runner::fail(const std::string &reason, const std::vector<LimitCheck> &checks, bool interrupted) {
    if (interrupted) {
        failures_.push_back(Failure{step_, command_, "interrupted", reason, std::nullopt});
        return Outcome::Fail;
    }
    const std::size_t before = failures_.size();
    for (const LimitCheck &c : checks) {
        if (!c.pass) {
            failures_.push_back(Failure{step_, command_, "fail", reason, c});
        }
    }
    if (failures_.size() == before) {
        failures_.push_back(Failure{step_, command_, "fail", reason, std::nullopt});
    }
    return Outcome::Fail;
}

ordered_json Runner::run_identity() const {
    ordered_json meta = ordered_json::object();
    for (const auto &[key, value] : globals_.meta) {
        meta[key] = value;
    }
    return {{"version", kVersion}, {"host", env_.host}, {"meta", meta}};
}

std::optional<Outcome> Runner::refuse_uncalibrated() {
    if (calibrated_) {
        return std::nullopt;
    }
    return error("refused", "the link was opened with --open quick, without the radio's calibrations: run cal first "
                            "(or open with --open full)");
}

void Runner::drain_library() {
    if (!env_.library_lines) {
        return;
    }
    for (const std::string &line : env_.library_lines()) {
        if (env_.library_log && !log_failed_ && !env_.library_log(line)) {
            log_failed_ = true;
            error("output", "the library log could not be written: the library's diagnostic lines are lost");
        }
        if (is_library_error(line)) {
            out_.record("library", merged(head(), {{"line", line}}));
            out_.text("  library: " + line);
        }
    }
}

bool Runner::stopping() const { return (env_.pending_signal && env_.pending_signal() != 0) || out_.broken(); }

bool Runner::wait_until(std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        if (stopping()) {
            return false;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            return true;
        }
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(deadline - now, kWaitSlice));
    }
}

std::string Runner::operating_point() const {
    return std::string(kBandChoices.labels[radio_.band]) + " " + radio_.channel_label() + ", " +
           kModeChoices.labels[radio_.mode] + " " + radio_.rate + ", offset " + std::to_string(radio_.offset);
}

bool Runner::open_link() {
    command_ = "open";
    OpenOutcome outcome;
    {
        ProgressTask task(progress_, "open");
        outcome = deve::open_link(api_, globals_.open);
    }
    ordered_json fields = merged(head(), {{"port", kPortChoices.labels[globals_.open.port]},
                                          {"supply", kSupplyChoices.labels[globals_.open.supply]},
                                          {"crystal", kCrystalChoices.labels[globals_.open.crystal]},
                                          {"open", globals_.open.calibrate ? "full" : "quick"},
                                          {"status", outcome.status},
                                          {"opened", outcome.opened},
                                          {"init_result", outcome.init_result}});
    fields.update(run_identity());
    auto file_fields = [&fields](const char *file_key, const char *hash_key, const std::string &path,
                                 const std::string &sha256) {
        fields[file_key] = path.empty() ? ordered_json(nullptr) : ordered_json(path);
        fields[hash_key] = path.empty() ? ordered_json(nullptr) : ordered_json(sha256);
    };
    file_fields("limits_file", "limits_sha256", globals_.limits_file, globals_.limits_sha256);
    file_fields("commands_file", "commands_sha256", globals_.commands_file, globals_.commands_sha256);
    if (!outcome.opened) {
        out_.record("open", fields);
        out_.text("open: " + outcome.status + " (rf_init returned " + std::to_string(outcome.init_result) + ")");
        // The reason in the console's own words, the holder's process id
        // included when the transport tells it.
        using Reason = OpenRefusal::Reason;
        const std::optional<Reason> reason =
            outcome.refusal ? std::optional<Reason>(outcome.refusal->reason) : std::nullopt;
        if (reason == Reason::Busy) {
            json::Object holder;
            if (outcome.refusal->holder) {
                holder.add("holder", *outcome.refusal->holder);
            } else {
                holder.add_null("holder");
            }
            error("busy", outcome.failure, holder);
        } else if (reason == Reason::Settings) {
            error("board", outcome.failure + "; the board names the setting on standard error");
        } else if (reason == Reason::StateFile) {
            error("board", outcome.failure + "; the board says why on standard error");
        } else {
            error("link", "the link did not open: " + outcome.failure);
        }
        return false;
    }
    link_open_ = true;
    calibrated_ = globals_.open.calibrate;
    radio_ = RadioState{};
    radio_.offset = parse_unsigned(outcome.freq_offset, 10);
    fields["chip_id"] = outcome.chip_id_word ? ordered_json(hex_word(*outcome.chip_id_word)) : ordered_json(nullptr);
    fields["chip_id_text"] = outcome.chip_id;
    fields["freq_offset"] = radio_.offset;
    out_.record("open", fields);
    out_.text("open: " + outcome.status + " (" + kPortChoices.labels[globals_.open.port] + ", " +
              kSupplyChoices.labels[globals_.open.supply] + ", " + kCrystalChoices.labels[globals_.open.crystal] +
              (globals_.open.calibrate ? "" : ", quick: no calibrations") + "); chip id " + outcome.chip_id +
              "; frequency offset " + outcome.freq_offset);
    return true;
}

bool Runner::close_link() {
    if (!link_open_) {
        return true;
    }
    command_ = "close";
    step_ = 0;
    step_started_ = utc_timestamp(out_.now());
    // Whatever ran, transmission and reception end here.
    api_.rf_tx_stop();
    api_.rf_rx_stop();
    // Read back to confirm the radio is safe: RG_MODE, the packet generator's
    // RG_PKTGEN_TX_ON and the receive counter blocks' RG_RX_COUNT_ENABLE.
    const std::optional<std::uint32_t> mode_word = checked_register_read(api_, reg::ADR_MODE_REGISTER);
    const std::optional<std::uint32_t> generator = checked_register_read(api_, reg::ADR_PKTGEN_CONTROL);
    const std::optional<std::uint32_t> cck = checked_register_read(api_, reg::ADR_RX_11B_CONTROL);
    const std::optional<std::uint32_t> ofdm = checked_register_read(api_, reg::ADR_RX_OFDM_CONTROL);
    const std::string status = deve::close_link(api_);
    link_open_ = false;
    // A read-back the transport failed confirms nothing.
    const bool confirmed = mode_word && generator && cck && ofdm;
    const std::uint32_t mode = reg::RG_MODE.get(mode_word.value_or(0));
    const bool transmitting = reg::RG_PKTGEN_TX_ON.get(generator.value_or(0)) != 0;
    const bool receiving = reg::RG_RX_COUNT_ENABLE.get(cck.value_or(0) | ofdm.value_or(0)) != 0;
    const std::string transmitter = !generator ? "unknown" : transmitting ? "on" : "off";
    const std::string receiver = !cck || !ofdm ? "unknown" : receiving ? "on" : "off";
    const std::string radio_mode = !mode_word                   ? std::string("unknown")
                                   : mode == reg::MODE_STANDBY ? std::string("standby")
                                                               : std::to_string(mode);
    const bool safe = confirmed && !transmitting && !receiving && mode == reg::MODE_STANDBY;
    out_.record("close", merged(head(), {{"status", status},
                                         {"transmitter", transmitter},
                                         {"receiver", receiver},
                                         {"radio_mode", radio_mode},
                                         {"confirmed", confirmed},
                                         {"safe", safe}}));
    auto upper_when_on = [](const std::string &state) { return state == "on" ? std::string("ON") : state; };
    out_.text("close: " + status + "; transmitter " + upper_when_on(transmitter) + ", receiver " +
              upper_when_on(receiver) + ", radio " +
              (radio_mode == "standby" ? std::string("in standby")
                                       : radio_mode == "unknown" ? std::string("unknown") : "in mode " + radio_mode));
    if (!confirmed) {
        error("link", "the radio's state is unconfirmed: the transport failed the read-backs after transmission and "
                      "reception were stopped");
    } else if (!safe) {
        error("board", "the radio did not read back as stopped before the link closed");
    }
    return safe;
}

std::optional<CommandSource::Batch> FixedCommands::next() {
    if (given_) {
        return std::nullopt;
    }
    given_ = true;
    return Batch{commands_, {}};
}

std::optional<CommandSource::Batch> SessionLines::next() {
    for (;;) {
        LineRead read = read_line_();
        if (!read.line) {
            if (!read.error.empty()) {
                // A read error is not the end of the session: what was not
                // read was not run.
                return Batch{{}, "line " + std::to_string(line_ + 1) + ": " + read.error, line_ + 1};
            }
            return std::nullopt;
        }
        std::string &line = *read.line;
        if (++line_ == 1 && line.rfind(kByteOrderMark, 0) == 0) {
            line.erase(0, std::string_view(kByteOrderMark).size());
        }
        const std::optional<std::vector<std::string>> words = split_session_line(line);
        if (!words) {
            return Batch{{}, "line " + std::to_string(line_) + ": a quote is not closed", line_};
        }
        if (words->empty()) {
            continue;
        }
        if (words->size() == 1 && words->front() == kQuitWord) {
            return std::nullopt;
        }
        const ParseResult parsed = parse_session_line(*words);
        if (parsed.kind != ParseResult::Kind::Run) {
            // Help is not a command of a session: its text names the command.
            return Batch{{},
                         "line " + std::to_string(line_) + ": " +
                             (parsed.kind == ParseResult::Kind::Error ? parsed.text : "--help is not run in a session"),
                         line_};
        }
        return Batch{parsed.line.commands, {}, line_};
    }
}

void Runner::line_end(std::size_t line, std::size_t first_step, Outcome outcome) {
    if (line == 0) {
        return;
    }
    json::Array steps;
    for (std::size_t s = first_step; s <= step_; ++s) {
        steps.push(s);
    }
    const bool interrupted = env_.pending_signal && env_.pending_signal() != 0;
    const char *verdict = interrupted                ? "interrupted"
                          : outcome == Outcome::Pass ? "pass"
                          : outcome == Outcome::Fail ? "fail"
                                                     : "error";
    json::Object fields;
    fields.add("step", 0).add("command", "session").add("started_at", line_started_);
    out_.record("line_end", fields.add("line", line).add("steps", steps).add("verdict", verdict));
}

int Runner::run(const std::vector<Command> &commands) {
    FixedCommands source(commands);
    planned_ = commands;
    return run(source);
}

void Runner::end_step(Outcome outcome) {
    if (!env_.step_end) {
        return;
    }
    StepEnd end;
    end.step = step_;
    end.command = command_;
    end.outcome = outcome == Outcome::Pass ? "pass" : outcome == Outcome::Fail ? "fail" : "error";
    end.started_at = step_started_;
    for (const Failure &f : failures_) {
        if (f.step == step_ && f.command == command_) {
            end.kind = f.kind;
            end.reason = f.reason;
        }
    }
    env_.step_end(end);
}

bool Runner::run_command(const Command &command, Outcome &worst) {
    ++step_;
    command_ = command_name(command);
    step_started_ = utc_timestamp(out_.now());
    const Outcome outcome = std::visit([this](const auto &c) { return (*this)(c); }, command);
    drain_library();
    end_step(std::max(outcome, log_failed_ ? Outcome::Refused : Outcome::Pass));
    worst = std::max({worst, outcome, log_failed_ ? Outcome::Refused : Outcome::Pass});
    return !(log_failed_ || outcome >= Outcome::Refused || (outcome == Outcome::Fail && globals_.stop_on_fail));
}

int Runner::run(CommandSource &source) {
    Outcome worst = Outcome::Pass;
    run_started_ = step_started_ = utc_timestamp(out_.now());
    // A pool burn whose store cannot give an address is refused before the
    // link opens: nothing is programmed.
    bool opened = false;
    if (const std::optional<Outcome> refused = check_pools(planned_)) {
        end_step(*refused);
        worst = *refused;
    } else {
        opened = open_link();
        drain_library();
        worst = !opened ? Outcome::Link : log_failed_ ? Outcome::Refused : Outcome::Pass;
        end_step(worst);
    }
    if (opened && worst == Outcome::Pass) {
        try {
            bool going = true;
            while (going && !stopping()) {
                const std::optional<CommandSource::Batch> batch = source.next();
                if (!batch) {
                    break;
                }
                const std::size_t first_step = step_ + 1;
                line_started_ = utc_timestamp(out_.now());
                if (!batch->error.empty()) {
                    // A refused line is a usage error: step 0, as on the
                    // command line.
                    step_ = 0;
                    command_ = "session";
                    const Outcome refused = error("usage", batch->error);
                    worst = std::max(worst, refused);
                    line_end(batch->line, first_step, refused);
                    break;
                }
                Outcome line_worst = Outcome::Pass;
                for (const Command &command : batch->commands) {
                    if (!(going = !stopping() && run_command(command, line_worst))) {
                        break;
                    }
                }
                worst = std::max(worst, line_worst);
                line_end(batch->line, first_step, line_worst);
            }
        } catch (const std::exception &e) {
            worst = std::max(worst, error("internal", e.what()));
        }
    }
    const int signal = env_.pending_signal ? env_.pending_signal() : 0;
    if (signal != 0) {
        const char *name = env_.signal_name ? env_.signal_name(signal) : "signal";
        out_.record("interrupted", merged(head(), {{"signal", name}}));
        out_.text("interrupted by " + std::string(name) + ": stopping the radio");
    }
    if (!close_link()) {
        worst = Outcome::Link;
    }
    drain_library();
    if (out_.broken() || log_failed_) {
        worst = std::max(worst, Outcome::Refused);
    }
    const int code = signal != 0 ? 128 + signal : static_cast<int>(worst);
    const char *verdict = signal != 0                 ? "interrupted"
                          : worst == Outcome::Pass ? "pass"
                          : worst == Outcome::Fail ? "fail"
                                                   : "error";
    step_ = 0;
    command_ = "end";
    step_started_ = run_started_;
    ordered_json failures = ordered_json::array();
    for (const Failure &f : failures_) {
        failures.push_back({{"step", f.step},
                            {"command", f.command},
                            {"kind", f.kind},
                            {"reason", f.reason},
                            {"limit", f.limit ? limit_object(*f.limit) : ordered_json(nullptr)}});
    }
    ordered_json end = merged(head(), {{"verdict", verdict}, {"exit_code", code}, {"failures", failures}});
    out_.record("end", merged(end, run_identity()));
    for (const Failure &f : failures_) {
        out_.text("  " + (f.step != 0 ? "step " + std::to_string(f.step) + " " : std::string()) + f.command + " (" +
                  f.kind + "): " + f.reason);
    }
    out_.text(std::string("result: ") + verdict + " (exit code " + std::to_string(code) + ")");
    return code;
}

}  // namespace deve::cli
