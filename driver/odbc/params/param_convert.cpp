// Parameter conversion by SQL type: character, numeric, integer, floating,
// bit, date/time, interval, binary and long values from every application type
// a parameter may be bound with.
#include "driver/odbc/params/param_convert.h"

#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <vector>

#include "driver/odbc/params/param_temporal.h"
#include "driver/odbc/params/param_types.h"
#include "support/hex_quantity.h"
#include "support/numeric.h"
#include "support/unicode.h"

namespace {

constexpr const char* kUnsupported = "Unsupported parameter type";
constexpr const char* kOutOfRange = "Numeric value out of range";
constexpr const char* kBadCharacter = "Invalid character value for cast specification";

// Reads a fixed-size value from an application buffer of any alignment.
template <typename T>
T read_as(const void* data) {
  T value{};
  std::memcpy(&value, data, sizeof value);
  return value;
}

std::string formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string formatted(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int size = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text(size > 0 ? static_cast<size_t>(size) : 0, '\0');
  if (size > 0) std::vsnprintf(text.data(), text.size() + 1, format, again);
  va_end(again);
  return text;
}

// Wide text as UTF-8. Strictly, an unpaired surrogate makes it fail (false); otherwise it
// becomes U+FFFD.
bool wide_to_utf8(const void* data, SQLLEN bytes, bool strict, std::string* text) {
  size_t units = bytes > 0 ? static_cast<size_t>(bytes) / sizeof(SQLWCHAR) : 0;
  std::vector<SQLWCHAR> aligned(units + 1, 0);
  if (units > 0) std::memcpy(aligned.data(), data, units * sizeof(SQLWCHAR));
  text->clear();
  if (strict) return utf16_to_utf8_strict(aligned.data(), static_cast<SQLLEN>(units), *text);
  utf16_to_utf8(aligned.data(), static_cast<SQLLEN>(units), *text);
  return true;
}

size_t code_points(const std::string& text) {
  size_t count = 0;
  for (unsigned char c : text)
    if ((c & 0xC0) != 0x80) ++count;
  return count;
}

bool is_date_time_c(SQLSMALLINT c_type) {
  switch (c_type) {
    case SQL_C_DATE:
    case SQL_C_TIME:
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_DATE:
    case SQL_C_TYPE_TIME:
    case SQL_C_TYPE_TIMESTAMP:
      return true;
    default:
      return false;
  }
}

bool is_text_c(SQLSMALLINT c_type) {
  return c_type == SQL_C_CHAR || c_type == SQL_C_WCHAR;
}

// The bytes of the value as a binary or long binary marker receives them: text and binary
// as given (wide text as UTF-8), fixed-size values as their structure.
std::string raw_bytes(const ParamInput& input) {
  if (input.c_type == SQL_C_WCHAR && !input.wide_as_utf8) {
    std::string text;
    wide_to_utf8(input.data, input.length, false, &text);
    return text;
  }
  SQLLEN size = param_c_type_size(input.c_type);
  if (size == 0) size = input.length;
  return size > 0 ? std::string(static_cast<const char*>(input.data), static_cast<size_t>(size))
                  : std::string();
}

enum class Number { Ok, Overflow, Invalid, NotNumber };

// Decimal text, or a "0x" quantity read exactly (as the result conversions and CAST read it).
Number text_as_numeric(const std::string& text, int precision, int scale, SQL_NUMERIC_STRUCT* out) {
  unsigned __int128 magnitude = 0;
  switch (hex_quantity_read(text, &magnitude)) {
    case HexQuantity::VALUE:
      return hex_quantity_numeric(magnitude, precision, scale, out) == NUMERIC_OK
                 ? Number::Ok
                 : Number::Overflow;
    case HexQuantity::TOO_LARGE:
      return Number::Overflow;
    case HexQuantity::NOT_HEX:
      break;
  }
  int status = numeric_from_text(text.data(), text.size(), precision, scale, out);
  if (status == NUMERIC_OK || status == NUMERIC_ROUNDED) return Number::Ok;
  return status == NUMERIC_OVERFLOW ? Number::Overflow : Number::Invalid;
}

// The value as a 64-bit integer, fractions truncated toward zero.
Number as_int64(const ParamInput& input, int64_t* out) {
  const void* d = input.data;
  switch (input.c_type) {
    case SQL_C_CHAR:
    case SQL_C_WCHAR: {
      std::string text;
      if (!param_render_text(input, &text, nullptr)) return Number::Invalid;
      SQL_NUMERIC_STRUCT numeric{};
      // Nine fraction digits keep "2.9" from rounding up before the truncation.
      Number status = text_as_numeric(text, NUMERIC_MAX_PRECISION, 9, &numeric);
      if (status != Number::Ok) return status;
      return numeric_to_int64(&numeric, out) == NUMERIC_OK ? Number::Ok : Number::Overflow;
    }
    case SQL_C_LONG:
    case SQL_C_SLONG:
      *out = read_as<SQLINTEGER>(d);
      return Number::Ok;
    case SQL_C_ULONG:
      *out = read_as<SQLUINTEGER>(d);
      return Number::Ok;
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
      *out = read_as<SQLSMALLINT>(d);
      return Number::Ok;
    case SQL_C_USHORT:
      *out = read_as<SQLUSMALLINT>(d);
      return Number::Ok;
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
      *out = read_as<SQLSCHAR>(d);
      return Number::Ok;
    case SQL_C_UTINYINT:
    case SQL_C_BIT:
      *out = read_as<SQLCHAR>(d);
      return Number::Ok;
    case SQL_C_SBIGINT:
      *out = read_as<SQLBIGINT>(d);
      return Number::Ok;
    case SQL_C_UBIGINT: {
      auto n = read_as<SQLUBIGINT>(d);
      if (n > static_cast<SQLUBIGINT>(INT64_MAX)) return Number::Overflow;
      *out = static_cast<int64_t>(n);
      return Number::Ok;
    }
    case SQL_C_FLOAT:
    case SQL_C_DOUBLE: {
      double v = input.c_type == SQL_C_FLOAT ? read_as<SQLREAL>(d) : read_as<SQLDOUBLE>(d);
      // 2^63 is exactly representable; everything at or beyond it does not fit.
      if (!std::isfinite(v) || v >= 9223372036854775808.0 || v < -9223372036854775808.0)
        return Number::Overflow;
      *out = static_cast<int64_t>(std::trunc(v));
      return Number::Ok;
    }
    case SQL_C_NUMERIC: {
      auto numeric = read_as<SQL_NUMERIC_STRUCT>(d);
      return numeric_to_int64(&numeric, out) == NUMERIC_OK ? Number::Ok : Number::Overflow;
    }
    default:
      return Number::NotNumber;
  }
}

Number as_double(const ParamInput& input, double* out) {
  const void* d = input.data;
  switch (input.c_type) {
    case SQL_C_CHAR:
    case SQL_C_WCHAR: {
      std::string text;
      if (!param_render_text(input, &text, nullptr)) return Number::Invalid;
      unsigned __int128 magnitude = 0;
      HexQuantity quantity = hex_quantity_read(text, &magnitude);
      if (quantity != HexQuantity::NOT_HEX) {
        *out = static_cast<double>(magnitude);
        return quantity == HexQuantity::VALUE ? Number::Ok : Number::Overflow;
      }
      size_t first = text.find_first_not_of(" \t");
      size_t last = text.find_last_not_of(" \t");
      if (first == std::string::npos) return Number::Invalid;
      const char* begin = text.data() + first;
      const char* end = text.data() + last + 1;
      if (*begin == '+' && end - begin > 1 && begin[1] != '-') ++begin;
      auto result = std::from_chars(begin, end, *out);
      if (result.ec == std::errc::result_out_of_range) return Number::Overflow;
      if (result.ec != std::errc() || result.ptr != end) return Number::Invalid;
      return Number::Ok;
    }
    case SQL_C_FLOAT:
      *out = read_as<SQLREAL>(d);
      return Number::Ok;
    case SQL_C_DOUBLE:
      *out = read_as<SQLDOUBLE>(d);
      return Number::Ok;
    case SQL_C_UBIGINT:
      *out = static_cast<double>(read_as<SQLUBIGINT>(d));
      return Number::Ok;
    case SQL_C_NUMERIC: {
      auto numeric = read_as<SQL_NUMERIC_STRUCT>(d);
      *out = numeric_to_double(&numeric);
      return Number::Ok;
    }
    default: {
      int64_t n = 0;
      Number status = as_int64(input, &n);
      if (status == Number::Ok) *out = static_cast<double>(n);
      return status;
    }
  }
}

bool number_failure(Number status, ParamError* error) {
  if (status == Number::Overflow) return param_fail(error, "22003", kOutOfRange);
  if (status == Number::Invalid) return param_fail(error, "22018", kBadCharacter);
  return param_fail_general(error, kUnsupported);
}

bool memory_failure(ParamError* error) {
  return param_fail(error, "HY001", "Memory allocation error");
}

bool to_character(const ParamInput& input, const ParamTarget& target, QuillValue* out,
                  ParamError* error) {
  std::string text;
  if (!param_render_text(input, &text, error)) return false;
  if (input.c_type == SQL_C_WCHAR && target.column_size > 0 &&
      code_points(text) > target.column_size)
    return param_fail(error, "22001", "String data, right truncated");
  return set_value_to_text(out, text.data(), text.size()) == 0 || memory_failure(error);
}

bool to_long(const ParamInput& input, const ParamTarget& target, QuillValue* out,
             ParamError* error) {
  bool binary = target.sql_type == SQL_LONGVARBINARY;
  std::string bytes;
  if (binary) {
    bytes = raw_bytes(input);
  } else if (!param_render_text(input, &bytes, error)) {
    return false;
  }
  LongBuffer* buffer = allocate_long_buffer(out->pool, 0, target.number, target.work_dir,
                                            binary ? SQL_LONGVARBINARY : SQL_LONGVARCHAR);
  if (!buffer) return param_fail_general(error, "internal error, allocate_long_buffer fails");
  if (append_to_long_buffer(buffer, bytes.data(), bytes.size()) != 0) {
    free_long_buffer(buffer);
    return param_fail_general(error, "internal error, append_to_long_buffer fails");
  }
  return set_value_to_long(out, binary ? VALUE_LONG_BINARY : VALUE_LONG_CHARACTER, buffer) == 0 ||
         memory_failure(error);
}

bool to_numeric(const ParamInput& input, const ParamTarget& target, QuillValue* out,
                ParamError* error) {
  int precision = target.precision > 0 && target.precision <= NUMERIC_MAX_PRECISION
                      ? target.precision
                      : NUMERIC_MAX_PRECISION;
  int scale = target.scale < 0 ? 0 : target.scale > precision ? precision : target.scale;
  SQL_NUMERIC_STRUCT result{};
  int status = NUMERIC_OK;
  if (input.c_type == SQL_C_NUMERIC) {
    auto given = read_as<SQL_NUMERIC_STRUCT>(input.data);
    status = numeric_rescale(&given, precision, scale, &result);
  } else if (input.c_type == SQL_C_FLOAT || input.c_type == SQL_C_DOUBLE) {
    double v = 0;
    as_double(input, &v);
    status = numeric_from_double(v, precision, scale, &result);
    if (status == NUMERIC_INVALID) status = NUMERIC_OVERFLOW;  // infinities and NaN
  } else {
    std::string text;
    if (!param_render_text(input, &text, error)) return false;
    Number read = text_as_numeric(text, precision, scale, &result);
    status = read == Number::Ok         ? NUMERIC_OK
             : read == Number::Overflow ? NUMERIC_OVERFLOW
                                        : NUMERIC_INVALID;
  }
  if (status == NUMERIC_OVERFLOW) return param_fail(error, "22003", kOutOfRange);
  if (status != NUMERIC_OK && status != NUMERIC_ROUNDED)
    return param_fail(error, "22018", kBadCharacter);
  set_value_to_numeric(out, &result);
  return true;
}

bool to_integer(const ParamInput& input, const ParamTarget& target, QuillValue* out,
                ParamError* error) {
  int64_t n = 0;
  Number status = as_int64(input, &n);
  if (status != Number::Ok) return number_failure(status, error);
  int64_t low = INT32_MIN, high = INT32_MAX;
  switch (target.sql_type) {
    case SQL_SMALLINT:
      low = INT16_MIN;
      high = INT16_MAX;
      break;
    case SQL_TINYINT:
      low = INT8_MIN;
      high = INT8_MAX;
      break;
    case SQL_BIT:
      low = 0;
      high = 1;
      break;
    case SQL_BIGINT:
      set_value_to_bigint(out, n);
      return true;
    default:
      break;
  }
  if (n < low || n > high) return param_fail(error, "22003", kOutOfRange);
  set_value_to_int(out, static_cast<int32_t>(n));
  return true;
}

bool to_double(const ParamInput& input, QuillValue* out, ParamError* error) {
  double v = 0;
  Number status = as_double(input, &v);
  if (status != Number::Ok) return number_failure(status, error);
  set_value_to_double(out, v);
  return true;
}

bool to_datetime(const ParamInput& input, const ParamTarget& target, QuillValue* out,
                 ParamError* error) {
  if (is_text_c(input.c_type)) {
    std::string text;
    if (!param_render_text(input, &text, error)) return false;
    return param_datetime_from_text(target.sql_type, text.data(), text.size(), out, error);
  }
  if (is_date_time_c(input.c_type))
    return param_datetime_from_struct(target.sql_type, input.c_type, input.data, out, error);
  return param_fail_general(error, kUnsupported);
}

bool to_interval(const ParamInput& input, const ParamTarget& target, QuillValue* out,
                 ParamError* error) {
  if (param_is_interval(input.c_type)) {
    auto interval = read_as<SQL_INTERVAL_STRUCT>(input.data);
    if (set_interval_payload(out, &interval, 0) != 0)
      return param_fail_general(error, "Invalid interval literal");
    return true;
  }
  std::string text;
  if (!param_render_text(input, &text, error)) return false;
  return param_interval_from_text(target.sql_type, text.data(), text.size(), out, error);
}

// Binary data for a number or date marker holds the marker's own structure; its length
// must be that structure's size.
bool reinterpret_binary(const ParamInput& input, SQLSMALLINT sql_type, ParamInput* as) {
  SQLSMALLINT natural = sql_type == SQL_NUMERIC || sql_type == SQL_DECIMAL ? SQL_C_NUMERIC
                        : sql_type == SQL_BIGINT                           ? SQL_C_SBIGINT
                                                 : param_default_c_type(sql_type);
  if (input.length != param_c_type_size(natural)) return false;
  *as = input;
  as->c_type = natural;
  return true;
}

bool is_datetime_type(SQLSMALLINT sql_type) {
  switch (sql_type) {
    case SQL_DATE:
    case SQL_TIME:
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
      return true;
    default:
      return false;
  }
}

bool is_number_or_date_type(SQLSMALLINT sql_type) {
  switch (sql_type) {
    case SQL_NUMERIC:
    case SQL_DECIMAL:
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_TINYINT:
    case SQL_BIT:
    case SQL_BIGINT:
    case SQL_FLOAT:
    case SQL_REAL:
    case SQL_DOUBLE:
    case SQL_DATE:
    case SQL_TIME:
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
      return true;
    default:
      return false;
  }
}

// Some applications give an integer application code as the SQL type: the 64-bit codes
// stand for BIGINT, the others for INTEGER.
SQLSMALLINT integer_code_as_sql_type(SQLSMALLINT sql_type) {
  switch (sql_type) {
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT:
      return SQL_BIGINT;
    case SQL_C_SSHORT:
    case SQL_C_SLONG:
    case SQL_C_USHORT:
    case SQL_C_ULONG:
    case SQL_C_STINYINT:
    case SQL_C_UTINYINT:
      return SQL_INTEGER;
    default:
      return sql_type;
  }
}

}  // namespace

