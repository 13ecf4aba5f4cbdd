// The ODBC layer, the store's URL and its schema, against a real SQLite file
// and a real PostgreSQL server: the same tests on both.
#include "odbc.h"
#include "schema.h"
#include "test_databases.h"
#include "url.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

namespace {

using namespace deve::store;
using storetest::Kind;
using storetest::TestDatabase;

TEST(StoreUrl, FormsAndRefusals) {
    const UrlResult sqlite = parse_store_url("sqlite:/var/lib/station/results.db");
    ASSERT_TRUE(sqlite.url) << sqlite.error;
    EXPECT_EQ(sqlite.url->path, "/var/lib/station/results.db");
    EXPECT_NE(sqlite.url->connection_strings("", false).front().find("NoCreat=1"), std::string::npos);

    const UrlResult pg = parse_store_url("postgresql://line@db.example:6543/results");
    ASSERT_TRUE(pg.url) << pg.error;
    EXPECT_EQ(pg.url->host, "db.example");
    EXPECT_EQ(pg.url->port, 6543);
    EXPECT_EQ(pg.url->user, "line");
    EXPECT_EQ(pg.url->database, "results");
    // The password goes in the connection string and never in the name.
    const std::string with_password = pg.url->connection_strings("p;w}d", false).front();
    EXPECT_NE(with_password.find("Pwd={p;w}}d}"), std::string::npos) << with_password;
    EXPECT_EQ(pg.url->name.find("p;w"), std::string::npos);

    const UrlResult v6 = parse_store_url("postgresql://[::1]/results");
    ASSERT_TRUE(v6.url) << v6.error;
    EXPECT_EQ(v6.url->host, "::1");
    EXPECT_EQ(v6.url->port, 5432);

    const UrlResult raw = parse_store_url("odbc:DSN=line;UID=qa;PWD=secret");
    ASSERT_TRUE(raw.url) << raw.error;
    EXPECT_EQ(raw.url->connection_strings("", false).front(), "DSN=line;UID=qa;PWD=secret");
    EXPECT_EQ(raw.url->name.find("secret"), std::string::npos) << raw.url->name;

    for (const char *bad : {"", "sqlite:", "mysql://x/y", "postgresql://host", "postgresql://host:0/db",
                            "postgresql://host:99999/db", "postgresql://host:/db", "postgresql://@host/db",
                            "postgresql://u:pw@host/db", "postgresql:///db", "postgresql://host/a/b",
                            "postgresql://[::1/db", "odbc:nothing", "results.db"}) {
        const UrlResult r = parse_store_url(bad);
        EXPECT_FALSE(r.url) << bad;
        EXPECT_NE(r.error.find("sqlite:PATH"), std::string::npos) << r.error;
    }
}

class StoreDatabase : public ::testing::TestWithParam<Kind> {
protected:
    void SetUp() override {
        if (GetParam() == Kind::Postgresql && !storetest::postgres_admin_url()) {
            GTEST_SKIP() << "no PostgreSQL server for the tests (run them through ctest)";
        }
        database_ = std::make_unique<TestDatabase>(GetParam());
    }
    std::unique_ptr<odbc::Connection> connect(const std::string &password = "", bool create = true) {
        const UrlResult parsed = parse_store_url(database_->url());
        return std::make_unique<odbc::Connection>(env_, parsed.url->connection_strings(password, create).front(),
                                                  parsed.url->name);
    }
    odbc::Environment env_;
    std::unique_ptr<TestDatabase> database_;
};

TEST_P(StoreDatabase, SchemaIsCreatedOnceAndRefusesNewerOrForeignDatabases) {
    auto db = connect();
    EXPECT_EQ(check_schema(*db).state, SchemaState::Empty);
    std::vector<int> every;
    for (const Migration &m : migrations()) {
        every.push_back(m.version);
    }
    EXPECT_EQ(init_schema(*db, "test", "2024-05-01T12:00:00.000Z"), every);
    EXPECT_EQ(check_schema(*db).state, SchemaState::Current);
    EXPECT_TRUE(init_schema(*db, "test", "2024-05-01T12:00:00.000Z").empty());
    probe_writable(*db);

    db->execute("INSERT INTO deve_schema (version, name, applied_at, tool_version) VALUES (?, ?, ?, ?)",
                {std::int64_t{99}, std::string("later"), std::string("2030-01-01T00:00:00.000Z"), std::string("9")});
    const SchemaCheck newer = check_schema(*db);
    EXPECT_EQ(newer.state, SchemaState::Newer);
    EXPECT_NE(newer.message.find("version 99, newer than this deve-cli knows"), std::string::npos) << newer.message;
    EXPECT_THROW(init_schema(*db, "test", "2024-05-01T12:00:00.000Z"), std::runtime_error);

    // A database of someone else's.
    TestDatabase other(GetParam());
    const UrlResult parsed = parse_store_url(other.url());
    odbc::Connection foreign(env_, parsed.url->connection_strings("", true).front(), parsed.url->name);
    foreign.execute("CREATE TABLE orders (id INTEGER PRIMARY KEY)");
    const SchemaCheck check = check_schema(foreign);
    EXPECT_EQ(check.state, SchemaState::Foreign);
    EXPECT_NE(check.message.find("not deve-cli's"), std::string::npos) << check.message;
    EXPECT_THROW(init_schema(foreign, "test", "2024-05-01T12:00:00.000Z"), std::runtime_error);
}

// A store of version 2 with a run in it: migration 3 adds how tx and rx
// steps ended, the old rows keep NULL there, and new rows fill it.
TEST_P(StoreDatabase, AVersion2StoreUpgradesAndKeepsItsSteps) {
    auto db = connect();
    for (const Migration &m : migrations()) {
        if (m.version > 2) {
            continue;
        }
        for (const char *statement : m.statements) {
            db->execute(statement);
        }
        db->execute("INSERT INTO deve_schema (version, name, applied_at, tool_version) VALUES (?, ?, ?, ?)",
                    {std::int64_t{m.version}, std::string(m.name), std::string("2024-05-01T12:00:00.000Z"),
                     std::string("old")});
    }
    const std::string insert = "INSERT INTO steps (run_id, seq, command, started_at, ended_at, outcome";
    db->execute(insert + ") VALUES ('r1', 1, 'rx', 't', 't', 'pass')");
    EXPECT_EQ(check_schema(*db).state, SchemaState::Older);
    EXPECT_EQ(init_schema(*db, "test", "2024-05-02T12:00:00.000Z"), (std::vector<int>{3, 4, 5}));
    EXPECT_EQ(check_schema(*db).state, SchemaState::Current);
    db->execute(insert + ", ending, frames_used) VALUES ('r2', 1, 'rx', 't', 't', 'pass', ?, ?)",
                {std::string("decided pass"), std::int64_t{283}});
    const auto rows = db->query("SELECT run_id, ending, frames_used FROM steps ORDER BY run_id", {},
                                {odbc::Type::Text, odbc::Type::Text, odbc::Type::Integer});
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_FALSE(rows[0][1]);
    EXPECT_FALSE(rows[0][2]);
    EXPECT_EQ(rows[1][1].text(), "decided pass");
    EXPECT_EQ(rows[1][2].integer(), 283);
}

TEST_P(StoreDatabase, ValuesGoInBoundAndComeBackAsTheyWere) {
    auto db = connect();
    db->execute("CREATE TABLE t (k INTEGER PRIMARY KEY, s TEXT, n BIGINT, x DOUBLE PRECISION)");
    // Quotes, a semicolon, non-ASCII letters and a character outside the
    // BMP: text that would break SQL spliced into a statement.
    const std::string text = "Prüf'platz\"; DROP TABLE t; -- 測試 \xF0\x9F\x98\x80";
    db->execute("INSERT INTO t (k, s, n, x) VALUES (?, ?, ?, ?)",
                {std::int64_t{1}, text, std::int64_t{-9007199254740993LL}, 5347.0231693342148});
    db->execute("INSERT INTO t (k, s, n, x) VALUES (?, ?, ?, ?)",
                {std::int64_t{2}, odbc::Value{}, odbc::Value{}, odbc::Value{}});
    using odbc::Type;
    const std::vector<odbc::Row> rows =
        db->query("SELECT s, n, x FROM t ORDER BY k", {}, {Type::Text, Type::Integer, Type::Real});
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0].text(), text);
    // Numbers come back as numbers, from the driver's own conversion.
    EXPECT_EQ(rows[0][1].integer(), -9007199254740993LL);
    ASSERT_TRUE(rows[0][2]);
    // SQLite's ODBC driver hands real numbers over through SQLite's text of
    // them: 15 significant digits. The value stored is the whole double.
    EXPECT_NEAR(*rows[0][2].real(), 5347.0231693342148, 5347.0 * 1e-14);
    EXPECT_FALSE(rows[1][0]);
    EXPECT_FALSE(rows[1][1].integer());
    EXPECT_FALSE(rows[1][2].real());
    EXPECT_EQ(db->scalar("SELECT COUNT(*) FROM t WHERE s = ?", {text}, Type::Integer).integer(), 1);
    // A column read as one type is not another's.
    EXPECT_THROW(rows[0][1].text(), std::logic_error);
    EXPECT_THROW(rows[0][0].integer(), std::logic_error);

    // A transaction that is not committed leaves nothing.
    {
        odbc::Transaction transaction(*db);
        db->execute("INSERT INTO t (k) VALUES (?)", {std::int64_t{3}});
    }
    EXPECT_EQ(db->scalar("SELECT COUNT(*) FROM t", {}, Type::Integer).integer(), 2);
    // A broken key is a Conflict, named in plain words.
    try {
        db->execute("INSERT INTO t (k) VALUES (?)", {std::int64_t{1}});
        ADD_FAILURE() << "a duplicate key was taken";
    } catch (const odbc::Error &e) {
        EXPECT_EQ(e.failure(), odbc::Failure::Conflict) << e.what();
        EXPECT_NE(std::string(e.what()).find(database_->url().substr(0, 6)), std::string::npos) << e.what();
    }
}

