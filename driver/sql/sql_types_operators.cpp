// The result-type rule of the value operators: which SQL type `left op right` yields (chosen
// by the family of the right operand), and the full description with precision, scale and
// interval precisions combined from the operands.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>

#include "driver/sql/sql_types.h"

namespace {

constexpr int kConflict = SQL_TYPE_CONFLICT;
constexpr int kTruth = SQL_TYPE_TRUTH;

bool is_comparison(int op) {
  return op >= 7 && op <= 12;
}
bool is_add_or_subtract(int op) {
  return op == 1 || op == 2;
}
bool is_arithmetic(int op) {
  return op == 1 || op == 2 || op == 4 || op == 5;
}
bool is_date(int t) {
  return t == SQL_DATE || t == SQL_TYPE_DATE;
}
bool is_time(int t) {
  return t == SQL_TIME || t == SQL_TYPE_TIME;
}
bool is_timestamp(int t) {
  return t == SQL_TIMESTAMP || t == SQL_TYPE_TIMESTAMP;
}
// DATE, TIME or TIMESTAMP in their ODBC 3 codes only (91..93).
bool is_odbc3_datetime(int t) {
  return t >= SQL_TYPE_DATE && t <= SQL_TYPE_TIMESTAMP;
}
bool is_interval(int t) {
  int family = type_family(t);
  return family == FAMILY_YEAR_MONTH || family == FAMILY_DAY_TIME;
}
bool is_exact_integer(int t) {
  return t == SQL_INTEGER || t == SQL_SMALLINT || t == SQL_TINYINT || t == SQL_BIGINT;
}

int character_right(int left, int right, int op) {
  if (op == 6) return kConflict;
  if (type_family(left) == FAMILY_DATETIME) return is_comparison(op) ? kTruth : kConflict;
  if (type_family(left) == FAMILY_CHARACTER) {
    if (op == 1 || op == 3) {
      if (left == SQL_LONGVARCHAR || right == SQL_LONGVARCHAR) return kConflict;
      return (left == SQL_VARCHAR || right == SQL_VARCHAR) ? SQL_VARCHAR : SQL_CHAR;
    }
    return is_comparison(op) ? kTruth : kConflict;
  }
  if (op == 1 || op == 3) return SQL_VARCHAR;
  if (is_comparison(op)) return right == SQL_LONGVARCHAR ? kConflict : kTruth;
  return kConflict;
}

// Arithmetic between two numeric types (neither NUMERIC nor DECIMAL).
int numeric_arithmetic(int left, int right) {
  switch (right) {
    case SQL_DOUBLE:
    case SQL_FLOAT:
    case SQL_REAL:
      if (left == SQL_BIGINT) return SQL_BIGINT;
      if (right == SQL_DOUBLE || left == SQL_DOUBLE) return SQL_DOUBLE;
      if (right == SQL_FLOAT || left == SQL_FLOAT) return SQL_FLOAT;
      return SQL_REAL;
    case SQL_BIGINT:
      return SQL_BIGINT;
    case SQL_INTEGER:
      return (left == SQL_SMALLINT || left == SQL_BIT || left == SQL_TINYINT) ? SQL_INTEGER : left;
    case SQL_SMALLINT:
      return (left == SQL_BIT || left == SQL_TINYINT) ? SQL_SMALLINT : left;
    case SQL_TINYINT:
      return left == SQL_BIT ? SQL_TINYINT : left;
    default:  // BIT
      return left;
  }
}

int numeric_right(int left, int right, int op) {
  if (op == 6) return right;
  if (left == SQL_CHAR || left == SQL_VARCHAR) {
    if (op == 1 || op == 3) return SQL_VARCHAR;
    return is_comparison(op) ? kTruth : kConflict;
  }
  if (op == 3) return kConflict;
  if (type_family(left) == FAMILY_DATETIME) {
    if (!is_add_or_subtract(op)) return kConflict;
    return is_odbc3_datetime(left) ? SQL_TYPE_TIMESTAMP : SQL_TIMESTAMP;
  }
  if (type_family(left) == FAMILY_NUMERIC) {
    if (is_comparison(op)) return kTruth;
    if (!is_arithmetic(op)) return kConflict;
    if (left == SQL_NUMERIC || right == SQL_NUMERIC) return SQL_NUMERIC;
    if (left == SQL_DECIMAL || right == SQL_DECIMAL) return SQL_DECIMAL;
    return numeric_arithmetic(left, right);
  }
  // An interval scaled by a number keeps its type; a single-field interval compares with a
  // number by its value.
  if (is_interval(left)) {
    if (op == 4 || op == 5) return left;
    bool single = left >= SQL_INTERVAL_YEAR && left <= SQL_INTERVAL_SECOND;
    if (is_comparison(op) && single) return kTruth;
  }
  return kConflict;
}

int binary_right(int left, int right, int op) {
  if (left != right || op == 6 || op == 3) return kConflict;
  return right;
}

// DATE (`accepts` lists the comparable left types), TIME and TIMESTAMP rights.
int datetime_right(int left, int right, int op) {
  if (op == 6 || op == 3) return kConflict;
  bool comparable = type_family(left) == FAMILY_CHARACTER || is_timestamp(left) ||
                    (is_date(right) && is_date(left)) || (is_time(right) && is_time(left)) ||
                    (is_timestamp(right) && (is_date(left) || is_time(left)));
  if (comparable) return is_comparison(op) ? kTruth : kConflict;
  if (type_family(left) == FAMILY_NUMERIC || is_interval(left)) {
    if (!is_add_or_subtract(op)) return kConflict;
    if (is_timestamp(right)) return right;
    return is_odbc3_datetime(right) ? SQL_TYPE_TIMESTAMP : SQL_TIMESTAMP;
  }
  return kConflict;
}

int interval_right(int left, int right, int op) {
  if (op == 3) return kConflict;
  if (op == 6) return right;
  if (is_comparison(op)) return kTruth;
  if (!is_arithmetic(op)) return kConflict;
  if (is_exact_integer(left)) return right;
  if (is_odbc3_datetime(left)) return is_add_or_subtract(op) ? left : kConflict;
  if (type_family(right) == FAMILY_YEAR_MONTH) {
    if (left == SQL_INTERVAL_YEAR)
      return right == SQL_INTERVAL_YEAR ? SQL_INTERVAL_YEAR : SQL_INTERVAL_YEAR_TO_MONTH;
    if (left == SQL_INTERVAL_MONTH)
      return right == SQL_INTERVAL_MONTH ? SQL_INTERVAL_MONTH : SQL_INTERVAL_YEAR_TO_MONTH;
    if (left == SQL_INTERVAL_YEAR_TO_MONTH) return SQL_INTERVAL_YEAR_TO_MONTH;
    return kConflict;
  }
  switch (left) {
    case SQL_INTERVAL_DAY:
    case SQL_INTERVAL_HOUR:
    case SQL_INTERVAL_DAY_TO_HOUR:
    case SQL_INTERVAL_DAY_TO_MINUTE:
    case SQL_INTERVAL_HOUR_TO_MINUTE:
    case SQL_INTERVAL_DAY_TO_SECOND:
      return SQL_INTERVAL_DAY_TO_SECOND;
    case SQL_INTERVAL_MINUTE:
    case SQL_INTERVAL_SECOND:
    case SQL_INTERVAL_MINUTE_TO_SECOND:
      return SQL_INTERVAL_MINUTE_TO_SECOND;
    case SQL_INTERVAL_HOUR_TO_SECOND:
      return SQL_INTERVAL_HOUR_TO_SECOND;
    default:
      return kConflict;
  }
}

// Precision and scale of a side entering exact arithmetic (15 and 0 without them).
void exact_precision(const TypeDescription& side, int* precision, int* scale) {
  bool exact = side.sql_type == SQL_NUMERIC || side.sql_type == SQL_DECIMAL;
  *precision = exact && side.precision > 0 ? side.precision : 15;
  *scale = exact && side.scale >= 0 ? side.scale : 0;
}

int leading_of(const TypeDescription& side) {
  return is_interval(side.sql_type) && side.interval_precision > 0 ? side.interval_precision : 2;
}
int fraction_of(const TypeDescription& side) {
  return interval_has_seconds(side.sql_type) ? side.fraction_precision : 6;
}

}  // namespace

