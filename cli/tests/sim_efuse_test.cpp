// deve-cli's eFuse commands on the simulated board: the decoded map, reading
// the items, and the staged burn with its preview, confirmation, refusals and
// read-back.
#include "sim_board.h"

#include <QJsonArray>

#include <atomic>
#include <thread>

namespace {

using clitest::CliRun;
using clitest::number;
using clitest::one;
using clitest::text;
using Types = std::vector<std::string>;

class CliEfuse : public clitest::SimBoard {
protected:
    QJsonObject burn_record(const CliRun &r) { return one(clitest::records(r.out), "efuse_burn"); }
};

std::vector<std::string> states_of(const QJsonObject &summary) {
    std::vector<std::string> out;
    for (const QJsonValue &v : summary.value("records").toArray()) {
        out.push_back(text(v.toObject(), "state"));
    }
    return out;
}

TEST_F(CliEfuse, SummaryOfAFreshBoardAndAfterBurns) {
    const CliRun fresh = run({"--json", "efuse", "summary"});
    EXPECT_EQ(fresh.exit_code, 0);
    const QJsonObject empty = one(clitest::records(fresh.out), "efuse_summary");
    EXPECT_TRUE(empty.value("records").toArray().isEmpty());
    EXPECT_EQ(number(empty, "free_bits"), 224);
    EXPECT_EQ(text(empty, "bits"), std::string(256, '0'));

    const CliRun burns = run({"efuse", "burn", "TX_PWR1", "3", "5", "--yes", "efuse", "burn", "TX_PWR1", "3", "6",
                              "--yes", "mac", "write", "00:11:22:33:44:55", "--yes"});
    ASSERT_EQ(burns.exit_code, 0) << burns.out;

    const CliRun json = run({"--json", "efuse", "summary"});
    const QJsonObject summary = one(clitest::records(json.out), "efuse_summary");
    EXPECT_EQ(states_of(summary), (Types{"superseded", "current", "current"}));
    const QJsonArray records = summary.value("records").toArray();
    const QJsonObject first = records.at(0).toObject();
    EXPECT_EQ(text(first, "item"), "TX_PWR1");
    EXPECT_EQ(text(first, "value"), "3,5");
    EXPECT_EQ(number(first, "position"), 32);
    EXPECT_EQ(number(first, "last_bit"), 43);
    EXPECT_EQ(number(first, "type"), 5);
    const QJsonObject mac = records.at(2).toObject();
    EXPECT_EQ(text(mac, "item"), "MAC");
    EXPECT_EQ(text(mac, "value"), "00:11:22:33:44:55");
    EXPECT_EQ(number(mac, "bits"), 52);
    EXPECT_EQ(number(summary, "free_bits"), 224 - 12 - 12 - 52);
    EXPECT_EQ(number(summary, "next_record"), 108);
    // The map as the fuse file holds it.
    const std::vector<std::uint32_t> words = fuse_words();
    const QJsonArray hex = summary.value("words").toArray();
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(hex.at(i).toString().toStdString(), QString::asprintf("0x%08x", words[i]).toStdString());
    }

    const CliRun plain = run({"efuse", "summary"});
    EXPECT_TRUE(contains(plain.out, "eFuse map: chip id 0x00000000; next record at bit 108, 148 free bits"))
        << plain.out;
    EXPECT_TRUE(contains(plain.out, "  32-43     5     TX_PWR1      3,5                superseded\n")) << plain.out;
    EXPECT_TRUE(contains(plain.out, "  56-107    11    MAC          00:11:22:33:44:55  current\n")) << plain.out;
    EXPECT_TRUE(contains(plain.out, "  word 1 ")) << plain.out;
}

