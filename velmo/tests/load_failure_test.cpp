// The module-file reader and the explanations of a transport that does not
// load: PE files built from bytes, every truncation and byte change of one,
// the lines for each kind of file, and rf_init printing them.
#include "fixture.h"
#include "load_failure.h"
#include "pe_builder.h"
#include "pe_image.h"
#include "test_support/system.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

using recording::StdoutCapture;

namespace {

const std::vector<std::string> kEntryPoints{
    "xolt_init",           "xolt_select",          "xolt_open",        "xolt_close",
    "xolt_read_reg",       "xolt_write_reg",       "xolt_burst_read_reg", "xolt_burst_write_reg",
    "xolt_recv_packet",    "xolt_send_packet",     "xolt_download_fw",
};

constexpr velmo::OwnModule kVelmo64{"velmo.dll", true, velmo::pe::kMachineAmd64, 0, 0};
constexpr velmo::OwnModule kVelmo32{"velmo.dll", true, velmo::pe::kMachineI386, 0, 0};
constexpr velmo::OwnModule kLinux64{"libvelmo.so", false, 0, 2, 62};

velmo::LoadFailure failed(const std::string &path, const std::string &text = "Bad EXE format.") {
    return velmo::LoadFailure{path, text, ""};
}

std::vector<std::uint8_t> bytes_of(const std::string &text) { return {text.begin(), text.end()}; }

TEST(PeImage, ReadsMachineDllFlagExportsAndImports) {
    for (const bool plus : {false, true}) {
        pe_builder::Layout layout;
        layout.machine = plus ? velmo::pe::kMachineAmd64 : velmo::pe::kMachineI386;
        layout.pe32_plus = plus;
        layout.exports = kEntryPoints;
        layout.imports = {"KERNEL32.dll", "usbvendor.dll"};
        const std::optional<velmo::pe::Image> image = velmo::pe::read(pe_builder::build(layout));
        ASSERT_TRUE(image) << "PE32+ " << plus;
        EXPECT_EQ(image->machine, layout.machine);
        EXPECT_TRUE(image->dll);
        EXPECT_EQ(image->exports, kEntryPoints);
        EXPECT_EQ(image->imports, layout.imports);
    }
    pe_builder::Layout program;
    program.dll = false;
    const std::optional<velmo::pe::Image> image = velmo::pe::read(pe_builder::build(program));
    ASSERT_TRUE(image);
    EXPECT_FALSE(image->dll);
    EXPECT_TRUE(image->exports.empty());
    EXPECT_TRUE(image->imports.empty());
}

TEST(PeImage, OtherFilesAreNotPeFiles) {
    EXPECT_FALSE(velmo::pe::read(bytes_of("")));
    EXPECT_FALSE(velmo::pe::read(bytes_of("not a DLL, only text that a file manager named xolt.dll\n")));
    std::vector<std::uint8_t> dos(64, 0);
    dos[0] = 'M';
    dos[1] = 'Z';
    EXPECT_FALSE(velmo::pe::read(dos));  // e_lfanew 0 leads to "MZ", not "PE"
    for (const std::uint32_t lfanew : {0x3Cu, 0x40u, 0xFFFFFFFFu, 0xFFFFFFFCu}) {
        pe_builder::put32(dos, 0x3C, lfanew);
        EXPECT_FALSE(velmo::pe::read(dos)) << lfanew;
    }
}

// Every prefix of a good file, and the file with any one byte changed, is
// read without a read outside it: a prefix yields only names the whole file
// has (a name cut short has no terminator and is left out), and no change
// yields more names than the limits allow or a name longer than a name can be.
TEST(PeImage, EveryTruncationAndByteChangeStaysWithinTheFile) {
    pe_builder::Layout layout;
    layout.exports = kEntryPoints;
    layout.imports = {"KERNEL32.dll", "usbvendor.dll"};
    const std::vector<std::uint8_t> whole = pe_builder::build(layout);
    auto subset = [](const std::vector<std::string> &part, const std::vector<std::string> &all) {
        return std::all_of(part.begin(), part.end(),
                           [&all](const std::string &n) { return std::find(all.begin(), all.end(), n) != all.end(); });
    };
    for (std::size_t n = 0; n < whole.size(); ++n) {
        // A copy of exactly n bytes, so that a sanitizer sees any read past it.
        const std::vector<std::uint8_t> prefix(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
        if (const std::optional<velmo::pe::Image> image = velmo::pe::read(prefix)) {
            EXPECT_TRUE(subset(image->exports, kEntryPoints)) << n;
            EXPECT_TRUE(subset(image->imports, layout.imports)) << n;
        }
    }
    for (std::size_t at = 0; at < whole.size(); ++at) {
        for (const std::uint8_t value : {std::uint8_t{0x00}, std::uint8_t{0xFF}, std::uint8_t{0x7F}}) {
            std::vector<std::uint8_t> changed = whole;
            changed[at] = value;
            if (const std::optional<velmo::pe::Image> image = velmo::pe::read(changed)) {
                EXPECT_LE(image->exports.size(), 65536u);
                EXPECT_LE(image->imports.size(), 4096u);
                for (const std::string &name : image->exports) {
                    EXPECT_LE(name.size(), 1024u);
                }
            }
        }
    }
}

TEST(LoadExplanation, AnotherArchitectureNamesBothAndThePackage) {
    pe_builder::Layout x86;
    x86.machine = velmo::pe::kMachineI386;
    x86.pe32_plus = false;
    EXPECT_EQ(velmo::explain_load_failure(kVelmo64, failed("C:\\Vendor\\xolt.dll"), pe_builder::build(x86)),
              "xolt.dll is a 32-bit (x86) DLL and this velmo.dll is 64-bit: use the x86 package");
    pe_builder::Layout x64;
    EXPECT_EQ(velmo::explain_load_failure(kVelmo32, failed("/opt/xolt.dll"), pe_builder::build(x64)),
              "xolt.dll is a 64-bit (x64) DLL and this velmo.dll is 32-bit: use the x64 package");
    pe_builder::Layout arm64;
    arm64.machine = velmo::pe::kMachineArm64;
    EXPECT_EQ(velmo::explain_load_failure(kVelmo64, failed("xolt.dll"), pe_builder::build(arm64)),
              "xolt.dll is a 64-bit ARM (ARM64) DLL and this velmo.dll is 64-bit (x64): there is no package for "
              "its architecture; the maker's DLL must be built for x64");
    pe_builder::Layout odd;
    odd.machine = 0x0200;  // Itanium
    EXPECT_EQ(velmo::explain_load_failure(kVelmo64, failed("xolt.dll"), pe_builder::build(odd)),
              "xolt.dll is a DLL for another machine (PE machine type 0x0200) and this velmo.dll is 64-bit (x64): "
              "they must be built for one architecture");
}

TEST(LoadExplanation, NotADllAMissingDependencyOrTheSystemsReason) {
    pe_builder::Layout program;
    program.dll = false;
    EXPECT_EQ(velmo::explain_load_failure(kVelmo64, failed("xolt.dll"), pe_builder::build(program)),
              "xolt.dll is not a DLL: it is a Windows program");
    EXPECT_EQ(velmo::explain_load_failure(kVelmo64, failed("xolt.dll"), bytes_of("MZ? no, a text file\n")),
              "xolt.dll is not a DLL: it is not a Windows PE file");
    EXPECT_EQ(velmo::explain_load_failure(kVelmo64, failed("xolt.dll"), {}),
              "xolt.dll is not a DLL: it is not a Windows PE file");

    pe_builder::Layout dll;
    velmo::LoadFailure missing = failed("D:\\bench\\xolt.dll", "The specified module could not be found.");
    missing.missing_dependency = "usbvendor.dll";
    EXPECT_EQ(velmo::explain_load_failure(kVelmo64, missing, pe_builder::build(dll)),
              "xolt.dll needs usbvendor.dll, which was found neither beside it nor in the system's folders");
    missing.missing_dependency.clear();
    EXPECT_EQ(velmo::explain_load_failure(kVelmo64, missing, pe_builder::build(dll)),
              "xolt.dll did not load: The specified module could not be found.");
    // No file was there: the system's words alone.
    EXPECT_EQ(velmo::explain_load_failure(kVelmo64, failed("", "xolt.dll is not there"), {}),
              "xolt.dll is not there");
}

TEST(LoadExplanation, SharedObjectsOfAnotherClassOrNoneAtAll) {
    std::vector<std::uint8_t> elf32(64, 0);
    elf32[0] = 0x7F;
    elf32[1] = 'E';
    elf32[2] = 'L';
    elf32[3] = 'F';
    elf32[4] = 1;  // ELFCLASS32
    elf32[5] = 1;  // little-endian
    elf32[18] = 3;  // EM_386
    EXPECT_EQ(velmo::explain_load_failure(kLinux64, failed("/opt/libxolt.so"), elf32),
              "libxolt.so is a 32-bit shared object and this libvelmo.so is 64-bit");
    elf32[4] = 2;
    elf32[18] = 183;  // EM_AARCH64
    EXPECT_EQ(velmo::explain_load_failure(kLinux64, failed("/opt/libxolt.so"), elf32),
              "libxolt.so is built for another machine (ELF machine 183, this libvelmo.so 62)");
    EXPECT_EQ(velmo::explain_load_failure(kLinux64, failed("/opt/libxolt.so"), bytes_of("#!/bin/sh\n")),
              "libxolt.so is not a shared object: it is not an ELF file");
    EXPECT_EQ(velmo::explain_load_failure(kLinux64, failed("/opt/xolt.dll"), pe_builder::build({})),
              "xolt.dll is a Windows DLL, not a shared object for this system");
    EXPECT_EQ(velmo::explain_load_failure(kVelmo64, failed("libxolt.so"), elf32),
              "libxolt.so is not a DLL: it is a Linux or Unix shared object (ELF)");
}

TEST(LoadExplanation, DecoratedNamesSayAnotherCallingConvention) {
    pe_builder::Layout msvc;
    msvc.exports = {"_xolt_init@0", "_xolt_read_reg@8", "_xolt_write_reg@8", "DllMain"};
    EXPECT_EQ(velmo::explain_missing_entry_points("C:\\Vendor\\xolt.dll", {"xolt_init", "xolt_read_reg"},
                                                  pe_builder::build(msvc)),
              "xolt.dll was built with another calling convention (__stdcall): it exports _xolt_init@0, "
              "_xolt_read_reg@8 instead of xolt_init, xolt_read_reg");
    pe_builder::Layout mingw;
    mingw.exports = {"xolt_write_reg@8"};
    EXPECT_EQ(velmo::explain_missing_entry_points("xolt.dll", {"xolt_write_reg"}, pe_builder::build(mingw)),
              "xolt.dll was built with another calling convention (__stdcall): it exports xolt_write_reg@8 "
              "instead of xolt_write_reg");
    // Names that only look alike are no decorations.
    pe_builder::Layout alike;
    alike.exports = {"xolt_read_regs@8", "xolt_read_reg@", "xolt_read_reg@8x", "__xolt_read_reg@8"};
    EXPECT_EQ(velmo::explain_missing_entry_points("xolt.dll", {"xolt_read_reg", "xolt_download_fw"},
                                                  pe_builder::build(alike)),
              "xolt.dll lacks xolt_read_reg, xolt_download_fw");
}

class LoadThroughInit : public ::testing::Test {
protected:
    void TearDown() override {
        test_support::unset_env("XOLT_LIBRARY");
        if (!dir.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(dir, ignored);
        }
    }
    std::filesystem::path dir;
};

std::string transport_failure() {
    char text[512] = "unchanged";
    const int32_t length = velmo_transport_failure(text, sizeof text);
    EXPECT_EQ(static_cast<std::size_t>(length), std::string(text).size());
    return text;
}

// A text file where the transport should be: rf_init keeps its own lines and
// adds the one that says why, and velmo_transport_failure gives the same words
// until a load succeeds.
TEST_F(LoadThroughInit, ATextFileIsExplainedAfterTheLibrarysOwnLine) {
#if defined(_WIN32)
    const std::string name = "xolt.dll";
    const std::string why = "xolt.dll is not a DLL: it is not a Windows PE file";
#else
    const std::string name = "libxolt.so";
    const std::string why = "libxolt.so is not a shared object: it is not an ELF file";
#endif
    dir = std::filesystem::u8path(::testing::TempDir()) / "velmo-explain-text";
    std::filesystem::create_directories(dir);
    const std::string file = (dir / name).u8string();
    std::ofstream(std::filesystem::u8path(file)) << "not a module\n";
    test_support::set_env("XOLT_LIBRARY", file);
    StdoutCapture out;
    EXPECT_EQ(rf_init(4), -1);
    EXPECT_EQ(out.take(), "ERROR: unable to load " + file + "\nERROR: " + why + "\nrf_init -1 fails\n");
    EXPECT_EQ(transport_failure(), why);
    char small[9];
    EXPECT_EQ(velmo_transport_failure(small, sizeof small), static_cast<int32_t>(why.size()));
    EXPECT_EQ(std::string(small), why.substr(0, 8));

    recording::use_transport();
    recording::open_state().reset();
    ASSERT_EQ(rf_init(4), 0);
    EXPECT_EQ(transport_failure(), "");
    EXPECT_EQ(rf_deinit(), 0);
}

#if !defined(_WIN32)
// A copy of a real transport marked 32-bit: the dynamic linker refuses it,
// and the line says why in the file's own terms.
TEST_F(LoadThroughInit, ASharedObjectOfTheOtherClassIsNamedSo) {
    dir = std::filesystem::u8path(::testing::TempDir()) / "velmo-explain-class";
    std::filesystem::create_directories(dir);
    const std::filesystem::path copy = dir / "libxolt.so";
    std::filesystem::copy_file(RECORDING_XOLT_PATH, copy, std::filesystem::copy_options::overwrite_existing);
    {
        std::fstream f(copy, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(4);
        f.put(static_cast<char>(1));  // ELFCLASS32
    }
    test_support::set_env("XOLT_LIBRARY", copy.string());
    StdoutCapture out;
    EXPECT_EQ(rf_init(4), -1);
    EXPECT_EQ(out.take(), "ERROR: unable to load " + copy.string() +
                              "\nERROR: libxolt.so is a 32-bit shared object and this libvelmo.so is 64-bit\n"
                              "rf_init -1 fails\n");
}
#endif

}  // namespace
