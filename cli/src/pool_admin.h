// deve-cli store pool ...: the pools of the line store, without a board.
//   store pool add NAME FIRST LAST
//   store pool status NAME [--json]
//   store pool reclaim --older-than DURATION [--pool NAME]
#pragma once

#include "mac_pool.h"
#include "output.h"

#include <chrono>
#include <string>
#include <vector>

namespace deve::cli {

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

// Runs it; the exit code: 0, or 2 for a refused range or an unknown pool.
// PoolStoreError goes to the caller (exit code 3).
int run_pool_admin(const PoolAdminCmd &cmd, PoolBook &book, Output &out);

}  // namespace deve::cli
