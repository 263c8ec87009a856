// Parameter type rules shared by binding, conversion and SQLPutData.
#include "driver/odbc/params/param_types.h"

#include "driver/odbc/convert/convert_result.h"

namespace {

bool is_character_or_binary_sql(SQLSMALLINT sql_type) {
  switch (sql_type) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return true;
    default:
      return false;
  }
}

bool is_numeric_sql(SQLSMALLINT sql_type) {
  switch (sql_type) {
    case SQL_NUMERIC:
    case SQL_DECIMAL:
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_FLOAT:
    case SQL_REAL:
    case SQL_DOUBLE:
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_BIGINT:
      return true;
    default:
      return false;
  }
}

bool is_numeric_c(SQLSMALLINT c_type) {
  switch (c_type) {
    case SQL_C_CHAR:
    case SQL_C_NUMERIC:
    case SQL_C_LONG:
    case SQL_C_SHORT:
    case SQL_C_FLOAT:
    case SQL_C_DOUBLE:
    case SQL_C_SSHORT:
    case SQL_C_SLONG:
    case SQL_C_USHORT:
    case SQL_C_ULONG:
    case SQL_C_SBIGINT:
    case SQL_C_STINYINT:
    case SQL_C_UBIGINT:
    case SQL_C_UTINYINT:
    case SQL_C_BIT:
    case SQL_C_TINYINT:
    case SQL_C_BINARY:
      return true;
    default:
      return false;
  }
}

bool is_date_c(SQLSMALLINT c_type) {
  return c_type == SQL_C_DATE || c_type == SQL_C_TYPE_DATE;
}
bool is_time_c(SQLSMALLINT c_type) {
  return c_type == SQL_C_TIME || c_type == SQL_C_TYPE_TIME;
}
bool is_timestamp_c(SQLSMALLINT c_type) {
  return c_type == SQL_C_TIMESTAMP || c_type == SQL_C_TYPE_TIMESTAMP;
}

}  // namespace

bool param_known_c_type(SQLSMALLINT c_type) {
  if (is_numeric_c(c_type) || is_date_c(c_type) || is_time_c(c_type) || is_timestamp_c(c_type))
    return true;
  return c_type == SQL_C_WCHAR || c_type == SQL_C_DEFAULT || param_is_interval(c_type);
}

bool param_pair_allowed(SQLSMALLINT sql_type, SQLSMALLINT c_type) {
  if (c_type == SQL_C_DEFAULT) return true;
  if (is_character_or_binary_sql(sql_type) || param_is_interval(sql_type)) return true;
  if (is_numeric_sql(sql_type)) return is_numeric_c(c_type);
  bool text_or_bytes = c_type == SQL_C_CHAR || c_type == SQL_C_BINARY;
  switch (sql_type) {
    case SQL_DATE:
    case SQL_TYPE_DATE:
      return text_or_bytes || is_date_c(c_type) || is_timestamp_c(c_type);
    case SQL_TIME:
    case SQL_TYPE_TIME:
      return text_or_bytes || is_time_c(c_type) || is_timestamp_c(c_type);
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP:
      return text_or_bytes || is_date_c(c_type) || is_time_c(c_type) || is_timestamp_c(c_type);
    default:
      return false;
  }
}

SQLSMALLINT param_default_c_type(SQLSMALLINT sql_type) {
  switch (sql_type) {
    case SQL_INTEGER:
      return SQL_C_SLONG;
    case SQL_SMALLINT:
      return SQL_C_SSHORT;
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return SQL_C_DOUBLE;
    case SQL_REAL:
      return SQL_C_FLOAT;
    case SQL_DATE:
    case SQL_TIME:
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
      return sql_type;  // the application codes equal the SQL codes
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
      return SQL_C_WCHAR;
    case SQL_BIT:
      return SQL_C_BIT;
    case SQL_TINYINT:
      return SQL_C_STINYINT;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return SQL_C_BINARY;
    case SQL_C_SSHORT:  // integer application codes given as SQL types stand for themselves
    case SQL_C_SLONG:
    case SQL_C_USHORT:
    case SQL_C_ULONG:
    case SQL_C_SBIGINT:
    case SQL_C_STINYINT:
    case SQL_C_UBIGINT:
    case SQL_C_UTINYINT:
      return sql_type;
    default:
      return param_is_interval(sql_type) ? sql_type : SQL_C_CHAR;
  }
}

SQLSMALLINT param_resolve_c_type(SQLSMALLINT c_type, SQLSMALLINT sql_type) {
  return c_type == SQL_C_DEFAULT ? param_default_c_type(sql_type) : c_type;
}

// Fixed sizes are those of the result side, where the same C types are written.
SQLLEN param_c_type_size(SQLSMALLINT c_type) {
  return result_element_size(c_type, 0);
}

bool param_c_type_is_bytes(SQLSMALLINT c_type) {
  return c_type == SQL_C_CHAR || c_type == SQL_C_WCHAR || c_type == SQL_C_BINARY;
}

bool param_takes_pieces(SQLSMALLINT sql_type) {
  return is_character_or_binary_sql(sql_type);
}

bool param_is_long(SQLSMALLINT sql_type) {
  return sql_type == SQL_LONGVARCHAR || sql_type == SQL_WLONGVARCHAR ||
         sql_type == SQL_LONGVARBINARY;
}

bool param_is_interval(SQLSMALLINT sql_type) {
  return sql_type >= SQL_INTERVAL_YEAR && sql_type <= SQL_INTERVAL_MINUTE_TO_SECOND;
}
