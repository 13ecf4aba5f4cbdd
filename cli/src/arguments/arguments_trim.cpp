// The parser of the trim command.
#include "argument_parts.h"

#include "deve/efuse_burn.h"

namespace deve::cli::parsing {

Command parse_trim(const std::vector<std::string> &words) {
    CLI::App app{"Trim search.", "deve-cli trim"};
    app.require_subcommand(1, 1);
    CLI::App *find = app.add_subcommand(
        "find", "Find the frequency-offset trim with the lowest receive packet error rate: a coarse pass over "
                "--from..--to, then every trim around the coarse best, whose V-shaped error rate gives the best "
                "trim; the window grows until the rate rises on both sides of the best, and the best must be "
                "known to within a step. Every point measured is recorded, and the best. The receiver runs at "
                "the current operating point, or at the band, channel, mode and rate given (applied as by tune, "
                "and kept). A point clearly worse than the best so far is measured no further. The radio goes "
                "back to its offset afterwards; with --burn the best trim is burnt into the eFuse (staged and "
                "verified, as efuse burn Freq_offset) and the radio runs with it. A search that finds no trim "
                "to trust, or whose best breaks --max-per, --min-trim or --max-trim, burns nothing.");
    TrimFindCmd cmd;
    TuneRequest &r = cmd.tune;
    find->add_option("--band", r.band, "2G or 5G");
    find->add_option("--channel", r.channel, "channel number or label (see tune)");
    find->add_option("--mode", r.mode, "11b-CCK, 11g-OFDM, 11n-HT20, 11n-HT40");
    find->add_option("--rate", r.rate, "rate label of the mode (see tune)");
    NumberOptions n;
    add_number(*find, n, "--from", kOffsetRange, "lowest trim searched (default 0)");
    add_number(*find, n, "--to", kOffsetRange, "highest trim searched (default 255)");
    add_number(*find, n, "--frames", kTrimFramesRange, "frames per trim of the fine pass (default 200)");
    add_number(*find, n, "--max-per", kPerRange, "limit: packet error rate at the best trim at most this");
    add_number(*find, n, "--min-trim", kOffsetRange, "limit: the best trim at least this");
    add_number(*find, n, "--max-trim", kOffsetRange, "limit: the best trim at most this");
    find->add_flag("--burn", cmd.burn, "burn the best trim into the eFuse and run with it");
    std::string expect;
    burn_flags(*find, cmd.burn_options, expect);
    parse_words(app, words);
    take_number(*n[0], cmd.from);
    take_number(*n[1], cmd.to);
    take_number(*n[2], cmd.frames);
    take_number(*n[3], cmd.max_per);
    take_number(*n[4], cmd.min_trim);
    take_number(*n[5], cmd.max_trim);
    if (cmd.from > cmd.to) {
        throw UsageError("--from " + std::to_string(cmd.from) + " is above --to " + std::to_string(cmd.to));
    }
    if (!expect.empty()) {
        cmd.burn_options.expect = expected_item_value(*find_efuse_item("Freq_offset"), expect);
    }
    const bool burn_flags_given = cmd.burn_options.yes || cmd.burn_options.dry_run || cmd.burn_options.if_blank ||
                                  cmd.burn_options.expect;
    if (burn_flags_given && !cmd.burn) {
        throw UsageError("--yes, --dry-run, --if-blank and --expect go with --burn");
    }
    return cmd;
}

}  // namespace deve::cli::parsing
