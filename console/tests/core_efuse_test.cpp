// The eFuse and MAC panel's reads, writes and the confirmation text.
#include "deve/efuse_panel.h"
#include "recording_api.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Calls = std::vector<std::string>;
const deve::EfuseItem &item(std::size_t i) { return deve::kEfuseItems[i]; }

TEST(EfuseItems, TableMatchesTheList) {
    const char *names[] = {"TX_PWR1", "TX_PWR2", "Freq_offset", "TX_Rate1", "TX_Rate2"};
    for (std::size_t i = 0; i < deve::kEfuseItems.size(); ++i) {
        EXPECT_STREQ(item(i).name, names[i]);
    }
    EXPECT_STREQ(item(2).second_label, "None");
    EXPECT_FALSE(item(2).second_enabled);
    EXPECT_STREQ(item(2).range_text, "offset range: 0~255");
    EXPECT_STREQ(item(3).second_label, "");
    EXPECT_FALSE(item(3).second_enabled);
    EXPECT_TRUE(item(4).first_enabled);
    EXPECT_TRUE(item(4).second_enabled);
}

TEST(EfuseItems, WriteCallsTheItemsExport) {
    fake::RecordingApi api;
    EXPECT_EQ(deve::write_item(api, item(0), 3, 5), "success");
    EXPECT_EQ(deve::write_item(api, item(1), 20, 7), "success");  // passed as parsed
    EXPECT_EQ(deve::write_item(api, item(2), 140, 99), "success");  // one value only
    EXPECT_EQ(deve::write_item(api, item(3), 4, 2), "success");
    EXPECT_EQ(deve::write_item(api, item(4), 6, 1), "success");
    EXPECT_EQ(api.calls, (Calls{"rf_efuse_write_tx_power1(3, 5)", "rf_efuse_write_tx_power2(20, 7)",
                                "rf_efuse_write_xtal(140)", "rf_efuse_write_rate_gain_b_n40(4, 2)",
                                "rf_efuse_write_rate_gain_g_n20(6, 1)"}));
    api.free_bits = 11;
    EXPECT_EQ(deve::write_item(api, item(0), 1, 1), "fail");
}

TEST(EfuseItems, ReadShowsValuesAndFreeBits) {
    fake::RecordingApi api;
    api.pairs["tx_power1"] = {3, 5};
    api.free_bits = 200;
    deve::ItemReading r = deve::read_item(api, item(0));
    EXPECT_EQ(r.values, "3,5");
    EXPECT_EQ(r.free_bits, "Empty: 200 bit");
    EXPECT_EQ(api.take(), (Calls{"rf_efuse_read_tx_power1()", "rf_get_efuse_free_bits()"}));

    // Missing records show zeros.
    api.free_bits = 224;
    r = deve::read_item(api, item(2));
    EXPECT_EQ(r.values, "0");
    EXPECT_EQ(r.free_bits, "Empty: 224 bit");
    EXPECT_EQ(deve::read_item(api, item(4)).values, "0,0");
}

TEST(MacAddress, ParseWriteAndRead) {
    const deve::MacAddress mac = deve::parse_mac({"00", "11", "22", "33", "44", "55"});
    EXPECT_EQ(mac, (deve::MacAddress{0x00, 0x11, 0x22, 0x33, 0x44, 0x55}));
    EXPECT_EQ(deve::parse_mac({"1FF", "0x0a", "", "zz", "7", "Ab"}),
              (deve::MacAddress{0xFF, 0x0A, 0x00, 0x00, 0x07, 0xAB}));

    fake::RecordingApi api;
    EXPECT_EQ(deve::read_mac(api), "No mac address");
    EXPECT_EQ(deve::write_mac(api, mac), "success");
    EXPECT_EQ(deve::read_mac(api), "0:11:22:33:44:55");
    EXPECT_EQ(api.calls, (Calls{"rf_efuse_read_mac()", "rf_efuse_write_mac(00:11:22:33:44:55)", "rf_efuse_read_mac()"}));
    api.free_bits = 51;
    EXPECT_EQ(deve::write_mac(api, mac), "fail");
}

TEST(FuseConfirmation, DescribesTheRecordAndTheSpaceLeft) {
    fake::RecordingApi api;
    api.free_bits = 224;
    const deve::FuseRecord power = deve::describe_item_record(item(0), 3, 5);
    EXPECT_EQ(power.bits, 12);
    EXPECT_EQ(power.description, "TX_PWR1 (record type 5, 12 bits): 5200 PWR = 3, 2400 PWR = 5; data byte 0x35");
    const std::string question = deve::fuse_write_question(api, power);
    EXPECT_NE(question.find(power.description), std::string::npos);
    EXPECT_NE(question.find("cannot be undone"), std::string::npos);
    EXPECT_NE(question.find("224 now, 212 after this record"), std::string::npos);
    EXPECT_EQ(api.calls, Calls{"rf_get_efuse_free_bits()"});  // asking programs nothing

    // What the fuse keeps of values that do not fit.
    EXPECT_EQ(deve::describe_item_record(item(0), 0x13, 0x25).description,
              "TX_PWR1 (record type 5, 12 bits): 5200 PWR = 19 (stored as 3), 2400 PWR = 37 (stored as 5); "
              "data byte 0x35");
    EXPECT_EQ(deve::describe_item_record(item(2), 300, 0).description,
              "Freq_offset (record type 4, 12 bits): Freq offset = 300 (stored as 44); data byte 0x2c");
    EXPECT_EQ(deve::describe_item_record(item(3), 3, 0).description,
              "TX_Rate1 (record type 12, 12 bits): B_PWR = 3, second value = 0; data byte 0x30");

    const deve::FuseRecord mac = deve::describe_mac_record({0x00, 0x11, 0x22, 0x33, 0x44, 0x0A});
    EXPECT_EQ(mac.bits, 52);
    EXPECT_EQ(mac.description, "MAC address (record type 11, 52 bits): 00:11:22:33:44:0a");
    api.free_bits = 40;
    EXPECT_NE(deve::fuse_write_question(api, mac).find("40 now, but the record needs 52: the write will fail"),
              std::string::npos);
}

}  // namespace
