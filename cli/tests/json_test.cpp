// The record envelope.
#include "common/json.h"
#include "output.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>

namespace {

// The writer's own cases (escaping, numbers, order) are the common room's
// tests of dump_record; here, the record envelope deve-cli puts around them.
using deve::ordered_json;

std::string written(std::FILE *file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
        text += static_cast<char>(c);
    }
    return text;
}

TEST(CliRecords, EnvelopeBeforeTheFieldsAndUnitsLast) {
    std::FILE *file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    const auto clock = [] { return std::chrono::system_clock::time_point(std::chrono::milliseconds(86401250)); };
    deve::cli::Output out(file, true, clock);
    out.set_run_id("1b4e28ba-2fa1-41d2-883f-0016d3cca427");
    out.record("tx_sample", {{"frames", 5}}, {{"frames", "frame"}});
    out.text("not in JSON");
    out.record("end", ordered_json::object());
    EXPECT_EQ(written(file),
              "{\"schema\":5,\"seq\":1,\"time\":\"1970-01-02T00:00:01.250Z\","
              "\"run_id\":\"1b4e28ba-2fa1-41d2-883f-0016d3cca427\",\"type\":\"tx_sample\",\"frames\":5,"
              "\"units\":{\"frames\":\"frame\"}}\n"
              "{\"schema\":5,\"seq\":2,\"time\":\"1970-01-02T00:00:01.250Z\","
              "\"run_id\":\"1b4e28ba-2fa1-41d2-883f-0016d3cca427\",\"type\":\"end\",\"units\":{}}\n");
    // Run ids are random version-4 UUIDs.
    const std::string a = deve::random_uuid();
    EXPECT_NE(a, deve::random_uuid());
    ASSERT_EQ(a.size(), 36u);
    EXPECT_EQ(a[14], '4');
    EXPECT_NE(std::string("89ab").find(a[19]), std::string::npos) << a;
    std::fclose(file);
}

TEST(CliRecords, TextModeWritesOnlyText) {
    std::FILE *file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    deve::cli::Output out(file, false);
    out.record("tx", {{"frames", 5}});
    out.text("tx: 5 frames");
    EXPECT_EQ(written(file), "tx: 5 frames\n");
    EXPECT_FALSE(out.broken());
    std::fclose(file);
}

}  // namespace
