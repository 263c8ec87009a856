// The decoding functions: each reads a "0x" quantity (or a number, for columns already typed)
// exactly and gives BIGINT, NUMERIC(38,0), DOUBLE, a UTC TIMESTAMP or ether as
// NUMERIC(38,18), or fails: 22003 when the value does not fit, 22018 for text that is not a
// quantity. NULL gives NULL.
#include "driver/sql/fn_quantity.h"

#include <cmath>
#include <cstring>
#include <string>

#include "support/hex_quantity.h"
#include "driver/sql/cast_internal.h"
#include "driver/sql/fn_support.h"
#include "support/numeric.h"

namespace {

QuillValue* not_a_quantity(EvalContext* context) {
  return eval_error(context, "22018", "Invalid character value for cast specification");
}

QuillValue* out_of_range(EvalContext* context) {
  return eval_error(context, "22003", "Numeric value out of range");
}

// A whole decimal number ([blanks][+]digits[blanks]) into `out`; false when the text is not
// one or needs more than 128 bits.
bool read_decimal(const std::string& text, unsigned __int128* out) {
  size_t at = text.find_first_not_of(" \t");
  if (at == std::string::npos) return false;
  if (text[at] == '+') ++at;
  unsigned __int128 value = 0;
  size_t first = at;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    unsigned __int128 next = value * 10 + static_cast<unsigned>(text[at] - '0');
    if (next / 10 != value) return false;
    value = next;
  }
  if (at == first || text.find_first_not_of(" \t", at) != std::string::npos) return false;
  *out = value;
  return true;
}

// The magnitude of a text argument: a quantity, or also a whole decimal number when
// `decimal_too`. False after raising 22018 or 22003.
bool text_magnitude(EvalContext* context, const QuillValue* argument, bool decimal_too,
                    unsigned __int128* out) {
  std::string text;
  if (!fn_read_text(context, argument, &text)) return false;
  switch (hex_quantity_read(text, out)) {
    case HexQuantity::VALUE:
      return true;
    case HexQuantity::TOO_LARGE:
      out_of_range(context);
      return false;
    case HexQuantity::NOT_HEX:
      break;
  }
  if (decimal_too && !hex_quantity_prefix(text) && read_decimal(text, out)) return true;
  not_a_quantity(context);
  return false;
}

// A numeric-kind argument as a whole number through CAST's rules (doubles truncated); false
// after raising. `negative` receives its sign.
bool number_magnitude(EvalContext* context, const QuillValue* argument, unsigned __int128* out,
                      bool* negative) {
  QuillValue* exact = cast_to_exact(context, argument, CastTarget{SQL_NUMERIC, 38, 0});
  if (exact == nullptr) return false;
  __int128 whole = 0;
  bool read = numeric_to_int128(&exact->payload.numeric, &whole) == NUMERIC_OK;
  release_value(context->pool, exact);
  if (!read) {
    out_of_range(context);
    return false;
  }
  *negative = whole < 0;
  *out = static_cast<unsigned __int128>(whole < 0 ? -whole : whole);
  return true;
}

// The argument's magnitude and sign: text as a quantity (or a whole decimal number when
// `decimal_too`), numbers by value. False after raising, also for other kinds.
bool argument_magnitude(EvalContext* context, const QuillValue* argument, bool decimal_too,
                        unsigned __int128* out, bool* negative, const ScalarFunction* entry) {
  *negative = false;
  if (fn_is_character(argument)) return text_magnitude(context, argument, decimal_too, out);
  if (cast_is_number_kind(argument->kind))
    return number_magnitude(context, argument, out, negative);
  eval_error(context, "HY000", "Argument to %s() is not a number", fn_name(entry));
  return false;
}

QuillValue* new_numeric(EvalContext* context, const SQL_NUMERIC_STRUCT& numeric) {
  QuillValue* value = create_numeric(context->pool, numeric.precision, numeric.scale);
  if (value == nullptr) return eval_error(context, "HY001", "Memory allocation error");
  set_value_to_numeric(value, &numeric);
  return value;
}

QuillValue* eval_hex_to_bigint(EvalContext* context, int count, void* const* arguments,
                               const ScalarFunction* entry) {
  const QuillValue* argument = fn_argument(count, arguments, 0);
  if (fn_is_null(argument)) return fn_null_value(context, VALUE_BIGINT);
  if (!fn_is_character(argument)) return cast_to_bigint(context, argument);
  unsigned __int128 magnitude = 0;
  bool negative = false;
  if (!argument_magnitude(context, argument, false, &magnitude, &negative, entry)) return nullptr;
  if (magnitude > static_cast<unsigned __int128>(INT64_MAX)) return out_of_range(context);
  QuillValue* value = fn_new_value(context);
  if (value != nullptr) set_value_to_bigint(value, static_cast<int64_t>(magnitude));
  return value;
}

