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
    parse_words(app, words);
    take_run_options(n, cmd);
    take_number(*n[2], cmd.pit);
    take_number(*n[3], cmd.min_frames);
    take_number(*n[4], cmd.min_fps);
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
    parse_words(app, words);
    take_run_options(n, cmd);
    take_number(*n[2], cmd.max_per);
    take_number(*n[3], cmd.min_frames);
    take_number(*n[4], cmd.max_errors);
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
