// TX/RX test control: mode register and packet generator traffic, the PIT
// fields, the receiver settings, the counter blocks and the extra control
// writes of the two chip variants.
#include "fixture.h"

#include <cstdint>
#include <functional>
#include <vector>

using recording::Access;
using recording::R;
using recording::StdoutCapture;
using recording::W;

namespace {

constexpr uint32_t MODE = 0xCCB0A400;
constexpr uint32_t PKTGEN = 0xCCB0E018;
constexpr uint32_t VARIANT = 0xC0000510;

class TestMode : public recording::Connected {
protected:
    void SetUp() override {
        Connected::SetUp();
        ASSERT_NO_FATAL_FAILURE(set_chip_id(0));
    }
    // The library takes its chip identifier from eFuse word 0.
    void set_chip_id(uint32_t id) {
        chip().memory[0xC200010C] = 1;
        chip().memory[0xC2000120] = id;
        uint32_t out = ~id;
        StdoutCapture quiet;
        ASSERT_EQ(rf_efuse_read_chip_id(&out), 0);
        ASSERT_EQ(out, id);
        chip().log.clear();
    }
    std::vector<uint32_t> variant_writes() const {
        std::vector<uint32_t> out;
        for (const Access &a : writes()) {
            if (a.address == VARIANT) out.push_back(a.value);
        }
        return out;
    }
};

TEST_F(TestMode, TxStartWithoutPitLeavesGeneratorWordUnread) {
    chip().memory[MODE] = 0x12345FF3;
    EXPECT_EQ(rf_tx_start(0, 0), 0);
    EXPECT_EQ(log(), (std::vector<Access>{R(MODE, 0x12345FF3), W(MODE, 0x12345007), W(MODE, 0x12345207),
                                          W(0xCCB0E020, 0x400), W(0xCCB0E01C, 0xFFFFFFFF), W(PKTGEN, 0x0055083D)}));
}

TEST_F(TestMode, TxStartPitFillsBothFieldsAndKeepsTheRest) {
    chip().scripted[PKTGEN] = {0xFFFFFFFF};
    EXPECT_EQ(rf_tx_start(1, 100), 0);
    EXPECT_EQ(log(), (std::vector<Access>{R(MODE, 0), W(MODE, 0x4), W(MODE, 0x604), W(0xCCB0E020, 0x400),
                                          W(0xCCB0E01C, 0xFFFFFFFF), W(PKTGEN, 0x0055083D), R(PKTGEN, 0xFFFFFFFF),
                                          W(PKTGEN, 0x01FFFF93)}));  // 36 in bits 2-7, 1 in bits 24-31

    struct Case { uint32_t pit, word; };
    for (const Case &c : {Case{0x4000, 0x00550801}, Case{0xFFFFC000, 0x00550801}, Case{0x3FFF, 0xFF5508FD},
                          Case{64, 0x01550801}}) {
        rf_tx_start(0, c.pit);
        EXPECT_EQ(writes().back(), W(PKTGEN, c.word)) << std::hex << c.pit;
    }
}

TEST_F(TestMode, TxStopReturnsToManualStandbyAndStopsGenerator) {
    chip().memory[MODE] = 0xFFFFFFFF;
    EXPECT_EQ(rf_tx_stop(), 0);
    EXPECT_EQ(log(), (std::vector<Access>{R(MODE, 0xFFFFFFFF), W(MODE, 0xFFFFF0FF), W(PKTGEN, 0x0055083C)}));
}

TEST_F(TestMode, RxStartSequenceAndCounterBlock) {
    chip().memory[0xCCB0E000] = 0x80010000;
    chip().memory[0xCCB0A464] = 0x000032E8;
    chip().memory[MODE] = 0x06000F40;
    EXPECT_EQ(rf_rx_start(0, 0), 0);
    EXPECT_EQ(log(), (std::vector<Access>{R(0xCCB0E000, 0x80010000), R(0xCCB0A464, 0x000032E8), R(0xCCB0A410, 0),
                                          W(0xCCB0F040, 0x7F7F7F7F), W(0xCCB0F0C4, 0x30023003), W(0xCCB0F194, 0x09370001),
                                          R(MODE, 0x06000F40), W(MODE, 0x06000044), W(MODE, 0x06000344),
                                          W(0xCCB0F3FC, 0x00010425), W(0xCCB0E004, 0x17F), W(0xCCB0F3F8, 1),
                                          W(0xCCB0EBF8, 0), W(0xCCB0EBF8, 0x00100000)}));
    chip().log.clear();
    EXPECT_EQ(rf_rx_start(5, 2), 0);
    const std::vector<Access> w = writes();
    EXPECT_EQ(w[4], W(MODE, 0x06000744));
    EXPECT_EQ(w.back(), W(0xCCB0F3F8, 0x00100001));
}

TEST_F(TestMode, RxStartReceiverSettingsRows) {
    struct Case { uint32_t bw, ch, f040, f0c4, f194; };
    for (const Case &c : {Case{0x80000000, 0xFFFF6A88, 0x96977F7F, 0x18023003, 0x19370001},
                          Case{0x8000C000, 0x00005A88, 0xB4B57F7F, 0x18023003, 0x19370001},
                          Case{0x8000C000, 0x00006A88, 0x7F7F7F7F, 0x30023003, 0x09370001},
                          Case{0x80000000, 0x00006A89, 0x7F7F7F7F, 0x30023003, 0x09370001}}) {
        chip().memory[0xCCB0E000] = c.bw;
        chip().memory[0xCCB0A464] = c.ch;
        chip().log.clear();
        rf_rx_start(0, 0);
        const std::vector<Access> w = writes();
        EXPECT_EQ(std::vector<Access>(w.begin(), w.begin() + 3),
                  (std::vector<Access>{W(0xCCB0F040, c.f040), W(0xCCB0F0C4, c.f0c4), W(0xCCB0F194, c.f194)}))
            << std::hex << c.bw << " " << c.ch;
    }
}

TEST_F(TestMode, VariantControlWritesPerChipId) {
    struct Call { std::function<void()> run; std::vector<uint32_t> a, b; };
    const std::vector<Call> calls{
        {[] { rf_tx_start(0, 0); }, {0x1}, {0x1}},
        {[] { rf_tx_start(3, 0); }, {0x41}, {0x41}},
        {[] { rf_rx_start(0, 1); }, {0x2}, {0x2}},
        {[] { rf_rx_start(1, 1); }, {0x2}, {0x00100002}},
        {[] { rf_rx_start(2, 0); }, {0x2}, {}},
        {[] { rf_tx_stop(); }, {0x0}, {0x0}},
        {[] { rf_rx_stop(); rf_rxpkt_reset(0); uint32_t e, t; rf_rxpkt(1, &e, &t); tx_packet(0, &e); }, {}, {}},
    };
    for (uint32_t id : {0u, 0x74000001u, 0x74000000u, 0x7C000000u}) {
        ASSERT_NO_FATAL_FAILURE(set_chip_id(id));
        for (std::size_t i = 0; i < calls.size(); ++i) {
            chip().log.clear();
            calls[i].run();
            const std::vector<uint32_t> want =
                id == 0x74000000u ? calls[i].a : id == 0x7C000000u ? calls[i].b : std::vector<uint32_t>{};
            EXPECT_EQ(variant_writes(), want) << std::hex << "chip " << id << " call " << i;
        }
    }
    // The variant word follows the mode register and precedes the generator
    // and counter writes.
    chip().log.clear();
    rf_tx_start(1, 0);
    EXPECT_EQ(writes()[2], W(VARIANT, 0x41));
    EXPECT_EQ(writes()[3].address, 0xCCB0E020u);
    chip().log.clear();
    rf_rx_start(1, 0);
    EXPECT_EQ(writes()[5], W(VARIANT, 0x00100002));
    EXPECT_EQ(writes()[6].address, 0xCCB0F3FCu);
    chip().log.clear();
    rf_tx_stop();
    EXPECT_EQ(writes(), (std::vector<Access>{W(MODE, 0x4), W(VARIANT, 0), W(PKTGEN, 0x0055083C)}));
}

TEST_F(TestMode, CounterControlAndCounts) {
    EXPECT_EQ(rf_rx_stop(), 0);
    EXPECT_EQ(rf_rxpkt_reset(0), 0);
    EXPECT_EQ(rf_rxpkt_reset(3), 0);
    EXPECT_EQ(log(), (std::vector<Access>{W(0xCCB0F3F8, 1), W(0xCCB0EBF8, 0), W(0xCCB0EBF8, 0), W(0xCCB0EBF8, 0x00100000),
                                          W(0xCCB0F3F8, 1), W(0xCCB0F3F8, 0x00100001)}));

    chip().memory[0xCCB0EBE8] = 0xFFFF0012;
    chip().memory[0xCCB0EBEC] = 0xABCD0456;
    chip().memory[0xCCB0F3E8] = 0x0001FFFF;
    chip().memory[0xCCB0F3EC] = 0x80000000;
    chip().memory[0xCCB0E7C0] = 0xDEADBEEF;
    chip().memory[0xCCB0EFC0] = 0x00010000;
    uint32_t err = 0, total = 0, count = 0;
    EXPECT_EQ(rf_rxpkt(0, &err, &total), 0);
    EXPECT_EQ(err, 0x12u);
    EXPECT_EQ(total, 0x456u);
    EXPECT_EQ(rf_rxpkt(2, &err, &total), 0);
    EXPECT_EQ(err, 0xFFFFu);
    EXPECT_EQ(total, 0u);
    EXPECT_EQ(tx_packet(0, &count), 0);
    EXPECT_EQ(count, 0xDEADBEEFu);  // not masked
    EXPECT_EQ(tx_packet(1, &count), 0);
    EXPECT_EQ(count, 0x00010000u);

    chip().log.clear();
    EXPECT_EQ(rf_rxpkt(0, nullptr, &total), -1);
    EXPECT_EQ(tx_packet(0, nullptr), -1);
    EXPECT_TRUE(log().empty());
}

TEST(TestModeWithoutTransport, EveryExportReturnsMinusOneAndTouchesNothing) {
    recording::use_transport();
    recording::State &state = recording::open_state();
    state.reset();
    uint32_t err = 7, total = 7, count = 7;
    EXPECT_EQ(rf_tx_start(0, 100), -1);
    EXPECT_EQ(rf_tx_stop(), -1);
    EXPECT_EQ(tx_packet(0, &count), -1);
    EXPECT_EQ(rf_rx_start(0, 0), -1);
    EXPECT_EQ(rf_rx_stop(), -1);
    EXPECT_EQ(rf_rxpkt(0, &err, &total), -1);
    EXPECT_EQ(rf_rxpkt_reset(0), -1);
    EXPECT_EQ(err + total + count, 21u);
    EXPECT_TRUE(state.log.empty());
}

}  // namespace
