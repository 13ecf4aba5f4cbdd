// The data behind the console's pictures: the receive history across counter
// restarts, the pre-distortion curves read from known table registers, and
// the eFuse map's cells and colours from a known fuse image.
#include "deve/fuse_picture.h"
#include "deve/padpd_tables.h"
#include "deve/rx_history.h"
#include "recording_api.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Calls = std::vector<std::string>;

// ---- Receive history ----------------------------------------------------------

// A simulated receive test at 1000 frames a second with 1 % errors, read by
// the console's timer: the total passes 3000 in the fourth second and the
// console restarts the counters.
TEST(RxHistory, CarriesCountsAcrossTheConsolesRestart) {
    fake::RecordingApi api;
    deve::RxHistory history;
    history.clear();
    std::uint32_t errors = 0;
    std::uint32_t total = 0;
    bool restarted = false;
    for (int second = 1; second <= 6; ++second) {
        if (restarted) {
            errors = 0;
            total = 0;
        }
        errors += 10;
        total += 1000;
        api.rx_errors = errors;
        api.rx_total = total;
        const deve::RxCounts counts = deve::read_rx_counts(api, 2);
        const deve::RxReading reading = deve::reading_of(counts);
        EXPECT_EQ(reading.total, total);
        restarted = reading.reset;
        history.add(second, reading);
    }
    // Readings 3000 (no restart), 4000 (restart), then 1000 and 2000 again.
    EXPECT_EQ(api.named("rf_rxpkt_reset").size(), 1u);
    EXPECT_EQ(history.restarts(), 1);
    EXPECT_EQ(history.frames(), 6000u);
    EXPECT_EQ(history.errors(), 60u);
    ASSERT_EQ(history.per().size(), 6u);
    ASSERT_EQ(history.rate().size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_DOUBLE_EQ(history.per()[i].seconds, static_cast<double>(i + 1));
        EXPECT_DOUBLE_EQ(history.per()[i].value, 1.0) << "second " << i + 1;
        EXPECT_DOUBLE_EQ(history.rate()[i].value, 1000.0) << "second " << i + 1;
    }
    EXPECT_DOUBLE_EQ(*history.overall_per(), 1.0);
}

TEST(RxHistory, AFallTheConsoleDidNotCauseCountsAsARestart) {
    deve::RxHistory history;
    history.add(1, {5, 500, false});
    history.add(2, {12, 1000, false});
    history.add(3, {2, 300, false});  // the block restarted on its own
    EXPECT_EQ(history.restarts(), 1);
    EXPECT_EQ(history.frames(), 1300u);
    EXPECT_EQ(history.errors(), 14u);
    ASSERT_EQ(history.rate().size(), 3u);
    EXPECT_DOUBLE_EQ(history.rate()[2].value, 300.0);
    EXPECT_NEAR(history.per()[1].value, 1.4, 1e-12);
    EXPECT_NEAR(history.per()[2].value, 100.0 * 2 / 300, 1e-12);
}

// After the console's restart the counts start from zero, even when the next
// reading is above the one before the restart (a delayed timer, more frames).
TEST(RxHistory, CountsAfterTheConsolesRestartStartFromZero) {
    deve::RxHistory history;
    history.add(1, {30, 3001, true});
    history.add(2, {35, 3500, false});
    EXPECT_EQ(history.frames(), 6501u);
    EXPECT_EQ(history.errors(), 65u);
    EXPECT_EQ(history.restarts(), 1);
    ASSERT_EQ(history.rate().size(), 2u);
    EXPECT_DOUBLE_EQ(history.rate()[1].value, 3500.0);
    EXPECT_DOUBLE_EQ(history.per()[1].value, 1.0);
}

TEST(RxHistory, IntervalsWithoutFramesOrTimeAddNoRatePoint) {
    deve::RxHistory history;
    history.add(1, {0, 0, false});  // no frames: a rate of 0, no error rate
    ASSERT_EQ(history.rate().size(), 1u);
    EXPECT_DOUBLE_EQ(history.rate()[0].value, 0.0);
    EXPECT_TRUE(history.per().empty());
    EXPECT_FALSE(history.overall_per());
    history.add(1, {3, 100, false});  // no time has passed: no frame rate
    EXPECT_EQ(history.rate().size(), 1u);
    ASSERT_EQ(history.per().size(), 1u);
    EXPECT_DOUBLE_EQ(history.per()[0].value, 3.0);
    // A delayed timer: the frames spread over the real interval.
    history.add(3.5, {3, 2600, false});
    EXPECT_DOUBLE_EQ(history.rate().back().value, 1000.0);
    EXPECT_DOUBLE_EQ(history.per().back().value, 0.0);
}

