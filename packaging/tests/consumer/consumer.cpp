// A production team's program against an installed libvelmo: opens the link
// on the installed transport, reads the chip revision register, and names
// the library and transport files it ran on (as mapped, and as the library
// tells), so the test can check that they are the installed ones.
#include <velmo/gain_codes.h>
#include <velmo/velmo.h>
#include <xolt/xolt.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

constexpr std::uint32_t kChipRevisionRegister = 0xC0000010;

// The file of the first mapping of this process whose path contains `name`.
std::string mapped_file(const std::string &name) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        const auto slash = line.find('/');
        if (slash != std::string::npos && line.find(name, slash) != std::string::npos) {
            return line.substr(slash);
        }
    }
    return "(not mapped)";
}

}  // namespace

int main() {
    const std::int32_t init = rf_init(XOLT_SELECT_USB);
    std::printf("rf_init %d\n", static_cast<int>(init));
    if (init != 0) {
        return 1;
    }
    std::uint32_t revision = 0;
    const std::int32_t read = xolt_read_reg(kChipRevisionRegister, &revision);
    std::printf("revision read %d 0x%08x\n", static_cast<int>(read), static_cast<unsigned>(revision));
    std::printf("unity DAC gain code 0x%02x\n",
                static_cast<unsigned>(velmo::gain_codes::kDac[velmo::gain_codes::kDacUnityIndex]));
    std::printf("library %s\n", mapped_file("/libvelmo.so").c_str());
    std::printf("library version %s\n", velmo_version());
    std::printf("transport %s\n", mapped_file("/libxolt.so").c_str());
    char loaded[4096] = {};
    const std::int32_t length = velmo_transport_path(loaded, sizeof loaded);
    std::printf("transport loaded %s\n", length > 0 ? loaded : "(none)");
    rf_deinit();
    return read == 0 ? 0 : 1;
}
