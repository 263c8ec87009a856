// Entry of the result conversion: NULL and read-offset handling, SQL_C_DEFAULT
// resolution, dispatch by application type, the length/indicator protocol and
// the diagnostics with their fixed texts.
#include "driver/odbc/convert/convert_result.h"

#include <cstring>
#include <limits>
#include <new>

#include "driver/odbc/convert/convert_internal.h"
#include "driver/odbc/handles/frame.h"

namespace convert {

namespace {

struct StateText {
  const char* sqlstate;
  const char* message;
  const char* origin;
};

constexpr StateText kStates[] = {
    {"07006", "restricted data type attribute violation", "ISO 9075"},
    {"07009", "Invalid descriptor index", "ISO 9075"},
    {"22002", "Indicator variable required but not supplied", "ISO 9075"},
    {"22003", "Numeric value out of range", "ISO 9075"},
    {"22008", "Data value is not a valid datetime", "ISO 9075"},
    {"22015", "Interval field overflow", "ISO 9075"},
    {"22018", "Invalid character value for cast specification", "ISO 9075"},
    {"01004", "String data, right truncated", "ISO 9075"},
    {"01S07", "Fractional truncation", "ODBC 3.0"},
    {"HY001", "Memory allocation error", "ISO 9075"},
};

SQLRETURN post(ErrorHeader* errors, int code, const char* sqlstate) {
  if (errors) {
    const StateText* found = nullptr;
    for (const StateText& s : kStates)
      if (std::strcmp(s.sqlstate, sqlstate) == 0) found = &s;
    SetReturnCode(errors, code);
    if (found)
      PostError(errors, DIAG_LEVEL_CALL, 0, 0, 0, 0, found->origin, found->sqlstate, "%s",
                found->message);
    else
      PostError(errors, DIAG_LEVEL_CALL, 0, 0, 0, 0, call_layer_origin(sqlstate), sqlstate, "%s",
                sqlstate);
  }
  return code < 0 ? SQL_ERROR : SQL_SUCCESS_WITH_INFO;
}

// The application type SQL_C_DEFAULT stands for on a column of concise SQL type `sql_type`.
SQLSMALLINT default_c_type(SQLSMALLINT sql_type) {
  switch (sql_type) {
    case SQL_INTEGER:
      return SQL_C_LONG;
    case SQL_SMALLINT:
      return SQL_C_SHORT;
    case SQL_TINYINT:
      return SQL_C_TINYINT;
    case SQL_BIT:
      return SQL_C_BIT;
    case SQL_REAL:
      return SQL_C_FLOAT;
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return SQL_C_DOUBLE;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return SQL_C_BINARY;
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
      return SQL_C_WCHAR;
    case SQL_DATE:
    case SQL_TYPE_DATE:
      return SQL_C_TYPE_DATE;
    case SQL_TIME:
    case SQL_TYPE_TIME:
      return SQL_C_TYPE_TIME;
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP:
      return SQL_C_TYPE_TIMESTAMP;
    default:
      if (sql_type >= SQL_INTERVAL_YEAR && sql_type <= SQL_INTERVAL_MINUTE_TO_SECOND)
        return sql_type;
      // NUMERIC, DECIMAL, BIGINT, the character types and anything unknown read as text.
      return SQL_C_CHAR;
  }
}

SQLRETURN dispatch(ErrorHeader* errors, QuillValue* value, const ResultTarget& target) {
  switch (target.c_type) {
    case SQL_C_CHAR:
    case SQL_VARCHAR:
      return to_text(errors, value, target, false);
    case SQL_C_WCHAR:
      return to_text(errors, value, target, true);
    case SQL_LONGVARCHAR:
    case SQL_C_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return to_binary(errors, value, target);
    case SQL_C_NUMERIC:
      return to_numeric(errors, value, target);
    case SQL_C_LONG:
    case SQL_C_SLONG:
    case SQL_C_ULONG:
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
    case SQL_C_USHORT:
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
    case SQL_C_UTINYINT:
    case SQL_BIGINT:
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT:
      return to_integer(errors, value, target);
    case SQL_C_DOUBLE:
      return to_double(errors, value, target);
    case SQL_FLOAT:
    case SQL_C_FLOAT:
      return to_float(errors, value, target);
    case SQL_C_BIT:
      return to_bit(errors, value, target);
    case SQL_C_DATE:
    case SQL_C_TYPE_DATE:
      return to_date(errors, value, target);
    case SQL_C_TIME:
    case SQL_C_TYPE_TIME:
      return to_time(errors, value, target);
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP:
      return to_timestamp(errors, value, target);
    default:
      if (target.c_type >= SQL_C_INTERVAL_YEAR && target.c_type <= SQL_C_INTERVAL_MINUTE_TO_SECOND)
        return to_interval(errors, value, target);
      return fail(errors, "07006");
  }
}

}  // namespace

SQLRETURN fail(ErrorHeader* errors, const char* sqlstate) {
  return post(errors, -1, sqlstate);
}

SQLRETURN warn(ErrorHeader* errors, const char* sqlstate) {
  return post(errors, 1, sqlstate);
}

SQLRETURN fail_general(ErrorHeader* errors, const char* detail) {
  if (errors) {
    SetReturnCode(errors, -1);
    PostError(errors, DIAG_LEVEL_CALL, 0, 0, 0, 0, "ISO 9075", "HY000", MSG_GENERAL_ERROR, detail);
  }
  return SQL_ERROR;
}

void report_length(const ResultTarget& target, SQLLEN length) {
  if (target.octet_length) *target.octet_length = length;
  if (target.indicator && target.indicator != target.octet_length) *target.indicator = 0;
}

SQLLEN as_length(uint64_t count) {
  constexpr auto kMax = static_cast<uint64_t>(std::numeric_limits<SQLLEN>::max());
  return static_cast<SQLLEN>(count > kMax ? kMax : count);
}

SQLLEN usable_length(const ResultTarget& target) {
  return target.buffer_length < 0 ? 0 : target.buffer_length;
}

SQLRETURN deliver_fixed(const ResultTarget& target, const void* data, size_t size, SQLRETURN rc) {
  if (target.buffer) std::memcpy(target.buffer, data, size);
  report_length(target, static_cast<SQLLEN>(size));
  return rc;
}

}  // namespace convert

