// The report's figures against worked examples computed by hand, and its
// JSON and CSV read back.
#include "report.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <cmath>
#include <numeric>
#include <random>

namespace {

using namespace deve::cli::report;

// 2, 4, 4, 4, 5, 5, 7, 9: mean 5, squared deviations 9+1+1+1+0+0+4+16 = 32,
// s = sqrt(32 / 7) = 2.1380899353.
const std::vector<double> kEight{2, 4, 4, 4, 5, 5, 7, 9};
constexpr double kEightS = 2.1380899352993950;

TEST(ReportCapability, WorkedFiguresWithTwoAndOneSidedLimits) {
    // LSL 1, USL 11: Cp = 10 / 6s = 0.7795120; Cpu = 6 / 3s = 0.9354143;
    // Cpl = 4 / 3s = 0.6236096; Cpk = min = 0.6236096.
    const Capability both = capability(kEight, 1.0, 11.0);
    EXPECT_EQ(both.n, 8u);
    EXPECT_DOUBLE_EQ(*both.mean, 5.0);
    EXPECT_NEAR(*both.stddev, kEightS, 1e-12);
    EXPECT_DOUBLE_EQ(*both.min, 2.0);
    EXPECT_DOUBLE_EQ(*both.max, 9.0);
    EXPECT_NEAR(*both.cp, 0.7795120, 1e-7);
    EXPECT_NEAR(*both.cpk, 0.6236096, 1e-7);

    // An upper limit alone (a maximum error rate): Cp has no meaning, Cpk is Cpu.
    const Capability upper = capability(kEight, std::nullopt, 11.0);
    EXPECT_FALSE(upper.cp);
    EXPECT_NEAR(*upper.cpk, 0.9354143, 1e-7);
    // A lower limit alone (a minimum frame count): Cpk is Cpl.
    const Capability lower = capability(kEight, 1.0, std::nullopt);
    EXPECT_FALSE(lower.cp);
    EXPECT_NEAR(*lower.cpk, 0.6236096, 1e-7);
    // A mean outside the limits gives a negative Cpk: (3 - 5) / 3s = -0.3118048.
    EXPECT_NEAR(*capability(kEight, std::nullopt, 3.0).cpk, -0.3118048, 1e-7);

    // One value has no spread; equal values have none either.
    const Capability one = capability({7.5}, 1.0, 11.0);
    EXPECT_EQ(one.n, 1u);
    EXPECT_DOUBLE_EQ(*one.mean, 7.5);
    EXPECT_FALSE(one.stddev);
    EXPECT_FALSE(one.cpk);
    const Capability flat = capability({3, 3, 3}, 1.0, 11.0);
    EXPECT_DOUBLE_EQ(*flat.stddev, 0.0);
    EXPECT_FALSE(flat.cp);
    EXPECT_FALSE(flat.cpk);
    EXPECT_FALSE(capability({}, 1.0, 11.0).mean);
}

// Frame counts and frequencies sit far from zero: the spread of values
// around 1e9 must come out as it does around 0 (a sum-of-squares formula
// loses it entirely).
TEST(ReportCapability, SpreadFarFromZeroIsKept) {
    std::vector<double> shifted;
    for (double v : kEight) {
        shifted.push_back(v + 1e9);
    }
    const Capability c = capability(shifted, 1e9 + 1, 1e9 + 11);
    EXPECT_NEAR(*c.stddev, kEightS, 1e-9);
    EXPECT_NEAR(*c.cpk, 0.6236096, 1e-7);
}

TEST(ReportCapability, MeasurementsGroupByStepPointNameAndLimits) {
    std::vector<Measurement> rows;
    const auto add = [&](const std::string &point, const std::string &name, std::optional<double> value,
                         std::optional<double> low, std::optional<double> high, bool passed) {
        Measurement m;
        m.run_id = "r" + std::to_string(rows.size());
        m.step_seq = 2;
        m.command = "rx";
        m.point = point;
        m.name = name;
        m.unit = name == "per" ? "%" : "";
        m.value = value;
        m.low = low;
        m.high = high;
        m.limit_set = "set";
        m.passed = passed;
        rows.push_back(m);
    };
    for (double v : kEight) {
        add("2G ch1", "per", v, std::nullopt, 8.0, v <= 8);
    }
    add("2G ch1", "per", std::nullopt, std::nullopt, 8.0, false);  // not measured
    add("5G ch36", "per", 1.0, std::nullopt, 8.0, true);           // another operating point
    add("2G ch1", "per", 1.0, std::nullopt, 10.0, true);           // another limit
    add("2G ch1", "frames", 1000.0, std::nullopt, std::nullopt, true);  // no limit: not a capability

    const std::vector<MeasurementStats> stats = measurement_stats(rows);
    ASSERT_EQ(stats.size(), 3u);
    const auto found = std::find_if(stats.begin(), stats.end(), [](const MeasurementStats &s) {
        return s.point == "2G ch1" && s.high == 8.0;
    });
    ASSERT_NE(found, stats.end());
    EXPECT_EQ(found->figures.n, 8u);
    EXPECT_EQ(found->missing, 1u);
    EXPECT_EQ(found->failed, 2u);  // 9, and the one not measured
    EXPECT_NEAR(*found->figures.cpk, (8.0 - 5.0) / (3 * kEightS), 1e-12);
}

Run run(const std::string &id, const std::string &when, const std::string &board, const std::string &verdict,
        const std::string &station = "S1", const std::string &lot = "L1") {
    Run r;
    r.run_id = id;
    r.started_ms = *parse_time(when, 0);
    r.board = board;
    r.serial = board;
    r.verdict = verdict;
    r.station = station;
    r.lot = lot;
    return r;
}

// Six boards and one run that named no board:
//   A fail (7th) then pass; B pass; C incomplete; D pass then fail (8th);
//   E incomplete then pass (8th); F pass (8th, lot L2); r10 error at S2.
std::vector<Run> line_runs() {
    return {
        run("r2", "2026-12-07T09:00", "A", "pass"),  // given before r1: order comes from the start times
        run("r1", "2026-12-07T08:00", "A", "fail"),
        run("r3", "2026-12-07T08:10", "B", "pass"),
        run("r4", "2026-12-07T08:20", "C", "incomplete"),
        run("r5", "2026-12-07T08:30", "D", "pass"),
        run("r6", "2026-12-08T10:00", "D", "fail"),
        run("r7", "2026-12-07T08:40", "E", "incomplete"),
        run("r8", "2026-12-08T10:10", "E", "pass"),
        run("r9", "2026-12-08T10:20", "F", "pass", "S1", "L2"),
        run("r10", "2026-12-08T11:00", "", "error", "S2", ""),
    };
}

void expect_yield(const Yield &y, const std::string &group, std::size_t runs, std::size_t boards,
                  std::size_t first, std::size_t last) {
    SCOPED_TRACE(group);
    EXPECT_EQ(y.group, group);
    EXPECT_EQ(y.runs, runs);
    EXPECT_EQ(y.boards, boards);
    EXPECT_EQ(y.first_pass, first);
    EXPECT_EQ(y.final_pass, last);
}

TEST(ReportYield, WorkedLine) {
    const auto runs = line_runs();
    // All: 7 boards (A-F and the run alone); first run passed: B, D, F = 3/7;
    // last run passed: A, B, E, F = 4/7.
    const std::vector<Yield> all = yields(runs, GroupBy::All);
    ASSERT_EQ(all.size(), 1u);
    expect_yield(all[0], "all", 10, 7, 3, 4);
    EXPECT_NEAR(all[0].first_pass_yield(), 3.0 / 7, 1e-12);
    EXPECT_NEAR(all[0].final_yield(), 4.0 / 7, 1e-12);

    const std::vector<Yield> station = yields(runs, GroupBy::Station);
    ASSERT_EQ(station.size(), 2u);
    expect_yield(station[0], "S1", 9, 6, 3, 4);
    expect_yield(station[1], "S2", 1, 1, 0, 0);

    const std::vector<Yield> lot = yields(runs, GroupBy::Lot);
    ASSERT_EQ(lot.size(), 3u);
    expect_yield(lot[0], "", 1, 1, 0, 0);
    expect_yield(lot[1], "L1", 8, 5, 2, 3);  // first: B, D; last: A, B, E
    expect_yield(lot[2], "L2", 1, 1, 1, 1);

    // A board retested the next day counts on both days, by that day's runs.
    const std::vector<Yield> day = yields(runs, GroupBy::Day);
    ASSERT_EQ(day.size(), 2u);
    expect_yield(day[0], "2026-12-07", 6, 5, 2, 3);  // first: B, D; last: A, B, D
    expect_yield(day[1], "2026-12-08", 4, 4, 2, 2);  // D fail, E pass, F pass, r10 error
}

// The zone of the day table: local days, summer time, half-hour offsets,
// and names that are no zone.
TEST(ReportZone, LocalDaysOfAZone) {
    struct Case {
        const char *zone;
        const char *utc;
        const char *day;
        int offset_minutes;
    };
    const Case cases[] = {
        {"UTC", "2026-12-08T23:30", "2026-12-08", 0},
        {"+01:00", "2026-12-08T23:30", "2026-12-09", 60},
        {"-03:00", "2026-12-09T02:59", "2026-12-08", -180},
        {"+0530", "2026-12-08T18:30", "2026-12-09", 330},
#ifndef _WIN32
        // A shift east of UTC: 00:30 local is the 9th, not the 8th.
        {"Europe/Berlin", "2026-12-08T23:30", "2026-12-09", 60},
        // Summer time begins at 01:00 UTC on the last Sunday of March and
        // ends at 01:00 UTC on the last Sunday of October.
        {"Europe/Berlin", "2026-03-29T00:59:59", "2026-03-29", 60},
        {"Europe/Berlin", "2026-03-29T01:00", "2026-03-29", 120},
        {"Europe/Berlin", "2026-10-24T22:30", "2026-10-25", 120},
        {"Europe/Berlin", "2026-10-25T01:00", "2026-10-25", 60},
        {"Asia/Kolkata", "2026-12-08T18:29", "2026-12-08", 330},
        {"Asia/Kolkata", "2026-12-08T18:30", "2026-12-09", 330},
        {"America/New_York", "2026-03-08T06:59", "2026-03-08", -300},
        {"America/New_York", "2026-03-08T07:00", "2026-03-08", -240},
#endif
    };
    for (const Case &c : cases) {
        std::string error;
        const std::optional<Zone> zone = Zone::find(c.zone, error);
        ASSERT_TRUE(zone) << c.zone << ": " << error;
        const std::int64_t at = *parse_time(c.utc, 0);
        EXPECT_EQ(zone->day(at), c.day) << c.zone << " " << c.utc;
        EXPECT_EQ(zone->offset_ms(at), c.offset_minutes * 60000LL) << c.zone << " " << c.utc;
    }
    for (const char *bad : {"Mars/Olympus", "../../etc/passwd", "/etc/localtime", "+25:00", "+1:00", "Europe/Berlin;x",
                            ""}) {
        std::string error;
        EXPECT_FALSE(Zone::find(bad, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
#ifdef _WIN32
    // Windows has no zone files: an IANA name is refused with what to give.
    std::string error;
    if (std::getenv("TZDIR") == nullptr) {
        EXPECT_FALSE(Zone::find("Europe/Berlin", error));
        EXPECT_NE(error.find("+01:00"), std::string::npos) << error;
    }
#endif
}

// A day's span, as the yield names many runs' days with it: every instant
// in it has that local day, and the span ends only where the day or the
// offset changes; over a year with both changes of summer time.
TEST(ReportZone, DaySpansHoldTheirDayAndNoMore) {
    std::vector<std::string> names{"UTC", "+0530", "-03:00"};
#ifndef _WIN32
    names.insert(names.end(), {"Europe/Berlin", "America/New_York", "Asia/Kolkata"});
#endif
    const std::int64_t from = *parse_time("2026-01-01", 0);
    const std::int64_t until = *parse_time("2027-01-01", 0);
    for (const std::string &name : names) {
        std::string error;
        const std::optional<Zone> zone = Zone::find(name, error);
        ASSERT_TRUE(zone) << name << ": " << error;
        for (std::int64_t at = from; at < until; at += 97 * 60000 + 13001) {
            const Zone::DaySpan span = zone->day_span(at);
            ASSERT_EQ(span.day, zone->day(at)) << name << " " << at;
            ASSERT_LE(span.from_ms, at) << name << " " << at;
            ASSERT_GT(span.until_ms, at) << name << " " << at;
            EXPECT_EQ(zone->day(span.from_ms), span.day) << name << " " << at;
            EXPECT_EQ(zone->day(span.until_ms - 1), span.day) << name << " " << at;
            EXPECT_EQ(zone->offset_ms(span.from_ms), zone->offset_ms(span.until_ms - 1)) << name << " " << at;
            EXPECT_TRUE(zone->day(span.from_ms - 1) != span.day ||
                        zone->offset_ms(span.from_ms - 1) != zone->offset_ms(span.from_ms))
                << name << " " << at;
            EXPECT_TRUE(zone->day(span.until_ms) != span.day ||
                        zone->offset_ms(span.until_ms) != zone->offset_ms(span.until_ms - 1))
                << name << " " << at;
        }
    }
}

// A zone file cut short anywhere, or with a byte changed, is refused or
// read, never read past its end.
TEST(ReportZone, DamagedZoneFilesAreRefused) {
    std::ifstream in("/usr/share/zoneinfo/Europe/Berlin", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.empty()) {
        GTEST_SKIP() << "no zone files here";
    }
    ASSERT_TRUE(Zone::from_tzif("Europe/Berlin", bytes));
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        const std::optional<Zone> zone = Zone::from_tzif("cut", bytes.substr(0, size));
        if (zone) {
            (void)zone->day(0);
        }
    }
    std::mt19937 random(8);
    for (int trial = 0; trial < 2000; ++trial) {
        std::string damaged = bytes;
        damaged[random() % damaged.size()] = static_cast<char>(random());
        const std::optional<Zone> zone = Zone::from_tzif("damaged", damaged);
        if (zone) {
            (void)zone->day(*parse_time("2026-12-09", 0));
        }
    }
}

// The days of the yield table are the zone's: a night shift east of UTC is
// one day, not two.
TEST(ReportZone, NightShiftIsOneLocalDay) {
    std::vector<deve::cli::report::Run> runs;
    for (const char *at : {"2026-12-08T21:30", "2026-12-08T23:10", "2026-12-09T00:20", "2026-12-09T04:50"}) {
        deve::cli::report::Run r;
        r.run_id = at;
        r.started_ms = *parse_time(at, 0);
        r.board = at;
        r.verdict = "pass";
        runs.push_back(r);
    }
    std::string error;
    const std::optional<Zone> plus_one = Zone::find("+01:00", error);
    ASSERT_TRUE(plus_one);
    const std::vector<Yield> local = yields(runs, GroupBy::Day, *plus_one);
    ASSERT_EQ(local.size(), 2u);
    expect_yield(local[0], "2026-12-08", 1, 1, 1, 1);  // 22:30 local
    expect_yield(local[1], "2026-12-09", 3, 3, 3, 3);
    EXPECT_EQ(yields(runs, GroupBy::Day).size(), 2u);
    EXPECT_EQ(yields(runs, GroupBy::Day)[0].runs, 2u);  // UTC: 2 and 2
}

// A count the step stops at gets no Cp or Cpk, and says why; the rate
// measured in the same step keeps them.
TEST(ReportCapability, StopCountHasNone) {
    std::vector<Measurement> rows;
    for (int i = 0; i < 20; ++i) {
        for (const char *command : {"tx", "rx"}) {
            Measurement frames;
            frames.run_id = "r" + std::to_string(i);
            frames.command = command;
            frames.name = "frames";
            frames.value = 2000 + i % 7;
            frames.low = 2000;
            rows.push_back(frames);
        }
        Measurement fps = rows.back();
        fps.command = "tx";
        fps.name = "frames_per_second";
        fps.value = 1100 + i;
        fps.low = 1000;
        rows.push_back(fps);
    }
    const std::vector<MeasurementStats> stats = measurement_stats(rows);
    ASSERT_EQ(stats.size(), 3u);
    for (const MeasurementStats &m : stats) {
        const bool count = m.name == "frames";
        EXPECT_EQ(m.figures.cpk.has_value(), !count) << m.command << " " << m.name;
        EXPECT_EQ(m.no_capability.empty(), !count) << m.command << " " << m.name;
        EXPECT_TRUE(m.figures.mean && m.figures.stddev) << m.command << " " << m.name;
    }
    const std::vector<std::string> notes = capability_notes(stats);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("frames of rx, frames of tx"), std::string::npos) << notes[0];
}

TEST(ReportPareto, FailuresByStepAndLimitCountedOnce) {
    Rows rows;
    rows.runs = line_runs();
    const auto measurement = [&](const std::string &run_id, int seq, const std::string &command,
                                 const std::string &name, double value, std::optional<double> low,
                                 std::optional<double> high) {
        Measurement m;
        m.run_id = run_id;
        m.step_seq = seq;
        m.command = command;
        m.point = "2G ch1";
        m.name = name;
        m.value = value;
        m.low = low;
        m.high = high;
        m.limit_set = "2G";
        m.passed = (!low || value >= *low) && (!high || value <= *high);
        rows.measurements.push_back(m);
    };
    const auto step = [&](const std::string &run_id, int seq, const std::string &command,
                          const std::string &outcome) {
        rows.steps.push_back(Step{run_id, seq, command, command == "rx" || command == "tx" ? "2G ch1" : "", outcome,
                                  std::nullopt, outcome == "error" ? "link" : ""});
    };
    // r1: rx fails its error rate (its frames pass) and tx its frame rate.
    step("r1", 2, "rx", "fail");
    measurement("r1", 2, "rx", "per", 12, std::nullopt, 8);
    measurement("r1", 2, "rx", "frames", 1500, 1000, std::nullopt);
    step("r1", 3, "tx", "fail");
    measurement("r1", 3, "tx", "fps", 900, 1000, std::nullopt);
    // r6: rx fails its error rate again.
    step("r6", 2, "rx", "fail");
    measurement("r6", 2, "rx", "per", 9.5, std::nullopt, 8);
    // r4: the station stopped during rx; r10: open failed.
    step("r4", 2, "rx", "");
    step("r10", 1, "open", "error");
    // Passing steps are not failures.
    step("r3", 2, "rx", "pass");
    measurement("r3", 2, "rx", "per", 1, std::nullopt, 8);

    const std::vector<ParetoItem> items = failure_pareto(rows);
    // Six failures: per twice, fps, the unfinished rx, the open error, and
    // r7, incomplete with no step. The failed rx steps are counted under
    // their limit, not once more.
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[0].step, "rx 2G ch1");
    EXPECT_EQ(items[0].limit, "per <= 8 [2G]");
    EXPECT_EQ(items[0].count, 2u);
    EXPECT_EQ(items[0].runs, 2u);
    EXPECT_DOUBLE_EQ(items[0].share, 2.0 / 6);
    std::size_t total = 0;
    for (const ParetoItem &item : items) {
        total += item.count;
        EXPECT_LE(item.count, items[0].count);
    }
    EXPECT_EQ(total, 6u);
    EXPECT_DOUBLE_EQ(items.back().cumulative, 1.0);
    EXPECT_TRUE(std::any_of(items.begin(), items.end(), [](const ParetoItem &p) {
        return p.step == "rx 2G ch1" && p.limit == "never ended";
    }));
    EXPECT_TRUE(std::any_of(items.begin(), items.end(), [](const ParetoItem &p) {
        return p.step == "(run)" && p.limit == "incomplete" && p.count == 1;
    }));
    EXPECT_TRUE(std::any_of(items.begin(), items.end(), [](const ParetoItem &p) {
        return p.step == "open" && p.limit == "error (link)" && p.count == 1;
    }));
}

TEST(ReportTime, ParsesUtcDatesTimesAndSpans) {
    constexpr std::int64_t kDec8 = 1796688000000;  // 2026-12-08T00:00:00Z
    EXPECT_EQ(parse_time("2026-12-08", 0), kDec8);
    EXPECT_EQ(parse_time("2026-12-08T14:30", 0), kDec8 + (14 * 60 + 30) * 60000);
    EXPECT_EQ(parse_time("2026-12-08 14:30:05", 0), kDec8 + ((14 * 60 + 30) * 60 + 5) * 1000);
    EXPECT_EQ(parse_time("2026-12-08T14:30:05.250Z", 0), kDec8 + ((14 * 60 + 30) * 60 + 5) * 1000 + 250);
    EXPECT_EQ(parse_time("2024-02-29T23:59:59Z", 0), 1709251199000);
    EXPECT_EQ(parse_time("7d", kDec8), kDec8 - 7 * 86400000);
    EXPECT_EQ(parse_time("12h", kDec8), kDec8 - 12 * 3600000);
    EXPECT_EQ(parse_time("90m", kDec8), kDec8 - 90 * 60000);
    for (const char *bad : {"", "yesterday", "2026-13-01", "2026-02-29", "2026-12-08T24:00", "2026-12-08T10",
                            "2026-12-8", "7w", "d", "2026-12-08T10:00:00.5"}) {
        EXPECT_FALSE(parse_time(bad, kDec8)) << bad;
    }
    // Every millisecond's text reads back as itself, over four centuries of
    // random times (leap years, month ends, before 1970).
    std::mt19937_64 random(20);
    std::uniform_int_distribution<std::int64_t> when(-4102444800000, 8520000000000);
    for (int i = 0; i < 20000; ++i) {
        const std::int64_t ms = when(random);
        ASSERT_EQ(parse_time(utc_text(ms), 0), ms) << utc_text(ms);
    }
    EXPECT_EQ(utc_day(kDec8 - 1), "2026-12-07");
}

TEST(ReportTime, IsoOffsetsAndTheirRefusals) {
    constexpr std::int64_t kDec9 = 1796774400000;  // 2026-12-09T00:00:00Z
    constexpr std::int64_t kHour = 3600000;
    constexpr std::int64_t kMinute = 60000;
    // Each time and the UTC instant it names.
    const std::vector<std::pair<const char *, std::int64_t>> times{
        {"2026-12-09T05:00+01:00", kDec9 + 4 * kHour},
        {"2026-12-09T05:00+0100", kDec9 + 4 * kHour},
        {"2026-12-09T05:00+01", kDec9 + 4 * kHour},
        {"2026-12-09T05:00Z", kDec9 + 5 * kHour},
        {"2026-12-09 05:00:30.250-05:00", kDec9 + 10 * kHour + 30250},
        {"2026-12-09T00:30+05:45", kDec9 - 5 * kHour - 15 * kMinute},  // the day before, in UTC
        {"2026-12-08T23:00-05:00", kDec9 + 4 * kHour},                  // the day after, in UTC
        {"2026-12-09T05:00-00:00", kDec9 + 5 * kHour},
        {"2026-12-09T05:00+14:00", kDec9 - 9 * kHour},
    };
    for (const auto &[text, ms] : times) {
        const TimeParse t = read_time(text, 0);
        EXPECT_EQ(t.ms, ms) << text << ": " << t.error;
        EXPECT_TRUE(t.error.empty()) << text;
    }
    // Each refusal, and a word its reason must hold.
    const std::vector<std::pair<const char *, const char *>> refused{
        {"2026-12-09T05:00+25:00", "between -14:00 and +14:00"},
        {"2026-12-09T05:00+14:01", "between -14:00 and +14:00"},
        {"2026-12-09T05:00+01:60", "between -14:00 and +14:00"},
        {"2026-12-09T05:00+1:00", "+HH:MM"},
        {"2026-12-09T05:00+01:0", "+HH:MM"},
        {"2026-12-09T05:00+", "+HH:MM"},
        {"2026-12-09T05:00+01:00Z", "not a time"},
        {"2026-12-09+01:00", "needs a time of day"},
        {"2026-12-09Z", "needs a time of day"},
        {"2026-12-09T05:00ZZ", "not a time"},
        {"2026-12-09T25:00+01:00", "not a time"},
        {"2026-12-09T05:00 +01:00", "not a time"},
        {"tomorrow", "not a time"},
    };
    for (const auto &[text, reason] : refused) {
        const TimeParse t = read_time(text, 0);
        EXPECT_FALSE(t.ms) << text;
        EXPECT_NE(t.error.find(reason), std::string::npos) << text << ": " << t.error;
    }
    // Any instant written at any whole-quarter offset reads back as itself.
    std::mt19937_64 random(31);
    std::uniform_int_distribution<std::int64_t> when(0, 4102444800000);
    std::uniform_int_distribution<int> quarter(-14 * 4, 14 * 4);
    for (int i = 0; i < 5000; ++i) {
        const std::int64_t ms = when(random) / 1000 * 1000;
        const int offset = quarter(random) * 15;
        std::string local = utc_text(ms + offset * kMinute);
        local.resize(19);  // 2026-12-09T05:00:00
        char zone[8];
        std::snprintf(zone, sizeof zone, "%c%02d:%02d", offset < 0 ? '-' : '+', std::abs(offset) / 60,
                      std::abs(offset) % 60);
        ASSERT_EQ(parse_time(local + zone, 0), ms) << local + zone;
    }
}

TEST(ReportOrder, StationsSortNaturally) {
    std::vector<std::string> names{"st10", "st2", "st1", "FT-2", "st02", "FT-10", "", "st1a", "st100", "st9"};
    std::sort(names.begin(), names.end(), natural_less);
    EXPECT_EQ(names, (std::vector<std::string>{"", "FT-2", "FT-10", "st1", "st1a", "st02", "st2", "st9", "st10",
                                               "st100"}));
    // A strict weak order over every pair (std::sort relies on it).
    for (const std::string &a : names) {
        EXPECT_FALSE(natural_less(a, a)) << a;
        for (const std::string &b : names) {
            EXPECT_FALSE(natural_less(a, b) && natural_less(b, a)) << a << " " << b;
        }
    }
    // Numbers longer than any integer still compare.
    EXPECT_TRUE(natural_less("lot99999999999999999999999", "lot100000000000000000000000"));
}

TEST(ReportYield, StationsOfTwoPcsAreTwoGroups) {
    std::vector<deve::cli::report::Run> runs;
    const auto run = [&runs](const char *id, const char *station, const char *host, const char *verdict) {
        deve::cli::report::Run r;
        r.run_id = id;
        r.station = station;
        r.host = host;
        r.serial = id;
        r.board = id;
        r.verdict = verdict;
        runs.push_back(r);
    };
    run("a", "st10", "pc-1", "pass");
    run("b", "st2", "pc-2", "fail");
    run("c", "st2", "pc-1", "pass");
    run("d", "st2", "pc-1", "pass");
    const std::vector<Yield> by = yields(runs, GroupBy::Station);
    ASSERT_EQ(by.size(), 3u);
    EXPECT_EQ(by[0].group + " " + by[0].host, "st2 pc-1");
    EXPECT_EQ(by[0].runs, 2u);
    EXPECT_EQ(by[1].group + " " + by[1].host, "st2 pc-2");
    EXPECT_EQ(by[1].final_pass, 0u);
    EXPECT_EQ(by[2].group + " " + by[2].host, "st10 pc-1");
    EXPECT_TRUE(yields(runs, GroupBy::Lot).front().host.empty());
}

TEST(ReportWindow, TextSaysEveryFilter) {
    Window w;
    EXPECT_EQ(window_text(w), "from the first to the last");
    w.since_ms = parse_time("2026-12-09T05:00+01:00", 0);
    w.stations = {"st1", "st2"};
    w.hosts = {"pc-a"};
    w.lots = {"L1"};
    w.serials = {"SN1"};
    w.pools = {"line-a"};
    w.verdicts = {"fail", "incomplete"};
    EXPECT_EQ(window_text(w), "from 2026-12-09 04:00 to the last (UTC), station st1 or st2, host pc-a, lot L1, "
                              "serial SN1, pool line-a, verdict fail or incomplete");
}

TEST(ReportHistogram, EveryValueAndLimitFallsInside) {
    std::mt19937_64 random(7);
    std::normal_distribution<double> noise(50, 4);
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<double> values(static_cast<std::size_t>(trial % 60));
        for (double &v : values) {
            v = trial % 7 == 0 ? 42.0 : noise(random);
        }
        const std::optional<double> low = trial % 3 == 0 ? std::nullopt : std::optional<double>(40.0 + trial % 5);
        const std::optional<double> high = trial % 4 == 0 ? std::nullopt : std::optional<double>(60.0 - trial % 9);
        const Histogram h = histogram(values, low, high);
        ASSERT_GE(h.counts.size(), 5u);
        ASSERT_GT(h.width, 0);
        EXPECT_EQ(std::accumulate(h.counts.begin(), h.counts.end(), std::size_t{0}), values.size());
        const auto out = static_cast<std::size_t>(std::count_if(values.begin(), values.end(), [&](double v) {
            return (low && v < *low) || (high && v > *high);
        }));
        EXPECT_EQ(std::accumulate(h.outside.begin(), h.outside.end(), std::size_t{0}), out);
        for (std::size_t i = 0; i < h.counts.size(); ++i) {
            EXPECT_LE(h.outside[i], h.counts[i]);
        }
        for (double v : values) {
            EXPECT_LT(h.from, v);
            EXPECT_LT(v, h.to());
            const auto bin = static_cast<std::size_t>((v - h.from) / h.width);
            EXPECT_LT(bin, h.counts.size());
        }
        for (const std::optional<double> &limit : {low, high}) {
            if (limit) {
                EXPECT_LT(h.from, *limit);
                EXPECT_LT(*limit, h.to());
            }
        }
    }
}