TEST(RxHistory, KeepsTheLastFiveMinutesAndClears) {
    deve::RxHistory history;
    for (int second = 1; second <= 400; ++second) {
        history.add(second, {0, static_cast<std::uint32_t>(second * 10 % 3000), false});
    }
    EXPECT_DOUBLE_EQ(history.rate().front().seconds, 100.0);
    EXPECT_EQ(history.rate().size(), 301u);
    const auto range = history.time_range();
    EXPECT_DOUBLE_EQ(range.first, 100.0);
    EXPECT_DOUBLE_EQ(range.second, 400.0);
    history.clear();
    EXPECT_TRUE(history.rate().empty());
    EXPECT_EQ(history.readings(), 0);
    EXPECT_EQ(history.time_range(), (std::pair<double, double>{0.0, 60.0}));
    // A fresh test counts from zero at RX ON again.
    history.add(1, {1, 100, false});
    EXPECT_DOUBLE_EQ(history.rate().back().value, 100.0);
}

TEST(RxHistory, AxisTopsRoundUpToOneTwoFive) {
    EXPECT_DOUBLE_EQ(deve::nice_ceiling(0.0, 1.0), 1.0);
    EXPECT_DOUBLE_EQ(deve::nice_ceiling(1.2, 1.0), 2.0);
    EXPECT_DOUBLE_EQ(deve::nice_ceiling(2.0, 1.0), 2.0);
    EXPECT_DOUBLE_EQ(deve::nice_ceiling(3.1, 1.0), 5.0);
    EXPECT_DOUBLE_EQ(deve::nice_ceiling(7.0, 1.0), 10.0);
    EXPECT_DOUBLE_EQ(deve::nice_ceiling(1001.0, 10.0), 2000.0);
    EXPECT_DOUBLE_EQ(deve::nice_ceiling(0.3, 10.0), 10.0);
    deve::RxHistory history;
    history.add(1, {30, 1000, false});
    EXPECT_DOUBLE_EQ(history.per_top(), 5.0);
    EXPECT_DOUBLE_EQ(history.rate_top(), 1000.0);
}

// ---- Pre-distortion curves -------------------------------------------------------

TEST(PadpdTables, ScalesAndRegisterAddresses) {
    const unsigned first[] = {8, 16, 24, 32, 40, 48, 52, 56};
    for (std::size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(deve::padpd_scale(i), first[i]);
    }
    EXPECT_EQ(deve::padpd_scale(25), 128u);
    // 2.4 GHz: the word after the third register is left out.
    EXPECT_EQ(deve::padpd_table_register(0xCCB0AD20, true, 2), 0xCCB0AD28u);
    EXPECT_EQ(deve::padpd_table_register(0xCCB0AD20, true, 3), 0xCCB0AD30u);
    EXPECT_EQ(deve::padpd_table_register(0xCCB0AD20, true, 12), 0xCCB0AD54u);
    EXPECT_EQ(deve::padpd_table_register(0xCCB0AD70, true, 12), 0xCCB0ADA4u);
    EXPECT_EQ(deve::padpd_table_register(0xCCB0AA80, false, 12), 0xCCB0AAB0u);
    EXPECT_EQ(deve::padpd_table_register(0xCCB0AAC0, false, 12), 0xCCB0AAF0u);
}

TEST(PadpdTables, GainAndPhaseConversions) {
    EXPECT_DOUBLE_EQ(deve::padpd_gain(512), 1.0);
    EXPECT_DOUBLE_EQ(deve::padpd_gain(639), 639.0 / 512);
    EXPECT_DOUBLE_EQ(deve::padpd_gain(1023), 1023.0 / 512);
    EXPECT_DOUBLE_EQ(deve::padpd_phase_degrees(0), 0.0);
    EXPECT_DOUBLE_EQ(deve::padpd_phase_degrees(1024), 45.0);
    EXPECT_DOUBLE_EQ(deve::padpd_phase_degrees(8192 - 512), -22.5);  // wrapped below the first point
    EXPECT_DOUBLE_EQ(deve::padpd_phase_degrees(4096), -180.0);
    EXPECT_DOUBLE_EQ(deve::padpd_phase_degrees(4095), 4095 * 360.0 / 8192);
}