QuillValue* eval_hex_to_numeric(EvalContext* context, int count, void* const* arguments,
                                const ScalarFunction* entry) {
  const QuillValue* argument = fn_argument(count, arguments, 0);
  if (fn_is_null(argument)) return fn_null_value(context, VALUE_NUMERIC);
  if (!fn_is_character(argument))
    return cast_to_exact(context, argument, CastTarget{SQL_NUMERIC, NUMERIC_MAX_PRECISION, 0});
  unsigned __int128 magnitude = 0;
  bool negative = false;
  if (!argument_magnitude(context, argument, false, &magnitude, &negative, entry)) return nullptr;
  SQL_NUMERIC_STRUCT numeric{};
  if (hex_quantity_numeric(magnitude, NUMERIC_MAX_PRECISION, 0, &numeric) != NUMERIC_OK)
    return out_of_range(context);
  return new_numeric(context, numeric);
}

// HEX_TO_DOUBLE reads every digit (a uint256 needs 64), so it does not go through the 128-bit
// reading; the double is the nearest to the quantity.
QuillValue* eval_hex_to_double(EvalContext* context, int count, void* const* arguments,
                               const ScalarFunction*) {
  const QuillValue* argument = fn_argument(count, arguments, 0);
  if (fn_is_null(argument)) return fn_null_value(context, VALUE_DOUBLE);
  if (!fn_is_character(argument)) return cast_to_double(context, argument);
  std::string text;
  if (!fn_read_text(context, argument, &text)) return nullptr;
  size_t at = text.find_first_not_of(" \t");
  size_t end = text.find_last_not_of(" \t");
  if (at == std::string::npos || end - at < 2 || text[at] != '0' ||
      (text[at + 1] != 'x' && text[at + 1] != 'X'))
    return not_a_quantity(context);
  double number = 0;
  for (size_t i = at + 2; i <= end; ++i) {
    char c = text[i];
    int digit = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
    if (digit < 0) return not_a_quantity(context);
    number = number * 16 + digit;
  }
  if (!std::isfinite(number)) return out_of_range(context);
  return fn_double_value(context, number);
}

QuillValue* eval_unix_to_timestamp(EvalContext* context, int count, void* const* arguments,
                                   const ScalarFunction* entry) {
  const QuillValue* argument = fn_argument(count, arguments, 0);
  if (fn_is_null(argument)) return fn_null_value(context, VALUE_TIMESTAMP);
  unsigned __int128 seconds = 0;
  bool negative = false;
  if (!argument_magnitude(context, argument, true, &seconds, &negative, entry)) return nullptr;
  SQL_TIMESTAMP_STRUCT timestamp{};
  if (negative || !unix_seconds_timestamp(seconds, &timestamp)) return out_of_range(context);
  QuillValue* value = fn_new_value(context);
  if (value != nullptr) set_value_to_timestamp(value, &timestamp);
  return value;
}

QuillValue* eval_wei_to_ether(EvalContext* context, int count, void* const* arguments,
                              const ScalarFunction* entry) {
  const QuillValue* argument = fn_argument(count, arguments, 0);
  if (fn_is_null(argument)) return fn_null_value(context, VALUE_NUMERIC);
  unsigned __int128 wei = 0;
  bool negative = false;
  if (!argument_magnitude(context, argument, true, &wei, &negative, entry)) return nullptr;
  // The wei count is the magnitude of the ether amount at scale 18: the digits stay as read.
  SQL_NUMERIC_STRUCT probe{};
  if (hex_quantity_numeric(wei, NUMERIC_MAX_PRECISION, 0, &probe) != NUMERIC_OK)
    return out_of_range(context);
  SQL_NUMERIC_STRUCT ether = probe;
  ether.scale = WEI_PER_ETHER_DIGITS;
  ether.sign = negative ? 0 : 1;
  return new_numeric(context, ether);
}

struct NumberedEvaluator {
  int number;
  ScalarEvaluator evaluator;
};

constexpr NumberedEvaluator kEvaluators[] = {
    {FN_HEX_TO_BIGINT, eval_hex_to_bigint},   {FN_HEX_TO_DOUBLE, eval_hex_to_double},
    {FN_HEX_TO_NUMERIC, eval_hex_to_numeric}, {FN_UNIX_TO_TIMESTAMP, eval_unix_to_timestamp},
    {FN_WEI_TO_ETHER, eval_wei_to_ether},
};

}  // namespace

ScalarEvaluator quantity_function_evaluator(int number) {
  for (const NumberedEvaluator& candidate : kEvaluators)
    if (candidate.number == number) return candidate.evaluator;
  return nullptr;
}
