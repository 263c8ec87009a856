// Connection establishment: gathering attributes from the connection string,
// the data source and the setup library's prompt, opening the data-access
// layer, and the reverse on disconnect.
#pragma once

#include "driver/odbc/handles/handles.h"

// The driver-connect path of SQLDriverConnect and SQLConnect. `out` may be null.
SQLRETURN driver_connect(QuillDbc* dbc, void* window, const char* in, SQLSMALLINT in_length,
                         char* out, SQLSMALLINT out_size, SQLSMALLINT* out_length,
                         SQLUSMALLINT completion);
// One step of SQLBrowseConnect.
SQLRETURN browse_connect(QuillDbc* dbc, const char* in, SQLSMALLINT in_length, char* out,
                         SQLSMALLINT out_size, SQLSMALLINT* out_length);
// SQLDisconnect after its state check: statements, backends and schema fileset released.
SQLRETURN disconnect_connection(QuillDbc* dbc);
// Hands the connection's SQL_ATTR_LOGIN_TIMEOUT and SQL_ATTR_CONNECTION_TIMEOUT to its
// data-access layer (and so to its backends).
void pass_timeouts(QuillDbc* dbc);
// Reads `key` of the driver's odbcinst.ini section into `buffer`; returns its length (0 absent).
int driver_setting(const char* key, char* buffer, int size);
