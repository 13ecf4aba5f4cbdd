// deve-cli store ...: the line store's own commands, run without the board.
//   store init     creates the schema, or upgrades it by its migrations
//   store upload   sends the runs waiting in the spool
#pragma once

#include "commands.h"
#include "output.h"

namespace deve::cli {

// Runs a store command; the exit code (0, or 2 for a refusal, 3 when the
// database is away).
int run_store_command(const StoreCommand &command, const Globals &globals, Output &out);

}  // namespace deve::cli
