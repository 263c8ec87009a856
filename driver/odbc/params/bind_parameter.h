// Binding a parameter: the application record (type, buffer, lengths) in the
// APD and the implementation record (SQL type, size, digits, direction) in the
// IPD, shared by SQLBindParameter, SQLBindParam and SQLSetParam.
#pragma once

#include "driver/odbc/handles/handles.h"

// Binds parameter `number` for `function` (SQL_API_SQLBINDPARAMETER, SQL_API_SQLBINDPARAM or
// SQL_API_SQLSETPARAM, whose state check runs first). Refuses an unknown application type
// (HY003), a pair of application and SQL type that may not go together (07006), a direction
// other than input (HY105) and, for SQLBindParameter, a negative buffer length (HY090).
// SQL_SUCCESS or SQL_ERROR (posted).
SQLRETURN bind_parameter(QuillStmt* stmt, int function, SQLUSMALLINT number, SQLSMALLINT direction,
                         SQLSMALLINT c_type, SQLSMALLINT sql_type, SQLULEN column_size,
                         SQLSMALLINT digits, SQLPOINTER buffer, SQLLEN buffer_length,
                         SQLLEN* length_or_indicator);
// SQLDescribeParam: SQL type, column size, decimal digits and nullability of parameter
// `number` (any output pointer may be null): from its IPD record when it has a type, else the
// type validation inferred for the marker, else SQL_WVARCHAR of 65535 characters. 07009 for a
// number that is no marker of the statement.
SQLRETURN describe_parameter(QuillStmt* stmt, SQLUSMALLINT number, SQLSMALLINT* sql_type,
                             SQLULEN* column_size, SQLSMALLINT* digits, SQLSMALLINT* nullable);
