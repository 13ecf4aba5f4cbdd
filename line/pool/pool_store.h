// The MAC pools kept in the line store, reached through ODBC: the tables
// pools, pool_ranges, mac_addresses and mac_events (schema.cpp makes them).
#pragma once

#include "dialect.h"
#include "mac_pool.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace deve::store::odbc {
class Connection;
}

namespace deve::cli {

// Why the pools cannot live in a store of this dialect (`product` is the
// server's name as its driver gives it); nothing when they can.
std::optional<std::string> pool_refusal(const std::string &store_name, store::Dialect dialect,
                                        const std::string &product);

// The pools of a store over an open connection (whose schema is current);
// throws PoolStoreError for a dialect the pools cannot use.
std::unique_ptr<PoolBook> pool_book(std::unique_ptr<store::odbc::Connection> db);

}  // namespace deve::cli
