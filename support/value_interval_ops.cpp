// Interval arithmetic on values: interval +/- interval, scaling by a number,
// shifting dates, times and timestamps, negation and comparison.
#include <cmath>

#include "support/datetime.h"
#include "support/interval.h"
#include "support/numeric.h"
#include "support/value.h"

namespace {

using Wide = __int128;
constexpr int64_t kNanos = 1000000000;

bool is_interval_kind(int kind) {
  return kind == VALUE_YEAR_MONTH_INTERVAL || kind == VALUE_DAY_TIME_INTERVAL;
}

bool is_temporal_kind(int kind) {
  return kind == VALUE_DATE || kind == VALUE_TIME || kind == VALUE_TIMESTAMP;
}

bool is_number_kind(int kind) {
  return kind == VALUE_INTEGER || kind == VALUE_BIT || kind == VALUE_BIGINT ||
         kind == VALUE_DOUBLE || kind == VALUE_NUMERIC;
}

const void* payload_of(const QuillValue* v) {
  switch (v->kind) {
    case VALUE_INTEGER:
    case VALUE_BIT:
      return &v->payload.integer;
    case VALUE_BIGINT:
      return &v->payload.bigint;
    case VALUE_DOUBLE:
      return &v->payload.real;
    case VALUE_NUMERIC:
      return &v->payload.numeric;
    default:
      return &v->payload.interval;
  }
}

int post_unsupported(ErrorHeader* context) {
  return post_value_error(context, "HY000", "Unsupported type in interval operation");
}

int post_interval_overflow(ErrorHeader* context) {
  return post_value_error(context, "22015", "Interval field overflow");
}

int post_datetime_overflow(ErrorHeader* context) {
  return post_value_error(context, "22008", "Datetime field overflow");
}

// Signed total of an interval: months, or nanoseconds for day-time intervals.
Wide interval_total(const SQL_INTERVAL_STRUCT* v) {
  int64_t fraction = 0;
  int64_t base = get_base_value(v, &fraction);
  if (is_year_month_interval(interval_type_of(v))) return base;
  return Wide{base} * kNanos + fraction;
}

// Writes `total` (as interval_total gives it) into an interval of `type`.
int store_interval(Wide total, int type, int32_t leading_precision, QuillValue* result,
                   ErrorHeader* context) {
  if (!is_year_month_interval(type) && !is_day_time_interval(type))
    return post_unsupported(context);
  SQL_INTERVAL_STRUCT out{};
  out.interval_type = static_cast<SQLINTERVAL>(type);
  Wide units = total, fraction = 0;
  if (is_day_time_interval(type)) {
    units = total / kNanos;
    fraction = total % kNanos;
  }
  if (units > INT64_MAX || units < -INT64_MAX) return post_interval_overflow(context);
  if (normalise_interval(static_cast<int64_t>(units), static_cast<int64_t>(fraction), &out) != 0)
    return post_interval_overflow(context);
  set_interval_payload(result, &out, leading_precision);
  return 0;
}

// Interval type of interval +/- interval: the same type when both agree, otherwise the
// widest type that keeps every field of the left operand.
int combined_type(int left, int right) {
  if (left == right) return left;
  if (is_year_month_interval(left)) return SQL_IS_YEAR_TO_MONTH;
  switch (left) {
    case SQL_IS_MINUTE:
    case SQL_IS_SECOND:
    case SQL_IS_MINUTE_TO_SECOND:
      return SQL_IS_MINUTE_TO_SECOND;
    case SQL_IS_HOUR_TO_SECOND:
      return SQL_IS_HOUR_TO_SECOND;
    default:
      return SQL_IS_DAY_TO_SECOND;
  }
}

int32_t wider_precision(int32_t a, int32_t b) {
  if (a <= 0) a = 2;
  if (b <= 0) b = 2;
  return a > b ? a : b;
}

int add_intervals(const QuillValue* a, const QuillValue* b, QuillValue* result,
                  ErrorHeader* context, int op) {
  const SQL_INTERVAL_STRUCT& x = a->payload.interval;
  const SQL_INTERVAL_STRUCT& y = b->payload.interval;
  if (a->kind != b->kind) return post_unsupported(context);
  int type = combined_type(interval_type_of(&x), interval_type_of(&y));
  int32_t precision = wider_precision(a->interval_precision, b->interval_precision);
  if (is_value_null(a) || is_value_null(b)) {
    set_value_null(result, a->kind);
    result->payload.interval.interval_type = static_cast<SQLINTERVAL>(type);
    return 0;
  }
  Wide total = op == VALUE_OP_ADD ? interval_total(&x) + interval_total(&y)
                                  : interval_total(&x) - interval_total(&y);
  return store_interval(total, type, precision, result, context);
}

int scale_interval(const QuillValue* interval, const QuillValue* number, QuillValue* result,
                   ErrorHeader* context, int op) {
  const SQL_INTERVAL_STRUCT& x = interval->payload.interval;
  if (is_value_null(interval) || is_value_null(number)) {
    set_value_null(result, interval->kind);
    result->payload.interval.interval_type = x.interval_type;
    return 0;
  }
  Wide total = interval_total(&x);
  Wide scaled = 0;
  int64_t factor = 0;
  bool exact = number->kind != VALUE_DOUBLE && number->kind != VALUE_NUMERIC;
  if (exact) {
    get_bigint_from_value(number, &factor);
    if (op == VALUE_OP_DIVIDE) {
      if (factor == 0) return post_value_error(context, "22012", "Division by zero");
      scaled = total / factor;
    } else if (__builtin_mul_overflow(total, Wide{factor}, &scaled)) {
      return post_interval_overflow(context);
    }
  } else {
    double d = 0;
    get_double_from_value(number, &d);
    if (op == VALUE_OP_DIVIDE && d == 0)
      return post_value_error(context, "22012", "Division by zero");
    long double r = op == VALUE_OP_DIVIDE ? static_cast<long double>(total) / d
                                          : static_cast<long double>(total) * d;
    if (!std::isfinite(r) || std::fabs(r) > 1e30L) return post_interval_overflow(context);
    scaled = static_cast<Wide>(r);
  }
  return store_interval(scaled, interval_type_of(&x), interval->interval_precision, result,
                        context);
}

int64_t floor_div(Wide a, int64_t b, Wide* remainder) {
  Wide q = a / b, r = a % b;
  if (r < 0) {
    --q;
    r += b;
  }
  *remainder = r;
  return static_cast<int64_t>(q);
}

// temporal + sign * interval, the result of the temporal's kind.
int shift_temporal(const QuillValue* temporal, const QuillValue* interval, int sign,
                   QuillValue* result, ErrorHeader* context) {
  const SQL_INTERVAL_STRUCT& x = interval->payload.interval;
  bool year_month = interval->kind == VALUE_YEAR_MONTH_INTERVAL;
  if (temporal->kind == VALUE_TIME && year_month) return post_unsupported(context);
  if (is_value_null(temporal) || is_value_null(interval)) {
    set_value_null(result, temporal->kind);
    return 0;
  }
  Wide amount = interval_total(&x) * sign;
  if (temporal->kind == VALUE_TIME) {
    // Times wrap around midnight.
    const SQL_TIME_STRUCT& t = temporal->payload.time;
    Wide nanos = (Wide{t.hour} * 3600 + t.minute * 60 + t.second) * kNanos + amount;
    Wide in_day = 0;
    floor_div(nanos, SECONDS_PER_DAY * kNanos, &in_day);
    int64_t seconds = static_cast<int64_t>(in_day / kNanos);
    SQL_TIME_STRUCT out{static_cast<SQLUSMALLINT>(seconds / 3600),
                        static_cast<SQLUSMALLINT>(seconds / 60 % 60),
                        static_cast<SQLUSMALLINT>(seconds % 60)};
    set_value_to_time(result, &out);
    return 0;
  }
  SQL_TIMESTAMP_STRUCT ts{};
  if (temporal->kind == VALUE_DATE) {
    ts.year = temporal->payload.date.year;
    ts.month = temporal->payload.date.month;
    ts.day = temporal->payload.date.day;
  } else {
    ts = temporal->payload.timestamp;
  }
  SQL_TIMESTAMP_STRUCT out{};
  if (year_month) {
    if (amount > INT64_MAX || amount < INT64_MIN ||
        timestamp_add_months(&out, &ts, static_cast<int64_t>(amount)) != 0)
      return post_datetime_overflow(context);
  } else {
    Wide nanos = Wide{timestamp_to_seconds(&ts)} * kNanos + ts.fraction + amount;
    Wide fraction = 0;
    int64_t seconds = floor_div(nanos, kNanos, &fraction);
    if (timestamp_from_seconds(seconds, static_cast<uint32_t>(fraction), &out) != 0)
      return post_datetime_overflow(context);
  }
  if (temporal->kind == VALUE_DATE) {
    SQL_DATE_STRUCT date{out.year, out.month, out.day};
    set_value_to_date(result, &date);
  } else {
    set_value_to_timestamp(result, &out);
  }
  return 0;
}

int compare_with_interval(const QuillValue* a, const QuillValue* b, QuillValue* result,
                          ErrorHeader* context, int op) {
  if (is_value_null(a) || is_value_null(b)) {
    set_trivalue_in_value(result, TRUTH_UNKNOWN);
    return 0;
  }
  int order = 0;
  if (is_interval_kind(a->kind)) {
    order = interval_compare(&a->payload.interval, payload_of(b), b->kind, context);
  } else {
    order = interval_compare(&b->payload.interval, payload_of(a), a->kind, context);
    if (order != INTERVAL_NOT_COMPARABLE) order = -order;
  }
  if (order == INTERVAL_NOT_COMPARABLE) return -1;
  set_trivalue_in_value(result, comparison_truth(order, op));
  return 0;
}

}  // namespace

