// The store's schema: numbered migrations, each applied once in its own
// transaction and noted in the table deve_schema. A database is ours when it
// has that table; its schema version is the highest version noted there.
#pragma once

#include "odbc.h"

#include <string>
#include <vector>

namespace deve::store {

struct Migration {
    int version;
    const char *name;
    std::vector<const char *> statements;
};

// Every migration, in order of version.
const std::vector<Migration> &migrations();
// The version the tool writes: the last migration's.
int latest_schema_version();

enum class SchemaState {
    Empty,    // no tables at all: store init creates the schema
    Foreign,  // tables, but not deve-cli's: refused
    Older,    // ours, older than this tool: store init upgrades it
    Current,
    Newer,    // written by a newer deve-cli: refused
    Damaged,  // not a database, or one whose file is damaged: refused
};

struct SchemaCheck {
    SchemaState state = SchemaState::Empty;
    int version = 0;  // the database's, 0 when none
    // For every state but Current: what is wrong and what to do, naming the
    // database.
    std::string message;
};

SchemaCheck check_schema(odbc::Connection &db);

// Creates or upgrades the schema. The versions applied (none when it was
// current); throws odbc::Error, or std::runtime_error for a foreign or
// newer database.
std::vector<int> init_schema(odbc::Connection &db, const std::string &tool_version,
                             const std::string &applied_at);

// Throws odbc::Error (Failure::ReadOnly) when the database does not take
// writes: a read-only file or a user without the right to write.
void probe_writable(odbc::Connection &db);

}  // namespace deve::store
