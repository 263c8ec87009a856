// Interval totals and normalisation. Day-time intervals are reduced to signed
// seconds plus a nanosecond fraction, year-month intervals to signed months.
#include "support/interval.h"

#include <cstring>

#include "support/numeric.h"

namespace {

constexpr int64_t NANOSECONDS_PER_SECOND_I64 = 1000000000;

enum IntervalField { FIELD_DAY = 0, FIELD_HOUR, FIELD_MINUTE, FIELD_SECOND };

// Leading and trailing day-time field of each day-time type.
struct DayTimeShape {
  int leading;
  int trailing;
};

bool day_time_shape(int type, DayTimeShape* shape) {
  switch (type) {
    case SQL_IS_DAY:
      *shape = {FIELD_DAY, FIELD_DAY};
      return true;
    case SQL_IS_HOUR:
      *shape = {FIELD_HOUR, FIELD_HOUR};
      return true;
    case SQL_IS_MINUTE:
      *shape = {FIELD_MINUTE, FIELD_MINUTE};
      return true;
    case SQL_IS_SECOND:
      *shape = {FIELD_SECOND, FIELD_SECOND};
      return true;
    case SQL_IS_DAY_TO_HOUR:
      *shape = {FIELD_DAY, FIELD_HOUR};
      return true;
    case SQL_IS_DAY_TO_MINUTE:
      *shape = {FIELD_DAY, FIELD_MINUTE};
      return true;
    case SQL_IS_DAY_TO_SECOND:
      *shape = {FIELD_DAY, FIELD_SECOND};
      return true;
    case SQL_IS_HOUR_TO_MINUTE:
      *shape = {FIELD_HOUR, FIELD_MINUTE};
      return true;
    case SQL_IS_HOUR_TO_SECOND:
      *shape = {FIELD_HOUR, FIELD_SECOND};
      return true;
    case SQL_IS_MINUTE_TO_SECOND:
      *shape = {FIELD_MINUTE, FIELD_SECOND};
      return true;
    default:
      return false;
  }
}

// Seconds in one unit of each field, and how many of a field make one of the field above.
constexpr int64_t kFieldSeconds[4] = {86400, 3600, 60, 1};
constexpr int64_t kFieldRadix[4] = {0, 24, 60, 60};

SQLUINTEGER* day_time_slot(SQL_INTERVAL_STRUCT* v, int field) {
  switch (field) {
    case FIELD_DAY:
      return &v->intval.day_second.day;
    case FIELD_HOUR:
      return &v->intval.day_second.hour;
    case FIELD_MINUTE:
      return &v->intval.day_second.minute;
    default:
      return &v->intval.day_second.second;
  }
}

int sign_of(long double difference) {
  return difference < 0 ? -1 : (difference > 0 ? 1 : 0);
}

int post_not_comparable(ErrorHeader* context) {
  if (context) {
    SetReturnCode(context, -1);
    PostError(context, 1, 0, 0, 0, 0, "ODBC3.0", "HY000", "Unsupported type in interval compare");
  }
  return INTERVAL_NOT_COMPARABLE;
}

}  // namespace

int interval_type_of(const SQL_INTERVAL_STRUCT* interval) {
  static_assert(sizeof(interval->interval_type) == sizeof(int));
  int type = 0;
  std::memcpy(&type, &interval->interval_type, sizeof type);
  return type;
}

bool is_year_month_interval(int type) {
  return type == SQL_IS_YEAR || type == SQL_IS_MONTH || type == SQL_IS_YEAR_TO_MONTH;
}

bool is_day_time_interval(int type) {
  DayTimeShape shape{};
  return day_time_shape(type, &shape);
}

bool is_single_field_interval(int type) {
  return type >= SQL_IS_YEAR && type <= SQL_IS_SECOND;
}

int interval_sql_type(int type) {
  return (type >= SQL_IS_YEAR && type <= SQL_IS_MINUTE_TO_SECOND) ? 100 + type : 0;
}

int64_t interval_leading_value(const SQL_INTERVAL_STRUCT* v) {
  int64_t magnitude = 0;
  switch (interval_type_of(v)) {
    case SQL_IS_YEAR:
    case SQL_IS_YEAR_TO_MONTH:
      magnitude = v->intval.year_month.year;
      break;
    case SQL_IS_MONTH:
      magnitude = v->intval.year_month.month;
      break;
    default: {
      DayTimeShape shape{};
      if (!day_time_shape(interval_type_of(v), &shape)) return 0;
      magnitude = *day_time_slot(const_cast<SQL_INTERVAL_STRUCT*>(v), shape.leading);
    }
  }
  return v->interval_sign == SQL_TRUE ? -magnitude : magnitude;
}

int64_t get_base_value(const SQL_INTERVAL_STRUCT* v, int64_t* scratch) {
  if (scratch) *scratch = 0;
  int64_t total = 0;
  int64_t fraction = 0;
  if (is_year_month_interval(interval_type_of(v))) {
    if (interval_type_of(v) != SQL_IS_MONTH) total = int64_t{v->intval.year_month.year} * 12;
    if (interval_type_of(v) != SQL_IS_YEAR) total += v->intval.year_month.month;
  } else {
    DayTimeShape shape{};
    if (!day_time_shape(interval_type_of(v), &shape)) return 0;
    auto* fields = const_cast<SQL_INTERVAL_STRUCT*>(v);
    for (int f = shape.leading; f <= shape.trailing; ++f)
      total += int64_t{*day_time_slot(fields, f)} * kFieldSeconds[f];
    if (shape.trailing == FIELD_SECOND) fraction = v->intval.day_second.fraction;
  }
  bool negative = v->interval_sign == SQL_TRUE;
  if (scratch) *scratch = negative ? -fraction : fraction;
  return negative ? -total : total;
}

