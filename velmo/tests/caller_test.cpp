// What the library hands its caller: its diagnostic lines through a handler
// instead of standard output, the transport file it loaded, its version.
#include "fixture.h"
#include "test_support/system.h"

#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

using recording::StdoutCapture;

namespace {

// A handler's lines, each tagged with the handler that got it.
struct Lines {
    std::vector<std::string> *out;
    const char *tag;
};

void collect(const char *line, void *context) {
    const Lines &lines = *static_cast<Lines *>(context);
    lines.out->push_back(std::string(lines.tag) + line);
}

std::string as_printed(const std::vector<std::string> &lines) {
    std::string text;
    for (const std::string &line : lines) {
        text += line + "\n";
    }
    return text;
}

class Caller : public ::testing::Test {
protected:
    void SetUp() override {
        recording::use_transport();
        state = &recording::open_state();
        state->reset();
    }
    void TearDown() override {
        velmo_set_log_handler(nullptr, nullptr);
        StdoutCapture quiet;
        recording::use_transport();
        state->reset();
        if (rf_init(4) == 0) {
            rf_deinit();
        }
    }

    // The library's printing paths, from an unloaded transport back to one:
    // a transport that does not load, an open the transport refuses, a
    // second load, the pre-distortion calibration (register values and real
    // numbers), an eFuse read that times out, the old chip-id reader's two
    // lines in one print (the second empty), the placeholder.
    void print_through_the_library() {
        state->reset();
        test_support::set_env("XOLT_LIBRARY", ::testing::TempDir() + "/no-such-xolt.so");
        EXPECT_EQ(rf_init(4), -1);
        recording::use_transport();
        state->open_result = 5;
        EXPECT_EQ(rf_init(4), 5);
        state->open_result = 0;
        ASSERT_EQ(rf_init(4), 0);
        rf_2g_5g_padpd_cali(1);
        std::uint32_t chip_id = 0;
        EXPECT_EQ(rf_efuse_read_chip_id(&chip_id), -1);
        EXPECT_EQ(rf_chip_id(nullptr), -1);
        rf_load_phy();
        EXPECT_EQ(rf_deinit(), 0);
    }