SQLRETURN convert_result_value(ErrorHeader* errors, QuillValue* value, const ResultTarget& target,
                               bool restart) {
  if (!value) return convert::fail_general(errors, "no value to convert");
  try {
    if (settle_value(value) < 0) return convert::fail_general(errors, "long data cannot be read");
    if (restart) {
      value->read_offset = 0;
      if (value->long_buffer) rewind_long_buffer(value->long_buffer);
    }
    if (is_value_null(value)) {
      if (!target.indicator) return convert::fail(errors, "22002");
      *target.indicator = SQL_NULL_DATA;
      return SQL_SUCCESS;
    }
    ResultTarget resolved = target;
    if (resolved.c_type == SQL_C_DEFAULT)
      resolved.c_type = convert::default_c_type(target.column_type);
    return convert::dispatch(errors, value, resolved);
  } catch (const std::bad_alloc&) {
    return convert::fail(errors, "HY001");
  } catch (...) {
    return convert::fail_general(errors, "conversion failed");
  }
}

SQLLEN result_element_size(SQLSMALLINT c_type, SQLLEN buffer_length) {
  switch (c_type) {
    case SQL_C_LONG:
    case SQL_C_SLONG:
    case SQL_C_ULONG:
    case SQL_FLOAT:
    case SQL_C_FLOAT:
      return 4;
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
    case SQL_C_USHORT:
      return 2;
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
    case SQL_C_UTINYINT:
    case SQL_C_BIT:
      return 1;
    case SQL_BIGINT:
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT:
    case SQL_C_DOUBLE:
      return 8;
    case SQL_C_NUMERIC:
      return sizeof(SQL_NUMERIC_STRUCT);
    case SQL_C_DATE:
    case SQL_C_TYPE_DATE:
      return sizeof(SQL_DATE_STRUCT);
    case SQL_C_TIME:
    case SQL_C_TYPE_TIME:
      return sizeof(SQL_TIME_STRUCT);
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP:
      return sizeof(SQL_TIMESTAMP_STRUCT);
    default:
      if (c_type >= SQL_C_INTERVAL_YEAR && c_type <= SQL_C_INTERVAL_MINUTE_TO_SECOND)
        return sizeof(SQL_INTERVAL_STRUCT);
      return buffer_length < 0 ? 0 : buffer_length;
  }
}
