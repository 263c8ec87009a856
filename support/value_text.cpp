// Text forms of values and the SQL type to value kind mapping.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/interval.h"
#include "support/numeric.h"
#include "support/value.h"

namespace {

// Appends ".fffffffff" with trailing zeros trimmed, nothing for a zero fraction.
int append_fraction(char* out, size_t size, uint32_t nanoseconds) {
  if (nanoseconds == 0 || nanoseconds >= 1000000000u) return 0;
  char digits[16];
  std::snprintf(digits, sizeof digits, "%09u", nanoseconds);
  size_t length = 9;
  while (length > 0 && digits[length - 1] == '0') --length;
  digits[length] = '\0';
  int n = std::snprintf(out, size, ".%s", digits);
  return (n < 0 || static_cast<size_t>(n) >= size) ? -1 : n;
}

int format_double(double d, char* out, size_t size) {
  int n = std::snprintf(out, size, "%.15g", d);
  if (n > 0 && static_cast<size_t>(n) < size && std::strtod(out, nullptr) != d)
    n = std::snprintf(out, size, "%.17g", d);
  return n;
}

int hex_bytes(const unsigned char* bytes, size_t count, char* out, size_t size) {
  static const char kHex[] = "0123456789ABCDEF";
  size_t fit = (size - 1) / 2;
  if (count > fit) count = fit;
  for (size_t i = 0; i < count; ++i) {
    out[2 * i] = kHex[bytes[i] >> 4];
    out[2 * i + 1] = kHex[bytes[i] & 15];
  }
  out[2 * count] = '\0';
  return static_cast<int>(2 * count);
}

int checked(int n, size_t size) {
  return (n < 0 || static_cast<size_t>(n) >= size) ? -1 : n;
}

}  // namespace

int interval_as_text(const SQL_INTERVAL_STRUCT* v, char* buffer, size_t size) {
  if (!buffer || size == 0) return -1;
  const char* sign = v->interval_sign == SQL_TRUE ? "-" : "";
  const auto& ym = v->intval.year_month;
  const auto& ds = v->intval.day_second;
  int n = -1;
  bool with_fraction = false;
  switch (interval_type_of(v)) {
    case SQL_IS_YEAR:
      n = std::snprintf(buffer, size, "%s%u", sign, ym.year);
      break;
    case SQL_IS_MONTH:
      n = std::snprintf(buffer, size, "%s%u", sign, ym.month);
      break;
    case SQL_IS_YEAR_TO_MONTH:
      n = std::snprintf(buffer, size, "%s%u-%02u", sign, ym.year, ym.month);
      break;
    case SQL_IS_DAY:
      n = std::snprintf(buffer, size, "%s%u", sign, ds.day);
      break;
    case SQL_IS_HOUR:
      n = std::snprintf(buffer, size, "%s%u", sign, ds.hour);
      break;
    case SQL_IS_MINUTE:
      n = std::snprintf(buffer, size, "%s%u", sign, ds.minute);
      break;
    case SQL_IS_SECOND:
      n = std::snprintf(buffer, size, "%s%u", sign, ds.second);
      with_fraction = true;
      break;
    case SQL_IS_DAY_TO_HOUR:
      n = std::snprintf(buffer, size, "%s%u %02u", sign, ds.day, ds.hour);
      break;
    case SQL_IS_DAY_TO_MINUTE:
      n = std::snprintf(buffer, size, "%s%u %02u:%02u", sign, ds.day, ds.hour, ds.minute);
      break;
    case SQL_IS_DAY_TO_SECOND:
      n = std::snprintf(buffer, size, "%s%u %02u:%02u:%02u", sign, ds.day, ds.hour, ds.minute,
                        ds.second);
      with_fraction = true;
      break;
    case SQL_IS_HOUR_TO_MINUTE:
      n = std::snprintf(buffer, size, "%s%u:%02u", sign, ds.hour, ds.minute);
      break;
    case SQL_IS_HOUR_TO_SECOND:
      n = std::snprintf(buffer, size, "%s%u:%02u:%02u", sign, ds.hour, ds.minute, ds.second);
      with_fraction = true;
      break;
    case SQL_IS_MINUTE_TO_SECOND:
      n = std::snprintf(buffer, size, "%s%u:%02u", sign, ds.minute, ds.second);
      with_fraction = true;
      break;
    default:
      buffer[0] = '\0';
      return -1;
  }
  if (checked(n, size) < 0) return -1;
  if (with_fraction) {
    int extra = append_fraction(buffer + n, size - static_cast<size_t>(n), ds.fraction);
    if (extra < 0) return -1;
    n += extra;
  }
  return n;
}

