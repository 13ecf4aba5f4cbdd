// deve-cli on the simulated board: every command in text and in JSON, the
// limits and the exit codes.
#include "sim_board.h"

#include <QJsonArray>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

namespace {

using clitest::CliRun;
using clitest::number;
using clitest::one;
using clitest::text;
using Types = std::vector<std::string>;

class CliCommands : public clitest::SimBoard {};

// The library's default transport file, and the simulated board beside the
// program as the program names it.
std::string default_transport() { return clitest::windows_program() ? "xolt.dll" : "libxolt.so"; }

std::string transport_beside_the_program() {
    return clitest::program_path(
        (std::filesystem::path(clitest::cli_program()).parent_path() / default_transport()).string());
}

TEST_F(CliCommands, InfoAsTextAndAsRecords) {
    const clitest::Env env{{"XOLT_CHIP_ID", "0x7C000000"}};
    const CliRun plain = run({"info"}, env);
    EXPECT_EQ(plain.exit_code, 0) << plain.err;
    EXPECT_TRUE(contains(plain.out, "open: Open Success (USB, DCDC, 25MHz); chip id 7c000000")) << plain.out;
    EXPECT_TRUE(contains(plain.out, "chip id         7c000000\n")) << plain.out;
    EXPECT_TRUE(contains(plain.out, "revision        0x30303643 (\"C600\")")) << plain.out;
    EXPECT_TRUE(contains(plain.out, "transport       " + transport_beside_the_program() + " (requested " + default_transport() + ")"))
        << plain.out;
    EXPECT_TRUE(contains(plain.out, "free eFuse bits 224\n")) << plain.out;
    EXPECT_TRUE(contains(plain.out, "close: Close Success; transmitter off, receiver off, radio in standby"));
    EXPECT_TRUE(contains(plain.out, "result: pass (exit code 0)"));

    const std::string xolt = transport_beside_the_program();
    clitest::Env explicit_transport = env;
    explicit_transport.emplace_back("XOLT_LIBRARY", xolt);
    const CliRun json = run({"--json", "info"}, explicit_transport);
    EXPECT_EQ(json.exit_code, 0) << json.err;
    const auto all = clitest::records(json.out);
    EXPECT_EQ(types(all), (Types{"open", "info", "close", "end"}));
    const QJsonObject info = one(all, "info");
    EXPECT_EQ(text(info, "chip_id"), "0x7c000000");
    EXPECT_EQ(text(info, "revision_text"), "C600");
    EXPECT_EQ(text(info, "transport_requested"), xolt);
    EXPECT_EQ(text(info, "transport_loaded"), xolt);
    EXPECT_EQ(number(info, "free_bits"), 224);
    EXPECT_EQ(text(info.value("units").toObject(), "free_bits"), "bit");
    EXPECT_EQ(number(info, "step"), 1);
    // One spelling of the chip identifier in every record; the dialog's text beside it.
    EXPECT_EQ(text(one(all, "open"), "chip_id"), "0x7c000000");
    EXPECT_EQ(text(one(all, "open"), "chip_id_text"), "7c000000");
    EXPECT_EQ(text(one(all, "end"), "verdict"), "pass");
}

// A transport file that is no module at all: the open fails, the error says
// why in the library's words, and the library's own two lines come along.
TEST_F(CliCommands, ATransportThatIsNoModuleIsExplained) {
    const std::string file = path(default_transport());
    std::ofstream(file) << "a text file where the maker's transport should be\n";
    const std::string why = clitest::windows_program()
                                ? "xolt.dll is not a DLL: it is not a Windows PE file"
                                : "libxolt.so is not a shared object: it is not an ELF file";
    const CliRun r = run({"--json", "info"}, {{"XOLT_LIBRARY", clitest::program_path(file)}});
    EXPECT_NE(r.exit_code, 0) << r.out;
    const auto all = clitest::records(r.out);
    const QJsonObject error = one(all, "error");
    EXPECT_EQ(text(error, "kind"), "link");
    EXPECT_EQ(text(error, "message"), "the link did not open: the transport could not be loaded: " + why) << r.out;
    std::vector<std::string> lines;
    for (const QJsonObject &record : clitest::of_type(all, "library")) {
        lines.push_back(text(record, "line"));
    }
    ASSERT_GE(lines.size(), 2u) << r.out;
    EXPECT_EQ(lines[0], "ERROR: unable to load " + clitest::program_path(file));
    EXPECT_EQ(lines[1], "ERROR: " + why);

    const CliRun plain = run({"info"}, {{"XOLT_LIBRARY", clitest::program_path(file)}});
    EXPECT_TRUE(contains(plain.out, "open: error: the link did not open: the transport could not be loaded: " + why))
        << plain.out;
}

TEST_F(CliCommands, RegistersAreWrittenAndReadBack) {
    const std::vector<std::string> args{"reg", "write", "0xCCB0A62C", "12345678", "reg", "read", "ccb0a62c"};
    const CliRun plain = run(args);
    EXPECT_EQ(plain.exit_code, 0) << plain.err;
    EXPECT_TRUE(contains(plain.out, "reg 0xccb0a62c <- 0x12345678\nreg 0xccb0a62c = 0x12345678\n")) << plain.out;
    std::vector<std::string> json_args{"--json"};
    json_args.insert(json_args.end(), args.begin(), args.end());
    const auto all = clitest::records(run(json_args).out);
    const QJsonObject read = one(all, "reg_read");
    EXPECT_EQ(text(read, "address"), "0xccb0a62c");
    EXPECT_EQ(number(read, "value"), 0x12345678);
    EXPECT_EQ(text(read, "value_hex"), "0x12345678");
    EXPECT_EQ(number(read, "step"), 2);
    EXPECT_EQ(text(read, "command"), "reg read");
}

TEST_F(CliCommands, TuneThenTransmitWithLimitsThatPassAndFail) {
    const CliRun r = run({"--json", "tune", "--band", "5G", "--channel", "36", "--mode", "11g", "--rate", "7-OFDM-54M",
                          "--dac", "-1", "tx", "--seconds", "2", "--min-frames", "100", "tx", "--seconds", "1",
                          "--min-frames", "100000000"});
    EXPECT_EQ(r.exit_code, 1) << r.err;
    const auto all = clitest::records(r.out);
    EXPECT_EQ(types(all), (Types{"open", "tune", "tx_sample", "tx_sample", "tx", "tx_sample", "tx", "close", "end"}));
    const QJsonObject tune = one(all, "tune");
    EXPECT_EQ(number(tune, "channel"), 36);
    EXPECT_EQ(number(tune, "frequency"), 5180);
    EXPECT_EQ(text(tune, "mode"), "11g-OFDM");
    EXPECT_EQ(number(tune, "rate_code"), 14);
    EXPECT_EQ(number(tune, "dac"), -1);
    EXPECT_TRUE(tune.value("rf_gain").isNull());
    const auto samples = clitest::of_type(all, "tx_sample");
    const auto results = clitest::of_type(all, "tx");
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(number(samples[0], "second"), 1);
    EXPECT_EQ(number(samples[1], "second"), 2);
    EXPECT_EQ(number(samples[1], "total_frames"), number(samples[0], "frames") + number(samples[1], "frames"));
    EXPECT_GT(number(samples[0], "frames_per_second"), 0);
    EXPECT_EQ(text(samples[0].value("units").toObject(), "frames_per_second"), "frame/s");
    EXPECT_EQ(number(results[0], "frames"), number(samples[1], "total_frames"));
    EXPECT_EQ(text(results[0], "band"), "5G");
    EXPECT_EQ(text(results[0], "verdict"), "pass");
    EXPECT_TRUE(results[0].value("complete").toBool());
    EXPECT_EQ(text(results[1], "verdict"), "fail");
    const QJsonObject limit = results[1].value("limits").toArray().at(0).toObject();
    EXPECT_EQ(text(limit, "name"), "min-frames");
    EXPECT_FALSE(limit.value("pass").toBool());
    EXPECT_EQ(text(one(all, "end"), "verdict"), "fail");
    EXPECT_EQ(number(one(all, "end"), "exit_code"), 1);

    const CliRun plain = run({"tune", "--band", "5G", "--channel", "36", "--rf-gain", "-3", "tune", "--band", "2G",
                              "--channel", "1", "tx", "--seconds", "1"});
    EXPECT_EQ(plain.exit_code, 0);
    EXPECT_TRUE(contains(plain.out, "tune: 5G CH36_5180MHz, 11n-HT20 HT20-MCS7, offset 151; RF gain -3, DAC as "
                                    "loaded, 11b gain as loaded\n"))
        << plain.out;
    EXPECT_TRUE(contains(plain.out, "tx: 2G CH1_2412MHz, 11n-HT20 HT20-MCS7, offset 151, PIT built-in, 1 s"))
        << plain.out;
    EXPECT_TRUE(contains(plain.out, "  second    frames  frames/s     total\n       1")) << plain.out;
    EXPECT_TRUE(contains(plain.out, "-- PASS (no limits)")) << plain.out;
}

TEST_F(CliCommands, StopOnFailSkipsTheRest) {
    const CliRun r = run({"--json", "--stop-on-fail", "tx", "--seconds", "1", "--min-fps", "1e7", "cal"});
    EXPECT_EQ(r.exit_code, 1);
    const auto all = clitest::records(r.out);
    EXPECT_TRUE(clitest::of_type(all, "cal").empty());
    EXPECT_EQ(text(one(all, "tx"), "verdict"), "fail");
}

TEST_F(CliCommands, FrameCountsStopTheRunWithSecondsAsTheCap) {
    const CliRun r = run({"--json", "tx", "--frames", "500", "--seconds", "5", "rx", "--frames", "300", "--seconds", "5",
                          "rx", "--frames", "100000", "--seconds", "1"});
    EXPECT_EQ(r.exit_code, 1) << r.out;
    const auto all = clitest::records(r.out);
    // Two of the three runs stop on their counts, long before their caps.
    const QJsonObject tx = one(all, "tx");
    EXPECT_LT(number(tx, "elapsed"), 3.0);  // well before the 5 s cap, even on a loaded machine
    EXPECT_EQ(text(tx, "ended_by"), "frames");
    EXPECT_EQ(number(tx, "frames_wanted"), 500);
    EXPECT_GE(number(tx, "frames"), 500);
    EXPECT_TRUE(tx.value("complete").toBool());
    const auto samples = clitest::of_type(all, "tx_sample");
    ASSERT_FALSE(samples.empty());
    EXPECT_EQ(number(samples.back(), "total_frames"), number(tx, "frames"));
    const auto rx = clitest::of_type(all, "rx");
    ASSERT_EQ(rx.size(), 2u);
    EXPECT_EQ(text(rx[0], "ended_by"), "frames");
    EXPECT_LT(number(rx[0], "elapsed"), 3.0);
    EXPECT_EQ(text(rx[0], "verdict"), "pass");
    // The cap ends a run that does not reach its count: it did not complete.
    EXPECT_EQ(text(rx[1], "ended_by"), "seconds");
    EXPECT_FALSE(rx[1].value("complete").toBool());
    EXPECT_EQ(text(rx[1], "verdict"), "fail");
}

TEST_F(CliCommands, ReceptionPassesAndFailsOnThePacketErrorRate) {
    const CliRun good = run({"--json", "rx", "--seconds", "2", "--max-per", "8", "--min-frames", "1000"});
    EXPECT_EQ(good.exit_code, 0) << good.out;
    const auto all = clitest::records(good.out);
    const auto samples = clitest::of_type(all, "rx_sample");
    ASSERT_EQ(samples.size(), 2u);
    double frames = 0;
    double errors = 0;
    for (const QJsonObject &s : samples) {
        frames += number(s, "frames");
        errors += number(s, "errors");
        EXPECT_EQ(number(s, "total_frames"), frames);
        EXPECT_NEAR(number(s, "per"), 100.0 * number(s, "errors") / number(s, "frames"), 50.0 / number(s, "frames"));
        EXPECT_TRUE(std::regex_match(text(s, "per_text"), std::regex("\\d+\\.\\d%")));
        EXPECT_EQ(text(s.value("units").toObject(), "per"), "%");
    }
    const QJsonObject rx = one(all, "rx");
    EXPECT_EQ(number(rx, "frames"), frames);
    EXPECT_EQ(number(rx, "errors"), errors);
    EXPECT_NEAR(number(rx, "per"), 100.0 * errors / frames, 50.0 / frames);
    EXPECT_EQ(text(rx, "verdict"), "pass");
    EXPECT_EQ(rx.value("limits").toArray().size(), 2);

    // A frequency offset far from the crystal's: most frames fail.
    const CliRun bad = run({"--json", "tune", "--offset", "100", "rx", "--seconds", "1", "--max-per", "8"});
    EXPECT_EQ(bad.exit_code, 1);
    const QJsonObject failed = one(clitest::records(bad.out), "rx");
    EXPECT_EQ(text(failed, "verdict"), "fail");
    EXPECT_EQ(number(failed, "offset"), 100);
    EXPECT_GT(number(failed, "per"), 8.0);

    const CliRun plain = run({"tune", "--offset", "100", "rx", "--seconds", "1", "--max-per", "8"});
    EXPECT_EQ(plain.exit_code, 1);
    EXPECT_TRUE(std::regex_search(plain.out, std::regex("-- FAIL \\(max-per <= 8: [0-9.]+ failed\\)"))) << plain.out;
    EXPECT_TRUE(contains(plain.out, "  second  errors  frames     PER   total errors  total frames  total PER"));
}

// The sequential test on the board: a good receiver and transmitter are
// decided passes well before the fixed counts, a receiver far off its trim a
// decided fail; a decided run is judged on its rate, not on min-frames; a
// sequential run without the limit it decides is refused.
TEST_F(CliCommands, SequentialRunsStopWhenTheirCountsDecide) {
    const CliRun good = run({"--json", "tx", "--sequential", "--min-fps", "1000", "--min-frames", "2000", "--frames",
                             "2000", "--seconds", "5", "rx", "--sequential", "--max-per", "10", "--min-frames", "1000",
                             "--frames", "2000", "--seconds", "5"});
    EXPECT_EQ(good.exit_code, 0) << good.out;
    const auto all = clitest::records(good.out);
    for (const char *type : {"tx", "rx"}) {
        const QJsonObject r = one(all, type);
        EXPECT_EQ(text(r, "ending"), "decided pass") << type;
        EXPECT_EQ(text(r, "ended_by"), "decided") << type;
        EXPECT_LT(number(r, "frames"), 1000) << type;
        EXPECT_TRUE(r.value("complete").toBool()) << type;
        EXPECT_EQ(text(r, "verdict"), "pass") << type;
        const QJsonArray limits = r.value("limits").toArray();
        ASSERT_EQ(limits.size(), 1) << type;  // min-frames bounds fixed counts only
        EXPECT_NE(text(limits[0].toObject(), "name"), "min-frames");
        const QJsonObject test = r.value("sequential").toObject();
        EXPECT_EQ(text(test, "method"), "SPRT");
        EXPECT_LE(number(test, "llr"), number(test, "pass_bound")) << type;
        EXPECT_EQ(number(test, "max_frames"), 2000);
    }

    const CliRun bad = run({"--json", "tune", "--offset", "100", "rx", "--max-per", "10", "--false-pass", "1",
                            "--seconds", "5"});
    EXPECT_EQ(bad.exit_code, 1) << bad.out;
    const QJsonObject failed = one(clitest::records(bad.out), "rx");
    EXPECT_EQ(text(failed, "ending"), "decided fail");
    EXPECT_LT(number(failed, "frames"), 500);
    EXPECT_EQ(text(failed, "verdict"), "fail");
    EXPECT_GE(number(failed.value("sequential").toObject(), "llr"),
              number(failed.value("sequential").toObject(), "fail_bound"));

    const CliRun fixed = run({"--json", "rx", "--max-per", "10", "--frames", "300", "--seconds", "5"});
    EXPECT_EQ(text(one(clitest::records(fixed.out), "rx"), "ending"), "fixed");

    const CliRun refused = run({"rx", "--sequential", "--seconds", "1"});
    EXPECT_EQ(refused.exit_code, 2);
    EXPECT_TRUE(contains(refused.out + refused.err, "decides a max-per limit, and this rx has none")) << refused.out
                                                                                                      << refused.err;
    const CliRun both = run({"rx", "--fixed", "--zone", "2", "--max-per", "10"});
    EXPECT_EQ(both.exit_code, 2);
}

TEST_F(CliCommands, NothingReceivedShowsNA) {
    const clitest::Env silent{{"XOLT_RX_FRAME_RATE", "0"}};
    const CliRun json = run({"--json", "rx", "--seconds", "1", "--max-per", "50"}, silent);
    EXPECT_EQ(json.exit_code, 1);
    const auto all = clitest::records(json.out);
    const QJsonObject sample = one(all, "rx_sample");
    EXPECT_TRUE(sample.value("per").isNull());
    EXPECT_EQ(text(sample, "per_text"), "NA");
    const QJsonObject rx = one(all, "rx");
    EXPECT_TRUE(rx.value("per").isNull());
    EXPECT_TRUE(rx.value("limits").toArray().at(0).toObject().value("value").isNull());
    const CliRun plain = run({"rx", "--seconds", "1"}, silent);
    EXPECT_EQ(plain.exit_code, 0);
    EXPECT_TRUE(contains(plain.out, "      NA")) << plain.out;
    EXPECT_TRUE(contains(plain.out, "rx: 0 errors in 0 frames, PER NA")) << plain.out;
}

TEST_F(CliCommands, CounterRestartsLoseNoFrames) {
    // 2500 frames a second: the counters pass 3000 and restart every other second.
    const CliRun r = run({"--json", "rx", "--seconds", "4"}, {{"XOLT_RX_FRAME_RATE", "2500"}});
    EXPECT_EQ(r.exit_code, 0);
    const auto all = clitest::records(r.out);
    int resets = 0;
    double previous = 0;
    for (const QJsonObject &s : clitest::of_type(all, "rx_sample")) {
        resets += s.value("counter_reset").toBool() ? 1 : 0;
        EXPECT_NEAR(number(s, "frames"), 2500, 300);
        EXPECT_EQ(number(s, "total_frames"), previous + number(s, "frames"));
        previous = number(s, "total_frames");
    }
    EXPECT_GE(resets, 1);
    const QJsonObject rx = one(all, "rx");
    EXPECT_EQ(number(rx, "counter_resets"), resets);
    EXPECT_EQ(number(rx, "frames"), previous);
    EXPECT_NEAR(number(rx, "frames"), 10000, 1000);
}

TEST_F(CliCommands, UsageErrorsExitWithTwoAndLinkErrorsWithThree) {
    const CliRun usage = run({"tune", "--channel", "14"});
    EXPECT_EQ(usage.exit_code, 2);
    EXPECT_TRUE(usage.out.empty()) << "the link must not open: " << usage.out;
    EXPECT_TRUE(contains(usage.err, "channel '14' is not offered on band 2G (channels 1-13)")) << usage.err;

    const CliRun usage_json = run({"--json", "reg", "read"});
    EXPECT_EQ(usage_json.exit_code, 2);
    const auto records = clitest::records(usage_json.out);
    EXPECT_EQ(types(records), (Types{"error", "end"}));
    EXPECT_EQ(text(one(records, "error"), "kind"), "usage");

    const CliRun link = run({"--json", "info"}, {{"XOLT_FAULT_OPEN", "7"}});
    EXPECT_EQ(link.exit_code, 3);
    const auto link_records = clitest::records(link.out);
    const Types link_types = types(link_records);
    ASSERT_GE(link_types.size(), 3u);
    EXPECT_EQ(link_types[0], "open");
    EXPECT_EQ(link_types[1], "error");
    EXPECT_EQ(link_types.back(), "end");
    EXPECT_TRUE(clitest::of_type(link_records, "close").empty());  // nothing to close
    EXPECT_EQ(text(one(link_records, "open"), "status"), "Open Fail");
    EXPECT_EQ(number(one(link_records, "open"), "init_result"), 7);
    EXPECT_EQ(text(one(link_records, "error"), "kind"), "link");
    EXPECT_EQ(text(one(link_records, "end"), "verdict"), "error");

    const CliRun link_text = run({"info"}, {{"XOLT_FAULT_OPEN", "7"}});
    EXPECT_EQ(link_text.exit_code, 3);
    EXPECT_TRUE(contains(link_text.out, "open: Open Fail (rf_init returned 7)")) << link_text.out;
}

TEST_F(CliCommands, CalibrationPredistortionAndTemperature) {
    const CliRun json = run({"--json", "cal", "dpd", "off", "dpd", "off", "dpd", "on", "temp"},
                            {{"XOLT_AMBIENT_C", "30"}});
    EXPECT_EQ(json.exit_code, 0) << json.out;
    const auto all = clitest::records(json.out);
    EXPECT_EQ(text(one(all, "cal"), "status"), "success");
    const auto dpd = clitest::of_type(all, "dpd");
    ASSERT_EQ(dpd.size(), 3u);
    EXPECT_EQ(text(dpd[0], "status"), "DPD OFF");
    EXPECT_TRUE(dpd[0].value("changed").toBool());
    EXPECT_FALSE(dpd[0].value("enabled").toBool());
    EXPECT_FALSE(dpd[1].value("changed").toBool());
    EXPECT_EQ(text(dpd[2], "status"), "DPD ON");
    EXPECT_TRUE(dpd[2].value("enabled").toBool());
    const QJsonObject temp = one(all, "temp");
    EXPECT_NEAR(number(temp, "celsius"), 30, 10);
    EXPECT_EQ(text(temp.value("units").toObject(), "celsius"), "degC");

    const CliRun plain = run({"cal", "dpd", "off", "temp"});
    EXPECT_EQ(plain.exit_code, 0);
    EXPECT_TRUE(contains(plain.out, "cal: success (rf_calibration returned 0)")) << plain.out;
    EXPECT_TRUE(contains(plain.out, "dpd: DPD OFF; pre-distortion reads off")) << plain.out;
    EXPECT_TRUE(std::regex_search(plain.out, std::regex("temp: -?\\d+ degC; sensor code \\d+"))) << plain.out;
}

TEST_F(CliCommands, ScriptsWriteTheirRegisters) {
    const std::string script = path("r\u00e9gs \u6e2c\u8a66.txt");  // any letters in a file name
    {
        std::ofstream out(script);
        out << "; a comment\n"
            << "DIList                      CCB0A630   0000BEEF\n"
            << "DIList  too short\n"
            << "//end\n"
            << "DIList                      CCB0A630   00000001\n";
    }
    const CliRun json = run({"--json", "script", clitest::program_path(script), "reg", "read", "CCB0A630"});
    EXPECT_EQ(json.exit_code, 0) << json.out;
    const auto all = clitest::records(json.out);
    const QJsonObject s = one(all, "script");
    EXPECT_EQ(number(s, "written"), 1);
    EXPECT_EQ(number(s, "skipped"), 1);
    EXPECT_TRUE(s.value("ended").toBool());
    EXPECT_EQ(number(one(all, "reg_read"), "value"), 0xBEEF);
    const CliRun plain = run({"script", clitest::program_path(script)});
    EXPECT_TRUE(contains(plain.out, "script " + clitest::program_path(script) + ": Done; 1 register written"))
        << plain.out;

    // A read error is not the end of the file (reading a Linux process's
    // memory at offset 0 fails with EIO).
    if (!clitest::windows_program()) {
        const CliRun unreadable = run({"--json", "script", "/proc/self/mem", "info"});
        EXPECT_EQ(unreadable.exit_code, 2);
        const auto broken = clitest::records(unreadable.out);
        EXPECT_TRUE(contains(text(one(broken, "error"), "message"), "failed (Input/output error) after 0 registers"))
            << unreadable.out;
        EXPECT_TRUE(clitest::of_type(broken, "info").empty());
    }

    const CliRun missing = run({"--json", "script", clitest::program_path(path("none.txt")), "info"});
    EXPECT_EQ(missing.exit_code, 2);
    const auto failed = clitest::records(missing.out);
    EXPECT_TRUE(contains(text(one(failed, "error"), "message"), "Cannot open the script file"));
    EXPECT_TRUE(clitest::of_type(failed, "info").empty());  // the run stops at an error
    EXPECT_EQ(clitest::of_type(failed, "close").size(), 1u);
}

TEST_F(CliCommands, TheLibraryLogGetsEveryDiagnosticLine) {
    const std::string log = path("velmo.log");
    const CliRun r = run({"--library-log", clitest::program_path(log), "info"});
    EXPECT_EQ(r.exit_code, 0);
    std::ifstream in(log);
    const std::string lines((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(contains(lines, "data written is")) << lines;  // calibration steps
    EXPECT_FALSE(contains(r.out, "data written is"));          // not among the results

    // A log that cannot be written (a full Linux disk) is an error, not a
    // silent loss.
    if (!clitest::windows_program()) {
        const CliRun full = run({"--json", "--library-log", "/dev/full", "info"});
        EXPECT_EQ(full.exit_code, 2);
        const auto all = clitest::records(full.out);
        EXPECT_EQ(text(one(all, "error"), "kind"), "output");
        EXPECT_TRUE(clitest::of_type(all, "info").empty());
    }
}

TEST_F(CliCommands, TheCharacterisationScriptRunsEndToEnd) {
    const std::string log = path("board.jsonl");
    // The script starts deve-cli by one name: the launcher and the program
    // under test behind a small wrapper when there is a launcher.
    std::string cli = clitest::cli_program();
    if (const char *launcher = std::getenv("DEVE_CLI_LAUNCHER"); launcher != nullptr && *launcher != '\0') {
        cli = path("deve-cli");
        std::ofstream(cli) << "#!/bin/sh\nexec '" << launcher << "' '" << clitest::cli_program() << "' \"$@\"\n";
        std::filesystem::permissions(cli, std::filesystem::perms::owner_all);
    }
    clitest::CliOptions options;
    options.env = {{"XOLT_FUSE_FILE", clitest::program_path(fuse_file())},
                   {"DEVE_CLI", cli},
                   {"SECONDS_PER_RUN", "1"},
                   {"MIN_FRAMES", "500"}};
    const CliRun r = clitest::run_program("/bin/sh", {DEVE_CLI_EXAMPLE, log}, options);
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    std::ifstream in(log);
    const auto all = clitest::records(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
    EXPECT_EQ(clitest::of_type(all, "tx").size(), 7u);
    EXPECT_EQ(clitest::of_type(all, "rx").size(), 6u);
    EXPECT_EQ(clitest::of_type(all, "tune").size(), 6u);
    EXPECT_EQ(text(one(all, "end"), "verdict"), "pass");
    // The table: a header and one line per result.
    EXPECT_TRUE(contains(r.out, "rx   5G   149   11g-OFDM   ")) << r.out;
    EXPECT_TRUE(contains(r.out, "result: pass (exit 0)")) << r.out;
}

}  // namespace
