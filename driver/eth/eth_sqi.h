// The Ethereum backend's operation table and its environment, connection,
// information and statement operations.
#pragma once

#include "driver/dal/sqi/sqi.h"
#include "driver/eth/eth_context.h"

// The Ethereum backend's operation table (static; never null).
const SqiOperations* eth_operations();

// Makes an environment for `target` with the service callback and a copy of `dsn`
// (null or "" for none); 0, or SQI_ERROR when memory runs out.
int eth_alloc_env(void* target, SqiEnv* out, SqiService service, const char* dsn);
// Frees the environment, disconnecting first if still connected; null is ignored. 0.
int eth_free_env(SqiEnv env);
// Reads the options, checks the endpoint and builds the table list; 0, or SQI_ERROR
// with a diagnostic posted. Sends nothing over the network. `out_string` gets "".
int eth_connect(SqiEnv env, ConnAttrSet* attributes, void* window, char* out_string, int out_size);
// Closes the socket and frees the connection context and table list. 0.
int eth_disconnect(SqiEnv env);
// Answers a DAL information code into `out` (int or double); unknown codes leave it. 0.
int eth_get_info(SqiEnv env, int code, void* out);
// Option 0 sets the ODBC version; other options are ignored. 0.
int eth_set_option(SqiEnv env, int option, intptr_t value);

// Makes a statement posting on `target`; null when memory runs out or `env` is null.
SqiStmt eth_alloc_stmt(void* target, SqiEnv env, void* entry, void* argument);
// Frees the statement and its rows; null is ignored. 0.
int eth_free_stmt(SqiStmt stmt);
// Drops the statement's rows, keeping the statement. 0.
int eth_close_stmt(SqiStmt stmt);
// Moves to the next row of the statement's result; SQI_NO_DATA when none is left.
int eth_fetch(SqiStmt stmt);
// Keeps the engine statement's deadline and cancel flag for the statement's exchanges.
int eth_set_wait(SqiStmt stmt, const SqiWait* wait);
// Reads a column of the current row (see SqiOperations::get_data).
int eth_get_data(SqiStmt stmt, int column, int c_type, void* buffer, SQLLEN length,
                 SQLLEN* indicator);
// Type information is answered by the view store; this backend adds no rows. 0.
int eth_get_type_info(SqiStmt stmt, int sql_type);
// Transactions need no work on a read-only source. 0.
int eth_begin_transaction(void* target, SqiEnv env);
int eth_end_transaction(void* target, SqiEnv env, int completion);

// Local time-zone offset as hours and minutes of the bias (minutes west of UTC):
// hours = bias / 60, minutes = |bias mod 60|; both 0 when the zone cannot be read.
void eth_time_zone_offset(int* hours, int* minutes);
