// The library-presence check against the built library and a missing file.
#include "deve/library_presence.h"
#include "test_support/system.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

namespace {

// The check's printed lines, read back from a temporary file.
class Output {
public:
    Output() : file_(std::tmpfile()) {}
    ~Output() { std::fclose(file_); }
    Output(const Output &) = delete;
    Output &operator=(const Output &) = delete;
    std::FILE *get() { return file_; }
    std::string text() {
        std::rewind(file_);
        std::string out;
        for (int c = std::fgetc(file_); c != EOF; c = std::fgetc(file_)) {
            out.push_back(static_cast<char>(c));
        }
        return out;
    }

private:
    std::FILE *file_;
};

TEST(LibraryPresence, NamesAreTheFortyFourExportsOnce) {
    const std::set<std::string> unique(deve::kLibraryExports.begin(), deve::kLibraryExports.end());
    EXPECT_EQ(unique.size(), 44u);
    EXPECT_STREQ(deve::kLibraryExports.front(), "rf_init");
    EXPECT_STREQ(deve::kLibraryExports.back(), "rf_dcdc_onoff");
}

TEST(LibraryPresence, BuiltLibraryHasEveryExport) {
    Output out;
    const deve::LibraryPresence check(VELMO_LIBRARY_PATH, out.get());
    EXPECT_TRUE(check.loaded());
    EXPECT_TRUE(check.missing().empty()) << check.problem();
    EXPECT_TRUE(check.complete());
    EXPECT_EQ(check.problem(), "");
    EXPECT_NE(check.address(0), nullptr);
    EXPECT_EQ(out.text(), "");
}

TEST(LibraryPresence, ProgramsOwnFileNameLoads) {
    // The name the program passes: found through the program's search path
    // (here the test's RUNPATH), or already loaded.
    Output out;
    const deve::LibraryPresence check(deve::velmo_library_file(), out.get());
    EXPECT_TRUE(check.loaded()) << check.load_error();
}

TEST(LibraryPresence, MissingFileIsReportedByName) {
    Output out;
    const deve::LibraryPresence check("libvelmo-missing.so.9", out.get());
    EXPECT_FALSE(check.loaded());
    EXPECT_FALSE(check.complete());
    EXPECT_EQ(check.missing().size(), 44u);
    EXPECT_EQ(out.text(), "ERROR: unable to load libvelmo-missing.so.9\n");
    EXPECT_EQ(check.problem().rfind("The RF function library libvelmo-missing.so.9 could not be loaded", 0), 0u);
}

TEST(LibraryPresence, LibraryWithoutTheExportsReportsEachMissingName) {
    // Any loadable library that is not libvelmo: one of the system's own.
    Output out;
    const deve::LibraryPresence check(test_support::system_library(), out.get());
    ASSERT_TRUE(check.loaded());
    EXPECT_EQ(check.missing().size(), 44u);
    EXPECT_EQ(out.text(), "load dll and api fails!!\n");
    EXPECT_NE(check.problem().find("lacks 44 exports: rf_init, rf_deinit,"), std::string::npos);
}

}  // namespace
