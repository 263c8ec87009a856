// Binding a parameter: the application record (type, buffer, lengths) in the
// APD and the implementation record (SQL type, size, digits, direction) in the
// IPD, shared by SQLBindParameter, SQLBindParam and SQLSetParam.
#pragma once

#include "driver/odbc/handles/handles.h"

// Binds parameter `number`; state check included. SQL_SUCCESS or SQL_ERROR (posted).
SQLRETURN bind_parameter(QuillStmt* stmt, SQLUSMALLINT number, SQLSMALLINT direction,
                         SQLSMALLINT c_type, SQLSMALLINT sql_type, SQLULEN column_size,
                         SQLSMALLINT digits, SQLPOINTER buffer, SQLLEN buffer_length,
                         SQLLEN* length_or_indicator);
