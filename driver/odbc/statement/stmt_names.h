// Cursor names and native SQL: the work behind SQLSetCursorName,
// SQLGetCursorName and SQLNativeSql shared by their narrow and wide forms.
#pragma once

#include <string>

#include "driver/odbc/handles/handles.h"

// Names the statement's cursor (`length` bytes or SQL_NTS); state check included.
SQLRETURN stmt_set_cursor_name(QuillStmt* stmt, const char* name, SQLSMALLINT length);
// The statement's cursor name, generated and kept when it has none; state check included.
SQLRETURN stmt_get_cursor_name(QuillStmt* stmt, std::string* name);
// The statement text as the driver reads it (`length` bytes or SQL_NTS): whole in `*out` when
// `out` is not null; when `total` is not null also written into `buffer` of `capacity` bytes
// keeping only whole pieces, with the full length in `*total` and `*truncated` set when a
// piece was left out. SQL_SUCCESS, or SQL_ERROR after posting (42000 on a syntax error).
SQLRETURN native_sql_text(QuillDbc* dbc, const char* text, SQLINTEGER length, std::string* out,
                          char* buffer, size_t capacity, size_t* total, bool* truncated);
