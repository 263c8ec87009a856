// Replication entries of a connection: the replication file named by the connection is read
// when a statement is allocated and the connection holds no entries yet.
#pragma once

#include "driver/odbc/handles/handles.h"

// Connection setting naming the replication file (used when replication_path is not set).
constexpr const char* REPLICATION_FILE_KEY = "replication_file";

// Loads the connection's replication entries unless it holds some already or names no file;
// also makes sure the engine has the call layer's hooks. false after posting HY000 on the
// connection (the statement being allocated must then be released).
bool replication_at_statement_allocation(QuillDbc* dbc);
