// Limit files: what a file must hold, and which set a run takes.
#include "limits.h"

#include "deve/tables.h"

#include <gtest/gtest.h>

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

}  // namespace
