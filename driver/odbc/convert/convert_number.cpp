// Numeric targets: signed and unsigned integers of every width, float, double,
// bit and the numeric structure, from the numeric reading of a value (text: a "0x"
// quantity exactly or its leading decimal number, 22018 for neither), with the
// range (22003) and fractional truncation (01S07) rules.

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "driver/odbc/convert/convert_internal.h"
#include "support/hex_quantity.h"
#include "support/interval.h"
#include "support/numeric.h"

namespace convert {

namespace {

// Integer parts grow no further than this: far outside every target, so still out of range.
constexpr unsigned __int128 kSaturated = static_cast<unsigned __int128>(1) << 126;
// The largest magnitude a float holds.
constexpr double kFloatMax = 3.4028234663852886e38;

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

unsigned __int128 power_of_ten(int exponent) {
  unsigned __int128 result = 1;
  for (int i = 0; i < exponent; ++i) result *= 10;
  return result;
}

void read_numeric(const SQL_NUMERIC_STRUCT& numeric, NumberReading* out) {
  unsigned __int128 magnitude = 0;
  for (int i = 15; i >= 0; --i) magnitude = (magnitude << 8) | numeric.val[i];
  unsigned __int128 whole = magnitude;
  bool fraction = false;
  int scale = numeric.scale;
  if (scale > 38) {
    whole = 0;
    fraction = magnitude != 0;
  } else if (scale > 0) {
    unsigned __int128 divisor = power_of_ten(scale);
    whole = magnitude / divisor;
    fraction = magnitude % divisor != 0;
  } else {
    for (int i = 0; i < -scale && whole != 0; ++i)
      whole = whole >= kSaturated / 10 ? kSaturated : whole * 10;
  }
  if (whole > kSaturated) whole = kSaturated;
  bool negative = numeric.sign == 0;
  out->origin = NumberOrigin::NUMERIC;
  out->exact = true;
  out->integer = negative ? -static_cast<__int128>(whole) : static_cast<__int128>(whole);
  out->fraction = fraction;
  out->real = numeric_to_double(&numeric);
}

void read_integral(int64_t number, NumberReading* out) {
  *out = {NumberOrigin::INTEGRAL, true, number, false, static_cast<double>(number)};
}

// Width and signedness of an integer application type.
struct IntegerShape {
  int bits;
  bool is_signed;
};

IntegerShape shape_of(SQLSMALLINT c_type) {
  switch (c_type) {
    case SQL_C_ULONG:
      return {32, false};
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
      return {16, true};
    case SQL_C_USHORT:
      return {16, false};
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
      return {8, true};
    case SQL_C_UTINYINT:
      return {8, false};
    case SQL_BIGINT:
    case SQL_C_SBIGINT:
      return {64, true};
    case SQL_C_UBIGINT:
      return {64, false};
    default:
      return {32, true};
  }
}

// Writes `number` (already range-checked) as the signed or unsigned type of one width.
template <typename Signed, typename Unsigned>
SQLRETURN store_as(const ResultTarget& target, bool is_signed, __int128 number, SQLRETURN rc) {
  if (is_signed) {
    auto v = static_cast<Signed>(number);
    return deliver_fixed(target, &v, sizeof v, rc);
  }
  auto v = static_cast<Unsigned>(number);
  return deliver_fixed(target, &v, sizeof v, rc);
}

SQLRETURN store_integer(const ResultTarget& target, IntegerShape shape, __int128 number,
                        SQLRETURN rc) {
  switch (shape.bits) {
    case 8:
      return store_as<SQLSCHAR, SQLCHAR>(target, shape.is_signed, number, rc);
    case 16:
      return store_as<SQLSMALLINT, SQLUSMALLINT>(target, shape.is_signed, number, rc);
    case 64:
      return store_as<SQLBIGINT, SQLUBIGINT>(target, shape.is_signed, number, rc);
    default:
      return store_as<SQLINTEGER, SQLUINTEGER>(target, shape.is_signed, number, rc);
  }
}

// A precision of 1..38 (anything else: 38) and a scale of 0..precision for the structure.
void numeric_shape(const ResultTarget& target, int* precision, int* scale) {
  *precision = target.precision >= 1 && target.precision <= NUMERIC_MAX_PRECISION
                   ? target.precision
                   : NUMERIC_MAX_PRECISION;
  *scale = target.scale < 0 ? 0 : (target.scale > *precision ? *precision : target.scale);
}

}  // namespace

std::string character_text(const QuillValue* value) {
  if (value->kind == VALUE_CHARACTER) {
    if (!value->bytes.data || value->bytes.length <= 0) return std::string();
    int32_t length = value->bytes.length;
    if (value->bytes.capacity > 0 && length > value->bytes.capacity) length = value->bytes.capacity;
    return std::string(value->bytes.data, static_cast<size_t>(length));
  }
  char text[VALUE_TEXT_SIZE];
  int length = value_as_text(value, text);
  return length < 0 ? std::string() : std::string(text, static_cast<size_t>(length));
}

NumberReading read_leading_number(const char* text, size_t length) {
  NumberReading out{NumberOrigin::TEXT, true, 0, false, 0.0};
  size_t i = 0;
  while (i < length && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r'))
    ++i;
  size_t start = i;
  bool negative = false;
  if (i < length && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  unsigned __int128 whole = 0;
  bool any_digit = false;
  for (; i < length && is_digit(text[i]); ++i) {
    any_digit = true;
    whole = whole >= kSaturated / 10 ? kSaturated : whole * 10 + (text[i] - '0');
  }
  if (i < length && text[i] == '.') {
    for (++i; i < length && is_digit(text[i]); ++i) {
      any_digit = true;
      if (text[i] != '0') out.fraction = true;
    }
  }
  if (!any_digit) {
    out.fraction = false;
    out.not_number = true;
    return out;
  }
  if (i < length && (text[i] == 'e' || text[i] == 'E')) {
    size_t j = i + 1;
    if (j < length && (text[j] == '+' || text[j] == '-')) ++j;
    if (j < length && is_digit(text[j])) {
      while (j < length && is_digit(text[j])) ++j;
      i = j;
      out.exact = false;
    }
  }
  std::string number(text + start, i - start);
  out.real = std::strtod(number.c_str(), nullptr);
  out.integer = negative ? -static_cast<__int128>(whole) : static_cast<__int128>(whole);
  return out;
}

NumberReading read_text_number(const char* text, size_t length) {
  std::string_view view(text, length);
  if (!hex_quantity_prefix(view)) return read_leading_number(text, length);
  NumberReading out{NumberOrigin::QUANTITY, true, 0, false, 0.0};
  unsigned __int128 magnitude = 0;
  switch (hex_quantity_read(view, &magnitude)) {
    case HexQuantity::VALUE:
      out.integer = static_cast<__int128>(magnitude > kSaturated ? kSaturated : magnitude);
      out.real = static_cast<double>(magnitude);
      break;
    case HexQuantity::TOO_LARGE:  // beyond every target
      out.integer = static_cast<__int128>(kSaturated);
      out.real = HUGE_VAL;
      break;
    case HexQuantity::NOT_HEX:
      out.not_number = true;
      break;
  }
  return out;
}

SQLRETURN read_number_for(ErrorHeader* errors, const QuillValue* value, NumberReading* out) {
  if (!read_number(value, out)) return fail(errors, "07006");
  if (out->not_number) return fail(errors, "22018");
  return SQL_SUCCESS;
}

bool read_number(const QuillValue* value, NumberReading* out) {
  const auto& p = value->payload;
  switch (value->kind) {
    case VALUE_INTEGER:
    case VALUE_BIT:
      read_integral(p.integer, out);
      return true;
    case VALUE_BIGINT:
      read_integral(p.bigint, out);
      return true;
    case VALUE_DOUBLE:
      *out = {NumberOrigin::REAL, false, 0, false, p.real};
      return true;
    case VALUE_CHARACTER:
    case VALUE_LONG_CHARACTER: {
      std::string text = character_text(value);
      *out = read_text_number(text.data(), text.size());
      return true;
    }
    case VALUE_NUMERIC:
      read_numeric(p.numeric, out);
      return true;
    case VALUE_YEAR_MONTH_INTERVAL:
    case VALUE_DAY_TIME_INTERVAL: {
      int type = interval_type_of(&p.interval);
      if (!is_single_field_interval(type)) return false;
      read_integral(interval_leading_value(&p.interval), out);
      if (type == SQL_IS_SECOND && p.interval.intval.day_second.fraction != 0) {
        double fraction = p.interval.intval.day_second.fraction / 1e9;
        out->fraction = true;
        out->real += p.interval.interval_sign == SQL_TRUE ? -fraction : fraction;
      }
      return true;
    }
    default:
      return false;
  }
}

SQLRETURN to_integer(ErrorHeader* errors, const QuillValue* value, const ResultTarget& target) {
  NumberReading number{};
  if (SQLRETURN rc = read_number_for(errors, value, &number); rc != SQL_SUCCESS) return rc;
  IntegerShape shape = shape_of(target.c_type);
  __int128 result = 0;
  bool fraction = false;
  if (number.exact) {
    __int128 high = shape.is_signed ? (static_cast<__int128>(1) << (shape.bits - 1)) - 1
                                    : (static_cast<__int128>(1) << shape.bits) - 1;
    __int128 low = shape.is_signed ? -high - 1 : 0;
    if (number.integer < low || number.integer > high) return fail(errors, "22003");
    result = number.integer;
    fraction = number.fraction;
  } else {
    // Doubles truncate toward zero; the bound above is exclusive (2^63 for a signed 64-bit).
    double truncated = std::trunc(number.real);
    double upper = std::ldexp(1.0, shape.is_signed ? shape.bits - 1 : shape.bits);
    double lower = shape.is_signed ? -upper : 0.0;
    if (!(truncated >= lower && truncated < upper)) return fail(errors, "22003");
    result = static_cast<__int128>(truncated);
    fraction = truncated != number.real;
  }
  SQLRETURN rc = fraction ? warn(errors, "01S07") : SQL_SUCCESS;
  return store_integer(target, shape, result, rc);
}

SQLRETURN to_double(ErrorHeader* errors, const QuillValue* value, const ResultTarget& target) {
  NumberReading number{};
  if (SQLRETURN rc = read_number_for(errors, value, &number); rc != SQL_SUCCESS) return rc;
  SQLDOUBLE result = number.real;
  if (std::isinf(result) && number.origin == NumberOrigin::QUANTITY) return fail(errors, "22003");
  return deliver_fixed(target, &result, sizeof result, SQL_SUCCESS);
}

SQLRETURN to_float(ErrorHeader* errors, const QuillValue* value, const ResultTarget& target) {
  NumberReading number{};
  if (SQLRETURN rc = read_number_for(errors, value, &number); rc != SQL_SUCCESS) return rc;
  double real = number.real;
  if (std::fabs(real) > kFloatMax) return fail(errors, "22003");
  SQLREAL result = static_cast<SQLREAL>(real);
  bool changed = !std::isnan(real) && static_cast<double>(result) != real;
  return deliver_fixed(target, &result, sizeof result,
                       changed ? warn(errors, "01S07") : SQL_SUCCESS);
}

SQLRETURN to_bit(ErrorHeader* errors, const QuillValue* value, const ResultTarget& target) {
  NumberReading number{};
  if (SQLRETURN rc = read_number_for(errors, value, &number); rc != SQL_SUCCESS) return rc;
  SQLCHAR bit = 0;
  SQLRETURN rc = SQL_SUCCESS;
  switch (number.origin) {
    case NumberOrigin::REAL: {
      double real = number.real;
      if (!(real >= 0.0 && real < 2.0)) return fail(errors, "22003");
      if (real > 1.0) {
        bit = 1;
        rc = SQL_SUCCESS_WITH_INFO;
      } else {
        bit = real == 0.0 ? 0 : 1;
      }
      break;
    }
    case NumberOrigin::TEXT:
      bit = number.real == 0.0 ? 0 : 1;
      break;
    default:  // integers, BIGINT, numerics (integer part) and single-field intervals
      if (number.integer != 0 && number.integer != 1) return fail(errors, "22003");
      bit = static_cast<SQLCHAR>(number.integer);
      if (number.fraction) rc = SQL_SUCCESS_WITH_INFO;
      break;
  }
  if (rc == SQL_SUCCESS_WITH_INFO) rc = warn(errors, "01S07");
  return deliver_fixed(target, &bit, sizeof bit, rc);
}

SQLRETURN to_numeric(ErrorHeader* errors, const QuillValue* value, const ResultTarget& target) {
  NumberReading number{};
  if (SQLRETURN rc = read_number_for(errors, value, &number); rc != SQL_SUCCESS) return rc;
  int precision = 0;
  int scale = 0;
  numeric_shape(target, &precision, &scale);
  SQL_NUMERIC_STRUCT result{};
  int status = NUMERIC_OK;
  switch (number.origin) {
    case NumberOrigin::NUMERIC:
      result = value->payload.numeric;
      break;
    case NumberOrigin::INTEGRAL:
      status = numeric_from_int128(number.integer, precision, scale, &result);
      break;
    case NumberOrigin::REAL:
      status = std::isfinite(number.real)
                   ? numeric_from_double(number.real, precision, scale, &result)
                   : NUMERIC_OVERFLOW;
      break;
    case NumberOrigin::QUANTITY: {
      std::string text = character_text(value);
      unsigned __int128 magnitude = 0;
      status = hex_quantity_read(text, &magnitude) == HexQuantity::VALUE
                   ? hex_quantity_numeric(magnitude, precision, scale, &result)
                   : NUMERIC_OVERFLOW;
      break;
    }
    case NumberOrigin::TEXT: {
      std::string text = character_text(value);
      status = numeric_from_text(text.data(), text.size(), precision, scale, &result);
      if (status == NUMERIC_INVALID)  // not a plain number: its leading number read as a double
        status = std::isfinite(number.real)
                     ? numeric_from_double(number.real, precision, scale, &result)
                     : NUMERIC_OVERFLOW;
      break;
    }
  }
  if (status < 0) return fail(errors, "22003");
  SQLRETURN rc = status == NUMERIC_ROUNDED ? warn(errors, "01S07") : SQL_SUCCESS;
  return deliver_fixed(target, &result, sizeof result, rc);
}

}  // namespace convert
