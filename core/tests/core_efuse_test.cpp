// The eFuse and MAC panel's items and reads.
#include "deve/efuse_items.h"
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

TEST(MacAddress, ParseAndRead) {
    const deve::MacAddress mac = deve::parse_mac({"00", "11", "22", "33", "44", "55"});
    EXPECT_EQ(mac, (deve::MacAddress{0x00, 0x11, 0x22, 0x33, 0x44, 0x55}));
    EXPECT_EQ(deve::parse_mac({"1FF", "0x0a", "", "zz", "7", "Ab"}),
              (deve::MacAddress{0xFF, 0x0A, 0x00, 0x00, 0x07, 0xAB}));

    fake::RecordingApi api;
    api.mac = std::array<std::uint8_t, 6>{0x00, 0x11, 0x22, 0x33, 0x44, 0x0A};
    EXPECT_EQ(deve::read_mac(api), "0:11:22:33:44:a");
}

}  // namespace