TEST(PadpdTables, CurvesFromKnownTableRegisters) {
    fake::RecordingApi api;
    // 2.4 GHz: register 0 holds points 0 (512) and 1 (520); register 3
    // (0xCCB0AD30) points 6 and 7; the word at 0xCCB0AD2C is not a table
    // register. Bits outside the fields must not leak into the entries.
    api.registers[0xCCB0AD20] = 0xFC000000u | (520u << 16) | 512u | 0x0000FC00u;
    api.registers[0xCCB0AD2C] = 0x03FF03FFu;
    api.registers[0xCCB0AD30] = (600u << 16) | 580u;
    api.registers[0xCCB0AD70] = 0xE000E000u | (100u << 16);
    api.registers[0xCCB0AD80] = (8000u << 16) | 4096u;
    // Channel 160: the last register of each table holds points 24 and 25.
    api.registers[0xCCB0AAB0] = (700u << 16) | 690u;
    api.registers[0xCCB0AAF0] = (0x1FFFu << 16) | 1u;

    const std::vector<deve::PadpdCurve> curves = deve::read_padpd_curves(api);
    ASSERT_EQ(curves.size(), 4u);
    EXPECT_EQ(curves[0].band, "2.4 GHz");
    EXPECT_EQ(curves[1].band, "5 GHz ch 40");
    EXPECT_EQ(curves[3].band, "5 GHz ch 160");
    for (const deve::PadpdCurve &c : curves) {
        ASSERT_EQ(c.points.size(), 26u);
        EXPECT_EQ(c.points.front().scale, 8u);
        EXPECT_EQ(c.points.back().scale, 128u);
    }
    const deve::PadpdCurve &g = curves[0];
    EXPECT_EQ(g.points[0].am_am, 512u);
    EXPECT_DOUBLE_EQ(g.points[0].gain, 1.0);
    EXPECT_EQ(g.points[1].am_am, 520u);
    EXPECT_EQ(g.points[6].am_am, 580u);
    EXPECT_EQ(g.points[6].scale, 52u);
    EXPECT_EQ(g.points[7].am_am, 600u);
    EXPECT_EQ(g.points[0].am_pm, 0u);
    EXPECT_EQ(g.points[1].am_pm, 100u);
    EXPECT_DOUBLE_EQ(g.points[1].phase, 100 * 360.0 / 8192);
    EXPECT_EQ(g.points[6].am_pm, 4096u);
    EXPECT_EQ(g.points[7].am_pm, 8000u);
    EXPECT_DOUBLE_EQ(g.points[7].phase, -192 * 360.0 / 8192);
    EXPECT_EQ(g.points[4].am_am, 0u);  // 0xCCB0AD28, never written here
    const deve::PadpdCurve &c160 = curves[3];
    EXPECT_EQ(c160.points[24].am_am, 690u);
    EXPECT_EQ(c160.points[25].am_am, 700u);
    EXPECT_EQ(c160.points[24].am_pm, 1u);
    EXPECT_EQ(c160.points[25].am_pm, 0x1FFFu);
    EXPECT_EQ(curves[1].points[24].am_am, 0u);  // other sub-bands untouched

    // 26 register reads per band, AM-AM before AM-PM, and the gap word never.
    const Calls calls = api.take();
    ASSERT_EQ(calls.size(), 104u);
    EXPECT_EQ(calls[0], fake::R(0xCCB0AD20));
    EXPECT_EQ(calls[3], fake::R(0xCCB0AD30));
    EXPECT_EQ(calls[12], fake::R(0xCCB0AD54));
    EXPECT_EQ(calls[13], fake::R(0xCCB0AD70));
    EXPECT_EQ(calls[25], fake::R(0xCCB0ADA4));
    EXPECT_EQ(calls[26], fake::R(0xCCB0A980));
    EXPECT_EQ(calls[103], fake::R(0xCCB0AAF0));
    for (const std::string &call : calls) {
        EXPECT_NE(call, fake::R(0xCCB0AD2C));
        EXPECT_NE(call, fake::R(0xCCB0AD7C));
    }
}

TEST(PadpdTables, OpenCalibratesUnlessTheChipIsAVariant) {
    deve::OpenOutcome outcome;
    EXPECT_FALSE(deve::open_calibrated_predistortion(outcome));
    outcome.opened = true;
    outcome.chip_id = "0";
    EXPECT_TRUE(deve::open_calibrated_predistortion(outcome));
    outcome.chip_id = "7c000000";
    EXPECT_FALSE(deve::open_calibrated_predistortion(outcome));
    outcome.chip_id = "74000000";
    EXPECT_FALSE(deve::open_calibrated_predistortion(outcome));
    outcome.chip_id = "74000001";
    EXPECT_TRUE(deve::open_calibrated_predistortion(outcome));
    outcome.chip_id = "NO Chip ID";
    EXPECT_TRUE(deve::open_calibrated_predistortion(outcome));
}

