// Conversion of one application parameter value (application type, bytes) into
// the SQL value of the parameter's SQL type that the engine reads for the marker.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>

#include "driver/odbc/params/param_error.h"
#include "support/value.h"

// The application side of one value.
struct ParamInput {
  SQLSMALLINT c_type = SQL_C_CHAR;  // application type, SQL_C_DEFAULT already resolved
  const void* data = nullptr;       // the value (fixed-size types: one structure or number)
  SQLLEN length = 0;                // bytes at `data` for SQL_C_CHAR, SQL_C_WCHAR, SQL_C_BINARY
  bool wide_as_utf8 = false;        // SQL_C_WCHAR data already converted to UTF-8 (pieces)
  bool is_null = false;             // the indicator was SQL_NULL_DATA
};

// The implementation side: what the marker is.
struct ParamTarget {
  SQLSMALLINT sql_type = SQL_VARCHAR;  // the IPD's concise SQL type
  SQLULEN column_size = 0;             // the IPD's column size (0: not stated)
  SQLSMALLINT precision = 0;           // NUMERIC and DECIMAL precision (0: 38)
  SQLSMALLINT scale = 0;               // NUMERIC and DECIMAL scale
  const char* work_dir = nullptr;      // directory of long-buffer spill files (null: default)
  int number = 0;                      // parameter number (recorded in long buffers)
};

// Converts `input` into `out` (a value whose pool receives buffers) as a value of the
// target's SQL type. false with the failure in `error`: 07006-free by construction (pairs are
// checked when binding); 22001, 22003, 22007, 22015, 22018, HY000 "General error: %s".
bool param_convert(const ParamInput& input, const ParamTarget& target, QuillValue* out,
                   ParamError* error);
// The application value as text the way a character marker receives it: numbers as "%d",
// 64-bit numbers as "%lld", floating numbers as "%f", binary as "%02X" pairs, wide text as
// UTF-8. false (HY000 "Unsupported parameter type") for date, time and timestamp values, and
// (22018) for character data that is not well-formed UTF-8 or wide text with an unpaired
// surrogate.
bool param_render_text(const ParamInput& input, std::string* text, ParamError* error);
// Value kind a NULL of SQL type `sql_type` gets; VALUE_NONE for an unsupported type.
int param_null_kind(SQLSMALLINT sql_type);
