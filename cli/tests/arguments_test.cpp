// The command line: global options, commands cut at their names, per-command
// help, and the usage errors found before the link opens.
#include "commands.h"

#include <gtest/gtest.h>

namespace {

using deve::cli::ParseResult;

ParseResult parse(std::vector<std::string> args) { return deve::cli::parse_command_line(args); }

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

TEST(CliCommandLine, CommandsStartAtTheirNamesAndMayRepeat) {
    const ParseResult r = parse({"--json", "tune", "--band", "5G", "--channel", "36", "tx", "--seconds", "2", "reg",
                                 "read", "ccb0a400", "reg", "write", "0xCCB0A62C", "1f", "tx"});
    ASSERT_EQ(r.kind, ParseResult::Kind::Run) << r.text;
    EXPECT_TRUE(r.line.globals.json);
    ASSERT_EQ(r.line.commands.size(), 5u);
    const auto &tune = std::get<deve::cli::TuneCmd>(r.line.commands[0]);
    EXPECT_EQ(tune.request.band.value_or(""), "5G");
    EXPECT_EQ(tune.request.channel.value_or(""), "36");
    EXPECT_EQ(std::get<deve::cli::TxCmd>(r.line.commands[1]).seconds, 2u);
    EXPECT_EQ(std::get<deve::cli::RegReadCmd>(r.line.commands[2]).address, 0xCCB0A400u);
    const auto &write = std::get<deve::cli::RegWriteCmd>(r.line.commands[3]);
    EXPECT_EQ(write.address, 0xCCB0A62Cu);
    EXPECT_EQ(write.value, 0x1Fu);
    EXPECT_EQ(std::get<deve::cli::TxCmd>(r.line.commands[4]).seconds, 10u);  // the default
    EXPECT_EQ(deve::cli::command_name(r.line.commands[2]), "reg read");
}

TEST(CliCommandLine, PathsWithSlashesAreFilesNotOptions) {
    // CLI11 takes "/x" for a Windows-style option unless told otherwise.
    const ParseResult ok = parse({"--library-log", "/tmp/velmo.log", "script", "/tmp/regs.txt", "script",
                                  "C:/regs.txt"});
    ASSERT_EQ(ok.kind, ParseResult::Kind::Run) << ok.text;
    EXPECT_EQ(ok.line.globals.library_log, "/tmp/velmo.log");
    EXPECT_EQ(std::get<deve::cli::ScriptCmd>(ok.line.commands[0]).file, "/tmp/regs.txt");
    EXPECT_EQ(std::get<deve::cli::ScriptCmd>(ok.line.commands[1]).file, "C:/regs.txt");
}

TEST(CliCommandLine, GlobalOptionsChooseTheLinkAsTheLists) {
    const ParseResult r = parse({"--port", "sdio", "--supply", "LDO", "--crystal", "40", "info"});
    ASSERT_EQ(r.kind, ParseResult::Kind::Run) << r.text;
    EXPECT_EQ(r.line.globals.open.port, 1);
    EXPECT_EQ(r.line.globals.open.supply, 0);
    EXPECT_EQ(r.line.globals.open.crystal, 4);
    const ParseResult defaults = parse({"info"});
    EXPECT_EQ(defaults.line.globals.open.port, 0);
    EXPECT_EQ(defaults.line.globals.open.supply, 1);
    EXPECT_EQ(defaults.line.globals.open.crystal, 2);
    EXPECT_FALSE(defaults.line.globals.json);
    EXPECT_EQ(parse({"--port", "pci", "info"}).kind, ParseResult::Kind::Error);
    EXPECT_EQ(parse({"--crystal", "27MHz", "info"}).kind, ParseResult::Kind::Error);
}

TEST(CliCommandLine, EachCommandHasItsOwnHelpWithDefaultsAndRanges) {
    const ParseResult tx = parse({"tune", "--band", "5G", "--channel", "36", "tx", "--help"});
    ASSERT_EQ(tx.kind, ParseResult::Kind::Help);
    EXPECT_TRUE(contains(tx.text, "deve-cli tx")) << tx.text;
    EXPECT_TRUE(contains(tx.text, "(default 10)")) << tx.text;
    EXPECT_TRUE(contains(tx.text, "a whole number of seconds from 1 to 86400")) << tx.text;
    EXPECT_TRUE(contains(tx.text, "--min-frames")) << tx.text;
    const ParseResult burn = parse({"efuse", "burn", "--help"});
    ASSERT_EQ(burn.kind, ParseResult::Kind::Help);
    EXPECT_TRUE(contains(burn.text, "--dry-run")) << burn.text;
    EXPECT_TRUE(contains(burn.text, "Freq_offset: one value 0-255")) << burn.text;
    const ParseResult all = parse({"--help"});
    ASSERT_EQ(all.kind, ParseResult::Kind::Help);
    for (const std::string &name : deve::cli::command_names()) {
        EXPECT_TRUE(contains(all.text, "  " + name + " ")) << name;
    }
    for (const char *code : {"  0 ", "  1 ", "  2 ", "  3 ", "  129 ", "130", "143"}) {
        EXPECT_TRUE(contains(all.text, code)) << "exit code " << code << " in " << all.text;
    }
    EXPECT_EQ(parse({"--version"}).kind, ParseResult::Kind::Help);
}

TEST(CliCommandLine, UsageErrorsNameTheProblem) {
    const auto error = [](std::vector<std::string> args) {
        const ParseResult r = parse(std::move(args));
        EXPECT_EQ(r.kind, ParseResult::Kind::Error);
        return r.text;
    };
    EXPECT_TRUE(contains(error({}), "no command"));
    EXPECT_TRUE(contains(error({"bogus"}), "unknown command: bogus"));
    EXPECT_TRUE(contains(error({"reg", "read", "xyz"}), "ADDR 'xyz' is not a hexadecimal"));
    EXPECT_TRUE(contains(error({"reg", "write", "100"}), "VALUE"));
    EXPECT_TRUE(contains(error({"tx", "--seconds", "0"}), "--seconds"));
    EXPECT_TRUE(contains(error({"tune"}), "at least one setting"));
    EXPECT_TRUE(contains(error({"dpd", "maybe"}), "dpd"));
    EXPECT_TRUE(contains(error({"tune", "--offset", "256"}), "--offset"));
    // "tx" starts a command, so the script has no file.
    EXPECT_TRUE(contains(error({"script", "tx"}), "FILE"));
    EXPECT_EQ(parse({"script", "./tx"}).kind, ParseResult::Kind::Run);
}

// Names and keys that reach the store must be UTF-8: bytes that are not are
// refused with the argument named, never dropped or guessed at.
TEST(CliCommandLine, TextForTheStoreThatIsNotUtf8IsRefusedNamingTheArgument) {
    const auto error = [](std::vector<std::string> args) {
        const ParseResult r = parse(std::move(args));
        EXPECT_EQ(r.kind, ParseResult::Kind::Error);
        return r.text;
    };
    const std::string cut = std::string("line-\xC3") + "A";
    EXPECT_TRUE(contains(error({"mac", "write", "--from-pool", cut}), "--from-pool: the pool's name is not UTF-8 text "
                                                                      "(byte 6"));
    EXPECT_TRUE(contains(error({"store", "pool", "status", "\xED\xA0\x80"}), "the pool's name is not UTF-8"));
    EXPECT_TRUE(contains(error({"store", "pool", "add", "p\xFF", "02:00:00:00:00:01", "02:00:00:00:00:02"}),
                         "byte 2"));
    EXPECT_TRUE(contains(error({"report", "board", "SN\x80"}), "the board's key is not UTF-8 text (byte 3"));
    EXPECT_TRUE(contains(error({"report", "--station", "\xF5\x80\x80\x80"}), "--station"));
    // Valid text of every length passes.
    EXPECT_EQ(parse({"report", "board", "SN-\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"}).kind, ParseResult::Kind::Run);
    EXPECT_EQ(parse({"mac", "write", "--from-pool", "l\xC3\xADnea"}).kind, ParseResult::Kind::Run);
}

TEST(CliCommandLine, NumbersOutsideTheirRangeAreRefusedInPlainWords) {
    const auto error = [](std::vector<std::string> args) {
        const ParseResult r = parse(std::move(args));
        EXPECT_EQ(r.kind, ParseResult::Kind::Error);
        return r.text;
    };
    // A negative count must not wrap into a limit that passes anything.
    EXPECT_EQ(error({"rx", "--max-errors", "-1"}),
              "rx: --max-errors: '-1' is not a whole number of frames from 0 to 1000000000000");
    EXPECT_TRUE(contains(error({"rx", "--max-per", "nan"}), "is not a number of percent from 0 to 100"));
    EXPECT_TRUE(contains(error({"rx", "--max-per", "1e400"}), "from 0 to 100"));
    EXPECT_TRUE(contains(error({"tx", "--min-fps", "inf"}), "'inf' is not a number of frames per second"));
    EXPECT_TRUE(contains(error({"rx", "--min-frames", "99999999999999999999"}), "from 0 to 1000000000000"));
    EXPECT_TRUE(contains(error({"tx", "--seconds", "1.5"}), "'1.5' is not a whole number of seconds from 1 to 86400"));
    EXPECT_EQ(error({"--jsn", "info"}), "unknown option: --jsn (see deve-cli --help for the options)");
    const ParseResult limits = parse({"rx", "--max-per", "2.5", "--max-errors", "0", "--seconds", "3"});
    ASSERT_EQ(limits.kind, ParseResult::Kind::Run) << limits.text;
    const auto &rx = std::get<deve::cli::RxCmd>(limits.line.commands[0]);
    EXPECT_EQ(rx.max_per, 2.5);
    EXPECT_EQ(rx.max_errors, 0u);
    EXPECT_EQ(rx.seconds, 3u);
    // The trim search's acceptance limits, and a run no limit set judges.
    EXPECT_TRUE(
        contains(error({"trim", "find", "--max-trim", "256"}), "not a whole number of trim steps from 0 to 255"));
    const ParseResult trim = parse({"--unjudged-ok", "trim", "find", "--max-per", "5", "--min-trim", "100",
                                    "--max-trim", "200"});
    ASSERT_EQ(trim.kind, ParseResult::Kind::Run) << trim.text;
    const auto &find = std::get<deve::cli::TrimFindCmd>(trim.line.commands[0]);
    EXPECT_EQ(find.max_per, 5.0);
    EXPECT_EQ(find.min_trim, 100u);
    EXPECT_EQ(find.max_trim, 200u);
    EXPECT_TRUE(trim.line.globals.unjudged_ok);
}

TEST(CliCommandLine, BurnsThatCanNeverBeRightAreRefusedBeforeTheLinkOpens) {
    const auto error = [](std::vector<std::string> args) {
        const ParseResult r = parse(std::move(args));
        EXPECT_EQ(r.kind, ParseResult::Kind::Error);
        return r.text;
    };
    EXPECT_TRUE(contains(error({"mac", "write", "01:00:5e:00:00:01"}), "multicast"));
    EXPECT_TRUE(contains(error({"mac", "write", "ff:ff:ff:ff:ff:ff"}), "broadcast"));
    EXPECT_TRUE(contains(error({"efuse", "burn", "MAC", "00-00-00-00-00-00"}), "all-zero"));
    EXPECT_TRUE(contains(error({"mac", "write", "00:11:22:33:44"}), "not a MAC address"));
    EXPECT_TRUE(contains(error({"efuse", "burn", "TX_PWR1", "3", "16"}), "out of range 0 to 15"));
    EXPECT_TRUE(contains(error({"efuse", "burn", "Freq_offset", "-1"}), "not a decimal number"));
    EXPECT_TRUE(contains(error({"efuse", "burn", "VID", "1"}), "unknown eFuse item"));
    const ParseResult ok = parse({"efuse", "burn", "tx_pwr2", "15", "0", "--dry-run"});
    ASSERT_EQ(ok.kind, ParseResult::Kind::Run) << ok.text;
    const auto &burn = std::get<deve::cli::EfuseBurnCmd>(ok.line.commands[0]);
    EXPECT_EQ(burn.item, "TX_PWR2");
    EXPECT_EQ(burn.values, (std::vector<std::uint32_t>{15, 0}));
    EXPECT_TRUE(burn.burn.dry_run);
    EXPECT_FALSE(burn.burn.yes);
}

TEST(CliCommandLine, TunesAreFollowedThroughTheCommands) {
    EXPECT_TRUE(contains(parse({"tune", "--band", "5G"}).text, "band 5G does not offer channel 1"));
    EXPECT_TRUE(contains(parse({"tune", "--band", "5G", "--channel", "36", "tune", "--channel", "13"}).text,
                         "tune (command 2): channel '13' is not offered on band 5G"));
    EXPECT_EQ(parse({"tune", "--mode", "11g", "--rate", "0-OFDM-6M", "tx", "tune", "--rate", "7-ofdm-54m"}).kind,
              ParseResult::Kind::Run);
    // CCK frames are a 2.4 GHz mode.
    EXPECT_TRUE(contains(parse({"tune", "--band", "5G", "--channel", "36", "--mode", "11b", "--rate", "3-CCK-11M"}).text,
                         "mode 11b-CCK is not offered on band 5G"));
    EXPECT_TRUE(contains(parse({"tune", "--mode", "11b", "--rate", "0-CCK-1M", "tune", "--band", "5G", "--channel",
                                "36"})
                             .text,
                         "mode 11b-CCK is not offered on band 5G"));
    // Negative settings are values, not options.
    const ParseResult gains = parse({"tune", "--rf-gain", "-3", "--dac", "-1.5", "--b-gain", "+1"});
    ASSERT_EQ(gains.kind, ParseResult::Kind::Run) << gains.text;
    EXPECT_EQ(std::get<deve::cli::TuneCmd>(gains.line.commands[0]).request.dac.value_or(""), "-1.5");
}

TEST(CliCommandLine, SessionLinesAreWordsOfTheCommandLine) {
    using deve::cli::split_session_line;
    EXPECT_EQ(split_session_line("  tune --band 5G\t--channel 36  # the 5 GHz check"),
              (std::vector<std::string>{"tune", "--band", "5G", "--channel", "36"}));
    EXPECT_EQ(split_session_line("script \"my regs#1.txt\" script 'a b' script c\\ d"),
              (std::vector<std::string>{"script", "my regs#1.txt", "script", "a b", "script", "c d"}));
    EXPECT_EQ(split_session_line("# only a comment\r"), std::vector<std::string>{});
    EXPECT_FALSE(split_session_line("script \"unclosed").has_value());
    const ParseResult line = deve::cli::parse_session_line({"tx", "--frames", "100", "rx"});
    ASSERT_EQ(line.kind, ParseResult::Kind::Run) << line.text;
    EXPECT_EQ(line.line.commands.size(), 2u);
    EXPECT_TRUE(contains(deve::cli::parse_session_line({"--json", "info"}).text, "'--json' is not a command"));
    EXPECT_TRUE(contains(deve::cli::parse_session_line({"session"}).text, "a session stands alone"));
    EXPECT_TRUE(contains(parse({"session", "info"}).text, "given on its lines"));
}

TEST(CliTypedValues, HexWordsMacAddressesAndDecimals) {
    using namespace deve::cli;
    using deve::parse_mac_text;
    EXPECT_EQ(parse_hex_word("ccb0a400"), 0xCCB0A400u);
    EXPECT_EQ(parse_hex_word("0XFF"), 0xFFu);
    EXPECT_FALSE(parse_hex_word("0x").has_value());
    EXPECT_FALSE(parse_hex_word("123456789").has_value());
    EXPECT_FALSE(parse_hex_word("12g4").has_value());
    EXPECT_FALSE(parse_hex_word("").has_value());

    EXPECT_EQ(parse_mac_text("00:11:22:33:44:55"), (deve::MacAddress{0x00, 0x11, 0x22, 0x33, 0x44, 0x55}));
    EXPECT_EQ(parse_mac_text("0-a-B-c-d-e"), (deve::MacAddress{0x00, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E}));
    EXPECT_EQ(parse_mac_text("AABBCCDDEEFF"), (deve::MacAddress{0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}));
    EXPECT_FALSE(parse_mac_text("00:11:22:33:44:55:66").has_value());
    EXPECT_FALSE(parse_mac_text("00:11:22:33:44:5g").has_value());
    EXPECT_FALSE(parse_mac_text("00:11:22:33:44:").has_value());
    EXPECT_FALSE(parse_mac_text("001:1:22:33:44:55").has_value());
    EXPECT_FALSE(parse_mac_text("00:11-22:33:44:55").has_value());

    EXPECT_EQ(parse_decimal("4294967295"), 0xFFFFFFFFu);
    EXPECT_FALSE(parse_decimal("4294967296").has_value());
    EXPECT_FALSE(parse_decimal("+1").has_value());
    EXPECT_FALSE(parse_decimal("1.5").has_value());
}

}  // namespace