TEST_P(StoreDatabase, TimesComeBackAsMillisecondsAndTextThatIsNotUtf8IsRefused) {
    using odbc::Type;
    auto db = connect();
    EXPECT_EQ(db->dialect(), GetParam() == Kind::Sqlite ? Dialect::Sqlite : Dialect::Postgresql) << db->product();
    db->execute("CREATE TABLE t (k INTEGER PRIMARY KEY, at TEXT)");
    db->execute("INSERT INTO t (k, at) VALUES (1, ?), (2, ?), (3, NULL)",
                {std::string("2024-05-01T12:00:00.123Z"), std::string("not a time")});
    const std::vector<odbc::Row> rows = db->query("SELECT at FROM t ORDER BY k", {}, {Type::Time});
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][0].time(), 1714564800123LL);
    EXPECT_FALSE(rows[1][0].time());
    EXPECT_FALSE(rows[2][0].time());

    // A value that is not UTF-8 is refused before it is sent, naming the
    // parameter, and nothing is written.
    try {
        db->execute("INSERT INTO t (k, at) VALUES (?, ?)", {std::int64_t{4}, std::string("x\xC3" "A")});
        ADD_FAILURE() << "text that is not UTF-8 was written";
    } catch (const odbc::Error &e) {
        EXPECT_NE(std::string(e.what()).find("parameter 2 is not UTF-8 text (byte 2"), std::string::npos) << e.what();
    }
    EXPECT_EQ(db->scalar("SELECT COUNT(*) FROM t", {}, Type::Integer).integer(), 3);
}

