// The JSON writer and the record envelope.
#include "common/json.h"
#include "output.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>

namespace {

using deve::json::Array;
using deve::json::Object;
using deve::json::quote;

TEST(CliJson, StringsAreEscaped) {
    EXPECT_EQ(quote("plain"), "\"plain\"");
    EXPECT_EQ(quote("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(quote("\n\r\t\b\f"), "\"\\n\\r\\t\\b\\f\"");
    EXPECT_EQ(quote(std::string("\x01\x1f\x7f", 3)), "\"\\u0001\\u001f\\u007f\"");
    EXPECT_EQ(quote(std::string("a\0b", 3)), "\"a\\u0000b\"");
    EXPECT_EQ(quote("25 \xC2\xB0" "C \xE2\x82\xAC \xF0\x9F\x93\xA1"), "\"25 \xC2\xB0" "C \xE2\x82\xAC \xF0\x9F\x93\xA1\"");
}

TEST(CliJson, InvalidUtf8BecomesTheReplacementCharacter) {
    const std::string replacement = "\xEF\xBF\xBD";
    EXPECT_EQ(quote("\xFF"), "\"" + replacement + "\"");
    EXPECT_EQ(quote("\xC0\x80"), "\"" + replacement + replacement + "\"");          // overlong
    EXPECT_EQ(quote("\xED\xA0\x80"), "\"" + replacement + replacement + replacement + "\"");  // surrogate
    EXPECT_EQ(quote("ab\xE2\x82"), "\"ab" + replacement + replacement + "\"");      // cut short
    EXPECT_EQ(quote("\xF4\x90\x80\x80").find("\xF4"), std::string::npos);           // above U+10FFFF
}

TEST(CliJson, NumbersReadBackExactlyAndNonFiniteIsNull) {
    EXPECT_EQ(deve::json::number(12.5), "12.5");
    EXPECT_EQ(deve::json::number(0.1), "0.1");
    EXPECT_EQ(deve::json::number(1.0 / 3.0), "0.3333333333333333");
    EXPECT_EQ(deve::json::number(-3), "-3");
    EXPECT_EQ(deve::json::number(std::nan("")), "null");
    EXPECT_EQ(deve::json::number(std::numeric_limits<double>::infinity()), "null");
}

TEST(CliJson, ObjectsKeepTheirOrderAndNest) {
    Object o;
    o.add("s", "x").add("n", 4294967295u).add("neg", -2).add("b", false).add_null("z");
    o.add("a", Array().push(1).push("two").push(Object().add("k", true)).push_null());
    o.add("o", Object());
    EXPECT_EQ(o.str(), "{\"s\":\"x\",\"n\":4294967295,\"neg\":-2,\"b\":false,\"z\":null,"
                       "\"a\":[1,\"two\",{\"k\":true},null],\"o\":{}}");
    Object head;
    head.add("first", 1);
    head.merge(Object()).merge(Object().add("second", 2));
    EXPECT_EQ(head.str(), "{\"first\":1,\"second\":2}");
}

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
    out.record("tx_sample", Object().add("frames", 5), Object().add("frames", "frame"));
    out.text("not in JSON");
    out.record("end", Object());
    EXPECT_EQ(written(file),
              "{\"schema\":4,\"seq\":1,\"time\":\"1970-01-02T00:00:01.250Z\","
              "\"run_id\":\"1b4e28ba-2fa1-41d2-883f-0016d3cca427\",\"type\":\"tx_sample\",\"frames\":5,"
              "\"units\":{\"frames\":\"frame\"}}\n"
              "{\"schema\":4,\"seq\":2,\"time\":\"1970-01-02T00:00:01.250Z\","
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
    out.record("tx", Object().add("frames", 5));
    out.text("tx: 5 frames");
    EXPECT_EQ(written(file), "tx: 5 frames\n");
    EXPECT_FALSE(out.broken());
    std::fclose(file);
}

}  // namespace
