// CAST to the numeric family: NUMERIC/DECIMAL, INTEGER/SMALLINT/TINYINT, FLOAT/REAL/DOUBLE,
// BIGINT and BIT, from every source kind. Text sources give a "0x" quantity exactly or their
// leading decimal number, and 22018 when they hold neither; binary sources supply the target's
// native bytes; intervals give their leading field.
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/hex_quantity.h"
#include "driver/sql/cast_internal.h"
#include "support/numeric.h"

namespace {

// The number a text or LONGVARCHAR source holds (first 128 bytes of long text): a quantity
// read exactly, or the leading decimal number. False after raising (22018 for neither, 22003
// for a quantity beyond 128 bits).
bool text_number(EvalContext* context, const QuillValue* source, bool fraction,
                 CastTextNumber* number) {
  std::string text;
  size_t limit = source->kind == VALUE_LONG_CHARACTER ? CAST_LONG_NUMBER_BYTES : CAST_TEXT_LIMIT;
  if (!cast_source_text(context, source, limit, &text)) return false;
  return cast_text_number(context, text, fraction, number);
}

// The number of a text source as a 64-bit integer (decimal text: its leading integer); false
// after raising (22003 when it does not fit, 22018 when the text holds no number).
bool text_integer(EvalContext* context, const QuillValue* source, int64_t* out) {
  CastTextNumber reading;
  if (!text_number(context, source, false, &reading)) return false;
  if (reading.is_quantity) {
    if (reading.magnitude > static_cast<unsigned __int128>(INT64_MAX)) {
      cast_range_error(context, nullptr);
      return false;
    }
    *out = static_cast<int64_t>(reading.magnitude);
    return true;
  }
  const std::string& number = reading.decimal;
  errno = 0;
  long long parsed = std::strtoll(number.c_str(), nullptr, 10);
  if (errno == ERANGE) {
    cast_range_error(context, nullptr);
    return false;
  }
  *out = parsed;
  return true;
}

// The first `size` bytes of a binary source into `out`; false after raising "Underflow in
// CAST" when the source holds fewer.
bool binary_prefix(EvalContext* context, const QuillValue* source, void* out, size_t size) {
  std::string bytes;
  if (!cast_source_bytes(context, source, size, &bytes)) return false;
  if (bytes.size() < size) {
    cast_underflow(context, nullptr);
    return false;
  }
  std::memcpy(out, bytes.data(), size);
  return true;
}

// Any source as a 64-bit integer by the rules of the integer targets (number kinds truncated,
// text's leading integer, binary's first `binary_size` bytes, interval's leading field,
// anything else 0). False after raising.
bool integer_of(EvalContext* context, const QuillValue* source, size_t binary_size, int64_t* out) {
  *out = 0;
  if (cast_is_number_kind(source->kind)) {
    if (get_bigint_from_value(source, out) != 0) {
      cast_range_error(context, nullptr);
      return false;
    }
    return true;
  }
  if (cast_is_text_kind(source->kind)) return text_integer(context, source, out);
  if (cast_is_interval_kind(source->kind)) {
    *out = cast_leading_field(source);
    return true;
  }
  if (cast_is_bytes_kind(source->kind)) {
    if (binary_size == sizeof(int32_t)) {
      int32_t native = 0;
      if (!binary_prefix(context, source, &native, sizeof native)) return false;
      *out = native;
      return true;
    }
    return binary_prefix(context, source, out, sizeof(int64_t));
  }
  return true;
}

}  // namespace

QuillValue* cast_to_integer(EvalContext* context, const QuillValue* source) {
  int64_t number = 0;
  if (!integer_of(context, source, sizeof(int32_t), &number)) return nullptr;
  if (number < INT32_MIN || number > INT32_MAX) return cast_range_error(context, nullptr);
  QuillValue* value = cast_new_value(context);
  if (value) set_value_to_int(value, static_cast<int32_t>(number));
  return value;
}

QuillValue* cast_to_bigint(EvalContext* context, const QuillValue* source) {
  int64_t number = 0;
  if (!integer_of(context, source, sizeof(int64_t), &number)) return nullptr;
  QuillValue* value = cast_new_value(context);
  if (value) set_value_to_bigint(value, number);
  return value;
}

QuillValue* cast_to_double(EvalContext* context, const QuillValue* source) {
  double number = 0;
  if (cast_is_number_kind(source->kind)) {
    get_double_from_value(source, &number);
  } else if (cast_is_text_kind(source->kind)) {
    CastTextNumber reading;
    if (!text_number(context, source, true, &reading)) return nullptr;
    number = reading.is_quantity ? static_cast<double>(reading.magnitude)
                                 : std::strtod(reading.decimal.c_str(), nullptr);
    if (!std::isfinite(number)) return cast_range_error(context, nullptr);  // "1e999"
  } else if (cast_is_interval_kind(source->kind)) {
    number = static_cast<double>(cast_leading_field(source));
  } else if (cast_is_bytes_kind(source->kind)) {
    if (!binary_prefix(context, source, &number, sizeof number)) return nullptr;
  }
  QuillValue* value = cast_new_value(context);
  if (value) set_value_to_double(value, number);
  return value;
}