int param_null_kind(SQLSMALLINT sql_type) {
  sql_type = integer_code_as_sql_type(sql_type);
  switch (sql_type) {
    case SQL_WCHAR:
    case SQL_WVARCHAR:
      return VALUE_CHARACTER;
    case SQL_WLONGVARCHAR:
      return VALUE_LONG_CHARACTER;
    default:
      return sql_to_value_type(sql_type);
  }
}

bool param_render_text(const ParamInput& input, std::string* text, ParamError* error) {
  const void* d = input.data;
  switch (input.c_type) {
    case SQL_C_CHAR:
    case SQL_C_WCHAR: {
      // Character data is UTF-8 (wide text is converted to it): text that is not, or wide
      // text with an unpaired surrogate, is no character value at all.
      bool well_formed = true;
      if (input.c_type == SQL_C_CHAR || input.wide_as_utf8) {
        text->assign(static_cast<const char*>(d), input.length > 0 ? input.length : 0);
        well_formed = utf8_is_valid(text->data(), text->size());
      } else {
        well_formed = wide_to_utf8(d, input.length, true, text);
      }
      return well_formed || param_fail(error, "22018", kBadCharacter);
    }
    case SQL_C_BINARY: {
      text->clear();
      const auto* bytes = static_cast<const unsigned char*>(d);
      for (SQLLEN i = 0; i < input.length; ++i) *text += formatted("%02X", bytes[i]);
      return true;
    }
    case SQL_C_LONG:
    case SQL_C_SLONG:
      *text = formatted("%d", static_cast<int>(read_as<SQLINTEGER>(d)));
      return true;
    case SQL_C_ULONG:
      *text = formatted("%u", static_cast<unsigned>(read_as<SQLUINTEGER>(d)));
      return true;
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
      *text = formatted("%d", read_as<SQLSMALLINT>(d));
      return true;
    case SQL_C_USHORT:
      *text = formatted("%u", read_as<SQLUSMALLINT>(d));
      return true;
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
      *text = formatted("%d", read_as<SQLSCHAR>(d));
      return true;
    case SQL_C_UTINYINT:
    case SQL_C_BIT:
      *text = formatted("%u", read_as<SQLCHAR>(d));
      return true;
    case SQL_C_SBIGINT:
      *text = formatted("%lld", static_cast<long long>(read_as<SQLBIGINT>(d)));
      return true;
    case SQL_C_UBIGINT:
      *text = formatted("%llu", static_cast<unsigned long long>(read_as<SQLUBIGINT>(d)));
      return true;
    case SQL_C_FLOAT:
      *text = formatted("%f", static_cast<double>(read_as<SQLREAL>(d)));
      return true;
    case SQL_C_DOUBLE:
      *text = formatted("%f", read_as<SQLDOUBLE>(d));
      return true;
    case SQL_C_NUMERIC: {
      auto numeric = read_as<SQL_NUMERIC_STRUCT>(d);
      char buffer[NUMERIC_TEXT_MAX];
      int n = numeric_to_text(&numeric, buffer, sizeof buffer);
      if (n < 0) return param_fail(error, "22003", kOutOfRange);
      text->assign(buffer, static_cast<size_t>(n));
      return true;
    }
    default:
      if (param_is_interval(input.c_type)) {
        auto interval = read_as<SQL_INTERVAL_STRUCT>(d);
        char buffer[64];
        int n = interval_as_text(&interval, buffer, sizeof buffer);
        if (n < 0) return param_fail_general(error, "Invalid interval literal");
        text->assign(buffer, static_cast<size_t>(n));
        return true;
      }
      return param_fail_general(error, kUnsupported);
  }
}

