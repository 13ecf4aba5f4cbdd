// The MAC pools kept in the line store, reached through ODBC: the tables
// pools, pool_ranges, mac_addresses and mac_events (schema.cpp makes them).
#pragma once

#include "mac_pool.h"

#include <memory>
#include <vector>

namespace deve::store::odbc {
class Connection;
}

namespace deve::cli {

// The pools of a store over an open connection (whose schema is current).
std::unique_ptr<PoolBook> pool_book(std::unique_ptr<store::odbc::Connection> db);

}  // namespace deve::cli
