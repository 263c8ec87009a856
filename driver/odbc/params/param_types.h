// Parameter type rules: which application types may feed which SQL types, the
// application type SQL_C_DEFAULT stands for, the byte size of fixed-size
// application types, and which SQL types take pieces or a long buffer.
#pragma once

#include <sql.h>
#include <sqlext.h>

// True when `c_type` is an application type a parameter may be bound with.
bool param_known_c_type(SQLSMALLINT c_type);
// True when a parameter of SQL type `sql_type` may be bound with application type `c_type`
// (SQL_C_DEFAULT goes with every SQL type).
bool param_pair_allowed(SQLSMALLINT sql_type, SQLSMALLINT c_type);
// The application type SQL_C_DEFAULT means for `sql_type` (SQL_C_CHAR when none applies).
SQLSMALLINT param_default_c_type(SQLSMALLINT sql_type);
// `c_type`, SQL_C_DEFAULT resolved from `sql_type`.
SQLSMALLINT param_resolve_c_type(SQLSMALLINT c_type, SQLSMALLINT sql_type);
// Bytes a value of fixed-size application type `c_type` takes; 0 for character and binary.
SQLLEN param_c_type_size(SQLSMALLINT c_type);
// True for SQL_C_CHAR, SQL_C_WCHAR and SQL_C_BINARY (data that may come in pieces).
bool param_c_type_is_bytes(SQLSMALLINT c_type);
// True for the SQL types whose value may arrive in more than one SQLPutData piece: the
// character, wide character and binary types and their long forms.
bool param_takes_pieces(SQLSMALLINT sql_type);
// True for SQL_LONGVARCHAR, SQL_WLONGVARCHAR and SQL_LONGVARBINARY (held in a long buffer).
bool param_is_long(SQLSMALLINT sql_type);
// True for the interval SQL types 101..113.
bool param_is_interval(SQLSMALLINT sql_type);
