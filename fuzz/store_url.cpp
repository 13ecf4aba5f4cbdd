// The --store URL parser: the input is the URL's text, also with a password
// put in each place one can go (the user part of a postgresql:// URL, a PWD
// value of an ODBC string, braced with a ; inside). Whatever the text, a
// password put there never shows in the URL's name or in a refusal, a refusal quotes
// only an excerpt, and an SQLite path taken adds no key of its own to the
// driver's connection string (LoadExt= would load a library).
#include "bounds.h"
#include "support/fuzz_target.h"
#include "url.h"

#include <string>
#include <vector>

namespace {

constexpr const char *kSecret = "Xq7S3cretPw";
constexpr std::size_t kMaxMessageBytes = 512;

// `password_placed`: the text holds the secret in a password's place, put
// there by this target. A secret the fuzzer typed itself may stand where
// no password goes (a DSN's name), and then showing it is right.
void check_no_secret(const deve::store::UrlResult &result, bool password_placed) {
    if (!password_placed) {
        return;
    }
    FUZZ_CHECK(result.error.find(kSecret) == std::string::npos, "a refusal shows the password: " + result.error);
    if (result.url) {
        FUZZ_CHECK(result.url->name.find(kSecret) == std::string::npos, "the name shows the password: " + result.url->name);
    }
}

void check_url(const std::string &text, bool password_placed) {
    const deve::store::UrlResult result = deve::store::parse_store_url(text);
    FUZZ_CHECK(result.url.has_value() == result.error.empty(), "a URL both taken and refused, or neither");
    FUZZ_CHECK(result.error.size() <= kMaxMessageBytes,
               "a refusal of " + std::to_string(result.error.size()) + " bytes");
    FUZZ_CHECK(deve::store::shown_store(text).size() <= kMaxMessageBytes, "a URL shown whole past the excerpt");
    if (!result.url) {
        return;
    }
    const deve::store::StoreUrl &url = *result.url;
    FUZZ_CHECK(text.size() <= deve::store::kUrlMaxBytes, "a URL past its bound taken");
    if (url.backend == deve::store::Backend::Sqlite) {
        for (const std::string &s : url.connection_strings("", false)) {
            std::size_t keys = 0;
            for (char c : s) {
                keys += c == ';' ? 1 : 0;
            }
            // Driver, Database, Timeout, SyncPragma, NoCreat.
            FUZZ_CHECK(keys == 4, "the path '" + url.path + "' adds keys to " + s);
            FUZZ_CHECK(s.find("LoadExt") == std::string::npos || url.path.find("LoadExt") != std::string::npos,
                       "a LoadExt key not from the path");
        }
    } else if (url.backend == deve::store::Backend::Postgresql) {
        FUZZ_CHECK(!url.host.empty() && url.host.size() <= deve::store::kHostMaxBytes, "a host past its bound");
        FUZZ_CHECK(url.port >= 1 && url.port <= 65535, "a port out of range");
        FUZZ_CHECK(url.user.find(kSecret) == std::string::npos, "a password taken as the user");
    }
    check_no_secret(result, password_placed);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    // The secret is known to be a password only where this target put it,
    // and only when the fuzzer's text does not hold it too.
    const bool placed = text.find(kSecret) == std::string::npos;
    check_url(text, false);
    check_url("postgresql://line:" + std::string(kSecret) + "@" + text, placed);
    check_url("odbc:" + text + ";PWD={" + kSecret + ";" + kSecret + "}", placed);
    check_url("odbc:Driver={PostgreSQL Unicode};Pwd=" + std::string(kSecret) + ";" + text, placed);
    return 0;
}