TEST_F(CliEfuse, SummaryMarksAReaderStopAndTheRecordsBehindIt) {
    // Crystal 100 at bit 32, a type-7 record at 44, crystal 120 at 52.
    clitest::write_fuse_file(fuse_file(), {0, 0x78457644});
    const CliRun json = run({"--json", "efuse", "summary", "efuse", "read", "Freq_offset"});
    EXPECT_EQ(json.exit_code, 0);
    const auto all = clitest::records(json.out);
    const QJsonObject summary = one(all, "efuse_summary");
    EXPECT_EQ(states_of(summary), (Types{"current", "stop", "unreachable"}));
    EXPECT_EQ(number(summary, "readers_end"), 44);
    EXPECT_EQ(number(summary, "next_record"), 64);
    EXPECT_TRUE(summary.value("records").toArray().at(1).toObject().value("item").isNull());
    // What the library's reader returns agrees: the first crystal value.
    const QJsonObject item = one(all, "efuse_read").value("items").toArray().at(0).toObject();
    EXPECT_EQ(text(item, "text"), "100");

    const CliRun plain = run({"efuse", "summary"});
    EXPECT_TRUE(contains(plain.out, "  44-51     7     -            0x05               stop\n")) << plain.out;
    EXPECT_TRUE(contains(plain.out, "unreachable")) << plain.out;

    // A new crystal record would land behind the stop: refused, nothing burnt.
    const CliRun refused = run({"--json", "efuse", "burn", "Freq_offset", "130", "--yes"});
    EXPECT_EQ(refused.exit_code, 2);
    const QJsonObject burn = burn_record(refused);
    EXPECT_EQ(text(burn, "outcome"), "refused");
    EXPECT_TRUE(contains(text(burn, "reason"), "readers would never see it")) << text(burn, "reason");
    EXPECT_EQ(fuse_words(), (std::vector<std::uint32_t>{0, 0x78457644, 0, 0, 0, 0, 0, 0}));
}

TEST_F(CliEfuse, DryRunShowsThePreviewAndProgramsNothing) {
    const CliRun json = run({"--json", "efuse", "burn", "TX_PWR2", "1", "2", "--dry-run"});
    EXPECT_EQ(json.exit_code, 0);
    const auto all = clitest::records(json.out);
    EXPECT_EQ(types(all), (Types{"open", "efuse_preview", "efuse_burn", "close", "end"}));
    const QJsonObject preview = one(all, "efuse_preview");
    EXPECT_EQ(text(preview, "item"), "TX_PWR2");
    EXPECT_EQ(number(preview, "record_type"), 6);
    EXPECT_EQ(number(preview, "position"), 32);
    EXPECT_EQ(number(preview, "last_bit"), 43);
    EXPECT_EQ(number(preview, "bits"), 12);
    EXPECT_EQ(text(preview, "data"), "12");
    EXPECT_TRUE(preview.value("value_before").isNull());
    EXPECT_EQ(text(preview, "value_after"), "1,2");
    EXPECT_EQ(number(preview, "free_bits_before"), 224);
    EXPECT_EQ(number(preview, "free_bits_after"), 212);
    EXPECT_TRUE(preview.value("dry_run").toBool());
    EXPECT_EQ(text(one(all, "efuse_burn"), "outcome"), "dry-run");

    const CliRun plain = run({"efuse", "burn", "TX_PWR2", "1", "2", "--dry-run"});
    EXPECT_TRUE(contains(plain.out, "efuse burn TX_PWR2 (dry run):\n"
                                    "  record       type 6, bits 32-43 (12 bits), data 12\n"
                                    "  readers see  nothing now, 1,2 after\n"
                                    "  free bits    224 now, 212 after\n"))
        << plain.out;
    EXPECT_TRUE(contains(plain.out, "dry run: nothing programmed")) << plain.out;
    EXPECT_EQ(fuse_words(), std::vector<std::uint32_t>(8, 0));
}

