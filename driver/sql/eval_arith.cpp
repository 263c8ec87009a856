// Arithmetic of the value operators: concatenation with character operands (a "0x" quantity
// plus a number adds exactly instead, as CAST reads the quantity), 32-bit integer
// arithmetic that refuses results beyond 32 bits, double, NUMERIC, BIGINT and interval
// arithmetic, shifts of dates, times and timestamps by a number of days (or seconds for
// TIME), and unary minus.
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "support/hex_quantity.h"
#include "driver/sql/eval_internal.h"
#include "support/datetime.h"
#include "support/numeric.h"

namespace {

bool is_integer(int kind) {
  return kind == VALUE_INTEGER || kind == VALUE_BIT;
}

bool is_number(int kind) {
  return is_integer(kind) || kind == VALUE_DOUBLE || kind == VALUE_BIGINT || kind == VALUE_NUMERIC;
}

bool is_temporal(int kind) {
  return kind == VALUE_DATE || kind == VALUE_TIME || kind == VALUE_TIMESTAMP;
}

bool is_interval(int kind) {
  return kind == VALUE_YEAR_MONTH_INTERVAL || kind == VALUE_DAY_TIME_INTERVAL;
}

bool is_character(int kind) {
  return kind == VALUE_CHARACTER || kind == VALUE_LONG_CHARACTER;
}

QuillValue* out_of_range(EvalContext* context) {
  return eval_error(context, "22003", "Numeric value out of range");
}

QuillValue* division_by_zero(EvalContext* context) {
  return eval_error(context, "22012", "Division by zero");
}

QuillValue* unsupported(EvalContext* context) {
  return eval_error(context, "HY000", "Unsupported type in arithmetic operation");
}

// Runs one of the support operations (numeric, bigint, interval) into a new value.
QuillValue* support_operation(EvalContext* context, const QuillValue* left, const QuillValue* right,
                              int op,
                              int (*operation)(const QuillValue*, const QuillValue*, QuillValue*,
                                               ErrorHeader*, int)) {
  QuillValue* result = new_value(context);
  if (result == nullptr) return nullptr;
  if (operation(left, right, result, context->errors, op) != 0) {
    release_value(context->pool, result);
    return support_failed(context);
  }
  return result;
}

QuillValue* integer_result(EvalContext* context, int64_t wide) {
  if (wide < std::numeric_limits<int32_t>::min() || wide > std::numeric_limits<int32_t>::max())
    return out_of_range(context);
  QuillValue* result = new_value(context);
  if (result != nullptr) set_value_to_int(result, static_cast<int32_t>(wide));
  return result;
}

// 32-bit operands computed in 64 bits: a result that does not fit 32 bits is an error.
QuillValue* integer_arithmetic(EvalContext* context, int32_t a, int32_t b, int op) {
  int64_t x = a, y = b;
  switch (op) {
    case OP_ADD:
      return integer_result(context, x + y);
    case OP_SUBTRACT:
      return integer_result(context, x - y);
    case OP_MULTIPLY:
      return integer_result(context, x * y);
    case OP_DIVIDE:
      if (y == 0) return division_by_zero(context);
      return integer_result(context, x / y);  // INT_MIN / -1 lands beyond 32 bits: refused
    default:
      return unsupported(context);
  }
}

QuillValue* double_arithmetic(EvalContext* context, const QuillValue* left, const QuillValue* right,
                              int op) {
  double a = 0, b = 0;
  if (get_double_from_value(left, &a) != 0 || get_double_from_value(right, &b) != 0)
    return unsupported(context);
  double out = 0;
  switch (op) {
    case OP_ADD:
      out = a + b;
      break;
    case OP_SUBTRACT:
      out = a - b;
      break;
    case OP_MULTIPLY:
      out = a * b;
      break;
    case OP_DIVIDE:
      if (b == 0) return division_by_zero(context);
      out = a / b;
      break;
    default:
      return unsupported(context);
  }
  if (!std::isfinite(out) && std::isfinite(a) && std::isfinite(b)) return out_of_range(context);
  QuillValue* result = new_value(context);
  if (result != nullptr) set_value_to_double(result, out);
  return result;
}

// `left || right` (or `+` with a character operand): text followed by text.
QuillValue* concatenate(EvalContext* context, const QuillValue* left, const QuillValue* right) {
  if (is_value_null(left) || is_value_null(right)) return new_null_value(context, VALUE_CHARACTER);
  // A character operand always leads: 1 + 'abc' is 'abc1'.
  const QuillValue* first = left;
  const QuillValue* second = right;
  if (!is_character(left->kind) && is_character(right->kind)) std::swap(first, second);
  std::string head, tail;
  if (!value_text(context, first, &head) || !value_text(context, second, &tail)) return nullptr;
  head += tail;
  QuillValue* result = new_value(context);
  if (result != nullptr && set_value_to_text(result, head.data(), head.size()) != 0) {
    release_value(context->pool, result);
    return memory_error(context);
  }
  return result;
}

// `quantity + number` for a character operand holding a "0x" quantity and a number: the exact
// sum as decimal text (the type of `+` with a character operand stays character). Null with
// nothing raised when `text` is not a quantity, so the caller concatenates as usual.
QuillValue* quantity_sum(EvalContext* context, const QuillValue* text, const QuillValue* number,
                         bool* handled) {
  *handled = false;
  std::string digits;
  if (!value_text(context, text, &digits)) {
    *handled = true;
    return nullptr;
  }
  unsigned __int128 magnitude = 0;
  HexQuantity read = hex_quantity_read(digits, &magnitude);
  if (read == HexQuantity::NOT_HEX) return nullptr;
  *handled = true;
  SQL_NUMERIC_STRUCT exact{};
  if (read == HexQuantity::TOO_LARGE ||
      hex_quantity_numeric(magnitude, NUMERIC_MAX_PRECISION, 0, &exact) != NUMERIC_OK)
    return out_of_range(context);
  QuillValue* quantity = create_numeric(context->pool, NUMERIC_MAX_PRECISION, 0);
  if (quantity == nullptr) return memory_error(context);
  set_value_to_numeric(quantity, &exact);
  QuillValue* sum = support_operation(context, quantity, number, OP_ADD, numeric_operation);
  release_value(context->pool, quantity);
  if (sum == nullptr) return nullptr;
  std::string rendered;
  bool rendered_ok = value_text(context, sum, &rendered);
  release_value(context->pool, sum);
  if (!rendered_ok) return nullptr;
  QuillValue* result = new_value(context);
  if (result != nullptr && set_value_to_text(result, rendered.data(), rendered.size()) != 0) {
    release_value(context->pool, result);
    return memory_error(context);
  }
  return result;
}

constexpr int64_t kShiftStep = 1000000000;  // seconds moved per step of a long shift

// A temporal value moved by `amount` days (seconds for TIME): a TIMESTAMP.
QuillValue* shift_temporal(EvalContext* context, const QuillValue* temporal,
                           const QuillValue* number, int direction) {
  double amount = 0;
  if (get_double_from_value(number, &amount) != 0) return unsupported(context);
  long double seconds = static_cast<long double>(amount) * direction;
  if (temporal->kind != VALUE_TIME) seconds *= SECONDS_PER_DAY;
  // Beyond ten thousand years no shift can stay within years 1..9999.
  if (!std::isfinite(static_cast<double>(seconds)) || fabsl(seconds) > 4.0e11L)
    return eval_error(context, "22008", "Datetime field overflow");
  SQL_TIMESTAMP_STRUCT moved{};
  if (temporal->kind == VALUE_TIMESTAMP) {
    moved = temporal->payload.timestamp;
  } else if (temporal->kind == VALUE_DATE) {
    moved.year = temporal->payload.date.year;
    moved.month = temporal->payload.date.month;
    moved.day = temporal->payload.date.day;
  } else {
    moved.year = context->start_time.year;
    moved.month = context->start_time.month;
    moved.day = context->start_time.day;
    moved.hour = temporal->payload.time.hour;
    moved.minute = temporal->payload.time.minute;
    moved.second = temporal->payload.time.second;
  }
  long double whole = floorl(seconds);
  int64_t nanoseconds = static_cast<int64_t>(llroundl((seconds - whole) * 1e9L));
  int64_t remaining = static_cast<int64_t>(whole);
  nanoseconds += moved.fraction;
  if (nanoseconds >= NANOSECONDS_PER_SECOND) {
    nanoseconds -= NANOSECONDS_PER_SECOND;
    ++remaining;
  }
  moved.fraction = static_cast<SQLUINTEGER>(nanoseconds);
  while (remaining != 0) {
    int64_t step =
        remaining > kShiftStep ? kShiftStep : (remaining < -kShiftStep ? -kShiftStep : remaining);
    SQL_TIMESTAMP_STRUCT scratch{};
    if (timestamp_add_noconvert(&moved, &scratch, &moved, step) != 0)
      return eval_error(context, "22008", "Datetime field overflow");
    remaining -= step;
  }
  QuillValue* result = new_value(context);
  if (result != nullptr) set_value_to_timestamp(result, &moved);
  return result;
}

QuillValue* negate(EvalContext* context, const QuillValue* operand) {
  if (is_value_null(operand)) return new_null_value(context, operand->kind);
  if (is_integer(operand->kind))
    return integer_result(context, -static_cast<int64_t>(operand->payload.integer));
  if (operand->kind == VALUE_DOUBLE) {
    QuillValue* result = new_value(context);
    if (result != nullptr) set_value_to_double(result, -operand->payload.real);
    return result;
  }
  if (operand->kind == VALUE_BIGINT)
    return support_operation(context, operand, nullptr, OP_NEGATE, bigint_operation);
  if (operand->kind == VALUE_NUMERIC)
    return support_operation(context, operand, nullptr, OP_NEGATE, numeric_operation);
  if (is_interval(operand->kind))
    return support_operation(context, operand, nullptr, OP_NEGATE, interval_operation);
  return unsupported(context);
}

}  // namespace