bool cast_truth_word(const char* text, size_t length, int* out) {
  size_t begin = 0, end = length;
  while (begin < end && text[begin] == ' ') ++begin;
  while (end > begin && text[end - 1] == ' ') --end;
  std::string word(text + begin, end - begin);
  for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (word == "true" || word == "yes")
    *out = 1;
  else if (word == "false" || word == "no")
    *out = 0;
  else
    return false;
  return true;
}

QuillValue* cast_to_bit(EvalContext* context, const QuillValue* source) {
  bool set = false;
  int truth = 0;
  if (source->kind == VALUE_CHARACTER && source->bytes.data &&
      cast_truth_word(source->bytes.data, std::strlen(source->bytes.data), &truth)) {
    set = truth != 0;
  } else if (source->kind == VALUE_DOUBLE) {
    set = source->payload.real != 0;
  } else if (source->kind == VALUE_NUMERIC) {
    set = !numeric_is_zero(&source->payload.numeric);
  } else if (cast_is_bytes_kind(source->kind)) {
    // Binary data is set when any of its first bytes is not zero.
    std::string bytes;
    if (!cast_source_bytes(context, source, CAST_TEXT_LIMIT, &bytes)) return nullptr;
    if (bytes.empty()) return cast_underflow(context, nullptr);
    for (char byte : bytes) set = set || byte != 0;
  } else {
    int64_t number = 0;
    if (!integer_of(context, source, sizeof(int64_t), &number)) return nullptr;
    set = number != 0;
  }
  QuillValue* value = cast_new_value(context);
  if (!value) return nullptr;
  set_value_to_int(value, set ? 1 : 0);
  value->kind = VALUE_BIT;
  return value;
}

QuillValue* cast_to_exact(EvalContext* context, const QuillValue* source,
                          const CastTarget& target) {
  int precision = target.length > 0 ? target.length : 15;
  if (precision > NUMERIC_MAX_PRECISION) precision = NUMERIC_MAX_PRECISION;
  int scale = target.scale >= 0 ? target.scale : 0;
  if (scale > precision) scale = precision;
  QuillValue* value = create_numeric(context->pool, precision, scale);
  if (!value) return cast_memory_error(context, nullptr);
  int status = NUMERIC_OK;
  switch (source->kind) {
    case VALUE_INTEGER:
    case VALUE_BIT:
      status = int_to_numeric(source->payload.integer, value, precision, scale);
      break;
    case VALUE_DOUBLE:
      status = double_to_numeric(source->payload.real, value, precision, scale);
      break;
    case VALUE_BIGINT:
      status = bigint_to_numeric(source->payload.bigint, value, precision, scale);
      break;
    case VALUE_NUMERIC: {
      char text[NUMERIC_TEXT_MAX] = {0};
      status = numeric_to_string(source, text, sizeof text) < 0
                   ? NUMERIC_INVALID
                   : string_to_numeric(text, value, precision, scale);
      break;
    }
    case VALUE_CHARACTER:
    case VALUE_LONG_CHARACTER: {
      CastTextNumber reading;
      if (!text_number(context, source, true, &reading)) {
        release_value(context->pool, value);
        return nullptr;
      }
      if (!reading.is_quantity) {
        status = string_to_numeric(reading.decimal.c_str(), value, precision, scale);
        break;
      }
      SQL_NUMERIC_STRUCT exact{};
      status = hex_quantity_numeric(reading.magnitude, precision, scale, &exact);
      if (status == NUMERIC_OK) set_value_to_numeric(value, &exact);
      break;
    }
    case VALUE_BINARY:
    case VALUE_LONG_BINARY: {
      SQL_NUMERIC_STRUCT structure{};
      if (!binary_prefix(context, source, &structure, sizeof structure)) {
        release_value(context->pool, value);
        return nullptr;
      }
      if (structure.precision < 1 || structure.precision > NUMERIC_MAX_PRECISION ||
          structure.scale < 0 || structure.scale > structure.precision || structure.sign > 1) {
        release_value(context->pool, value);
        return eval_error(context, "HY000", "Invalid numeric structure in CAST");
      }
      set_value_to_numeric(value, &structure);
      break;
    }
    case VALUE_YEAR_MONTH_INTERVAL:
    case VALUE_DAY_TIME_INTERVAL:
      status = bigint_to_numeric(cast_leading_field(source), value, precision, scale);
      break;
    default:  // date and time kinds have no number: zero
      break;
  }
  if (status == NUMERIC_OVERFLOW || status == NUMERIC_INVALID)
    return cast_range_error(context, value);
  return value;
}
