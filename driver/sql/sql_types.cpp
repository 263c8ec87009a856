// SQL type codes: families, compatibility, the value kinds that hold each type, the type
// table (default descriptions) and the conversion check of INSERT and UPDATE.
#include "driver/sql/sql_types.h"

#include <sql.h>
#include <sqlext.h>

#include "support/value.h"

namespace {

// One row of the type table: the size, octet length and precision a type has when nothing
// more is known about it.
struct TypeRow {
  int sql_type;
  const char* name;
  int64_t column_size;
  int64_t length;
  int precision;
  int scale;
};

constexpr int64_t kLongSize = 2147483647;

constexpr TypeRow kTypeTable[] = {
    {SQL_CHAR, "CHAR", 254, 254, 0, 0},
    {SQL_VARCHAR, "VARCHAR", 254, 254, 0, 0},
    {SQL_LONGVARCHAR, "LONGVARCHAR", kLongSize, kLongSize, 0, 0},
    {SQL_NUMERIC, "NUMERIC", 15, 17, 15, 0},
    {SQL_DECIMAL, "DECIMAL", 15, 17, 15, 0},
    {SQL_INTEGER, "INTEGER", 10, 4, 10, 0},
    {SQL_SMALLINT, "SMALLINT", 5, 2, 5, 0},
    {SQL_TINYINT, "TINYINT", 3, 1, 3, 0},
    {SQL_BIGINT, "BIGINT", 19, 8, 19, 0},
    {SQL_BIT, "BIT", 1, 1, 1, 0},
    {SQL_FLOAT, "FLOAT", 15, 8, 15, 0},
    {SQL_REAL, "REAL", 7, 4, 7, 0},
    {SQL_DOUBLE, "DOUBLE", 15, 8, 15, 0},
    // Binary lengths count the data as hex text: two characters a byte.
    {SQL_BINARY, "BINARY", 254, 508, 0, 0},
    {SQL_VARBINARY, "VARBINARY", 254, 508, 0, 0},
    {SQL_LONGVARBINARY, "LONGVARBINARY", kLongSize, kLongSize, 0, 0},
    // Date and time lengths are those of their text forms; precision is fraction digits.
    {SQL_DATE, "DATE", 10, 10, 0, 0},
    {SQL_TIME, "TIME", 8, 8, 0, 0},
    {SQL_TIMESTAMP, "TIMESTAMP", 26, 26, 6, 0},
    {SQL_TYPE_DATE, "DATE", 10, 10, 0, 0},
    {SQL_TYPE_TIME, "TIME", 8, 8, 0, 0},
    {SQL_TYPE_TIMESTAMP, "TIMESTAMP", 26, 26, 6, 0},
    // Interval sizes follow from the default precisions (leading 2, seconds 6).
    {SQL_INTERVAL_YEAR, "INTERVAL YEAR", 0, 0, 0, 0},
    {SQL_INTERVAL_MONTH, "INTERVAL MONTH", 0, 0, 0, 0},
    {SQL_INTERVAL_DAY, "INTERVAL DAY", 0, 0, 0, 0},
    {SQL_INTERVAL_HOUR, "INTERVAL HOUR", 0, 0, 0, 0},
    {SQL_INTERVAL_MINUTE, "INTERVAL MINUTE", 0, 0, 0, 0},
    {SQL_INTERVAL_SECOND, "INTERVAL SECOND", 0, 0, 6, 0},
    {SQL_INTERVAL_YEAR_TO_MONTH, "INTERVAL YEAR TO MONTH", 0, 0, 0, 0},
    {SQL_INTERVAL_DAY_TO_HOUR, "INTERVAL DAY TO HOUR", 0, 0, 0, 0},
    {SQL_INTERVAL_DAY_TO_MINUTE, "INTERVAL DAY TO MINUTE", 0, 0, 0, 0},
    {SQL_INTERVAL_DAY_TO_SECOND, "INTERVAL DAY TO SECOND", 0, 0, 6, 0},
    {SQL_INTERVAL_HOUR_TO_MINUTE, "INTERVAL HOUR TO MINUTE", 0, 0, 0, 0},
    {SQL_INTERVAL_HOUR_TO_SECOND, "INTERVAL HOUR TO SECOND", 0, 0, 6, 0},
    {SQL_INTERVAL_MINUTE_TO_SECOND, "INTERVAL MINUTE TO SECOND", 0, 0, 6, 0},
    {SQL_TYPE_NULL, "NULL", 1, 1, 0, 0},
    {SQL_TYPE_TRUTH, "BOOLEAN", 1, 1, 1, 0},
    {SQL_TYPE_PARAMETER, "UNKNOWN", 0, 0, 0, 0},
};

}  // namespace

int type_family(int sql_type) {
  switch (sql_type) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
      return FAMILY_CHARACTER;
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
      return FAMILY_NUMERIC;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return FAMILY_BINARY;
    case SQL_DATE:
    case SQL_TIME:
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
      return FAMILY_DATETIME;
    case SQL_INTERVAL_YEAR:
    case SQL_INTERVAL_MONTH:
    case SQL_INTERVAL_YEAR_TO_MONTH:
      return FAMILY_YEAR_MONTH;
    default:
      if (sql_type >= SQL_INTERVAL_DAY && sql_type <= SQL_INTERVAL_MINUTE_TO_SECOND)
        return FAMILY_DAY_TIME;
      return FAMILY_NONE;
  }
}

bool types_compatible(int left_type, int right_type) {
  int left = type_family(left_type);
  int right = type_family(right_type);
  if (left_type == SQL_TYPE_NULL) return right != FAMILY_NONE || right_type == SQL_TYPE_NULL;
  if (right_type == SQL_TYPE_NULL) return left != FAMILY_NONE;
  return left != FAMILY_NONE && left == right;
}

