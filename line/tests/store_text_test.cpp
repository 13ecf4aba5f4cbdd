// The store's text at the ODBC boundary, without a database: UTF-8 that is
// not is refused and never guessed at; valid text of every length goes to
// UTF-16 and back unchanged. And the dialect a server's name gives, with
// the MAC pool's refusal of a server that is neither SQLite nor PostgreSQL.
#include "odbc.h"
#include "pool_store.h"

#include <gtest/gtest.h>

namespace {

using namespace deve::store;

TEST(StoreText, BytesThatAreNotUtf8AreRefusedWhereTheyStart) {
    struct Case {
        const char *what;
        std::string text;
        std::size_t offset;
    };
    const Case cases[] = {
        {"a lead byte whose continuation is missing", std::string("x\xC3") + "A", 1},
        {"a sequence cut short at the end", "ab\xE2\x82", 2},
        {"a lone continuation byte", "\x80", 0},
        {"a continuation byte after a whole character", "A\xC3\xA9\xBF", 3},
        {"an overlong NUL", "\xC0\x80", 0},
        {"an overlong 2-byte form", "\xC1\xBF", 0},
        {"an overlong 3-byte form", "\xE0\x80\xAF", 0},
        {"an overlong 4-byte form", "\xF0\x80\x80\xAF", 0},
        {"a high surrogate in UTF-8", "ok\xED\xA0\x80", 2},
        {"a low surrogate in UTF-8", "\xED\xBF\xBF", 0},
        {"lead byte F5", "\xF5\x80\x80\x80", 0},
        {"lead byte F7", "\xF7\xBF\xBF\xBF", 0},
        {"lead byte F8", "\xF8\x88\x80\x80\x80", 0},
        {"lead byte FC", "\xFC\x84\x80\x80\x80\x80", 0},
        {"lead byte FE", "\xFE", 0},
        {"lead byte FF", "z\xFF", 1},
        {"a 4-byte sequence above U+10FFFF", "\xF4\x90\x80\x80", 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(odbc::invalid_utf8_at(c.text), c.offset) << c.what;
        try {
            const std::u16string converted = odbc::utf16(c.text);
            ADD_FAILURE() << c.what << " became " << converted.size() << " UTF-16 units";
        } catch (const odbc::NotUtf8 &e) {
            EXPECT_EQ(e.offset(), c.offset) << c.what;
        }
        const std::optional<std::string> words = odbc::not_utf8_words(c.text);
        ASSERT_TRUE(words) << c.what;
        EXPECT_NE(words->find("byte " + std::to_string(c.offset + 1)), std::string::npos) << *words;
    }
}

TEST(StoreText, TextOfEveryLengthGoesToUtf16AndBackUnchanged) {
    struct Case {
        std::string utf8;
        std::u16string utf16;
    };
    const Case cases[] = {
        {"", u""},
        {"A", u"A"},
        {"\x7F", u"\x007F"},
        {"\xC2\x80", u"\x0080"},
        {"\xC3\xA9", u"\x00E9"},
        {"\xDF\xBF", u"\x07FF"},
        {"\xE0\xA0\x80", u"\x0800"},
        {"\xE2\x82\xAC", u"\x20AC"},
        {"\xED\x9F\xBF", u"\xD7FF"},
        {"\xEE\x80\x80", u"\xE000"},
        {"\xEF\xBF\xBD", u"\xFFFD"},
        {"\xEF\xBF\xBF", u"\xFFFF"},
        {"\xF0\x90\x80\x80", u"\xD800\xDC00"},
        {"\xF0\x9F\x98\x80", u"\xD83D\xDE00"},
        {"\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"},
        {"Pr\xC3\xBC" "f \xE6\xB8\xAC\xE8\xA9\xA6 \xF0\x9F\x98\x80;", u"Pr\x00FC" u"f \x6E2C\x8A66 \xD83D\xDE00;"},
    };
    for (const Case &c : cases) {
        EXPECT_FALSE(odbc::invalid_utf8_at(c.utf8)) << c.utf8;
        EXPECT_EQ(odbc::utf16(c.utf8), c.utf16) << c.utf8;
        EXPECT_EQ(odbc::utf8(c.utf16), c.utf8) << c.utf8;
    }
}

TEST(StoreText, ALoneSurrogateFromADriverBecomesTheReplacementCharacter) {
    const std::string replacement = "\xEF\xBF\xBD";
    EXPECT_EQ(odbc::utf8(std::u16string(u"\xD800") + u"A"), replacement + "A");
    EXPECT_EQ(odbc::utf8(std::u16string(u"A") + u"\xDC00"), "A" + replacement);
    // A low surrogate before a high one is two lone ones, not a pair.
    EXPECT_EQ(odbc::utf8(std::u16string(u"\xDC00") + u"\xD800"), replacement + replacement);
}

TEST(StoreDialect, TheServersNameGivesTheDialectAndOnlyTwoCarryThePool) {
    EXPECT_EQ(dialect_of("SQLite"), Dialect::Sqlite);
    EXPECT_EQ(dialect_of("PostgreSQL"), Dialect::Postgresql);
    for (const char *other : {"Microsoft SQL Server", "MySQL", "Oracle", ""}) {
        EXPECT_EQ(dialect_of(other), Dialect::Other) << other;
    }
    EXPECT_FALSE(deve::cli::pool_refusal("sqlite:/x.db", Dialect::Sqlite, "SQLite"));
    EXPECT_FALSE(deve::cli::pool_refusal("postgresql://h/db", Dialect::Postgresql, "PostgreSQL"));
    const std::optional<std::string> refused =
        deve::cli::pool_refusal("odbc:DSN=line", Dialect::Other, "Microsoft SQL Server");
    ASSERT_TRUE(refused);
    EXPECT_NE(refused->find("store odbc:DSN=line: the MAC pool needs SQLite or PostgreSQL"), std::string::npos)
        << *refused;
    EXPECT_NE(refused->find("Microsoft SQL Server"), std::string::npos) << *refused;
}

}  // namespace
