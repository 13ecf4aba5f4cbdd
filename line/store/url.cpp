#include "url.h"

#include "odbc.h"

#include <algorithm>
#include <cctype>

namespace deve::store {

namespace {

constexpr const char *kForms = "sqlite:PATH, postgresql://[USER@]HOST[:PORT]/DB or odbc:CONNECTION-STRING";

// The names the drivers are registered under: unixODBC's packages first,
// then the Windows installers'.
const std::vector<std::string> kSqliteDrivers{"SQLite3", "SQLite3 ODBC Driver"};
const std::vector<std::string> kPostgresqlDrivers{"PostgreSQL Unicode", "PostgreSQL Unicode(x64)"};

UrlResult refuse(const std::string &text, const std::string &why) {
    return UrlResult{std::nullopt, "--store '" + text + "': " + why + " (the forms are " + kForms + ")"};
}

// %XX escapes decoded; nothing when one is broken.
std::optional<std::string> decoded(const std::string &text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i + 1])) ||
            !std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            return std::nullopt;
        }
        out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
        i += 2;
    }
    return out;
}

UrlResult parse_postgresql(const std::string &text, const std::string &rest) {
    StoreUrl url;
    url.backend = Backend::Postgresql;
    const std::size_t slash = rest.find('/');
    if (slash == std::string::npos) {
        return refuse(text, "no database is named after the host (postgresql://HOST/DB)");
    }
    std::string authority = rest.substr(0, slash);
    const std::string database = rest.substr(slash + 1);
    if (database.empty() || database.find_first_of("/?#") != std::string::npos) {
        return refuse(text, "the database name after the host is missing or holds / ? #");
    }
    if (const std::size_t at = authority.rfind('@'); at != std::string::npos) {
        const std::string user = authority.substr(0, at);
        if (user.empty()) {
            return refuse(text, "the user name before @ is empty");
        }
        if (user.find(':') != std::string::npos) {
            return refuse(text, "a password does not go in the URL: set DEVE_STORE_PASSWORD");
        }
        const std::optional<std::string> u = decoded(user);
        if (!u) {
            return refuse(text, "the user name holds a broken %XX escape");
        }
        url.user = *u;
        authority = authority.substr(at + 1);
    }
    std::string port;
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string::npos) {
            return refuse(text, "an IPv6 address is not closed with ]");
        }
        url.host = authority.substr(1, close - 1);
        const std::string after = authority.substr(close + 1);
        if (!after.empty() && after.front() != ':') {
            return refuse(text, "after the IPv6 address only :PORT may follow");
        }
        port = after.empty() ? "" : after.substr(1);
        if (after == ":") {
            port = ":";
        }
    } else if (const std::size_t colon = authority.find(':'); colon != std::string::npos) {
        url.host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
        if (port.empty()) {
            port = ":";
        }
    } else {
        url.host = authority;
    }
    if (url.host.empty()) {
        return refuse(text, "no host is given");
    }
    if (!port.empty()) {
        const bool digits = port.size() <= 5 && std::all_of(port.begin(), port.end(), [](unsigned char c) {
                                return std::isdigit(c) != 0;
                            });
        const int number = digits ? std::stoi(port) : 0;
        if (!digits || number < 1 || number > 65535) {
            return refuse(text, "the port is not a number from 1 to 65535");
        }
        url.port = number;
    }
    const std::optional<std::string> db = decoded(database);
    if (!db || db->empty()) {
        return refuse(text, "the database name holds a broken %XX escape");
    }
    url.database = *db;
    url.name = "postgresql://" + (url.user.empty() ? std::string() : url.user + "@") + url.host + ":" +
               std::to_string(url.port) + "/" + url.database;
    return UrlResult{url, {}};
}

}  // namespace

UrlResult parse_store_url(const std::string &text) {
    const auto starts = [&text](const char *prefix) { return text.rfind(prefix, 0) == 0; };
    if (starts("sqlite:")) {
        StoreUrl url;
        url.backend = Backend::Sqlite;
        url.path = text.substr(7);
        if (url.path.rfind("//", 0) == 0) {
            url.path = url.path.substr(2);
        }
        if (url.path.empty()) {
            return refuse(text, "no file is named after sqlite:");
        }
        url.name = "sqlite:" + url.path;
        return UrlResult{url, {}};
    }
    if (starts("postgresql://") || starts("postgres://")) {
        return parse_postgresql(text, text.substr(text.find("://") + 3));
    }
    if (starts("odbc:")) {
        StoreUrl url;
        url.backend = Backend::Odbc;
        url.connection_string = text.substr(5);
        if (url.connection_string.find('=') == std::string::npos) {
            return refuse(text, "an ODBC connection string of KEY=VALUE pairs follows odbc:");
        }
        // The name never shows a password the string may hold.
        std::string shown;
        std::size_t start = 0;
        while (start < url.connection_string.size()) {
            std::size_t end = url.connection_string.find(';', start);
            if (end == std::string::npos) {
                end = url.connection_string.size();
            }
            std::string pair = url.connection_string.substr(start, end - start);
            std::string key = pair.substr(0, pair.find('='));
            std::transform(key.begin(), key.end(), key.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            if (key == "pwd" || key == "password") {
                pair = pair.substr(0, pair.find('=')) + "=...";
            }
            shown += (shown.empty() ? "" : ";") + pair;
            start = end + 1;
        }
        url.name = "odbc:" + shown;
        return UrlResult{url, {}};
    }
    return refuse(text, "it does not start with sqlite:, postgresql:// or odbc:");
}

std::vector<std::string> StoreUrl::connection_strings(const std::string &password, bool create) const {
    std::vector<std::string> out;
    using odbc::connection_value;
    switch (backend) {
    case Backend::Sqlite:
        for (const std::string &driver : kSqliteDrivers) {
            // A writer waits up to 10 s for another station's transaction.
            out.push_back("Driver={" + driver + "};Database=" + connection_value(path) + ";Timeout=10000;JournalMode=WAL;SyncPragma=FULL" + (create ? "" : ";NoCreat=1"));
        }
        break;
    case Backend::Postgresql:
        for (const std::string &driver : kPostgresqlDrivers) {
            std::string s = "Driver={" + driver + "};Server=" + connection_value(host) +
                            ";Port=" + std::to_string(port) + ";Database=" + connection_value(database);
            if (!user.empty()) {
                s += ";Uid=" + connection_value(user);
            }
            if (!password.empty()) {
                s += ";Pwd=" + connection_value(password);
            }
            out.push_back(s);
        }
        break;
    case Backend::Odbc:
        out.push_back(connection_string);
        break;
    }
    return out;
}

}  // namespace deve::store
