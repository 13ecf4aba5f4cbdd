// Windows: the maker's DLL that does not load, or loads without plain entry
// point names, through rf_init: a 32-bit xolt.dll beside the 64-bit library,
// a DLL whose own dependency is missing, and one built with __stdcall
// decorations. Each keeps the library's own line and adds the one that says
// why.
#include "fixture.h"
#include "test_support/system.h"

#include <filesystem>

using recording::StdoutCapture;

namespace {

class WindowsLoadFailure : public ::testing::Test {
protected:
    void TearDown() override {
        test_support::unset_env("XOLT_LIBRARY");
        if (!dir.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(dir, ignored);
        }
    }
    // What rf_init prints with XOLT_LIBRARY naming `file`; it must fail.
    static std::string init_output(const std::string &file) {
        test_support::set_env("XOLT_LIBRARY", file);
        StdoutCapture out;
        EXPECT_EQ(rf_init(4), -1);
        return out.take();
    }
    std::filesystem::path dir;
};

#if defined(X86_XOLT_PATH)
TEST_F(WindowsLoadFailure, A32BitDllBesideThe64BitLibraryNamesBothAndThePackage) {
    const std::string why = "xolt.dll is a 32-bit (x86) DLL and this velmo.dll is 64-bit: use the x86 package";
    EXPECT_EQ(init_output(X86_XOLT_PATH),
              std::string("ERROR: unable to load ") + X86_XOLT_PATH + "\nERROR: " + why + "\nrf_init -1 fails\n");
    char text[256] = {};
    EXPECT_EQ(velmo_transport_failure(text, sizeof text), static_cast<int32_t>(why.size()));
    EXPECT_EQ(std::string(text), why);
}
#endif

TEST_F(WindowsLoadFailure, AMissingDependencyIsNamed) {
    // The transport alone in a folder of its own: its helper DLL is neither
    // there nor in the system folder.
    dir = std::filesystem::u8path(::testing::TempDir()) / "velmo-needs-helper";
    std::filesystem::create_directories(dir);
    const std::filesystem::path copy = dir / "xolt.dll";
    std::filesystem::copy_file(NEEDS_HELPER_XOLT_PATH, copy, std::filesystem::copy_options::overwrite_existing);
    EXPECT_EQ(init_output(copy.u8string()),
              "ERROR: unable to load " + copy.u8string() +
                  "\nERROR: xolt.dll needs xolt_helper.dll, which was found neither beside it nor in the system's "
                  "folders\nrf_init -1 fails\n");
}

TEST_F(WindowsLoadFailure, DecoratedNamesSayAnotherCallingConvention) {
    const std::string name = std::filesystem::path(DECORATED_XOLT_PATH).filename().u8string();
    EXPECT_EQ(init_output(DECORATED_XOLT_PATH),
              "ERROR: unable to find DLL api\nERROR: " + name +
                  " was built with another calling convention (__stdcall): it exports _xolt_init@0, "
                  "_xolt_select@4, _xolt_open@0, _xolt_close@0, _xolt_read_reg@8, _xolt_write_reg@8, "
                  "_xolt_burst_read_reg@12, _xolt_burst_write_reg@12, _xolt_recv_packet@12, _xolt_send_packet@8, "
                  "_xolt_download_fw@8 instead of xolt_init, xolt_select, xolt_open, xolt_close, xolt_read_reg, "
                  "xolt_write_reg, xolt_burst_read_reg, xolt_burst_write_reg, xolt_recv_packet, xolt_send_packet, "
                  "xolt_download_fw\nrf_init -1 fails\n");
    // Nothing was bound to the decorated names: the transport is unloaded.
    std::uint32_t value = 0xAAAA;
    EXPECT_EQ(xolt_read_reg(0, &value), -1);
    EXPECT_EQ(value, 0xAAAAu);
}

}  // namespace
