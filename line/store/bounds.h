// The sizes the line store takes, checked before any driver sees a value:
// every value within them fits both databases (PostgreSQL's index rows are
// at most 2704 bytes), and a word beyond them is refused with an excerpt of
// it, never echoed whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace deve::store {

// A --store URL and the parts of a postgresql:// URL.
constexpr std::size_t kUrlMaxBytes = 4096;
constexpr std::size_t kHostMaxBytes = 255;
constexpr std::size_t kUrlPartMaxBytes = 255;  // user name, database name

// --meta: a key; the value of a key with a column of runs (station,
// operator, serial, lot, which are indexed); the value of any other key; the
// number of pairs.
constexpr std::size_t kMetaKeyMaxBytes = 64;
constexpr std::size_t kMetaColumnMaxBytes = 256;
constexpr std::size_t kMetaValueMaxBytes = 4096;
constexpr std::size_t kMetaMaxPairs = 64;

// A spool file holds one run; a line is one record.
constexpr std::uintmax_t kSpoolFileMaxBytes = std::uintmax_t{128} << 20;
constexpr std::size_t kSpoolLineMaxBytes = std::size_t{1} << 20;

// Why a --meta pair is not taken; nothing when it is.
std::optional<std::string> meta_refusal(const std::string &key, const std::string &value);

// A word as a message quotes it: whole when short, else its first bytes and
// its size; control characters shown escaped.
std::string excerpt_of(std::string_view text);

// A store URL as messages may show it: the password of a URL and the PWD
// value of an ODBC connection string masked, then cut to an excerpt.
std::string shown_store(const std::string &text);

}  // namespace deve::store