QuillValue* arithmetic_operation(EvalContext* context, const QuillValue* left,
                                 const QuillValue* right, int op) {
  if (left == nullptr) return unsupported(context);
  if (op == OP_NEGATE) return negate(context, left);
  if (right == nullptr || op < OP_ADD || op > OP_DIVIDE) return unsupported(context);
  if (op == OP_ADD && !is_value_null(left) && !is_value_null(right)) {
    bool handled = false;
    QuillValue* sum = nullptr;
    if (is_character(left->kind) && is_number(right->kind))
      sum = quantity_sum(context, left, right, &handled);
    else if (is_number(left->kind) && is_character(right->kind))
      sum = quantity_sum(context, right, left, &handled);
    if (handled) return sum;
  }
  if (op == OP_CONCAT || (op == OP_ADD && (is_character(left->kind) || is_character(right->kind))))
    return concatenate(context, left, right);
  if (is_value_null(left) || is_value_null(right)) {
    bool left_kind = (op == OP_MULTIPLY || op == OP_DIVIDE) && !is_value_null(left);
    return new_null_value(context, left_kind ? left->kind : right->kind);
  }
  if (is_integer(left->kind) && is_integer(right->kind))
    return integer_arithmetic(context, left->payload.integer, right->payload.integer, op);
  bool plain_left = is_integer(left->kind) || left->kind == VALUE_DOUBLE;
  bool plain_right = is_integer(right->kind) || right->kind == VALUE_DOUBLE;
  if (plain_left && plain_right) return double_arithmetic(context, left, right, op);
  if (is_interval(left->kind) || is_interval(right->kind))
    return support_operation(context, left, right, op, interval_operation);
  if (op == OP_ADD || op == OP_SUBTRACT) {
    // The number is always taken away from the temporal operand for `-`.
    int direction = op == OP_ADD ? 1 : -1;
    if (is_temporal(left->kind) && is_number(right->kind))
      return shift_temporal(context, left, right, direction);
    if (is_number(left->kind) && is_temporal(right->kind))
      return shift_temporal(context, right, left, direction);
  }
  if (left->kind == VALUE_NUMERIC || right->kind == VALUE_NUMERIC)
    return support_operation(context, left, right, op, numeric_operation);
  if (left->kind == VALUE_BIGINT || right->kind == VALUE_BIGINT) {
    // A double would be truncated to 64 bits by the BIGINT arithmetic: keep its fraction.
    if (left->kind == VALUE_DOUBLE || right->kind == VALUE_DOUBLE)
      return double_arithmetic(context, left, right, op);
    return support_operation(context, left, right, op, bigint_operation);
  }
  return double_arithmetic(context, left, right, op);
}