TEST_F(CliEfuse, TheOperatorMustTypeBurn) {
    const CliRun declined = run({"--json", "efuse", "burn", "Freq_offset", "140"}, {}, "burn\n");
    EXPECT_EQ(declined.exit_code, 1);
    EXPECT_TRUE(contains(declined.err, "Type BURN to program Freq_offset")) << declined.err;
    EXPECT_EQ(text(burn_record(declined), "outcome"), "declined");
    const CliRun no_input = run({"efuse", "burn", "Freq_offset", "140"});
    EXPECT_EQ(no_input.exit_code, 1);
    EXPECT_TRUE(contains(no_input.out, "not confirmed: nothing programmed")) << no_input.out;
    EXPECT_EQ(fuse_words(), std::vector<std::uint32_t>(8, 0));

    const CliRun burnt = run({"--json", "efuse", "burn", "Freq_offset", "140", "efuse", "read", "reg", "read",
                              "CCB0B000", "tune", "--rf-gain", "-1"},
                             {}, "BURN\n");
    EXPECT_EQ(burnt.exit_code, 0) << burnt.out;
    const auto all = clitest::records(burnt.out);
    const QJsonObject burn = one(all, "efuse_burn");
    EXPECT_EQ(text(burn, "outcome"), "burned");
    EXPECT_TRUE(burn.value("verified").toBool());
    EXPECT_EQ(text(burn, "value"), "140");
    EXPECT_EQ(number(burn, "free_bits"), 212);
    EXPECT_EQ(fuse_words()[1], 0x8C4u);  // type 4, data 140
    // The burnt trim runs at once: in the chip's trim fields and as the offset of what follows.
    EXPECT_EQ(number(burn, "applied_offset"), 140);
    const auto trim = static_cast<std::uint32_t>(number(one(all, "reg_read"), "value"));
    EXPECT_EQ((trim >> 8) & 0xFFu, 140u);
    EXPECT_EQ((trim >> 17) & 0xFFu, 140u);
    EXPECT_EQ(number(one(all, "tune"), "offset"), 140);
    const QJsonArray items = one(all, "efuse_read").value("items").toArray();
    EXPECT_EQ(text(items.at(2).toObject(), "item"), "Freq_offset");
    EXPECT_EQ(text(items.at(2).toObject(), "text"), "140");
    EXPECT_TRUE(items.at(2).toObject().value("found").toBool());
    EXPECT_FALSE(items.at(0).toObject().value("found").toBool());
    EXPECT_EQ(text(items.at(5).toObject(), "item"), "MAC");

    const CliRun plain = run({"efuse", "read"});
    EXPECT_TRUE(contains(plain.out, "efuse read:\n  TX_PWR1      0,0 (no record)\n")) << plain.out;
    EXPECT_TRUE(contains(plain.out, "  Freq_offset  140\n")) << plain.out;
    EXPECT_TRUE(contains(plain.out, "  MAC          No mac address\n  Empty: 212 bit\n")) << plain.out;

    // The trim is applied by the next open, as the dialog does.
    const CliRun reopened = run({"--json", "tune", "--band", "2G"});
    EXPECT_EQ(number(one(clitest::records(reopened.out), "open"), "freq_offset"), 140);
}

