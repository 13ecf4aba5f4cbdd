#include "deve/library_presence.h"

#include "module_loader.h"

#include <cstring>

namespace deve {

const char *velmo_library_file() { return DEVE_VELMO_LIBRARY_FILE; }

const std::array<const char *, 44> kLibraryExports{
    "rf_init",
    "rf_deinit",
    "xolt_read_reg",
    "xolt_write_reg",
    "rf_calibration",
    "rf_rate",
    "rf_set_ch",
    "rf_xtal_set",
    "rf_gain",
    "rf_tx_start",
    "rf_rx_start",
    "rf_tx_stop",
    "rf_rx_stop",
    "tx_packet",
    "rf_iqcal_manual",
    "rf_rxpkt_reset",
    "rf_read_efuse",
    "rf_chip_id",
    "rf_dac_gain",
    "rf_rxpkt",
    "rf_load_register",
    "rf_freq_offset",
    "rf_2g_5g_padpd_cali",
    "rf_efuse_write_mac",
    "rf_efuse_read_mac",
    "rf_efuse_read_chip_id",
    "rf_efuse_write_tx_power1",
    "rf_efuse_read_tx_power1",
    "rf_efuse_write_tx_power2",
    "rf_efuse_read_tx_power2",
    "rf_efuse_write_xtal",
    "rf_efuse_read_xtal",
    "rf_efuse_write_vid",
    "rf_efuse_read_vid",
    "rf_efuse_write_pid",
    "rf_efuse_read_pid",
    "rf_get_efuse_free_bits",
    "rf_efuse_write_rate_gain_b_n40",
    "rf_efuse_read_rate_gain_b_n40",
    "rf_efuse_write_rate_gain_g_n20",
    "rf_efuse_read_rate_gain_g_n20",
    "rf_brate_gain",
    "rf_sb_txpatch",
    "rf_dcdc_onoff",
};

LibraryPresence::LibraryPresence(const std::string &file, std::FILE *out) : file_(file) {
    void *module = module_loader::open(file, load_error_);
    if (module == nullptr) {
        std::fprintf(out, "ERROR: unable to load %s\n", file.c_str());
        std::fflush(out);
        missing_.assign(kLibraryExports.begin(), kLibraryExports.end());
        return;
    }
    loaded_ = true;
    // Every name is looked up, also after a missing one.
    for (std::size_t i = 0; i < kLibraryExports.size(); ++i) {
        addresses_[i] = module_loader::find(module, kLibraryExports[i]);
        if (addresses_[i] == nullptr) {
            missing_.emplace_back(kLibraryExports[i]);
        }
    }
    if (addresses_[0] == nullptr) {
        std::fprintf(out, "load dll and api fails!!\n");
        std::fflush(out);
    }
}

std::string LibraryPresence::problem() const {
    if (!loaded_) {
        return "The RF function library " + file_ + " could not be loaded" +
               (load_error_.empty() ? std::string(".") : ": " + load_error_);
    }
    if (missing_.empty()) {
        return {};
    }
    std::string names;
    for (const std::string &name : missing_) {
        names += (names.empty() ? "" : ", ") + name;
    }
    return "The RF function library " + file_ + " lacks " + std::to_string(missing_.size()) +
           (missing_.size() == 1 ? " export: " : " exports: ") + names + ".";
}

}  // namespace deve