TEST(PadpdTables, DpdToggleCalibratesUnlessItSwitchedOff) {
    fake::RecordingApi api;
    api.registers[0xCCB0AD1C] = 1;
    const std::string off = deve::toggle_predistortion(api);
    EXPECT_FALSE(deve::dpd_toggle_calibrated(off));
    EXPECT_TRUE(api.named("rf_2g_5g_padpd_cali").empty());
    const std::string on = deve::toggle_predistortion(api);
    EXPECT_TRUE(deve::dpd_toggle_calibrated(on));
    EXPECT_EQ(api.named("rf_2g_5g_padpd_cali").size(), 1u);
    api.results["rf_2g_5g_padpd_cali"] = -1;
    api.registers[0xCCB0AD1C] = 0;
    EXPECT_TRUE(deve::dpd_toggle_calibrated(deve::toggle_predistortion(api)));  // "DPD Fail" calibrated too
}

// ---- eFuse map ---------------------------------------------------------------------

// Map bits: header 0x7C000000; TX_PWR1 3,5 at bit 32 (type 5, data 0x35);
// TX_PWR1 4,6 at bit 44 (type 5, data 0x46) supersedes it; crystal 140 at
// bit 56 (type 4, data 0x8C); then the end mark at bit 68.
deve::FuseWords known_image() {
    deve::FuseWords w{};
    w[0] = 0x7C000000;
    // Bits 32-43: 0x355, bits 44-55: 0x465, bits 56-67: 0x8C4.
    const std::uint64_t records = 0x355ull | (0x465ull << 12) | (0x8C4ull << 24);
    w[1] = static_cast<std::uint32_t>(records);
    w[2] = static_cast<std::uint32_t>(records >> 32);
    return w;
}

TEST(FusePicture, CellsAndColoursOfAKnownImage) {
    const deve::FuseMap map = deve::decode_fuse_map(known_image());
    ASSERT_EQ(map.records.size(), 3u);
    const deve::FuseCells cells = deve::fuse_cells(map);

    for (unsigned k = 0; k < 32; ++k) {
        EXPECT_EQ(cells[k].kind, deve::FuseCellKind::Header);
        EXPECT_EQ(deve::fuse_cell_rgb(map, cells[k]), deve::kFuseHeaderRgb);
    }
    EXPECT_TRUE(cells[30].programmed);  // 0x7C000000: bits 26-30
    EXPECT_FALSE(cells[31].programmed);

    const std::uint32_t power = deve::record_type_rgb(5);
    const std::uint32_t crystal = deve::record_type_rgb(4);
    EXPECT_NE(power, crystal);
    for (unsigned k = 32; k < 44; ++k) {  // the first TX_PWR1 record, superseded
        EXPECT_EQ(cells[k].record, 0);
        EXPECT_EQ(deve::fuse_cell_rgb(map, cells[k]), deve::paler(power)) << k;
    }
    for (unsigned k = 44; k < 56; ++k) {
        EXPECT_EQ(cells[k].record, 1);
        EXPECT_EQ(deve::fuse_cell_rgb(map, cells[k]), power) << k;
    }
    for (unsigned k = 56; k < 68; ++k) {
        EXPECT_EQ(deve::fuse_cell_rgb(map, cells[k]), crystal) << k;
    }
    for (unsigned k = 68; k < 256; ++k) {
        EXPECT_EQ(cells[k].kind, deve::FuseCellKind::Free) << k;
        EXPECT_EQ(deve::fuse_cell_rgb(map, cells[k]), deve::kFuseFreeRgb);
    }
    // The type nibble 5 at bit 32: bits 32 and 34 blown.
    EXPECT_TRUE(cells[32].programmed);
    EXPECT_FALSE(cells[33].programmed);
    EXPECT_TRUE(cells[34].programmed);
    EXPECT_EQ(deve::fuse_free_text(map), "Free: 188 bits");
}

TEST(FusePicture, PaleIsLighterAndWhiteStaysWhite) {
    EXPECT_EQ(deve::paler(0xFFFFFF), 0xFFFFFFu);
    EXPECT_EQ(deve::paler(0x000000), 0xA9A9A9u);
    const std::uint32_t pale = deve::paler(0x0072B2);
    EXPECT_GT(pale & 0xFF, 0xB2u);
    EXPECT_GT((pale >> 16) & 0xFF, 0x00u);
    EXPECT_TRUE(deve::drawn_pale(deve::RecordState::Superseded));
    EXPECT_TRUE(deve::drawn_pale(deve::RecordState::Unreachable));
    EXPECT_FALSE(deve::drawn_pale(deve::RecordState::Current));
}

