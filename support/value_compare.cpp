// The total order of values used by sorting, DISTINCT and grouping.
#include <cmath>
#include <cstring>
#include <string>

#include "support/datetime.h"
#include "support/interval.h"
#include "support/numeric.h"
#include "support/value.h"

namespace {

// Classes of mutually comparable kinds; values of different classes order by class.
int class_rank(int kind) {
  switch (kind) {
    case VALUE_INTEGER:
    case VALUE_DOUBLE:
    case VALUE_BIT:
    case VALUE_NUMERIC:
    case VALUE_BIGINT:
      return 1;
    case VALUE_CHARACTER:
    case VALUE_LONG_CHARACTER:
      return 3;
    case VALUE_BINARY:
    case VALUE_LONG_BINARY:
      return 5;
    case VALUE_DATE:
    case VALUE_TIMESTAMP:
      return 7;
    case VALUE_TIME:
      return 8;
    case VALUE_YEAR_MONTH_INTERVAL:
      return 13;
    case VALUE_DAY_TIME_INTERVAL:
      return 14;
    default:
      return 100 + kind;
  }
}

int three_way(long double a, long double b) {
  return a < b ? -1 : (a > b ? 1 : 0);
}

int64_t integral_of(const QuillValue* v) {
  return v->kind == VALUE_BIGINT ? v->payload.bigint : v->payload.integer;
}

long double real_of(const QuillValue* v) {
  switch (v->kind) {
    case VALUE_DOUBLE:
      return v->payload.real;
    case VALUE_NUMERIC:
      return numeric_to_double(&v->payload.numeric);
    default:
      return static_cast<long double>(integral_of(v));
  }
}

SQL_NUMERIC_STRUCT exact_of(const QuillValue* v) {
  if (v->kind == VALUE_NUMERIC) return v->payload.numeric;
  SQL_NUMERIC_STRUCT n{};
  numeric_from_int64(integral_of(v), NUMERIC_MAX_PRECISION, 0, &n);
  return n;
}

int compare_numbers(const QuillValue* a, const QuillValue* b) {
  if (a->kind == VALUE_DOUBLE || b->kind == VALUE_DOUBLE) {
    long double x = real_of(a), y = real_of(b);
    bool x_nan = std::isnan(x), y_nan = std::isnan(y);
    if (x_nan || y_nan) return static_cast<int>(x_nan) - static_cast<int>(y_nan);
    return three_way(x, y);
  }
  if (a->kind == VALUE_NUMERIC || b->kind == VALUE_NUMERIC) {
    SQL_NUMERIC_STRUCT x = exact_of(a), y = exact_of(b);
    int order = numeric_cmp(&x, &y);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
  }
  int64_t x = integral_of(a), y = integral_of(b);
  return x < y ? -1 : (x > y ? 1 : 0);
}

// The bytes of a character, binary or long value; long content is read into `storage`.
void content_of(const QuillValue* v, std::string* storage, const unsigned char** data,
                size_t* length) {
  *data = nullptr;
  *length = 0;
  if (v->kind == VALUE_LONG_CHARACTER || v->kind == VALUE_LONG_BINARY) {
    int64_t total = long_buffer_length(v->long_buffer);
    if (total <= 0) return;
    storage->resize(static_cast<size_t>(total));
    int64_t got = read_long_buffer_at(v->long_buffer, 0, storage->data(), storage->size());
    storage->resize(got > 0 ? static_cast<size_t>(got) : 0);
    *data = reinterpret_cast<const unsigned char*>(storage->data());
    *length = storage->size();
    return;
  }
  if (!v->bytes.data) return;
  *data = reinterpret_cast<const unsigned char*>(v->bytes.data);
  *length = v->kind == VALUE_CHARACTER
                ? strnlen(v->bytes.data, static_cast<size_t>(v->bytes.capacity))
                : static_cast<size_t>(v->bytes.length);
}

int compare_bytes(const QuillValue* a, const QuillValue* b, bool ignore_trailing_blanks) {
  std::string storage_a, storage_b;
  const unsigned char *x = nullptr, *y = nullptr;
  size_t nx = 0, ny = 0;
  content_of(a, &storage_a, &x, &nx);
  content_of(b, &storage_b, &y, &ny);
  if (ignore_trailing_blanks) {
    while (nx > 0 && x[nx - 1] == ' ') --nx;
    while (ny > 0 && y[ny - 1] == ' ') --ny;
  }
  size_t common = nx < ny ? nx : ny;
  int order = common ? std::memcmp(x, y, common) : 0;
  if (order != 0) return order < 0 ? -1 : 1;
  return nx < ny ? -1 : (nx > ny ? 1 : 0);
}

SQL_TIMESTAMP_STRUCT as_timestamp(const QuillValue* v) {
  if (v->kind == VALUE_TIMESTAMP) return v->payload.timestamp;
  SQL_TIMESTAMP_STRUCT ts{};
  ts.year = v->payload.date.year;
  ts.month = v->payload.date.month;
  ts.day = v->payload.date.day;
  return ts;
}

}  // namespace

int numeric_compare(const QuillValue* a, const QuillValue* b) {
  bool a_null = is_value_null(a), b_null = is_value_null(b);
  if (a_null || b_null) return static_cast<int>(b_null) - static_cast<int>(a_null);
  if (class_rank(a->kind) != 1 || class_rank(b->kind) != 1)
    return class_rank(a->kind) < class_rank(b->kind) ? -1 : 1;
  return compare_numbers(a, b);
}

int compare_values(const QuillValue* a, const QuillValue* b) {
  bool a_null = is_value_null(a), b_null = is_value_null(b);
  if (a_null || b_null) return static_cast<int>(b_null) - static_cast<int>(a_null);
  int rank_a = class_rank(a->kind), rank_b = class_rank(b->kind);
  if (rank_a != rank_b) return rank_a < rank_b ? -1 : 1;
  try {
    switch (rank_a) {
      case 1:
        return compare_numbers(a, b);
      case 3:
        return compare_bytes(a, b, true);
      case 5:
        return compare_bytes(a, b, false);
      case 7: {
        SQL_TIMESTAMP_STRUCT x = as_timestamp(a), y = as_timestamp(b);
        return timestamp_compare(&x, &y);
      }
      case 8:
        return time_compare(&a->payload.time, &b->payload.time);
      case 13:
      case 14:
        return compare_interval(&a->payload.interval, &b->payload.interval);
      default:
        return 0;
    }
  } catch (...) {
    // Only reading long content can throw (memory); such values then compare equal.
    return 0;
  }
}