TEST_F(CliEfuse, RetestsPassUnchangedAndConditionsGuardTheFuses) {
    ASSERT_EQ(run({"efuse", "burn", "TX_PWR1", "3", "5", "--yes", "mac", "write", "02:00:00:00:00:01", "--yes"})
                  .exit_code,
              0);
    const std::vector<std::uint32_t> burnt = fuse_words();
    // The same burns again, as a retest runs them: a pass, and the run goes on.
    const CliRun same = run({"--json", "efuse", "burn", "TX_PWR1", "3", "5", "--yes", "mac", "write",
                             "02:00:00:00:00:01", "--yes", "--if-blank", "info"});
    EXPECT_EQ(same.exit_code, 0) << same.out;
    const auto all = clitest::records(same.out);
    for (const QJsonObject &b : clitest::of_type(all, "efuse_burn")) {
        EXPECT_EQ(text(b, "outcome"), "unchanged");
        EXPECT_FALSE(b.value("programmed").toBool());
    }
    EXPECT_EQ(clitest::of_type(all, "info").size(), 1u);
    // Another MAC is not burnt over one that is there, and an expectation
    // that does not hold stops the burn.
    const CliRun replace = run({"mac", "write", "02:00:00:00:00:02", "--yes", "--if-blank"});
    EXPECT_EQ(replace.exit_code, 2);
    EXPECT_TRUE(contains(replace.out, "MAC already holds 02:00:00:00:00:01: not burnt over")) << replace.out;
    const CliRun expect = run({"efuse", "burn", "TX_PWR1", "4", "4", "--yes", "--expect", "3,4"});
    EXPECT_EQ(expect.exit_code, 2);
    EXPECT_TRUE(contains(expect.out, "TX_PWR1 reads 3,5, not the expected 3,4")) << expect.out;
    EXPECT_EQ(fuse_words(), burnt);
    EXPECT_EQ(run({"efuse", "burn", "TX_PWR1", "4", "4", "--yes", "--expect", "3,5"}).exit_code, 0);

    const CliRun range = run({"efuse", "burn", "TX_PWR1", "3", "16", "--yes"});
    EXPECT_EQ(range.exit_code, 2);
    EXPECT_TRUE(range.out.empty());
    EXPECT_TRUE(contains(range.err, "2400 PWR = 16 is out of range 0 to 15")) << range.err;

    // TX_Rate1 with one value keeps the second value already stored.
    ASSERT_EQ(run({"efuse", "burn", "TX_Rate1", "2", "9", "--yes"}).exit_code, 0);
    const CliRun one_value = run({"--json", "efuse", "burn", "TX_Rate1", "4", "--dry-run"});
    EXPECT_EQ(text(one(clitest::records(one_value.out), "efuse_preview"), "value_after"), "4,9");
}

TEST_F(CliEfuse, MacAddressWriteAndRead) {
    const CliRun multicast = run({"mac", "write", "01:00:5e:00:00:01", "--yes"});
    EXPECT_EQ(multicast.exit_code, 2);
    EXPECT_TRUE(contains(multicast.err, "multicast address")) << multicast.err;

    const CliRun none = run({"--json", "mac", "read"});
    const QJsonObject absent = one(clitest::records(none.out), "mac");
    EXPECT_FALSE(absent.value("found").toBool());
    EXPECT_TRUE(absent.value("mac").isNull());
    EXPECT_EQ(text(absent, "text"), "No mac address");

    const CliRun write = run({"--json", "mac", "write", "02-0A-22-33-44-55", "--yes", "mac", "read"});
    EXPECT_EQ(write.exit_code, 0) << write.out;
    const auto all = clitest::records(write.out);
    EXPECT_EQ(text(one(all, "efuse_burn"), "outcome"), "burned");
    EXPECT_EQ(text(one(all, "efuse_preview"), "data"), "02 0a 22 33 44 55");
    const QJsonObject read = one(all, "mac");
    EXPECT_EQ(text(read, "mac"), "02:0a:22:33:44:55");
    EXPECT_EQ(text(read, "text"), "2:a:22:33:44:55");  // the dialog's format
    const CliRun plain = run({"mac", "read"});
    EXPECT_TRUE(contains(plain.out, "mac: 2:a:22:33:44:55\n")) << plain.out;
}

