// Fresh databases for the store's tests, one per test: an SQLite file in a
// folder of its own, or a new database on the tests' private PostgreSQL
// server (line/tests/postgres.sh; its state file is the build's, or
// the one DEVE_TEST_POSTGRES names).
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace storetest {

enum class Kind { Sqlite, Postgresql };

const char *kind_name(Kind kind);

// The admin URL of the tests' PostgreSQL server; nothing when none runs.
std::optional<std::string> postgres_admin_url();
// Its port, for URLs of other users.
std::string postgres_port();
// Stops the server (pause) or starts it again (resume) on its port.
bool postgres_control(const std::string &action);

// A program found on PATH, by its full path (for programs run with execv);
// the name itself when not found.
std::string on_path(const std::string &name);

class TestDatabase {
public:
    explicit TestDatabase(Kind kind);
    ~TestDatabase();
    TestDatabase(const TestDatabase &) = delete;
    TestDatabase &operator=(const TestDatabase &) = delete;

    Kind kind() const { return kind_; }
    // The --store URL.
    const std::string &url() const { return url_; }
    // A folder of the test's own (the SQLite file is in it).
    const std::filesystem::path &dir() const { return dir_; }
    // sqlite: the database file; empty for PostgreSQL.
    std::string sqlite_file() const;

private:
    Kind kind_;
    std::string url_;
    std::string database_;
    std::filesystem::path dir_;
};

}  // namespace storetest