// Values the charts cannot tell apart, or far apart, still make a page,
// with every coordinate a finite number.
TEST(ReportHtml, ExtremeValuesMakeAPageOfFiniteCoordinates) {
    Rows rows;
    const std::vector<std::vector<double>> sets{{1e17, 1e17 + 16}, {5, 5, 5}, {-1e300, 1e300}, {}, {0.5}};
    for (std::size_t i = 0; i < sets.size(); ++i) {
        for (double v : sets[i]) {
            Measurement m;
            m.run_id = "r";
            m.name = "q" + std::to_string(i);
            m.value = v;
            m.high = i == 0 ? 1e17 + 16 : 8;
            rows.measurements.push_back(m);
        }
        if (sets[i].empty()) {
            Measurement m;
            m.run_id = "r";
            m.name = "q" + std::to_string(i);
            m.low = 1;
            m.passed = false;
            rows.measurements.push_back(m);
        }
    }
    rows.runs.push_back(run("r", "2026-12-08", "A", "fail"));
    const std::string page = report_html(build_report(rows, Window{}, 0));
    ASSERT_FALSE(page.empty());
    for (const char *word : {"nan", "inf"}) {
        EXPECT_EQ(page.find(std::string("\"") + word), std::string::npos) << word;
        EXPECT_EQ(page.find(std::string("\"-") + word), std::string::npos) << word;
    }
}