TEST_F(CliEfuse, ABurnTheBoardDoesNotTakeIsReportedAsFailed) {
    const clitest::Env fault{{"XOLT_FAULT_EFUSE_NO_PROGRAM", "1"}};
    const CliRun json = run({"--json", "efuse", "burn", "Freq_offset", "140", "--yes"}, fault);
    EXPECT_EQ(json.exit_code, 1);
    const auto all = clitest::records(json.out);
    const QJsonObject burn = one(all, "efuse_burn");
    EXPECT_EQ(text(burn, "outcome"), "failed");
    EXPECT_FALSE(burn.value("verified").toBool());
    EXPECT_EQ(number(burn, "library_result"), -1);
    EXPECT_TRUE(burn.value("value").isNull());
    EXPECT_TRUE(contains(text(burn, "detail"), "the record did not take")) << text(burn, "detail");
    bool library_error = false;
    for (const QJsonObject &line : clitest::of_type(all, "library")) {
        library_error = library_error || contains(text(line, "line"), "ERROR: eFuse verify failed");
    }
    EXPECT_TRUE(library_error);
    EXPECT_EQ(text(one(all, "end"), "verdict"), "fail");

    const CliRun plain = run({"efuse", "burn", "Freq_offset", "140", "--yes"}, fault);
    EXPECT_EQ(plain.exit_code, 1);
    EXPECT_TRUE(contains(plain.out, "  BURN FAILED: the record did not take")) << plain.out;
    EXPECT_EQ(fuse_words(), std::vector<std::uint32_t>(8, 0));
}

TEST_F(CliEfuse, TwoProcessesCannotBothBurnOneBoard) {
    // The first burns and keeps the board for a receive run; the second
    // tries its burn meanwhile.
    std::atomic<pid_t> first_pid{0};
    CliRun second;
    std::thread second_run;
    const CliRun first = run({"--json", "efuse", "burn", "Freq_offset", "140", "--yes", "rx", "--seconds", "2"}, {}, {},
                             [&](const std::string &line, pid_t child) {
                                 if (first_pid == 0 && contains(line, "\"type\":\"efuse_burn\"")) {
                                     first_pid = child;
                                     second_run = std::thread([&] {
                                         second = run({"--json", "--open", "quick", "efuse", "burn", "Freq_offset",
                                                       "150", "--yes"});
                                     });
                                 }
                             });
    ASSERT_TRUE(second_run.joinable());
    second_run.join();
    EXPECT_EQ(first.exit_code, 0) << first.out;
    EXPECT_EQ(text(one(clitest::records(first.out), "efuse_burn"), "outcome"), "burned");
    EXPECT_EQ(second.exit_code, 3) << second.out;
    const auto refused = clitest::records(second.out);
    EXPECT_TRUE(clitest::of_type(refused, "efuse_burn").empty());
    const QJsonObject error = one(refused, "error");
    EXPECT_EQ(text(error, "kind"), "busy");
    EXPECT_TRUE(contains(text(error, "message"), "board busy (held by process ")) << text(error, "message");
    if (!clitest::windows_program()) {  // under Wine the holder has a Windows process id
        EXPECT_EQ(text(error, "message"), "board busy (held by process " + std::to_string(first_pid) + ")");
        EXPECT_EQ(number(error, "holder"), first_pid);  // the holder as a number too, for a client
    }
    EXPECT_EQ(fuse_words()[1], 0x8C4u);  // the first burn alone
    // Once the first has closed the link, the board is free.
    EXPECT_EQ(run({"--open", "quick", "efuse", "burn", "Freq_offset", "150", "--yes"}).exit_code, 0);
}

TEST_F(CliEfuse, AStalledControllerIsABoardError) {
    // The readers would answer "no record": the reads must not pass as such.
    for (const std::vector<std::string> &command :
         {std::vector<std::string>{"efuse", "summary"}, {"efuse", "read"}, {"mac", "read"}}) {
        std::vector<std::string> args{"--json"};
        args.insert(args.end(), command.begin(), command.end());
        const CliRun r = run(args, {{"XOLT_FAULT_EFUSE_STALL", "1"}});
        EXPECT_EQ(r.exit_code, 3) << command[0];
        const auto all = clitest::records(r.out);
        EXPECT_EQ(text(one(all, "error"), "kind"), "board");
        EXPECT_TRUE(clitest::of_type(all, "efuse_read").empty() && clitest::of_type(all, "mac").empty());
    }
}

}  // namespace