    recording::State *state = nullptr;
};

TEST_F(Caller, HandlerGetsEveryLineThatStandardOutputWouldAndStandardOutputNothing) {
    StdoutCapture printed;
    print_through_the_library();
    const std::string reference = printed.take();
    ASSERT_GT(reference.size(), 1000u) << reference;

    std::vector<std::string> got;
    Lines lines{&got, ""};
    ASSERT_EQ(velmo_set_log_handler(collect, &lines), 0);
    StdoutCapture silent;
    print_through_the_library();
    EXPECT_EQ(silent.take(), "");
    EXPECT_EQ(as_printed(got), reference);
    // One call per line, the line end not included.
    for (const std::string &line : got) {
        EXPECT_EQ(line.find('\n'), std::string::npos);
    }

    // Without a handler, standard output again, byte for byte.
    velmo_set_log_handler(nullptr, nullptr);
    StdoutCapture again;
    print_through_the_library();
    EXPECT_EQ(again.take(), reference);
}

TEST_F(Caller, HandlerMayReplaceItselfInTheMiddleOfAPrint) {
    StdoutCapture quiet;
    ASSERT_EQ(rf_init(4), 0);
    quiet.take();
    struct Once {
        std::vector<std::string> lines;
    } once;
    velmo_set_log_handler(
        [](const char *line, void *context) {
            static_cast<Once *>(context)->lines.emplace_back(line);
            velmo_set_log_handler(nullptr, nullptr);
        },
        &once);
    StdoutCapture out;
    EXPECT_EQ(rf_chip_id(nullptr), -1);  // two lines in one print
    EXPECT_EQ(once.lines, std::vector<std::string>{"this API is phase out!!!! please use rf_efuse_read_chip_id"});
    EXPECT_EQ(out.take(), "\n");  // the empty second line, on standard output
    StdoutCapture deinit;
    rf_deinit();
}

TEST_F(Caller, HandlersSwitchedFromAnotherThreadLoseSplitAndRepeatNoLine) {
    StdoutCapture quiet;
    ASSERT_EQ(rf_init(4), 0);
    quiet.take();
    constexpr int kRounds = 3000;
    std::vector<std::string> got;
    Lines first{&got, "a:"};
    Lines second{&got, "b:"};
    velmo_set_log_handler(collect, &first);
    std::atomic<bool> done{false};
    std::thread switcher([&] {
        for (bool use_first = false; !done; use_first = !use_first) {
            velmo_set_log_handler(collect, use_first ? &first : &second);
            std::this_thread::yield();
        }
    });
    for (int i = 0; i < kRounds; ++i) {
        rf_chip_id(nullptr);
        rf_load_phy();
    }
    done = true;
    switcher.join();
    velmo_set_log_handler(nullptr, nullptr);
    StdoutCapture deinit;
    rf_deinit();

    ASSERT_EQ(got.size(), 3u * kRounds);
    const std::vector<std::string> round{"this API is phase out!!!! please use rf_efuse_read_chip_id", "",
                                         "Not Implement!!!!"};
    for (std::size_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(got[i].substr(2), round[i % 3]) << "line " << i;
    }
}

TEST_F(Caller, TransportPathFollowsTheLoadedTransport) {
    char buffer[4096];
    std::memset(buffer, 'x', sizeof buffer);
    // Nothing loaded yet.
    EXPECT_EQ(velmo_transport_path(buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(velmo_transport_path(nullptr, 0), 0);
    EXPECT_EQ(velmo_transport_path(nullptr, 8), -1);
    EXPECT_EQ(velmo_transport_path(buffer, -1), -1);

    // A copy in a folder whose name has a space and non-ASCII letters: the
    // path comes back as UTF-8.
    using std::filesystem::u8path;
    const std::filesystem::path dir = u8path(::testing::TempDir()) / u8path("velmo caller d\u00e9 \u6e2c\u8a66");
    std::filesystem::create_directories(dir);
    const std::filesystem::path copy = dir / u8path("xolt \u00fc.dll");
    std::filesystem::copy_file(RECORDING_XOLT_PATH, copy, std::filesystem::copy_options::overwrite_existing);
    test_support::set_env("XOLT_LIBRARY", copy.u8string());
    StdoutCapture quiet;
    ASSERT_EQ(rf_init(4), 0);
    const std::int32_t length = velmo_transport_path(nullptr, 0);
    ASSERT_GT(length, 0);
    ASSERT_LT(length, static_cast<std::int32_t>(sizeof buffer));

    // Too small by one (no room for the NUL): an empty string, nothing else
    // touched, and the length needed.
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(velmo_transport_path(buffer, length), length);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(std::string(buffer + 1, static_cast<std::size_t>(length) - 1),
              std::string(static_cast<std::size_t>(length) - 1, 'x'));

    EXPECT_EQ(velmo_transport_path(buffer, length + 1), length);
    EXPECT_EQ(std::strlen(buffer), static_cast<std::size_t>(length));
    EXPECT_TRUE(std::filesystem::equivalent(u8path(buffer), copy)) << buffer;

    // A refused open leaves the transport loaded, and named.
    ASSERT_EQ(rf_deinit(), 0);
    EXPECT_EQ(velmo_transport_path(buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
    recording::use_transport();
    state->open_result = 5;
    EXPECT_EQ(rf_init(4), 5);
    EXPECT_GT(velmo_transport_path(buffer, sizeof buffer), 0);
    EXPECT_TRUE(std::filesystem::equivalent(u8path(buffer), RECORDING_XOLT_PATH)) << buffer;
    state->open_result = 0;
    ASSERT_EQ(rf_init(4), 0);
    ASSERT_EQ(rf_deinit(), 0);

    // A transport refused for a missing entry point is not loaded.
    test_support::set_env("XOLT_LIBRARY", RECORDING_XOLT_NOFW_PATH);
    EXPECT_EQ(rf_init(4), -1);
    EXPECT_EQ(velmo_transport_path(buffer, sizeof buffer), 0);
    quiet.take();
    test_support::remove_tree(dir);
}

TEST(CallerVersion, IsTheProjectVersion) { EXPECT_STREQ(velmo_version(), VELMO_TEST_PROJECT_VERSION); }

}  // namespace