int combine_nullable(int left, int right) {
  if (left == SQL_NULLABLE || right == SQL_NULLABLE) return SQL_NULLABLE;
  if (left == SQL_NO_NULLS && right == SQL_NO_NULLS) return SQL_NO_NULLS;
  return SQL_NULLABLE_UNKNOWN;
}

int operator_result_type(int left_type, int right_type, int op) {
  if (op < 1 || op > 12) return kConflict;
  // The NULL literal takes the type of the other operand (unary minus has only one).
  if (op != 6) {
    if (left_type == SQL_TYPE_NULL && right_type == SQL_TYPE_NULL)
      return is_comparison(op) ? kTruth : SQL_TYPE_NULL;
    if (left_type == SQL_TYPE_NULL) left_type = right_type;
    if (right_type == SQL_TYPE_NULL) right_type = left_type;
  } else if (right_type == SQL_TYPE_NULL) {
    return SQL_TYPE_NULL;
  }
  switch (type_family(right_type)) {
    case FAMILY_CHARACTER:
      return character_right(left_type, right_type, op);
    case FAMILY_NUMERIC:
      return numeric_right(left_type, right_type, op);
    case FAMILY_BINARY:
      return binary_right(left_type, right_type, op);
    case FAMILY_DATETIME:
      if (is_time(left_type) && is_date(right_type)) return kConflict;
      if (is_date(left_type) && is_time(right_type)) return kConflict;
      return datetime_right(left_type, right_type, op);
    case FAMILY_YEAR_MONTH:
    case FAMILY_DAY_TIME:
      return interval_right(left_type, right_type, op);
    default:
      return kConflict;
  }
}