int interval_operation(const QuillValue* a, const QuillValue* b, QuillValue* result,
                       ErrorHeader* context, int op) {
  if (!a || !result) return post_unsupported(context);
  if (op == VALUE_OP_NEGATE) {
    if (!is_interval_kind(a->kind)) return post_unsupported(context);
    if (is_value_null(a)) return set_value_to_interval(result, a);
    SQL_INTERVAL_STRUCT negated = a->payload.interval;
    if (interval_total(&negated) != 0)
      negated.interval_sign = negated.interval_sign == SQL_TRUE ? SQL_FALSE : SQL_TRUE;
    return set_interval_payload(result, &negated, a->interval_precision) == 0
               ? 0
               : post_unsupported(context);
  }
  if (!b || (!is_interval_kind(a->kind) && !is_interval_kind(b->kind)))
    return post_unsupported(context);
  const QuillValue* interval = is_interval_kind(a->kind) ? a : b;
  const QuillValue* other = interval == a ? b : a;
  if (op >= VALUE_OP_LESS && op <= VALUE_OP_NOT_EQUAL)
    return compare_with_interval(a, b, result, context, op);
  switch (op) {
    case VALUE_OP_ADD:
    case VALUE_OP_SUBTRACT:
      if (is_interval_kind(other->kind)) return add_intervals(a, b, result, context, op);
      if (is_temporal_kind(other->kind))
        return shift_temporal(other, interval, op == VALUE_OP_ADD ? 1 : -1, result, context);
      return post_unsupported(context);
    case VALUE_OP_MULTIPLY:
      if (!is_number_kind(other->kind)) return post_unsupported(context);
      return scale_interval(interval, other, result, context, op);
    case VALUE_OP_DIVIDE:
      if (interval != a || !is_number_kind(b->kind)) return post_unsupported(context);
      return scale_interval(a, b, result, context, op);
    default:
      return post_unsupported(context);
  }
}
