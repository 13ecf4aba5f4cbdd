// Limit files: what a file must hold, and which set a run takes.
#include "limit_file.h"

#include "deve/tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <utility>

namespace {

using deve::cli::parse_limit_file;

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

TEST(CliLimitFile, TheMostSpecificMatchingSetApplies) {
    const auto result = parse_limit_file("station.json", R"({"sets": [
        {"name": "any", "limits": {"max-per": 10}},
        {"name": "rx 2G", "command": "rx", "band": "2G", "limits": {"max-per": 8, "min-frames": 1000}},
        {"name": "rx ch6 HT20", "command": "rx", "band": "2G", "channel": 6, "mode": "HT20",
         "limits": {"max-per": 5}},
        {"name": "tx 54M", "command": "tx", "rate": "7-ofdm-54m", "limits": {"min-fps": 100.5}}]})");
    ASSERT_TRUE(result.file.has_value()) << result.error;
    const deve::cli::LimitFile &file = *result.file;
    const int ht20 = deve::kModeHt20;
    EXPECT_EQ(file.find("rx", 0, 6, ht20, "HT20-MCS7")->name, "rx ch6 HT20");
    EXPECT_EQ(file.find("rx", 0, 1, ht20, "HT20-MCS7")->name, "rx 2G");
    EXPECT_EQ(file.find("rx", 1, 36, ht20, "HT20-MCS7")->name, "any");
    EXPECT_EQ(file.find("tx", 1, 36, 1, "7-OFDM-54M")->name, "tx 54M");
    EXPECT_EQ(*file.find("tx", 1, 36, 1, "7-OFDM-54M")->limits.min_fps, 100.5);
    EXPECT_EQ(*file.find("rx", 0, 1, ht20, "HT20-MCS7")->limits.min_frames, 1000u);
    EXPECT_EQ(parse_limit_file("f", R"({"sets": []})").file->find("rx", 0, 1, 2, "HT20-MCS7"), nullptr);
    // The trim search's acceptance limits.
    const auto trim = parse_limit_file("f", R"({"sets": [{"name": "trim", "command": "trim find",
        "limits": {"max-per": 20, "min-trim": 100, "max-trim": 200}}]})");
    ASSERT_TRUE(trim.file.has_value()) << trim.error;
    const deve::cli::LimitSet *set = trim.file->find("trim find", 0, 1, ht20, "HT20-MCS7");
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(*set->limits.min_trim, 100u);
    EXPECT_EQ(*set->limits.max_trim, 200u);
    EXPECT_EQ(trim.file->find("rx", 0, 1, ht20, "HT20-MCS7"), nullptr);
}

TEST(CliLimitFile, AFileThatCannotBeTrustedIsRefusedWithTheReason) {
    const auto error = [](const char *text) {
        const auto result = parse_limit_file("f.json", text);
        EXPECT_FALSE(result.file.has_value()) << text;
        return result.error;
    };
    EXPECT_TRUE(contains(error(R"({"sets": [)"), "f.json is not valid JSON"));
    EXPECT_TRUE(contains(error(R"([])"), "one key, \"sets\""));
    EXPECT_TRUE(contains(error(R"({"sets": [{"name": "a", "limits": {"max-pr": 1}}]})"), "set \"a\": unknown limit"));
    EXPECT_TRUE(contains(error(R"({"sets": [{"name": "a", "limits": {"max-per": -1}}]})"),
                         "is -1, not a number of percent from 0 to 100"));
    EXPECT_TRUE(contains(error(R"({"sets": [{"limits": {"min-frames": 1.5}}]})"), "set \"set 1\": limit"));
    EXPECT_TRUE(contains(error(R"({"sets": [{"name": "a", "band": "5G", "channel": 14, "limits": {}}]})"),
                         "band 5G has no channel 14"));
    EXPECT_TRUE(contains(error(R"({"sets": [{"name": "a", "mode": "11x", "limits": {}}]})"), "\"mode\" is \"11x\""));
    EXPECT_TRUE(contains(error(R"({"sets": [{"name": "a", "limits": {}}, {"name": "a", "limits": {}}]})"),
                         "two sets are named \"a\""));
    EXPECT_TRUE(contains(error(R"({"sets": [{"name": "a", "chanel": 1, "limits": {}}]})"), "unknown key \"chanel\""));
    EXPECT_TRUE(contains(error(R"({"sets": [{"name": "a"}]})"), "no \"limits\""));
    EXPECT_TRUE(contains(error(R"({"sets": [{"name": "a", "limits": {"max-trim": 256}}]})"),
                         "is 256, not a whole number of trim steps from 0 to 255"));
}