Report worked_report() {
    Rows rows;
    rows.runs = line_runs();
    rows.runs[2].station = "S1, \"east\"";  // a name CSV must quote
    for (std::size_t i = 0; i < kEight.size(); ++i) {
        Measurement m;
        m.run_id = rows.runs[i].run_id;
        m.command = "rx";
        m.point = "2G ch1";
        m.name = "per";
        m.unit = "%";
        m.value = kEight[i];
        m.high = 8;
        m.passed = kEight[i] <= 8;
        rows.measurements.push_back(m);
    }
    return build_report(rows, Window{}, *parse_time("2026-12-09", 0));
}

TEST(ReportOutput, JsonReadsBackWithTheFigures) {
    const Report report = worked_report();
    const nlohmann::json doc = nlohmann::json::parse(report_json(report));
    EXPECT_EQ(doc["runs"].size(), 10u);
    EXPECT_EQ(doc["verdicts"]["pass"], 5);
    EXPECT_EQ(doc["verdicts"]["incomplete"], 2);
    EXPECT_NEAR(doc["yield"]["all"]["final_yield"].get<double>(), 4.0 / 7, 1e-12);
    ASSERT_EQ(doc["measurements"].size(), 1u);
    const nlohmann::json &per = doc["measurements"][0];
    EXPECT_EQ(per["n"], 8);
    EXPECT_TRUE(per["cp"].is_null());
    EXPECT_TRUE(per["low"].is_null());
    EXPECT_NEAR(per["stddev"].get<double>(), kEightS, 1e-12);
    EXPECT_NEAR(per["cpk"].get<double>(), 3.0 / (3 * kEightS), 1e-12);
    EXPECT_EQ(per["failed"], 1);
}