bool operator_result_description(const TypeDescription& left, const TypeDescription& right, int op,
                                 TypeDescription* out) {
  int type = operator_result_type(left.sql_type, right.sql_type, op);
  if (type == kConflict) return false;
  if (op == 6) {
    *out = right;
    return true;
  }
  default_type_description(type, out);
  out->nullable = combine_nullable(left.nullable, right.nullable);
  if (type == kTruth || type == SQL_TYPE_NULL) return true;
  switch (type_family(type)) {
    case FAMILY_CHARACTER: {  // concatenation: room for both texts
      out->column_size = left.column_size + right.column_size;
      out->length = left.length + right.length;
      break;
    }
    case FAMILY_BINARY:
      *out = type == left.sql_type ? left : right;
      out->nullable = combine_nullable(left.nullable, right.nullable);
      break;
    case FAMILY_NUMERIC:
      if (type == SQL_NUMERIC || type == SQL_DECIMAL) {
        int p1, s1, p2, s2;
        exact_precision(left, &p1, &s1);
        exact_precision(right, &p2, &s2);
        bool product = op == 4 || op == 5;
        int precision = product ? p1 + p2 : std::max(p1, p2);
        int scale = product ? s1 + s2 : std::max(s1, s2);
        // Exact arithmetic carries at most 38 digits.
        out->precision = std::min(precision, 38);
        out->scale = std::min(scale, out->precision);
        out->column_size = out->precision;
        out->length = out->precision + 2;
      }
      break;
    case FAMILY_DATETIME:
      out->interval_precision = 0;
      break;
    case FAMILY_YEAR_MONTH:
      set_interval_description(out, std::max(leading_of(left), leading_of(right)), -1);
      break;
    case FAMILY_DAY_TIME: {
      int fraction = std::max(fraction_of(left), fraction_of(right));
      set_interval_description(out, std::max(leading_of(left), leading_of(right)),
                               interval_has_seconds(type) ? fraction : -1);
      break;
    }
    default:
      break;
  }
  return true;
}