int normalise_interval(int64_t units, int64_t fraction, SQL_INTERVAL_STRUCT* value) {
  int type = interval_type_of(value);
  // Fold the fraction into whole units first so that any mix of signs is accepted.
  units += fraction / NANOSECONDS_PER_SECOND_I64;
  fraction %= NANOSECONDS_PER_SECOND_I64;
  if (units > 0 && fraction < 0) {
    --units;
    fraction += NANOSECONDS_PER_SECOND_I64;
  } else if (units < 0 && fraction > 0) {
    ++units;
    fraction -= NANOSECONDS_PER_SECOND_I64;
  }
  bool negative = units < 0 || (units == 0 && fraction < 0);
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(units) : static_cast<uint64_t>(units);
  uint64_t fraction_magnitude = static_cast<uint64_t>(fraction < 0 ? -fraction : fraction);

  if (!is_year_month_interval(type) && !is_day_time_interval(type)) return -1;
  SQL_INTERVAL_STRUCT out{};
  out.interval_type = static_cast<SQLINTERVAL>(type);
  if (is_year_month_interval(type)) {
    uint64_t leading = type == SQL_IS_MONTH ? magnitude : magnitude / 12;
    if (leading > UINT32_MAX) return -1;
    if (type == SQL_IS_MONTH)
      out.intval.year_month.month = static_cast<SQLUINTEGER>(leading);
    else
      out.intval.year_month.year = static_cast<SQLUINTEGER>(leading);
    if (type == SQL_IS_YEAR_TO_MONTH)
      out.intval.year_month.month = static_cast<SQLUINTEGER>(magnitude % 12);
    fraction_magnitude = 0;
  } else {
    DayTimeShape shape{};
    if (!day_time_shape(type, &shape)) return -1;
    uint64_t rest = magnitude / static_cast<uint64_t>(kFieldSeconds[shape.trailing]);
    for (int f = shape.trailing; f > shape.leading; --f) {
      *day_time_slot(&out, f) = static_cast<SQLUINTEGER>(rest % kFieldRadix[f]);
      rest /= static_cast<uint64_t>(kFieldRadix[f]);
    }
    if (rest > UINT32_MAX) return -1;
    *day_time_slot(&out, shape.leading) = static_cast<SQLUINTEGER>(rest);
    if (shape.trailing == FIELD_SECOND)
      out.intval.day_second.fraction = static_cast<SQLUINTEGER>(fraction_magnitude);
    else
      fraction_magnitude = 0;
  }
  bool any = magnitude != 0 || fraction_magnitude != 0;
  out.interval_sign = (negative && any) ? SQL_TRUE : SQL_FALSE;
  *value = out;
  return 0;
}

int compare_interval(const SQL_INTERVAL_STRUCT* a, const SQL_INTERVAL_STRUCT* b) {
  bool a_year_month = is_year_month_interval(interval_type_of(a));
  bool b_year_month = is_year_month_interval(interval_type_of(b));
  if (a_year_month != b_year_month) return a_year_month ? -1 : 1;
  int64_t fraction_a = 0, fraction_b = 0;
  int64_t total_a = get_base_value(a, &fraction_a);
  int64_t total_b = get_base_value(b, &fraction_b);
  if (total_a != total_b) return total_a < total_b ? -1 : 1;
  return fraction_a < fraction_b ? -1 : (fraction_a > fraction_b ? 1 : 0);
}

int interval_compare(const SQL_INTERVAL_STRUCT* left, const void* right, int right_kind,
                     ErrorHeader* context) {
  if (!left || !right) return post_not_comparable(context);
  if (right_kind == 13 || right_kind == 14) {
    const auto* other = static_cast<const SQL_INTERVAL_STRUCT*>(right);
    if (is_year_month_interval(interval_type_of(left)) !=
        is_year_month_interval(interval_type_of(other)))
      return post_not_comparable(context);
    return compare_interval(left, other);
  }
  if (!is_single_field_interval(interval_type_of(left))) return post_not_comparable(context);
  long double field = static_cast<long double>(interval_leading_value(left));
  if (interval_type_of(left) == SQL_IS_SECOND) {
    int64_t fraction = 0;
    get_base_value(left, &fraction);
    field += static_cast<long double>(fraction) / NANOSECONDS_PER_SECOND_I64;
  }
  long double number = 0;
  switch (right_kind) {
    case 1:
    case 4:
      number = *static_cast<const int32_t*>(right);
      break;
    case 12:
      number = static_cast<long double>(*static_cast<const int64_t*>(right));
      break;
    case 2:
      number = *static_cast<const double*>(right);
      break;
    case 10:
      number = numeric_to_double(static_cast<const SQL_NUMERIC_STRUCT*>(right));
      break;
    default:
      return post_not_comparable(context);
  }
  return sign_of(field - number);
}