int value_kind_of_sql_type(int sql_type) {
  switch (sql_type) {
    case SQL_CHAR:
    case SQL_VARCHAR:
      return VALUE_CHARACTER;
    case SQL_LONGVARCHAR:
      return VALUE_LONG_CHARACTER;
    case SQL_NUMERIC:
    case SQL_DECIMAL:
      return VALUE_NUMERIC;
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_TINYINT:
    case SQL_TYPE_TRUTH:  // truth values are stored as integers
      return VALUE_INTEGER;
    case SQL_FLOAT:
    case SQL_REAL:
    case SQL_DOUBLE:
      return VALUE_DOUBLE;
    case SQL_BIGINT:
      return VALUE_BIGINT;
    case SQL_BIT:
      return VALUE_BIT;
    case SQL_BINARY:
    case SQL_VARBINARY:
      return VALUE_BINARY;
    case SQL_LONGVARBINARY:
      return VALUE_LONG_BINARY;
    case SQL_DATE:
    case SQL_TYPE_DATE:
      return VALUE_DATE;
    case SQL_TIME:
    case SQL_TYPE_TIME:
      return VALUE_TIME;
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP:
      return VALUE_TIMESTAMP;
    default:
      break;
  }
  switch (type_family(sql_type)) {
    case FAMILY_YEAR_MONTH:
      return VALUE_YEAR_MONTH_INTERVAL;
    case FAMILY_DAY_TIME:
      return VALUE_DAY_TIME_INTERVAL;
    default:
      return VALUE_NONE;
  }
}

int sql_type_of_value_kind(int value_kind) {
  // As the value layer maps kinds, except that a bit value is reported as BIT.
  if (value_kind == VALUE_BIT) return SQL_BIT;
  int sql_type = value_type_to_sql(value_kind, nullptr);
  return sql_type != 0 ? sql_type : SQL_TYPE_UNKNOWN;
}

bool interval_has_seconds(int sql_type) {
  return sql_type == SQL_INTERVAL_SECOND || sql_type == SQL_INTERVAL_DAY_TO_SECOND ||
         sql_type == SQL_INTERVAL_HOUR_TO_SECOND || sql_type == SQL_INTERVAL_MINUTE_TO_SECOND;
}

int64_t interval_text_length(int sql_type, int leading_precision, int fraction_precision) {
  int64_t leading = leading_precision > 0 ? leading_precision : 2;
  // Characters the fields after the leading one take: "-MM", " HH", ":SS", ...
  int64_t trailing = 0;
  switch (sql_type) {
    case SQL_INTERVAL_YEAR_TO_MONTH:
    case SQL_INTERVAL_DAY_TO_HOUR:
    case SQL_INTERVAL_HOUR_TO_MINUTE:
    case SQL_INTERVAL_MINUTE_TO_SECOND:
      trailing = 3;
      break;
    case SQL_INTERVAL_DAY_TO_MINUTE:
    case SQL_INTERVAL_HOUR_TO_SECOND:
      trailing = 6;
      break;
    case SQL_INTERVAL_DAY_TO_SECOND:
      trailing = 9;
      break;
    default:
      break;
  }
  if (interval_has_seconds(sql_type) && fraction_precision >= 0)
    trailing += fraction_precision + 1;  // the point and the fraction digits
  return leading + trailing;
}

void default_type_description(int sql_type, TypeDescription* out) {
  *out = TypeDescription{sql_type, "UNKNOWN", 0, 0, 0, 0, 0, 0, SQL_NULLABLE_UNKNOWN};
  for (const TypeRow& row : kTypeTable) {
    if (row.sql_type != sql_type) continue;
    out->type_name = row.name;
    out->column_size = row.column_size;
    out->length = row.length;
    out->precision = row.precision;
    out->scale = row.scale;
    break;
  }
  if (type_family(sql_type) == FAMILY_YEAR_MONTH || type_family(sql_type) == FAMILY_DAY_TIME)
    set_interval_description(out, 2, interval_has_seconds(sql_type) ? 6 : -1);
}

void set_interval_description(TypeDescription* out, int leading_precision, int fraction_precision) {
  out->interval_precision = leading_precision > 0 ? leading_precision : 2;
  bool seconds = interval_has_seconds(out->sql_type);
  out->fraction_precision = seconds && fraction_precision >= 0 ? fraction_precision : 0;
  out->precision = out->fraction_precision;
  out->scale = 0;
  out->column_size = interval_text_length(out->sql_type, out->interval_precision,
                                          seconds ? fraction_precision : -1);
  out->length = out->column_size;
}

bool conversion_allowed(int from_type, int to_type) {
  int from = type_family(from_type);
  int to = type_family(to_type);
  // NULL fits every column; an untyped parameter is converted when its value arrives.
  if (from_type == SQL_TYPE_NULL || from_type == SQL_TYPE_PARAMETER) return to != FAMILY_NONE;
  if (from == FAMILY_NONE || to == FAMILY_NONE) return false;
  if (from == to) return true;
  // Text converts to and from every family: it is parsed as a literal of the target type
  // on the way in and written in its text form on the way out.
  if (from == FAMILY_CHARACTER || to == FAMILY_CHARACTER) return true;
  // A number stores into a single-field interval and back (the field's value).
  bool single_field_from = from_type >= SQL_INTERVAL_YEAR && from_type <= SQL_INTERVAL_SECOND;
  bool single_field_to = to_type >= SQL_INTERVAL_YEAR && to_type <= SQL_INTERVAL_SECOND;
  if (from == FAMILY_NUMERIC && single_field_to) return true;
  if (to == FAMILY_NUMERIC && single_field_from) return true;
  return false;
}
