// The numeric scalar functions. Results never wrap: integer results outside 32 bits, and
// non-finite double results from finite arguments, raise 22003 "Numeric value out of range".
#include "driver/sql/fn_numeric.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>

#include "driver/sql/fn_support.h"

namespace {

// The value of pi these functions use (PI, DEGREES, RADIANS): kept short on purpose.
constexpr double kPi = 3.14159;
// Powers of ten beyond these exponents are infinite or zero as doubles; ROUND and TRUNCATE
// clamp their place count to this range.
constexpr int kMaxPlaces = 400;

QuillValue* out_of_range(EvalContext* context) {
  return eval_error(context, "22003", "Numeric value out of range");
}

QuillValue* domain_error(EvalContext* context) {
  return eval_error(context, "HY000", "DOMAIN error");
}

// The double result of a one-argument function; `in_domain` (may be null) rejects arguments.
QuillValue* unary(EvalContext* context, int count, void* const* arguments,
                  const ScalarFunction* entry, double (*op)(double), bool (*in_domain)(double)) {
  const QuillValue* argument = fn_argument(count, arguments, 0);
  if (fn_is_null(argument)) return fn_null_value(context, VALUE_DOUBLE);
  double x = 0;
  if (!fn_double_argument(context, argument, fn_name(entry), &x)) return nullptr;
  if (in_domain != nullptr && !in_domain(x)) return domain_error(context);
  return fn_checked_double(context, op(x));
}

// Reads two double arguments; false with *result set (NULL value or null after an error).
bool two_doubles(EvalContext* context, int count, void* const* arguments,
                 const ScalarFunction* entry, double* x, double* y, QuillValue** result) {
  const QuillValue* first = fn_argument(count, arguments, 0);
  const QuillValue* second = fn_argument(count, arguments, 1);
  if (fn_is_null(first) || fn_is_null(second)) {
    *result = fn_null_value(context, VALUE_DOUBLE);
    return false;
  }
  if (!fn_double_argument(context, first, fn_name(entry), x) ||
      !fn_double_argument(context, second, fn_name(entry), y)) {
    *result = nullptr;
    return false;
  }
  return true;
}

bool unit_range(double x) {
  return x >= -1.0 && x <= 1.0;
}
bool positive(double x) {
  return x > 0.0;
}
bool not_negative(double x) {
  return x >= 0.0;
}
double cotangent(double x) {
  return 1.0 / std::tan(x);
}
bool has_cotangent(double x) {
  return std::tan(x) != 0.0;
}
double to_degrees(double x) {
  return x * 180.0 / kPi;
}
double to_radians(double x) {
  return x * kPi / 180.0;
}

// A double truncated toward zero as a 32-bit integer value; 22003 outside its range.
QuillValue* integer_result(EvalContext* context, double x) {
  if (!(x > static_cast<double>(INT32_MIN) - 1.0 && x < static_cast<double>(INT32_MAX) + 1.0))
    return out_of_range(context);
  return fn_int_value(context, static_cast<int32_t>(x));
}

QuillValue* eval_abs(EvalContext* context, int count, void* const* arguments,
                     const ScalarFunction* entry) {
  const QuillValue* argument = fn_argument(count, arguments, 0);
  if (argument == nullptr) return fn_null_value(context, VALUE_DOUBLE);
  if (is_value_null(argument)) return fn_null_value(context, argument->kind);
  QuillValue* result = nullptr;
  switch (argument->kind) {
    case VALUE_INTEGER:
    case VALUE_BIT:
      if (argument->payload.integer == INT32_MIN) return out_of_range(context);
      result = duplicate_value(context->pool, argument);
      if (result != nullptr) result->payload.integer = std::abs(argument->payload.integer);
      break;
    case VALUE_BIGINT:
      if (argument->payload.bigint == INT64_MIN) return out_of_range(context);
      result = duplicate_value(context->pool, argument);
      if (result != nullptr) result->payload.bigint = std::llabs(argument->payload.bigint);
      break;
    case VALUE_DOUBLE:
      result = duplicate_value(context->pool, argument);
      if (result != nullptr) result->payload.real = std::fabs(argument->payload.real);
      break;
    case VALUE_NUMERIC:
      result = duplicate_value(context->pool, argument);
      if (result != nullptr) result->payload.numeric.sign = 1;
      break;
    default: {
      double x = 0;
      if (!fn_double_argument(context, argument, fn_name(entry), &x)) return nullptr;
      return fn_checked_double(context, std::fabs(x));
    }
  }
  if (result == nullptr) return eval_error(context, "HY001", "Memory allocation error");
  return result;
}

QuillValue* eval_ccur(EvalContext* context, int count, void* const* arguments,
                      const ScalarFunction*) {
  const QuillValue* argument = fn_argument(count, arguments, 0);
  if (argument == nullptr) return fn_null_value(context, VALUE_DOUBLE);
  QuillValue* result = duplicate_value(context->pool, argument);
  if (result == nullptr) return eval_error(context, "HY001", "Memory allocation error");
  return result;
}

QuillValue* eval_atan2(EvalContext* context, int count, void* const* arguments,
                       const ScalarFunction* entry) {
  double y = 0, x = 0;
  QuillValue* result = nullptr;
  if (!two_doubles(context, count, arguments, entry, &y, &x, &result)) return result;
  return fn_checked_double(context, std::atan2(y, x));
}

// CEILING and FLOOR: the rounded value as a 32-bit integer.
QuillValue* rounded_to_integer(EvalContext* context, int count, void* const* arguments,
                               const ScalarFunction* entry, double (*op)(double)) {
  const QuillValue* argument = fn_argument(count, arguments, 0);
  if (fn_is_null(argument)) return fn_null_value(context, VALUE_INTEGER);
  double x = 0;
  if (!fn_double_argument(context, argument, fn_name(entry), &x)) return nullptr;
  return integer_result(context, op(x));
}

QuillValue* eval_sign(EvalContext* context, int count, void* const* arguments,
                      const ScalarFunction* entry) {
  const QuillValue* argument = fn_argument(count, arguments, 0);
  if (fn_is_null(argument)) return fn_null_value(context, VALUE_INTEGER);
  double x = 0;
  if (!fn_double_argument(context, argument, fn_name(entry), &x)) return nullptr;
  if (std::isnan(x)) return out_of_range(context);
  return fn_int_value(context, x > 0 ? 1 : (x < 0 ? -1 : 0));
}

QuillValue* eval_mod(EvalContext* context, int count, void* const* arguments,
                     const ScalarFunction* entry) {
  const QuillValue* first = fn_argument(count, arguments, 0);
  const QuillValue* second = fn_argument(count, arguments, 1);
  if (fn_is_null(first) || fn_is_null(second)) return fn_null_value(context, VALUE_INTEGER);
  double x = 0, y = 0;
  if (!fn_double_argument(context, first, fn_name(entry), &x) ||
      !fn_double_argument(context, second, fn_name(entry), &y))
    return nullptr;
  int32_t dividend = 0, divisor = 0;
  if (get_int_from_value(first, &dividend) != 0 || get_int_from_value(second, &divisor) != 0)
    return out_of_range(context);
  if (divisor == 0) return eval_error(context, "22012", "Division by zero");
  // INT32_MIN % -1 overflows in C++ although the remainder is 0.
  if (divisor == -1) return fn_int_value(context, 0);
  return fn_int_value(context, dividend % divisor);
}

QuillValue* eval_pi(EvalContext* context, int, void* const*, const ScalarFunction*) {
  return fn_double_value(context, kPi);
}

QuillValue* eval_power(EvalContext* context, int count, void* const* arguments,
                       const ScalarFunction* entry) {
  double x = 0, exponent = 0;
  QuillValue* result = nullptr;
  if (!two_doubles(context, count, arguments, entry, &x, &exponent, &result)) return result;
  return fn_checked_double(context, std::pow(x, std::trunc(exponent)));
}

QuillValue* eval_rand(EvalContext* context, int count, void* const* arguments,
                      const ScalarFunction*) {
  if (count >= 1) {
    const QuillValue* seed = fn_argument(count, arguments, 0);
    if (fn_is_null(seed)) return fn_null_value(context, VALUE_DOUBLE);
    int64_t seed_value = 0;
    if (get_bigint_from_value(seed, &seed_value) != 0) return out_of_range(context);
    std::srand(static_cast<unsigned>(seed_value));
  }
  // The generator's values are reported in 0..32767 whatever RAND_MAX the C library has.
  return fn_double_value(context, static_cast<double>(std::rand() & 0x7FFF));
}

// ROUND and TRUNCATE: reads x and the place count, clamped so 10^n stays a finite non-zero.
bool value_and_places(EvalContext* context, int count, void* const* arguments,
                      const ScalarFunction* entry, double* x, int* places, QuillValue** result) {
  double raw_places = 0;
  if (!two_doubles(context, count, arguments, entry, x, &raw_places, result)) return false;
  if (std::isnan(raw_places)) {
    *result = out_of_range(context);
    return false;
  }
  raw_places = std::trunc(raw_places);
  if (raw_places > kMaxPlaces) raw_places = kMaxPlaces;
  if (raw_places < -kMaxPlaces) raw_places = -kMaxPlaces;
  *places = static_cast<int>(raw_places);
  return true;
}

QuillValue* eval_round(EvalContext* context, int count, void* const* arguments,
                       const ScalarFunction* entry) {
  double x = 0;
  int places = 0;
  QuillValue* result = nullptr;
  if (!value_and_places(context, count, arguments, entry, &x, &places, &result)) return result;
  if (!std::isfinite(x)) return out_of_range(context);
  double scale = std::pow(10.0, places);
  if (scale == 0.0) return fn_double_value(context, 0.0);  // every digit rounded away
  double scaled = scale * x;
  // More places than a double holds: nothing to round.
  if (!std::isfinite(scaled) || std::fabs(scaled) >= 1e17) return fn_double_value(context, x);
  return fn_checked_double(context, std::trunc(scaled + 0.5) / scale);
}

QuillValue* eval_truncate(EvalContext* context, int count, void* const* arguments,
                          const ScalarFunction* entry) {
  double x = 0;
  int places = 0;
  QuillValue* result = nullptr;
  if (!value_and_places(context, count, arguments, entry, &x, &places, &result)) return result;
  if (!std::isfinite(x)) return out_of_range(context);
  double scale = std::pow(10.0, places);
  if (scale == 0.0) return fn_double_value(context, 0.0);
  double scaled = scale * x;
  if (!std::isfinite(scaled) || std::fabs(scaled) >= 1e17) return fn_double_value(context, x);
  // Dividing by 10^n rather than multiplying by 10^-n keeps TRUNCATE(1.29, 1) at 1.2:
  // 10^-n is inexact in binary for every n > 0.
  return fn_checked_double(context, std::trunc(scaled) / scale);
}

// INT (x): x (evaluated here) as a double truncated toward zero to a 32-bit integer.
QuillValue* eval_int(EvalContext* context, int count, void* const* arguments,
                     const ScalarFunction* entry) {
  QuillValue* argument = fn_evaluate_argument(context, count, arguments, 0);
  if (argument == nullptr) return nullptr;
  QuillValue* result = nullptr;
  double x = 0;
  std::string text;
  if (is_value_null(argument)) {
    result = fn_null_value(context, VALUE_INTEGER);
  } else if (fn_is_character(argument)) {
    if (fn_read_text(context, argument, &text)) {
      char* end = nullptr;
      x = std::strtod(text.c_str(), &end);
      while (end != nullptr && (*end == ' ' || *end == '\t')) ++end;
      if (end == text.c_str() || (end != nullptr && *end != '\0'))
        eval_error(context, "22018", "Invalid character value for cast specification");
      else
        result = integer_result(context, std::trunc(x));
    }
  } else if (fn_double_argument(context, argument, fn_name(entry), &x)) {
    result = integer_result(context, std::trunc(x));
  }
  release_value(context->pool, argument);
  return result;
}

// STR (x): the text form of x (evaluated here).
QuillValue* eval_str(EvalContext* context, int count, void* const* arguments,
                     const ScalarFunction*) {
  QuillValue* argument = fn_evaluate_argument(context, count, arguments, 0);
  if (argument == nullptr) return nullptr;
  QuillValue* result = nullptr;
  if (is_value_null(argument)) {
    result = fn_null_value(context, VALUE_CHARACTER);
  } else if (argument->kind == VALUE_LONG_CHARACTER) {
    std::string text;
    if (fn_read_text(context, argument, &text)) result = fn_text_value(context, text);
  } else {
    std::string buffer(VALUE_TEXT_SIZE, '\0');
    int length = value_as_text(argument, buffer.data());
    if (length < 0)
      eval_error(context, "HY000", "STR() argument has no text form");
    else
      result = fn_text_value(context, buffer.substr(0, static_cast<size_t>(length)));
  }
  release_value(context->pool, argument);
  return result;
}

#define UNARY(op, domain)                                                                    \
  [](EvalContext* context, int count, void* const* arguments, const ScalarFunction* entry) { \
    return unary(context, count, arguments, entry, op, domain);                              \
  }

double call_acos(double x) {
  return std::acos(x);
}
double call_asin(double x) {
  return std::asin(x);
}
double call_atan(double x) {
  return std::atan(x);
}
double call_cos(double x) {
  return std::cos(x);
}
double call_sin(double x) {
  return std::sin(x);
}
double call_tan(double x) {
  return std::tan(x);
}
double call_exp(double x) {
  return std::exp(x);
}
double call_log(double x) {
  return std::log(x);
}
double call_log10(double x) {
  return std::log10(x);
}
double call_sqrt(double x) {
  return std::sqrt(x);
}
double call_ceil(double x) {
  return std::ceil(x);
}
double call_floor(double x) {
  return std::floor(x);
}

struct NumberedEvaluator {
  int number;
  ScalarEvaluator evaluator;
};

const NumberedEvaluator kEvaluators[] = {
    {0, eval_abs},
    {1, UNARY(call_acos, unit_range)},
    {3, UNARY(call_asin, unit_range)},
    {4, UNARY(call_atan, nullptr)},
    {5, eval_atan2},
    {7,
     [](EvalContext* context, int count, void* const* arguments, const ScalarFunction* entry) {
       return rounded_to_integer(context, count, arguments, entry, call_ceil);
     }},
    {12, UNARY(call_cos, nullptr)},
    {13, UNARY(cotangent, has_cotangent)},
    {22, UNARY(to_degrees, nullptr)},
    {24, UNARY(call_exp, nullptr)},
    {26,
     [](EvalContext* context, int count, void* const* arguments, const ScalarFunction* entry) {
       return rounded_to_integer(context, count, arguments, entry, call_floor);
     }},
    {34, UNARY(call_log, positive)},
    {35, UNARY(call_log10, positive)},
    {38, eval_mod},
    {43, eval_pi},
    {45, eval_power},
    {47, UNARY(to_radians, nullptr)},
    {48, eval_rand},
    {52, eval_round},
    {55, eval_sign},
    {56, UNARY(call_sin, nullptr)},
    {59, UNARY(call_sqrt, not_negative)},
    {61, UNARY(call_tan, nullptr)},
    {64, eval_truncate},
    {69, eval_ccur},
    {76, eval_int},
    {77, eval_str},
};

}  // namespace

ScalarEvaluator numeric_function_evaluator(int number) {
  for (const NumberedEvaluator& candidate : kEvaluators)
    if (candidate.number == number) return candidate.evaluator;
  return nullptr;
}