// Splits RFC 4180 text into rows of fields.
std::vector<std::vector<std::string>> read_csv(const std::string &text) {
    std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                rows.back().back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                rows.back().back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back().emplace_back();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            rows.emplace_back(1);
            ++i;
        } else {
            rows.back().back() += c;
        }
    }
    rows.pop_back();  // after the last line end
    return rows;
}

TEST(ReportOutput, CsvSectionsReadBackWithTheirHeaders) {
    const std::vector<std::vector<std::string>> rows = read_csv(report_csv(worked_report()));
    // Each section: a header row, rows of the same width, then a blank line.
    std::vector<std::string> header;
    std::size_t stations_seen = 0;
    std::size_t sections = 0;
    for (const auto &row : rows) {
        if (row.size() == 1 && row[0].empty()) {
            header.clear();
            continue;
        }
        if (header.empty()) {
            header = row;
            ++sections;
            continue;
        }
        ASSERT_EQ(row.size(), header.size()) << row[0];
        EXPECT_EQ(row[0], header[0]);
        if (row[0] == "yield" && row[1] == "station") {
            EXPECT_TRUE(row[2] == "S1" || row[2] == "S2" || row[2] == "S1, \"east\"") << row[2];
            ++stations_seen;
        }
        if (row[0] == "measurements") {
            const std::size_t cpk = static_cast<std::size_t>(
                std::find(header.begin(), header.end(), "cpk") - header.begin());
            ASSERT_LT(cpk, row.size());
            EXPECT_NEAR(std::stod(row[cpk]), 3.0 / (3 * kEightS), 1e-12);
        }
    }
    EXPECT_EQ(sections, 6u);  // report (its zone and run count), runs, yield, measurements, failing, pareto
    EXPECT_EQ(rows[1], (std::vector<std::string>{"report", "2026-12-09T00:00:00.000Z", "UTC", "10"}));
    EXPECT_EQ(stations_seen, 3u);
}

}  // namespace