int value_as_text(const QuillValue* value, char* buffer) {
  constexpr size_t kSize = VALUE_TEXT_SIZE;
  buffer[0] = '\0';
  if (!value) return -1;
  if (is_value_null(value)) return 0;
  const auto& p = value->payload;
  int n = -1;
  switch (value->kind) {
    case VALUE_INTEGER:
    case VALUE_BIT:
      n = std::snprintf(buffer, kSize, "%" PRId32, p.integer);
      break;
    case VALUE_BIGINT:
      n = std::snprintf(buffer, kSize, "%" PRId64, p.bigint);
      break;
    case VALUE_DOUBLE:
      n = format_double(p.real, buffer, kSize);
      break;
    case VALUE_CHARACTER: {
      if (!value->bytes.data) return 0;
      size_t length = strnlen(value->bytes.data, static_cast<size_t>(value->bytes.capacity));
      if (length > kSize - 1) length = kSize - 1;
      std::memcpy(buffer, value->bytes.data, length);
      buffer[length] = '\0';
      return static_cast<int>(length);
    }
    case VALUE_BINARY:
      if (!value->bytes.data) return 0;
      return hex_bytes(reinterpret_cast<const unsigned char*>(value->bytes.data),
                       static_cast<size_t>(value->bytes.length), buffer, kSize);
    case VALUE_LONG_CHARACTER:
    case VALUE_LONG_BINARY: {
      unsigned char chunk[kSize];
      size_t want = value->kind == VALUE_LONG_CHARACTER ? kSize - 1 : (kSize - 1) / 2;
      int64_t got = read_long_buffer_at(value->long_buffer, 0, chunk, want);
      if (got < 0) return -1;
      if (value->kind == VALUE_LONG_BINARY)
        return hex_bytes(chunk, static_cast<size_t>(got), buffer, kSize);
      std::memcpy(buffer, chunk, static_cast<size_t>(got));
      buffer[got] = '\0';
      return static_cast<int>(got);
    }
    case VALUE_DATE:
      n = std::snprintf(buffer, kSize, "%04d-%02u-%02u", p.date.year, p.date.month, p.date.day);
      break;
    case VALUE_TIME:
      n = std::snprintf(buffer, kSize, "%02u:%02u:%02u", p.time.hour, p.time.minute, p.time.second);
      break;
    case VALUE_TIMESTAMP: {
      const auto& ts = p.timestamp;
      n = std::snprintf(buffer, kSize, "%04d-%02u-%02u %02u:%02u:%02u", ts.year, ts.month, ts.day,
                        ts.hour, ts.minute, ts.second);
      if (checked(n, kSize) < 0) break;
      int extra = append_fraction(buffer + n, kSize - static_cast<size_t>(n), ts.fraction);
      n = extra < 0 ? -1 : n + extra;
      break;
    }
    case VALUE_NUMERIC:
      n = numeric_to_text(&p.numeric, buffer, kSize);
      break;
    case VALUE_YEAR_MONTH_INTERVAL:
    case VALUE_DAY_TIME_INTERVAL:
      n = interval_as_text(&p.interval, buffer, kSize);
      break;
    default:
      n = -1;
  }
  if (checked(n, kSize) < 0) {
    buffer[0] = '\0';
    return -1;
  }
  return n;
}

int sql_to_value_type(int sql_type) {
  switch (sql_type) {
    case SQL_CHAR:
    case SQL_VARCHAR:
      return VALUE_CHARACTER;
    case SQL_NUMERIC:
    case SQL_DECIMAL:
      return VALUE_NUMERIC;
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_BIT:
    case SQL_TINYINT:
      return VALUE_INTEGER;
    case SQL_FLOAT:
    case SQL_REAL:
    case SQL_DOUBLE:
      return VALUE_DOUBLE;
    case SQL_DATE:
    case SQL_TYPE_DATE:
      return VALUE_DATE;
    case SQL_TIME:
    case SQL_TYPE_TIME:
      return VALUE_TIME;
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP:
      return VALUE_TIMESTAMP;
    case SQL_BIGINT:
      return VALUE_BIGINT;
    case SQL_BINARY:
    case SQL_VARBINARY:
      return VALUE_BINARY;
    case SQL_LONGVARCHAR:
      return VALUE_LONG_CHARACTER;
    case SQL_LONGVARBINARY:
      return VALUE_LONG_BINARY;
    default:
      break;
  }
  if (sql_type >= 101 && sql_type <= 113)
    return is_year_month_interval(sql_type - 100) ? VALUE_YEAR_MONTH_INTERVAL
                                                  : VALUE_DAY_TIME_INTERVAL;
  return VALUE_NONE;
}

int value_type_to_sql(int kind, const SQL_INTERVAL_STRUCT* interval) {
  switch (kind) {
    case VALUE_INTEGER:
    case VALUE_BIT:
      return SQL_INTEGER;
    case VALUE_DOUBLE:
      return SQL_DOUBLE;
    case VALUE_CHARACTER:
      return SQL_VARCHAR;
    case VALUE_BINARY:
      return SQL_VARBINARY;
    case VALUE_DATE:
      return SQL_TYPE_DATE;
    case VALUE_TIME:
      return SQL_TYPE_TIME;
    case VALUE_TIMESTAMP:
      return SQL_TYPE_TIMESTAMP;
    case VALUE_NUMERIC:
      return SQL_NUMERIC;
    case VALUE_BIGINT:
      return SQL_BIGINT;
    case VALUE_YEAR_MONTH_INTERVAL:
    case VALUE_DAY_TIME_INTERVAL: {
      int type = interval ? interval_sql_type(interval_type_of(interval)) : 0;
      if (type) return type;
      return kind == VALUE_YEAR_MONTH_INTERVAL ? SQL_INTERVAL_YEAR_TO_MONTH
                                               : SQL_INTERVAL_DAY_TO_SECOND;
    }
    case VALUE_LONG_CHARACTER:
      return SQL_LONGVARCHAR;
    case VALUE_LONG_BINARY:
      return SQL_LONGVARBINARY;
    default:
      return 0;
  }
}
