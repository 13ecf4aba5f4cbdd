// Opens the board, prints the chip identifier, the eFuse records and the free
// bits, and closes. The board is the simulated one unless XOLT_LIBRARY names
// another transport.
#include "velmo/velmo.h"

#include <cstdio>

namespace {

void print_nibble_pair(const char *name, int32_t (*reader)(uint8_t *, uint8_t *)) {
    uint8_t high = 0;
    uint8_t low = 0;
    if (reader(&high, &low) == 0) {
        std::printf("  %-18s %u, %u\n", name, high, low);
    } else {
        std::printf("  %-18s (none)\n", name);
    }
}

}  // namespace

int main() {
    const int32_t opened = rf_init(4);
    if (opened != 0) {
        std::printf("Cannot open the board (rf_init returned %d).\n", opened);
        return 1;
    }
    uint32_t chip_id = 0;
    if (rf_efuse_read_chip_id(&chip_id) == 0) {
        std::printf("Chip ID: %x\n", chip_id);
    } else {
        std::printf("Chip ID: not readable\n");
    }
    std::printf("eFuse records:\n");
    uint8_t mac[6] = {};
    if (rf_efuse_read_mac(mac) == 0) {
        std::printf("  %-18s %02x:%02x:%02x:%02x:%02x:%02x\n", "MAC address", mac[0], mac[1], mac[2], mac[3],
                    mac[4], mac[5]);
    } else {
        std::printf("  %-18s (none)\n", "MAC address");
    }
    print_nibble_pair("TX power 1", rf_efuse_read_tx_power1);
    print_nibble_pair("TX power 2", rf_efuse_read_tx_power2);
    print_nibble_pair("Rate gain b/n40", rf_efuse_read_rate_gain_b_n40);
    print_nibble_pair("Rate gain g/n20", rf_efuse_read_rate_gain_g_n20);
    uint8_t xtal = 0;
    if (rf_efuse_read_xtal(&xtal) == 0) {
        std::printf("  %-18s %u\n", "Crystal trim", xtal);
    } else {
        std::printf("  %-18s (none)\n", "Crystal trim");
    }
    uint16_t vid = 0;
    uint16_t pid = 0;
    if (rf_efuse_read_vid(&vid) == 0) {
        std::printf("  %-18s %04x\n", "Vendor ID", vid);
    } else {
        std::printf("  %-18s (none)\n", "Vendor ID");
    }
    if (rf_efuse_read_pid(&pid) == 0) {
        std::printf("  %-18s %04x\n", "Product ID", pid);
    } else {
        std::printf("  %-18s (none)\n", "Product ID");
    }
    std::printf("Free eFuse bits: %d\n", rf_get_efuse_free_bits());
    rf_deinit();
    return 0;
}
