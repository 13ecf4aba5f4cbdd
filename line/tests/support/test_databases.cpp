#include "test_databases.h"

#include "odbc.h"
#include "url.h"
#include "test_support/system.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace storetest {

namespace {

std::atomic<int> counter{0};

// DEVE_TEST_POSTGRES, else the build's state file.
std::string state_file() {
    const char *state = std::getenv("DEVE_TEST_POSTGRES");
    return state != nullptr && *state != '\0' ? state : DEVE_TEST_POSTGRES_STATE;
}

std::string state_line(int n) {
    std::ifstream in(state_file());
    std::string line;
    for (int i = 0; i < n && std::getline(in, line);) {
        ++i;
        if (i == n) {
            return line;
        }
    }
    return {};
}

void admin_execute(const std::string &sql) {
    const deve::store::UrlResult parsed = deve::store::parse_store_url(*postgres_admin_url());
    deve::store::odbc::Environment env;
    deve::store::odbc::Connection db(env, parsed.url->connection_strings("", false).front(), parsed.url->name);
    db.execute(sql);
}

}  // namespace

std::string on_path(const std::string &name) {
    const char *path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find_first_of(":;", start);
        if (end == std::string::npos) {
            end = dirs.size();
        }
        const std::filesystem::path candidate = std::filesystem::path(dirs.substr(start, end - start)) / name;
        std::error_code error;
        if (end > start && std::filesystem::is_regular_file(candidate, error)) {
            return candidate.string();
        }
        start = end + 1;
    }
    return name;
}

const char *kind_name(Kind kind) { return kind == Kind::Sqlite ? "sqlite" : "postgresql"; }

std::optional<std::string> postgres_admin_url() {
    const std::string url = state_line(1);
    return url.empty() ? std::nullopt : std::optional<std::string>(url);
}

std::string postgres_port() { return state_line(3); }

bool postgres_control(const std::string &action) {
    return test_support::run_program(on_path("bash"), {DEVE_TEST_POSTGRES_SCRIPT, action, state_file()}).exit_code == 0;
}

TestDatabase::TestDatabase(Kind kind) : kind_(kind) {
    const int n = counter++;
    const std::string tag = std::to_string(test_support::process_id()) + "_" + std::to_string(n);
    const std::string name = "deve-store-test-" + tag;
#if defined(_WIN32)
    // The Windows build's tests run under Wine, whose ODBC calls reach the
    // host's unixODBC and drivers: the SQLite driver opens the host's paths.
    // The folder is the host's /tmp, which Wine shows as Z:\tmp.
    dir_ = std::filesystem::path("Z:\\tmp") / name;
    const std::string database = "/tmp/" + name + "/results.db";
#else
    dir_ = std::filesystem::temp_directory_path() / name;
    const std::string database = (dir_ / "results.db").u8string();
#endif
    test_support::remove_tree(dir_);
    std::filesystem::create_directories(dir_);
    if (kind == Kind::Sqlite) {
        url_ = "sqlite:" + database;
        return;
    }
    const std::optional<std::string> admin = postgres_admin_url();
    if (!admin) {
        throw std::runtime_error("no PostgreSQL server for the tests (DEVE_TEST_POSTGRES)");
    }
    database_ = "deve_test_" + tag;
    admin_execute("CREATE DATABASE " + database_);
    url_ = admin->substr(0, admin->rfind('/') + 1) + database_;
}

TestDatabase::~TestDatabase() {
    test_support::remove_tree(dir_);
    if (!database_.empty()) {
        try {
            admin_execute("DROP DATABASE IF EXISTS " + database_ + " WITH (FORCE)");
        } catch (...) {
        }
    }
}

std::string TestDatabase::sqlite_file() const {
    return kind_ == Kind::Sqlite ? (dir_ / "results.db").u8string() : std::string();
}

}  // namespace storetest
