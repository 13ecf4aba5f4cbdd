// deve-cli store pool ...: the pools of the line store, without a board.
//   store pool add NAME FIRST LAST
//   store pool status NAME [--json]
//   store pool reclaim --older-than DURATION [--pool NAME]
#pragma once

#include "commands.h"
#include "mac_pool.h"
#include "output.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace deve::store {
struct StoreUrl;
}

namespace deve::cli {

constexpr const char *kPoolAction = "pool";

struct PoolAdminCmd {
    enum class Action { Add, Status, Reclaim } action = Action::Status;
    std::string pool;
    MacRange range;
    std::chrono::seconds older_than{0};
    bool json = false;  // --json after the action
};

// The words after "store pool". Help text, a usage error or the command.
struct PoolAdminParse {
    std::optional<PoolAdminCmd> cmd;
    std::string help;
    std::string error;
};
PoolAdminParse parse_pool_admin(const std::vector<std::string> &words);

// Runs it; the exit code: 0, or 2 for a refused range or an unknown pool
// (`refusal` says why). PoolStoreError goes to the caller (exit code 3).
int run_pool_admin(const PoolAdminCmd &cmd, PoolBook &book, Output &out, std::string &refusal);

// deve-cli store pool ...: `words` start with "pool". The store command, or
// help, or a usage error.
ParseResult parse_store_pool(const std::vector<std::string> &words);
// The pools of the store, with its schema checked; throws PoolStoreError
// when it cannot be used.
std::unique_ptr<PoolBook> open_pool_book(const store::StoreUrl &url);

}  // namespace deve::cli