// Two stations read a row and write it back, each in its own transaction:
// SQLite's holds the write lock from its start (PostgreSQL's locks the row
// as it reads it), so the other waits instead of failing or losing an
// update.
TEST_P(StoreDatabase, WriteTransactionsOfTwoConnectionsDoNotInterleave) {
    using odbc::Type;
    auto first = connect();
    auto second = connect();
    first->execute("CREATE TABLE counter (k INTEGER PRIMARY KEY, n INTEGER)");
    first->execute("INSERT INTO counter (k, n) VALUES (1, 0)");
    // No retries: a transaction that began without the lock would fail
    // when it first writes (SQLite: "database is locked").
    const auto add_one = [](odbc::Connection &db) {
        odbc::Transaction transaction(db);
        const std::int64_t n =
            *db.scalar(std::string("SELECT n FROM counter WHERE k = 1") +
                           (db.dialect() == Dialect::Postgresql ? " FOR UPDATE" : ""),
                       {}, Type::Integer)
                 .integer();
        db.execute("UPDATE counter SET n = ? WHERE k = 1", {n + 1});
        transaction.commit();
    };
    std::string failure;
    std::thread other([&] {
        try {
            for (int i = 0; i < 50; ++i) {
                add_one(*second);
            }
        } catch (const odbc::Error &e) {
            failure = e.what();
        }
    });
    for (int i = 0; i < 50; ++i) {
        add_one(*first);
    }
    other.join();
    EXPECT_EQ(failure, "");
    EXPECT_EQ(first->scalar("SELECT n FROM counter WHERE k = 1", {}, Type::Integer).integer(), 100);
}

