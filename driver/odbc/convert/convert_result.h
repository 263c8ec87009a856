// Conversion of one result value of the engine into an application buffer:
// every application type code of ODBC, the length/indicator protocol, pieces
// of character, binary and long values across repeated SQLGetData calls, and
// the conversion diagnostics.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include "support/diag.h"
#include "support/value.h"

// Where and how one value is delivered.
struct ResultTarget {
  SQLSMALLINT c_type;        // application type code (SQL_C_DEFAULT resolved from column_type)
  SQLPOINTER buffer;         // destination; null: only the lengths are reported
  SQLLEN buffer_length;      // bytes at `buffer` (text: including the terminating zero)
  SQLLEN* indicator;         // receives SQL_NULL_DATA or, when it is also octet_length, the length
  SQLLEN* octet_length;      // receives the length of the data available; may be null
  SQLSMALLINT precision;     // SQL_C_NUMERIC: the application record's precision
  SQLSMALLINT scale;         // SQL_C_NUMERIC: the application record's scale
  SQLULEN max_length;        // SQL_ATTR_MAX_LENGTH (0: no limit)
  SQLSMALLINT column_type;   // concise SQL type of the column (for SQL_C_DEFAULT)
};

// Converts `value` into `target`. `restart` resets the value's read offset first (bound
// columns after a fetch); without it successive calls continue where the last stopped.
// Returns SQL_SUCCESS, SQL_SUCCESS_WITH_INFO (01004, 01S07 posted), SQL_NO_DATA (the value
// was already wholly returned) or SQL_ERROR (posted on `errors`).
SQLRETURN convert_result_value(ErrorHeader* errors, QuillValue* value, const ResultTarget& target,
                               bool restart);
// Bytes an element of application type `c_type` takes in an array of bound buffers:
// the fixed size of fixed-size types, else `buffer_length`.
SQLLEN result_element_size(SQLSMALLINT c_type, SQLLEN buffer_length);