TEST(FusePicture, HoverNamesTheItemAndValue) {
    const deve::FuseMap map = deve::decode_fuse_map(known_image());
    EXPECT_EQ(deve::fuse_cell_tip(map, 3), "Header: chip ID 7c000000 (bits 0-31)");
    EXPECT_EQ(deve::fuse_cell_tip(map, 40), "TX_PWR1 = 3,5, superseded by a later record (record type 5, bits 32-43)");
    EXPECT_EQ(deve::fuse_cell_tip(map, 44), "TX_PWR1 = 4,6 (record type 5, bits 44-55)");
    EXPECT_EQ(deve::fuse_cell_tip(map, 67), "Freq_offset = 140 (record type 4, bits 56-67)");
    EXPECT_EQ(deve::fuse_cell_tip(map, 100), "Free: 188 bits (bit 100 is free)");
    EXPECT_EQ(deve::fuse_cell_tip(map, 256), "");
}

TEST(FusePicture, RecordsBehindAStopAreNotReadAndStrayFusesAreFaults) {
    deve::FuseWords w{};
    // Type 7 (4 data bits) at bit 32, then a crystal record at bit 40, then
    // end; and a stray blown fuse at bit 200.
    w[1] = 0x7u | (0x5u << 4) | (0x4u << 8) | (0x2Au << 12);
    w[6] = 1u << 8;
    const deve::FuseMap map = deve::decode_fuse_map(w);
    ASSERT_EQ(map.records.size(), 2u);
    const deve::FuseCells cells = deve::fuse_cells(map);
    EXPECT_EQ(deve::fuse_cell_rgb(map, cells[32]), deve::kFuseOtherTypeRgb);
    EXPECT_EQ(deve::fuse_cell_rgb(map, cells[40]), deve::paler(deve::record_type_rgb(4)));
    EXPECT_EQ(cells[200].kind, deve::FuseCellKind::Stray);
    EXPECT_EQ(deve::fuse_cell_rgb(map, cells[200]), deve::kFuseFaultRgb);
    EXPECT_EQ(deve::fuse_cell_tip(map, 33),
              "record type 7 = 0x05: the library's readers stop here (record type 7, bits 32-39)");
    EXPECT_EQ(deve::fuse_cell_tip(map, 45),
              "Freq_offset = 42: behind a record the readers stop at, never read (record type 4, bits 40-51)");
    EXPECT_EQ(deve::fuse_cell_tip(map, 200), "Blown fuse after the last record (bit 200)");

    std::vector<std::string> labels;
    for (const deve::FuseLegendEntry &e : deve::fuse_legend(map)) {
        labels.push_back(e.label);
    }
    EXPECT_EQ(labels, (std::vector<std::string>{"Header", "record type 7", "Freq_offset",
                                                 "Superseded or unread (paler)", "Free", "Fault"}));
}

TEST(FusePicture, ARecordRunningPastTheEndIsAFault) {
    deve::FuseWords w{};
    // Crystal records fill bits 32-235; a MAC record (52 bits) starts at 236.
    unsigned position = 32;
    auto put = [&w](unsigned bit, unsigned value, unsigned bits) {
        for (unsigned j = 0; j < bits; ++j) {
            if ((value >> j) & 1u) {
                w[(bit + j) / 32] |= 1u << ((bit + j) % 32);
            }
        }
    };
    for (; position + 12 <= 236; position += 12) {
        put(position, 0x014, 12);  // type 4, value 1
    }
    put(position, 0xB, 4);
    const deve::FuseMap map = deve::decode_fuse_map(w);
    const deve::FuseCells cells = deve::fuse_cells(map);
    ASSERT_EQ(map.records.back().state, deve::RecordState::Truncated);
    EXPECT_EQ(deve::fuse_cell_rgb(map, cells[255]), deve::kFuseFaultRgb);
    EXPECT_EQ(deve::fuse_cell_rgb(map, cells[position]), deve::kFuseFaultRgb);
    EXPECT_EQ(deve::fuse_cell_rgb(map, cells[position - 12]), deve::record_type_rgb(4));
    EXPECT_EQ(deve::fuse_cell_rgb(map, cells[position - 24]), deve::paler(deve::record_type_rgb(4)));
    EXPECT_EQ(deve::fuse_cell_tip(map, 250), "MAC: runs past the end of the map (record type 11, bits 236-255)");
    EXPECT_EQ(deve::fuse_legend(map).back().label, "Fault");
}

}  // namespace
