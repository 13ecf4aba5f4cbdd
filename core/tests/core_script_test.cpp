// Register scripts: fixed-column lines, the end line, malformed lines and
// files that cannot be opened.
#include "deve/script.h"
#include "recording_api.h"
#include "script_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using fake::W;
using Calls = std::vector<std::string>;
using scripts::line;
using scripts::TempFile;

TEST(ScriptLine, FieldsSitAtTheirColumns) {
    const std::string l = line(0xCCB0A400, 0x06000004);
    ASSERT_EQ(l.size(), 47u);
    EXPECT_EQ(l.substr(0, 6), "DIList");
    EXPECT_EQ(l.substr(28, 8), "CCB0A400");
    EXPECT_EQ(l.substr(39, 8), "06000004");
    const auto parsed = deve::parse_script_line(l);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->address, 0xCCB0A400u);
    EXPECT_EQ(parsed->value, 0x06000004u);
    // Anything after the value, and between the fields, does not matter.
    EXPECT_EQ(deve::classify_script_line(l + "   // comment"), deve::LineKind::Register);
    EXPECT_EQ(deve::classify_script_line("DIList  xxxxxxxxxxxxxxxxxxxxccb0a400 | 0000abcd"), deve::LineKind::Register);
}

TEST(ScriptLine, Classification) {
    using deve::LineKind;
    EXPECT_EQ(deve::classify_script_line("//end"), LineKind::End);
    EXPECT_EQ(deve::classify_script_line("//end "), LineKind::Other);
    EXPECT_EQ(deve::classify_script_line("dilist" + line(1, 2).substr(6)), LineKind::Other);  // keyword is case-sensitive
    EXPECT_EQ(deve::classify_script_line(""), LineKind::Other);
    EXPECT_EQ(deve::classify_script_line("DIList"), LineKind::Malformed);               // short line: no address
    EXPECT_EQ(deve::classify_script_line(line(1, 2).substr(0, 44)), LineKind::Malformed);  // value cut short
    std::string bad_address = line(0xCCB0A400, 1);
    bad_address[30] = 'G';
    EXPECT_EQ(deve::classify_script_line(bad_address), LineKind::Malformed);
    std::string blank_value = line(0xCCB0A400, 1);
    blank_value[39] = ' ';
    EXPECT_EQ(deve::classify_script_line(blank_value), LineKind::Malformed);
}

TEST(ScriptRun, WritesRegisterLinesUntilTheEndLine) {
    TempFile file("good.txt", "// register dump\n" + line(0xCCB0A400, 0x06000004) + "\n" + "comment line\n" +
                                  line(0xCCB0E180, 0x00010060) + "\r\n" + "//end\r\n" + line(0xDEAD0000, 1) + "\n");
    fake::RecordingApi api;
    const deve::ScriptRun run = deve::run_script(api, file.path());
    EXPECT_TRUE(run.opened);
    EXPECT_TRUE(run.ended);
    EXPECT_EQ(run.written, 2);
    EXPECT_EQ(run.skipped, 0);
    EXPECT_EQ(api.calls, (Calls{W(0xCCB0A400, 0x06000004), W(0xCCB0E180, 0x00010060)}));
    EXPECT_EQ(deve::script_done_details(run),
              "2 registers written, 0 DIList lines skipped (address or value not eight hexadecimal digits).");
}

TEST(ScriptRun, MalformedLinesAreSkippedAndCounted) {
    std::string short_value = line(0xCCB0A62C, 0x12345678).substr(0, 43);
    TempFile file("malformed.txt", "DIList\n" + short_value + "\n" + line(0xCCB0A630, 0xABCDEF01) + "\n//end\n");
    fake::RecordingApi api;
    const deve::ScriptRun run = deve::run_script(api, file.path());
    EXPECT_EQ(run.written, 1);
    EXPECT_EQ(run.skipped, 2);
    EXPECT_EQ(api.calls, Calls{W(0xCCB0A630, 0xABCDEF01)});  // never register 0, never a cut value
    EXPECT_EQ(deve::script_done_details(run),
              "1 register written, 2 DIList lines skipped (address or value not eight hexadecimal digits).");
}

TEST(ScriptRun, FileWithoutEndLineStopsAtItsEnd) {
    TempFile file("noend.txt", line(1, 2) + "\n" + line(3, 4));  // no final line end either
    fake::RecordingApi api;
    const deve::ScriptRun run = deve::run_script(api, file.path());
    EXPECT_TRUE(run.opened);
    EXPECT_FALSE(run.ended);
    EXPECT_EQ(api.calls, (Calls{W(1, 2), W(3, 4)}));
    EXPECT_NE(deve::script_done_details(run).find("no \"//end\" line"), std::string::npos);
}

TEST(ScriptRun, MissingFileOrDirectoryWritesNothing) {
    fake::RecordingApi api;
    const std::string missing = scripts::temp_path("missing.txt").string();
    EXPECT_FALSE(deve::run_script(api, missing).opened);
    EXPECT_FALSE(deve::run_script(api, std::filesystem::temp_directory_path().string()).opened);
    EXPECT_FALSE(deve::run_script(api, "").opened);
    EXPECT_TRUE(api.calls.empty());
    EXPECT_EQ(deve::script_open_failure(missing),
              "Cannot open the script file \"" + missing + "\" for reading. No register was written.");
}

}  // namespace
