// The parsers of the chip and radio commands: info, reg, tune, tx, rx, cal,
// dpd, temp and script.
#include "argument_parts.h"

namespace deve::cli::parsing {

namespace {

// The options tx and rx share, first in both: --seconds, and --frames that
// ends the run early (numbers[0] and numbers[1]).
void run_options(CLI::App &app, NumberOptions &numbers, unsigned default_seconds) {
    add_number(app, numbers, "--seconds", kSecondsRange,
               "how long, in seconds (default " + std::to_string(default_seconds) + "); one sample a second");
    add_number(app, numbers, "--frames", kFrameCountRange,
               "stop once this many frames are counted, with --seconds as the cap");
}

template <typename Cmd>
void take_run_options(const NumberOptions &numbers, Cmd &cmd) {
    take_number(*numbers[0], cmd.seconds);
    take_number(*numbers[1], cmd.frames);
}

// The limit on the frames of the whole run that tx and rx share; `counted`
// says which frames ("transmitted", "received").
void min_frames_option(CLI::App &app, NumberOptions &numbers, const std::string &counted) {
    add_number(app, numbers, "--min-frames", kFramesRange, "limit: at least this many frames " + counted + " in all");
}

constexpr NumberRange kErrorShareRange{0.0001, 50, false, "percent"};
constexpr NumberRange kConfidenceRange{50, 99.9999, false, "percent"};
constexpr NumberRange kZoneRange{0, 1e7, false, "in the limit's unit"};

// The sequential test's options that tx and rx share, last in both (from
// numbers[first]); `limit` names the limit it decides, `unit` the zone's.
struct SequentialFlags {
    bool sequential = false;
    bool fixed = false;
};
void sequential_options(CLI::App &app, NumberOptions &numbers, SequentialFlags &flags, const std::string &limit,
                        const std::string &unit) {
    app.add_flag("--sequential", flags.sequential,
                 "stop as soon as the counts decide the " + limit + " limit (a sequential probability ratio "
                 "test); --frames is then the most frames, unless --max-frames gives it");
    app.add_flag("--fixed", flags.fixed, "count --frames even when the limit set chooses the sequential test");
    add_number(app, numbers, "--confidence", kConfidenceRange,
               "sequential: the chance of deciding right at either hypothesis, in %; sets --false-pass and "
               "--false-fail to 100 minus it");
    add_number(app, numbers, "--false-pass", kErrorShareRange,
               "sequential: the chance of passing a board at the limit, in % (default 5)");
    add_number(app, numbers, "--false-fail", kErrorShareRange,
               "sequential: the chance of failing a board inside the limit by the zone, in % (default 0.1)");
    add_number(app, numbers, "--zone", kZoneRange,
               "sequential: the indifference zone inside the limit, in " + unit + " (default half the limit)");
    add_number(app, numbers, "--decide-after", kFramesRange,
               "sequential: no decision before this many frames (default 100)");
    add_number(app, numbers, "--max-frames", kFrameCountRange,
               "sequential: stop undecided at this many frames and judge the counts as a fixed run (default "
               "--frames, else 2000)");
}

void take_sequential_options(const NumberOptions &numbers, std::size_t first, const SequentialFlags &flags,
                             SequentialChoice &choice) {
    std::optional<double> confidence;
    take_number(*numbers[first], confidence);
    take_number(*numbers[first + 1], choice.plan.false_pass);
    take_number(*numbers[first + 2], choice.plan.false_fail);
    take_number(*numbers[first + 3], choice.plan.zone);
    take_number(*numbers[first + 4], choice.plan.decide_after);
    take_number(*numbers[first + 5], choice.plan.max_frames);
    if (confidence) {
        if (choice.plan.false_pass || choice.plan.false_fail) {
            throw UsageError("give --confidence, or --false-pass and --false-fail, not both");
        }
        choice.plan.false_pass = choice.plan.false_fail = 100 - *confidence;
    }
    if (choice.plan.zone && !(*choice.plan.zone > 0)) {
        throw UsageError("--zone must be above 0");
    }
    if (choice.plan.decide_after && choice.plan.max_frames && *choice.plan.decide_after > *choice.plan.max_frames) {
        throw UsageError("--decide-after is more than --max-frames");
    }
    choice.fixed = flags.fixed;
    choice.sequential = flags.sequential || any_given(choice.plan);
    if (choice.fixed && choice.sequential) {
        throw UsageError("--fixed and the sequential test's options exclude each other");
    }
}

}  // namespace

Command parse_info(const std::vector<std::string> &words) {
    CLI::App app{"Chip identifier (eFuse header word), chip revision word, the transport file the library "
                 "loaded, and the free eFuse bits.",
                 "deve-cli info"};
    parse_words(app, words);
    return InfoCmd{};
}

Command parse_reg(const std::vector<std::string> &words) {
    CLI::App app{"Read or write one 32-bit chip register. ADDR and VALUE are hexadecimal (0x optional).",
                 "deve-cli reg"};
    app.require_subcommand(1, 1);
    std::string address;
    std::string value;
    CLI::App *read = app.add_subcommand("read", "read a register: reg read ADDR");
    read->add_option("ADDR", address, "register address, hexadecimal")->required();
    CLI::App *write = app.add_subcommand("write", "write a register: reg write ADDR VALUE");
    write->add_option("ADDR", address, "register address, hexadecimal")->required();
    write->add_option("VALUE", value, "value, hexadecimal")->required();
    parse_words(app, words);
    if (read->parsed()) {
        return RegReadCmd{hex_argument(address, "ADDR")};
    }
    return RegWriteCmd{hex_argument(address, "ADDR"), hex_argument(value, "VALUE")};
}

Command parse_tune(const std::vector<std::string> &words) {
    CLI::App app{"Set the operating point. Only the settings given change; the others stay as they are. After "
                 "the link opens the radio is on band 2G, channel 1, mode 11n-HT20, rate HT20-MCS7, with the "
                 "frequency offset 151 (or the crystal trim stored in the eFuse). A channel the band does not "
                 "offer, or a rate the mode does not offer, is refused. The frequency offset is applied when tx "
                 "or rx starts.",
                 "deve-cli tune"};
    TuneCmd cmd;
    TuneRequest &r = cmd.request;
    app.add_option("--band", r.band, "2G or 5G");
    app.add_option("--channel", r.channel,
                   "channel number or label: 2G 1-13; 5G 32-64 and 100-170 (for example 36 or CH36_5180MHz)");
    app.add_option("--mode", r.mode, "11b-CCK, 11g-OFDM, 11n-HT20, 11n-HT40 (or CCK, OFDM, HT20, HT40)");
    app.add_option("--rate", r.rate,
                   "rate label of the mode: 0-CCK-1M..3-CCK-11M, 0-OFDM-6M..7-OFDM-54M, HT20-MCS0..7, "
                   "HT40-MCS0..7 (choosing 11n-HT20 alone applies HT20-MCS7)");
    app.add_option("--rf-gain", r.rf_gain, "transmit gain step: 0 down to -15");
    app.add_option("--dac", r.dac, "DAC gain in dB relative to code 0x80: +2.5 down to -5 in 0.5 steps");
    app.add_option("--b-gain", r.b_gain, "11b rate gain in dB: +1.5 down to -6 in 0.5 steps");
    NumberOptions numbers;
    add_number(app, numbers, "--offset", kOffsetRange, "frequency-offset trim, applied by the next tx or rx");
    parse_words(app, words);
    take_number(*numbers[0], r.offset);
    if (!r.band && !r.channel && !r.mode && !r.rate && !r.rf_gain && !r.dac && !r.b_gain && !r.offset) {
        throw UsageError("tune: give at least one setting (see deve-cli tune --help)");
    }
    return cmd;
}

Command parse_tx(const std::vector<std::string> &words) {
    CLI::App app{"Continuous transmission on the current operating point (see tune): the frequency offset is "
                 "applied, the packet generator runs for --seconds and is stopped. Every second prints the "
                 "transmitted frames. Limits make the result pass or fail.",
                 "deve-cli tx"};
    TxCmd cmd;
    NumberOptions n;
    run_options(app, n, cmd.seconds);
    add_number(app, n, "--pit", kPitRange, "packet interval (PIT); 0 (the default) keeps the built-in one");
    min_frames_option(app, n, "transmitted");
    add_number(app, n, "--min-fps", kFrameRateRange, "limit: at least this many frames per second on average");
    SequentialFlags flags;
    sequential_options(app, n, flags, "min-fps", "frames per second");
    parse_words(app, words);
    take_run_options(n, cmd);
    take_number(*n[2], cmd.pit);
    take_number(*n[3], cmd.min_frames);
    take_number(*n[4], cmd.min_fps);
    take_sequential_options(n, 5, flags, cmd.test);
    return cmd;
}

Command parse_rx(const std::vector<std::string> &words) {
    CLI::App app{"Reception on the current operating point (see tune) for --seconds. Every second prints the "
                 "errors, frames and packet error rate of that second and of the whole run (\"NA\" when nothing "
                 "was received); the counters restart above 3000 frames and the totals carry on. Limits make "
                 "the result pass or fail.",
                 "deve-cli rx"};
    RxCmd cmd;
    NumberOptions n;
    run_options(app, n, cmd.seconds);
    add_number(app, n, "--max-per", kPerRange, "limit: packet error rate of the run at most this");
    min_frames_option(app, n, "received");
    add_number(app, n, "--max-errors", kFramesRange, "limit: at most this many frames received in error");
    SequentialFlags flags;
    sequential_options(app, n, flags, "max-per", "percentage points");
    parse_words(app, words);
    take_run_options(n, cmd);
    take_number(*n[2], cmd.max_per);
    take_number(*n[3], cmd.min_frames);
    take_number(*n[4], cmd.max_errors);
    take_sequential_options(n, 5, flags, cmd.test);
    return cmd;
}

Command parse_cal(const std::vector<std::string> &words) {
    CLI::App app{"Run the radio's calibrations (rf_calibration). Fails when the library reports a failure.",
                 "deve-cli cal"};
    parse_words(app, words);
    return CalCmd{};
}

Command parse_dpd(const std::vector<std::string> &words) {
    CLI::App app{"Pre-distortion. on: when it is off, stop transmission, calibrate and run the pre-distortion "
                 "calibration (fails with \"DPD Fail\"); off: switch it off. Transmission is left stopped.",
                 "deve-cli dpd"};
    std::string state;
    app.add_option("STATE", state, "on or off")->required()->check(CLI::IsMember({"on", "off"}, CLI::ignore_case));
    parse_words(app, words);
    return DpdCmd{lower(state) == "on"};
}

Command parse_temp(const std::vector<std::string> &words) {
    CLI::App app{"Die temperature in degrees Celsius (rf_read_temperature) and the raw 6-bit sensor code.",
                 "deve-cli temp"};
    parse_words(app, words);
    return TempCmd{};
}

Command parse_script(const std::vector<std::string> &words) {
    CLI::App app{"Write the registers of a register script: every line that starts with DIList carries an "
                 "8-digit hexadecimal address at column 28 and an 8-digit value at column 39; reading stops "
                 "at a line //end. A file named like a command is written with a path (./tx).",
                 "deve-cli script"};
    ScriptCmd cmd;
    app.add_option("FILE", cmd.file, "script file")->required();
    parse_words(app, words);
    return cmd;
}

}  // namespace deve::cli::parsing
