// The global options: the link, the output, the limits and the run's
// metadata.
#include "argument_parts.h"

#include "bounds.h"
#include "deve/tables.h"
#include "input_file.h"
#include "tuning.h"

#include <algorithm>
#include <cctype>

namespace deve::cli::parsing {

std::string ProgramFormatter::make_usage(const CLI::App *, std::string name) const {
    return "Usage: " + name + " [OPTIONS] COMMAND [ARGS]... [COMMAND [ARGS]...]...\n       " + name +
           " [OPTIONS] session [--commands FILE]\n";
}

void global_options(CLI::App &app, Globals &g, GlobalWords &words) {
    // The defaults are the console's list choices at start.
    words.port = kPortChoices.labels[kPortChoices.initial];
    words.supply = kSupplyChoices.labels[kSupplyChoices.initial];
    words.crystal = kCrystalChoices.labels[kCrystalChoices.initial];
    app.add_flag("--json", g.json, "one JSON object per line for every result and every sample");
    app.add_option("--port", words.port, "host link: USB or SDIO")->capture_default_str();
    app.add_option("--supply", words.supply, "supply: LDO or DCDC")->capture_default_str();
    app.add_option("--crystal", words.crystal, "crystal: " + label_list(kCrystalChoices))->capture_default_str();
    app.add_flag("--no-progress", words.no_progress, "no progress display, also on a terminal");
    app.add_option("--library-log", g.library_log,
                   "write every diagnostic line of the library to this file (- for standard error); by default "
                   "only its error lines are shown");
    app.add_flag("--stop-on-fail", g.stop_on_fail, "stop at the first result that fails its limits");
    app.add_option("--open", words.open,
                   "full: the console's open sequence with the radio's calibrations; quick: without them, for "
                   "work that does not transmit or receive (identity, eFuse reads and burns)")
        ->capture_default_str();
    app.add_option("--limits", g.limits_file,
                   "a JSON file of named tx, rx and trim find limit sets, by command and operating point; a "
                   "limit given on the command line overrides the file's")
        ->type_name("FILE");
    app.add_flag("--unjudged-ok", g.unjudged_ok,
                 "with --limits, a tx or rx that no limit set covers (and no limit option judges) passes "
                 "unjudged; by default it fails");
    app.add_option("--meta", words.meta,
                   "KEY=VALUE about the run (serial, station, operator, lot, ...), repeatable; it goes in the "
                   "open and end records")
        ->type_name("KEY=VALUE")
        ->allow_extra_args(false);
    words.store = app.add_option("--store", g.store,
                   "also write the run's results to the line store: sqlite:PATH, "
                   "postgresql://[USER@]HOST[:PORT]/DB or odbc:CONNECTION-STRING (default: DEVE_STORE)")
        ->type_name("URL");
    app.add_flag("--version", words.version, "print the version and exit");
}

std::optional<std::string> settle_globals(const GlobalWords &words, Globals &g) {
    g.progress = !words.no_progress;
    const std::optional<int> port_position = match_label(kPortChoices, words.port);
    const std::optional<int> supply_position = match_label(kSupplyChoices, words.supply);
    const std::optional<int> crystal_position = match_crystal(words.crystal);
    if (!port_position || !supply_position || !crystal_position) {
        return !port_position     ? "--port: '" + words.port + "' is not " + label_list(kPortChoices)
               : !supply_position ? "--supply: '" + words.supply + "' is not " + label_list(kSupplyChoices)
                                  : "--crystal: '" + words.crystal + "' is not " + label_list(kCrystalChoices);
    }
    if (words.open != "full" && words.open != "quick") {
        return "--open: '" + words.open + "' is not full or quick";
    }
    g.open.calibrate = words.open == "full";
    if (words.store != nullptr && words.store->count() > 0 && g.store.empty()) {
        // An unset variable in a script (--store "$STORE") would otherwise
        // run without a store and lose the results.
        return "--store: the URL is empty; name the store (sqlite:PATH, postgresql://[USER@]HOST[:PORT]/DB or "
               "odbc:CONNECTION-STRING), or leave --store out";
    }
    if (words.meta.size() > store::kMetaMaxPairs) {
        return "--meta: more than " + std::to_string(store::kMetaMaxPairs) + " pairs";
    }
    for (const std::string &item : words.meta) {
        const std::size_t equals = item.find('=');
        const std::string key = item.substr(0, equals);
        const bool key_ok = equals != std::string::npos && !key.empty() &&
                            std::all_of(key.begin(), key.end(), [](unsigned char c) {
                                return std::isalnum(c) != 0 || c == '_' || c == '-' || c == '.';
                            });
        if (!key_ok) {
            return "--meta: '" + excerpt(item) + "' is not KEY=VALUE (a key of letters, digits, _ - .)";
        }
        // Bounded so that both databases take every value (an indexed
        // column such as serial fits PostgreSQL's index rows).
        if (const std::optional<std::string> refusal = store::meta_refusal(key, item.substr(equals + 1))) {
            return "--meta: " + *refusal;
        }
        for (const auto &[seen, value] : g.meta) {
            if (seen == key) {
                return "--meta: " + key + " is given twice";
            }
        }
        g.meta.emplace_back(key, item.substr(equals + 1));
    }
    g.open.port = *port_position;
    g.open.supply = *supply_position;
    g.open.crystal = *crystal_position;
    return std::nullopt;
}

}  // namespace deve::cli::parsing