// A set chooses the sequential test with its own settings, each checked;
// a set without the key counts fixed frames.
TEST(CliLimitFile, ASetChoosesTheSequentialTest) {
    const auto result = parse_limit_file("f.json", R"({"sets": [
        {"name": "seq", "command": "rx", "limits": {"max-per": 10},
         "sequential": {"false-pass": 1, "zone": 4, "max-frames": 3000}},
        {"name": "defaults", "command": "tx", "limits": {"min-fps": 1000}, "sequential": {}},
        {"name": "fixed", "limits": {"max-per": 10}}]})");
    ASSERT_TRUE(result.file) << result.error;
    const auto &sets = result.file->sets;
    ASSERT_TRUE(sets[0].sequential);
    EXPECT_EQ(*sets[0].sequential->false_pass, 1.0);
    EXPECT_FALSE(sets[0].sequential->false_fail);
    EXPECT_EQ(*sets[0].sequential->zone, 4.0);
    EXPECT_EQ(*sets[0].sequential->max_frames, 3000u);
    ASSERT_TRUE(sets[1].sequential);
    EXPECT_FALSE(deve::cli::any_given(*sets[1].sequential));
    EXPECT_FALSE(sets[2].sequential);

    const std::pair<const char *, const char *> refused[] = {
        {R"({"sets": [{"name": "a", "limits": {}, "sequential": 5}]})", "\"sequential\" must be an object"},
        {R"({"sets": [{"name": "a", "limits": {}, "sequential": {"alpha": 5}}]})", "unknown key \"alpha\""},
        {R"({"sets": [{"name": "a", "limits": {}, "sequential": {"false-pass": 60}}]})", "\"false-pass\" is 60"},
        {R"({"sets": [{"name": "a", "limits": {}, "sequential": {"false-fail": 0}}]})", "\"false-fail\" is 0"},
        {R"({"sets": [{"name": "a", "limits": {}, "sequential": {"zone": 0}}]})", "\"zone\" must be above 0"},
        {R"({"sets": [{"name": "a", "limits": {}, "sequential": {"max-frames": 1.5}}]})", "\"max-frames\" is 1.5"},
        {R"({"sets": [{"name": "a", "limits": {}, "sequential": {"decide-after": 500, "max-frames": 100}}]})",
         "\"decide-after\" (500) is more than its \"max-frames\" (100)"},
        {R"({"sets": [{"name": "a", "limits": {}, "sequential": {"zone": 1, "zone": 2}}]})",
         "the key \"zone\" is given twice"},
    };
    for (const auto &[text, reason] : refused) {
        const auto r = parse_limit_file("f.json", text);
        EXPECT_FALSE(r.file.has_value()) << text;
        EXPECT_TRUE(contains(r.error, reason)) << r.error;
    }
}

// Files made to break the reader: each is refused, with a reason that
// names what is wrong and quotes no more than an excerpt of the file.
TEST(CliLimitFile, CraftedFilesAreRefusedBrieflyAndInLinearTime) {
    const std::string deep = R"({"sets":[{"name":"deep","limits":{"max-per":)" + std::string(100000, '[') +
                             std::string(100000, ']') + "}}]}";
    const std::string long_name = R"({"sets":[{"name":")" + std::string(1000000, 'n') + R"(","limits":{"mx":1}}]})";
    const std::string long_token = R"({"sets":[{"name":")" + std::string(1000000, 'n') + R"(\q"}]})";
    const std::pair<std::string, std::string> refused[] = {
        {deep, "it nests deeper than 16 levels"},
        // A key given twice, at every level: the parser would keep the later value.
        {R"({"sets":[{"name":"a","limits":{"max-per":10,"max-per":80}}]})",
         R"(set "a": the key "max-per" is given twice)"},
        {R"({"sets":[{"name":"x","limits":{}}, {"name":"b","band":"2G","band":"5G","limits":{}}, 7]})",
         R"(set "b": the key "band" is given twice)"},
        {R"({"sets":[{"name":"x","name":"y","limits":{}}]})", R"(set "set 1": the key "name" is given twice)"},
        {R"({"sets":[],"sets":[]})", R"(limit file f.json: the key "sets" is given twice)"},
        // Numbers in range, as the command line takes them (not cut to 32 bits).
        {R"({"sets":[{"name":"a","channel":4294967332,"limits":{}}]})", R"("channel" is 4294967332, not a channel)"},
        {R"({"sets":[{"name":"a","channel":14,"limits":{}}]})", R"("channel" is 14, not a channel)"},
        {R"({"sets":[{"name":"a","limits":{"max-per":[1,2]}}]})", R"(limit "max-per" is a list, not a number)"},
        {long_name, R"x(set "nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn... (1000000 bytes)": unknown limit "mx")x"},
        {long_token, R"x(last read: '"nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn... (1000003 bytes)')x"},
    };
    for (const auto &[text, told] : refused) {
        const auto result = parse_limit_file("f.json", text);
        EXPECT_FALSE(result.file.has_value()) << told;
        EXPECT_TRUE(contains(result.error, told)) << result.error.substr(0, 1000);
        EXPECT_LT(result.error.size(), 400u) << told;
    }

    // The check for two sets of one name is linear: 40000 sets took 12 s
    // when each name was compared with every other. Four times the sets take
    // about four times as long, not sixteen (the shortest of two runs each,
    // against the machine's noise).
    const auto seconds_for = [](int sets) {
        std::string text = R"({"sets":[)";
        for (int i = 0; i < sets; ++i) {
            text += R"({"name":"set )" + std::to_string(i) + R"(","limits":{"max-per":10}},)";
        }
        text += R"({"name":"set 0","limits":{}}]})";
        double best = 1e9;
        for (int run = 0; run < 2; ++run) {
            const auto start = std::chrono::steady_clock::now();
            const auto result = parse_limit_file("f.json", text);
            best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            EXPECT_TRUE(contains(result.error, R"(two sets are named "set 0")")) << result.error;
        }
        return best;
    };
    const double small = seconds_for(10000);
    const double large = seconds_for(40000);
    EXPECT_LT(large, 8 * small) << small << " s for 10000 sets, " << large << " s for 40000";
}

}  // namespace
