// The records' JSON text: nlohmann's ordered_json written by dump_record,
// which keeps the text records have always had: members in order, numbers in
// their shortest form, the same escaping and U+FFFD for each byte of invalid
// UTF-8.
#include "common/json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>

namespace {

using deve::dump_record;
using deve::ordered_json;

std::string string_text(const std::string &text) { return dump_record(ordered_json(text)); }

TEST(RecordJson, StringsAreEscaped) {
    EXPECT_EQ(string_text("plain"), "\"plain\"");
    EXPECT_EQ(string_text("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(string_text("\n\r\t\b\f"), "\"\\n\\r\\t\\b\\f\"");
    EXPECT_EQ(string_text(std::string("\x01\x1f\x7f", 3)), "\"\\u0001\\u001f\\u007f\"");
    EXPECT_EQ(string_text(std::string("a\0b", 3)), "\"a\\u0000b\"");
    EXPECT_EQ(string_text("25 \xC2\xB0" "C \xE2\x82\xAC \xF0\x9F\x93\xA1"), "\"25 \xC2\xB0" "C \xE2\x82\xAC \xF0\x9F\x93\xA1\"");
    // Keys are strings like any other.
    EXPECT_EQ(dump_record(ordered_json{{"a\x7f\"", 1}}), "{\"a\\u007f\\\"\":1}");
}

TEST(RecordJson, InvalidUtf8BecomesOneReplacementCharacterPerByte) {
    const std::string replacement = "\xEF\xBF\xBD";
    EXPECT_EQ(string_text("\xFF"), "\"" + replacement + "\"");
    EXPECT_EQ(string_text("\xC0\x80"), "\"" + replacement + replacement + "\"");          // overlong
    EXPECT_EQ(string_text("\xED\xA0\x80"), "\"" + replacement + replacement + replacement + "\"");  // surrogate
    EXPECT_EQ(string_text("ab\xE2\x82"), "\"ab" + replacement + replacement + "\"");      // cut short
    EXPECT_EQ(string_text("\xE2\x82" "A"), "\"" + replacement + replacement + "A\"");     // cut short before ASCII
    EXPECT_EQ(string_text("\xF4\x90\x80\x80").find("\xF4"), std::string::npos);           // above U+10FFFF
}

TEST(RecordJson, NumbersReadBackExactlyAndNonFiniteIsNull) {
    EXPECT_EQ(dump_record(12.5), "12.5");
    EXPECT_EQ(dump_record(0.1), "0.1");
    EXPECT_EQ(dump_record(1.0 / 3.0), "0.3333333333333333");
    EXPECT_EQ(dump_record(-3.0), "-3");
    EXPECT_EQ(dump_record(1.0), "1");  // nlohmann alone writes 1.0
    EXPECT_EQ(dump_record(1e6), "1e+06");
    EXPECT_EQ(dump_record(1e-7), "1e-07");
    EXPECT_EQ(dump_record(123456.0), "123456");
    EXPECT_EQ(dump_record(std::nan("")), "null");
    EXPECT_EQ(dump_record(std::numeric_limits<double>::infinity()), "null");
    EXPECT_EQ(deve::json_number(-std::numeric_limits<double>::infinity()), "null");
    EXPECT_EQ(dump_record(ordered_json::array({4294967295u, -2, std::numeric_limits<std::uint64_t>::max()})),
              "[4294967295,-2,18446744073709551615]");
}

TEST(RecordJson, ObjectsKeepTheirOrderAndNest) {
    ordered_json o = {{"s", "x"}, {"n", 4294967295u}, {"neg", -2}, {"b", false}, {"z", nullptr}};
    o["a"] = ordered_json::array({1, "two", {{"k", true}}, nullptr});
    o["o"] = ordered_json::object();
    o["none"] = std::optional<int>();
    o["some"] = std::optional<double>(2.5);
    EXPECT_EQ(dump_record(o), "{\"s\":\"x\",\"n\":4294967295,\"neg\":-2,\"b\":false,\"z\":null,"
                              "\"a\":[1,\"two\",{\"k\":true},null],\"o\":{},\"none\":null,\"some\":2.5}");
    const ordered_json head = deve::merged(deve::merged({{"first", 1}}, ordered_json::object()), {{"second", 2}});
    EXPECT_EQ(dump_record(head), "{\"first\":1,\"second\":2}");
}

// The escaping records had before they were written with nlohmann, kept
// here as the reference: control characters, quotes, backslashes and DEL
// escaped, and each byte of invalid UTF-8 one U+FFFD.
std::string reference_quote(const std::string &text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            const char *shorts = "\"\\\b\f\n\r\t";
            const char *forms[] = {"\\\"", "\\\\", "\\b", "\\f", "\\n", "\\r", "\\t"};
            const char *found = c != 0 ? std::strchr(shorts, c) : nullptr;
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += found ? forms[found - shorts] : c < 0x20 || c == 0x7F ? escaped : std::string(1, char(c));
            ++i;
            continue;
        }
        // The sequence's length by its lead byte, and the second byte's range.
        std::size_t length = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
        const unsigned low = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
        const unsigned high = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
        bool valid = length != 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto b = static_cast<unsigned char>(text[i + k]);
            valid = k == 1 ? b >= low && b <= high : b >= 0x80 && b <= 0xBF;
        }
        out += valid ? text.substr(i, length) : "\xEF\xBF\xBD";
        i += valid ? length : 1;
    }
    return out + "\"";
}

TEST(RecordJson, AnyBytesAreWrittenAsTheRecordsAlwaysHadThem) {
    std::mt19937_64 random(29);
    // Bytes weighted toward the interesting ones: control characters, DEL,
    // quotes, lead and continuation bytes.
    const std::string interesting = std::string("\x00\x01\x08\x09\x0a\x0c\x0d\x1f\x20\x22\x5c\x7e\x7f", 13) +
                                    "\x80\x8f\x90\x9f\xa0\xbf\xc0\xc1\xc2\xdf\xe0\xed\xef\xf0\xf4\xf5\xff";
    for (int i = 0; i < 20000; ++i) {
        std::string text(random() % 12, '\0');
        for (char &c : text) {
            c = random() % 2 ? interesting[random() % interesting.size()] : static_cast<char>(random() % 256);
        }
        ASSERT_EQ(string_text(text), reference_quote(text)) << testing::PrintToString(text);
        // And it is JSON that reads back.
        ASSERT_FALSE(ordered_json::parse(string_text(text), nullptr, false).is_discarded());
    }
}

}  // namespace