INSTANTIATE_TEST_SUITE_P(Backends, StoreDatabase, ::testing::Values(Kind::Sqlite, Kind::Postgresql),
                         [](const auto &param_info) { return std::string(storetest::kind_name(param_info.param)); });

TEST(StoreErrors, PlainWordsForAWrongPasswordAndAMissingServer) {
    const std::optional<std::string> admin = storetest::postgres_admin_url();
    if (!admin) {
        GTEST_SKIP() << "no PostgreSQL server for the tests (run them through ctest)";
    }
    odbc::Environment env;
    const UrlResult wrong = parse_store_url("postgresql://station@127.0.0.1:" + storetest::postgres_port() + "/postgres");
    ASSERT_TRUE(wrong.url) << wrong.error;
    try {
        odbc::Connection db(env, wrong.url->connection_strings("not-the-password", false).front(), wrong.url->name);
        ADD_FAILURE() << "a wrong password was taken";
    } catch (const odbc::Error &e) {
        EXPECT_EQ(e.failure(), odbc::Failure::Refused) << e.what();
        EXPECT_NE(std::string(e.what()).find("refused the user name or the password"), std::string::npos) << e.what();
    }
    odbc::Connection right(env, wrong.url->connection_strings("station-secret", false).front(), wrong.url->name);
    EXPECT_EQ(right.scalar("SELECT 1", {}, odbc::Type::Integer).integer(), 1);

    // The server answers, but has no such database: not a server that is
    // away (a run would wait in the spool for ever).
    const std::string port = storetest::postgres_port();
    const UrlResult missing = parse_store_url("postgresql://line@127.0.0.1:" + port + "/no_such_database");
    try {
        odbc::Connection db(env, missing.url->connection_strings("", false).front(), missing.url->name);
        ADD_FAILURE() << "a database that does not exist was reached";
    } catch (const odbc::Error &e) {
        EXPECT_EQ(e.failure(), odbc::Failure::NotFound) << e.what();
    }

    // Nothing listens on port 1.
    const UrlResult away = parse_store_url("postgresql://line@127.0.0.1:1/postgres");
    try {
        odbc::Connection db(env, away.url->connection_strings("", false).front(), away.url->name);
        ADD_FAILURE() << "a server was reached on port 1";
    } catch (const odbc::Error &e) {
        EXPECT_EQ(e.failure(), odbc::Failure::Unreachable) << e.what();
        EXPECT_NE(std::string(e.what()).find("store postgresql://line@127.0.0.1:1/postgres: connecting failed"),
                  std::string::npos)
            << e.what();
    }
}

}  // namespace
