// The commands that are one or a few library calls or register accesses:
// info, reg read and write, tune, cal, dpd, temp and the register script.
#include "runner.h"

#include "deve/operations.h"
#include "deve/registers.h"
#include "deve/script.h"
#include "deve/text.h"

#include <cstdio>

namespace deve::cli {

namespace {

// "C600" from 0x30303643, when all four bytes are printable.
std::string ascii_of(std::uint32_t word) {
    std::string text;
    for (unsigned b = 0; b < 4; ++b) {
        const char c = static_cast<char>((word >> (8 * b)) & 0xFFu);
        if (c < 0x20 || c > 0x7E) {
            return {};
        }
        text += c;
    }
    return text;
}

}  // namespace

Outcome Runner::operator()(const InfoCmd &) {
    std::uint32_t chip_id = 0;
    const bool have_id = api_.rf_efuse_read_chip_id(&chip_id) == 0;
    const std::optional<std::uint32_t> revision_read = checked_register_read(api_, reg::ADR_CHIP_REVISION);
    if (!revision_read) {
        return error("link", "the transport failed the read of the chip revision word");
    }
    const std::uint32_t revision = *revision_read;
    const std::string requested = env_.requested_transport ? env_.requested_transport() : std::string();
    const std::string loaded = api_.transport_path();
    const std::int32_t free_bits = api_.rf_get_efuse_free_bits();
    ordered_json fields = head();
    if (have_id) {
        fields.update({{"chip_id", hex_word(chip_id)}});
    } else {
        fields.update({{"chip_id", nullptr}});
    }
    fields.update({{"revision", hex_word(revision)}, {"revision_text", ascii_of(revision)}});
    fields.update({{"transport_requested", requested}});
    if (loaded.empty()) {
        fields.update({{"transport_loaded", nullptr}});
    } else {
        fields.update({{"transport_loaded", loaded}});
    }
    fields.update({{"free_bits", free_bits}});
    out_.record("info", fields, ordered_json{{"free_bits", "bit"}});
    out_.text("chip id         " + (have_id ? hex(chip_id) : std::string("NO Chip ID")));
    out_.text("revision        " + hex_word(revision) +
              (ascii_of(revision).empty() ? std::string() : " (\"" + ascii_of(revision) + "\")"));
    out_.text("transport       " + (loaded.empty() ? std::string("(not found)") : loaded) + " (requested " +
              requested + ")");
    out_.text("free eFuse bits " + std::to_string(free_bits));
    return have_id ? Outcome::Pass : error("board", "the chip identifier could not be read");
}

Outcome Runner::operator()(const RegReadCmd &cmd) {
    const std::optional<std::uint32_t> read = checked_register_read(api_, cmd.address);
    if (!read) {
        return error("link", "the transport failed the read of register " + hex_word(cmd.address) +
                                 ": no value was read");
    }
    const std::uint32_t value = *read;
    out_.record("reg_read",
                merged(head(), {{"address", hex_word(cmd.address)}, {"value", value}, {"value_hex", hex_word(value)}}));
    out_.text("reg " + hex_word(cmd.address) + " = " + hex_word(value));
    return Outcome::Pass;
}

Outcome Runner::operator()(const RegWriteCmd &cmd) {
    if (!checked_register_write(api_, cmd.address, cmd.value)) {
        return error("link", "the transport failed the write of " + hex_word(cmd.value) + " to register " +
                                 hex_word(cmd.address) + ": the chip may not hold it");
    }
    out_.record("reg_write", merged(head(), {{"address", hex_word(cmd.address)}, {"value", cmd.value}, {"value_hex", hex_word(cmd.value)}}));
    out_.text("reg " + hex_word(cmd.address) + " <- " + hex_word(cmd.value));
    return Outcome::Pass;
}

ordered_json Runner::apply_plan(const TunePlan &plan) {
    apply_tune(api_, plan);
    radio_ = plan.next;
    ordered_json applied = ordered_json::array();
    const std::pair<bool, const char *> changes[] = {{plan.channel, "channel"}, {plan.mode, "mode"},
                                                      {plan.rate, "rate"},       {plan.rf_gain, "rf_gain"},
                                                      {plan.dac, "dac"},         {plan.b_gain, "b_gain"},
                                                      {plan.offset, "offset"}};
    for (const auto &[changed, name] : changes) {
        if (changed) {
            applied.push_back(name);
        }
    }
    return applied;
}

Outcome Runner::operator()(const TuneCmd &cmd) {
    const TunePlan plan = plan_tune(cmd.request, radio_);
    if (!plan.error.empty()) {
        return error("refused", plan.error);
    }
    const ordered_json applied = apply_plan(plan);
    out_.record("tune", merged(run_head(), {{"applied", applied}}), operating_point_units());
    auto label_or_unset = [](const std::optional<int> &position, const auto &choices) {
        return position ? std::string(choices.labels[*position]) : std::string("as loaded");
    };
    out_.text("tune: " + operating_point() + "; RF gain " + label_or_unset(radio_.rf_gain, kRfGainChoices) +
              ", DAC " + label_or_unset(radio_.dac, kDacChoices) + ", 11b gain " +
              label_or_unset(radio_.b_gain, kBrateGainChoices));
    return Outcome::Pass;
}

Outcome Runner::operator()(const CalCmd &) {
    std::int32_t result = 0;
    {
        ProgressTask task(progress_, "calibration");
        result = api_.rf_calibration();
    }
    calibrated_ = calibrated_ || result == 0;
    out_.record("cal", merged(head(), {{"result", result}, {"status", result_text(result)}}));
    out_.text("cal: " + result_text(result) + " (rf_calibration returned " + std::to_string(result) + ")");
    return result == 0 ? Outcome::Pass : fail("rf_calibration returned " + std::to_string(result));
}

Outcome Runner::operator()(const DpdCmd &cmd) {
    const std::optional<std::uint32_t> before = checked_register_read(api_, reg::ADR_DPD_CONTROL);
    if (!before) {
        return error("link", "the transport failed the read of the pre-distortion control register");
    }
    const bool on_before = *before != 0;
    std::string status;
    bool changed = false;
    if (on_before == cmd.on) {
        status = on_before ? "DPD ON" : "DPD OFF";
    } else {
        ProgressTask task(progress_, cmd.on ? "pre-distortion on" : "pre-distortion off");
        progress_.step(cmd.on ? "calibrating" : "switching off");
        status = toggle_predistortion(api_);
        changed = true;
    }
    const std::optional<std::uint32_t> after = checked_register_read(api_, reg::ADR_DPD_CONTROL);
    if (!after) {
        return error("link", "the transport failed the read-back of the pre-distortion control register");
    }
    const bool on_after = *after != 0;
    const bool pass = on_after == cmd.on && status != "DPD Fail";
    out_.record("dpd", merged(head(), {{"requested", cmd.on ? "on" : "off"}, {"status", status}, {"changed", changed}, {"enabled", on_after}, {"verdict", pass ? "pass" : "fail"}}));
    out_.text("dpd: " + status + (changed ? "" : " (already)") + "; pre-distortion reads " +
              (on_after ? "on" : "off") + (pass ? "" : " -- FAIL"));
    return pass ? Outcome::Pass
                : fail(status + "; pre-distortion reads " + (on_after ? "on" : "off") + ", " +
                       (cmd.on ? "on" : "off") + " was asked for");
}

Outcome Runner::operator()(const TempCmd &) {
    std::int32_t celsius = 0;
    const std::int32_t result = env_.read_temperature ? env_.read_temperature(&celsius) : -1;
    // The library does not examine the transport's results, so over a dead
    // link it would give a temperature made from unread registers. The
    // sensor code is read with every access examined: when the transport
    // fails one, no temperature was read.
    const std::optional<std::uint32_t> sensor = checked_sensor_code(api_);
    if (!sensor) {
        return error("link", "the transport failed an access to the temperature sensor: no temperature was read");
    }
    const std::uint32_t code = *sensor;
    ordered_json fields = head();
    if (result == 0) {
        fields.update({{"celsius", celsius}});
    } else {
        fields.update({{"celsius", nullptr}});
    }
    fields.update({{"sensor_code", code}, {"result", result}});
    out_.record("temp", fields, ordered_json{{"celsius", "degC"}, {"sensor_code", "code"}});
    out_.text("temp: " + (result == 0 ? std::to_string(celsius) + " degC" : std::string("not read")) +
              "; sensor code " + std::to_string(code));
    return result == 0 ? Outcome::Pass
                       : fail("the temperature could not be read (rf_read_temperature returned " +
                              std::to_string(result) + ")");
}

Outcome Runner::operator()(const ScriptCmd &cmd) {
    const ScriptRun run = run_script(api_, cmd.file);
    if (!run.opened) {
        return error("usage", script_open_failure(cmd.file));
    }
    out_.record("script", merged(head(), {{"file", cmd.file}, {"written", run.written}, {"refused", run.refused}, {"skipped", run.skipped}, {"ended", run.ended}, {"details", run.read_failed() ? script_read_failure(cmd.file, run) : script_done_details(run)}}),
                ordered_json{{"written", "register"}, {"refused", "register"}, {"skipped", "line"}});
    if (run.read_failed()) {
        return error("usage", script_read_failure(cmd.file, run));
    }
    if (run.writes_refused()) {
        return error("link", script_done_details(run));
    }
    out_.text("script " + cmd.file + ": " + std::string(kScriptDone) + "; " + script_done_details(run));
    return Outcome::Pass;
}
}  // namespace deve::cli