bool param_convert(const ParamInput& given, const ParamTarget& marker, QuillValue* out,
                   ParamError* error) {
  ParamTarget target = marker;
  target.sql_type = integer_code_as_sql_type(marker.sql_type);
  int null_kind = param_null_kind(target.sql_type);
  if (null_kind == VALUE_NONE) return param_fail_general(error, kUnsupported);
  if (given.is_null) {
    set_value_null(out, null_kind);
    return true;
  }
  ParamInput input = given;
  if (input.c_type == SQL_C_BINARY && is_number_or_date_type(target.sql_type) &&
      !reinterpret_binary(given, target.sql_type, &input)) {
    return is_datetime_type(target.sql_type) ? param_fail(error, "22007", "Invalid datetime format")
                                             : param_fail(error, "22003", kOutOfRange);
  }
  switch (target.sql_type) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
      return to_character(input, target, out, error);
    case SQL_LONGVARCHAR:
    case SQL_WLONGVARCHAR:
    case SQL_LONGVARBINARY:
      return to_long(input, target, out, error);
    case SQL_BINARY:
    case SQL_VARBINARY: {
      std::string bytes = raw_bytes(input);
      return set_value_to_binary(out, bytes.data(), bytes.size()) == 0 || memory_failure(error);
    }
    case SQL_NUMERIC:
    case SQL_DECIMAL:
      return to_numeric(input, target, out, error);
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_TINYINT:
    case SQL_BIT:
    case SQL_BIGINT:
      return to_integer(input, target, out, error);
    case SQL_FLOAT:
    case SQL_REAL:
    case SQL_DOUBLE:
      return to_double(input, out, error);
    case SQL_DATE:
    case SQL_TIME:
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
      return to_datetime(input, target, out, error);
    default:
      if (param_is_interval(target.sql_type)) return to_interval(input, target, out, error);
      return param_fail_general(error, kUnsupported);
  }
}
