// Where a store is: the URL of --store (or DEVE_STORE) and the ODBC
// connection strings it stands for.
//
//   sqlite:PATH                            an SQLite file (one station)
//   postgresql://[USER@]HOST[:PORT]/DB     PostgreSQL (a line); the password
//                                          comes from DEVE_STORE_PASSWORD
//   odbc:CONNECTION-STRING                 any ODBC data source
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace deve::store {

enum class Backend { Sqlite, Postgresql, Odbc };

struct StoreUrl {
    Backend backend = Backend::Sqlite;
    // The URL as messages name it: never with a password.
    std::string name;
    std::string path;  // sqlite: the file
    std::string host;  // postgresql
    int port = 5432;
    std::string user;
    std::string database;
    std::string connection_string;  // odbc: as given

    // The connection strings to try in order: one per name the driver is
    // registered under (Linux's unixODBC and the Windows installers name
    // them differently). `create`: SQLite may create the file.
    std::vector<std::string> connection_strings(const std::string &password, bool create) const;
};

// The URL, or why it is not one (`error`, naming the form expected).
struct UrlResult {
    std::optional<StoreUrl> url;
    std::string error;
};
UrlResult parse_store_url(const std::string &text);

}  // namespace deve::store
