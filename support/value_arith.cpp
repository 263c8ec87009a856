// Exact (38-digit) and 64-bit arithmetic and comparison on values, and the
// value-level numeric conversions.
#include <cmath>
#include <cstring>

#include "support/numeric.h"
#include "support/value.h"

namespace {

bool is_comparison(int op) {
  return op >= VALUE_OP_LESS && op <= VALUE_OP_NOT_EQUAL;
}

bool is_number_kind(int kind) {
  return kind == VALUE_INTEGER || kind == VALUE_BIT || kind == VALUE_BIGINT ||
         kind == VALUE_DOUBLE || kind == VALUE_NUMERIC;
}

// The message for operands that an operator cannot take.
int post_unsupported(ErrorHeader* context, int op, const char* what) {
  static const char* const kCompareMessages[] = {
      "Unsupported type in lessthan compare",      "Unsupported type in greaterthan compare",
      "Unsupported type in greaterthaneq compare", "Unsupported type in lessthaneq compare",
      "Unsupported type in equal compare",         "Unsupported type in notequal compare"};
  if (is_comparison(op)) return post_value_error(context, "HY000", kCompareMessages[op - 7]);
  return post_value_error(context, "HY000", what);
}

int post_out_of_range(ErrorHeader* context) {
  return post_value_error(context, "22003", "Numeric value out of range");
}

int post_division_by_zero(ErrorHeader* context) {
  return post_value_error(context, "22012", "Division by zero");
}

// Checks operands and handles NULLs: 1 when the result is already set (NULL/UNKNOWN),
// 0 to go on, -1 after an error.
int prepare_operands(const QuillValue* a, const QuillValue* b, QuillValue* result,
                     ErrorHeader* context, int op, int32_t null_kind, const char* what) {
  bool unary = op == VALUE_OP_NEGATE;
  bool known = is_comparison(op) || unary || op == VALUE_OP_ADD || op == VALUE_OP_SUBTRACT ||
               op == VALUE_OP_MULTIPLY || op == VALUE_OP_DIVIDE;
  if (!a || !result || (!unary && !b) || !known) return post_unsupported(context, op, what);
  if (!is_number_kind(a->kind) || (!unary && !is_number_kind(b->kind)))
    return post_unsupported(context, op, what);
  if (is_value_null(a) || (!unary && is_value_null(b))) {
    if (is_comparison(op))
      set_trivalue_in_value(result, TRUTH_UNKNOWN);
    else
      set_value_null(result, null_kind);
    return 1;
  }
  return 0;
}

// Exact form of a number; doubles keep 15 fraction digits (fewer when large).
int to_exact(const QuillValue* v, SQL_NUMERIC_STRUCT* out) {
  switch (v->kind) {
    case VALUE_NUMERIC:
      *out = v->payload.numeric;
      return NUMERIC_OK;
    case VALUE_BIGINT:
      return numeric_from_int64(v->payload.bigint, NUMERIC_MAX_PRECISION, 0, out);
    case VALUE_DOUBLE: {
      double d = v->payload.real;
      if (!std::isfinite(d)) return NUMERIC_OVERFLOW;
      int status = numeric_from_double(d, NUMERIC_MAX_PRECISION, 15, out);
      if (status == NUMERIC_OVERFLOW)
        status = numeric_from_double(d, NUMERIC_MAX_PRECISION, 0, out);
      return status;
    }
    default:
      return numeric_from_int64(v->payload.integer, NUMERIC_MAX_PRECISION, 0, out);
  }
}

// long double holds every int64 exactly, so mixed comparisons with doubles stay exact.
long double wide_of(const QuillValue* v) {
  if (v->kind == VALUE_DOUBLE) return v->payload.real;
  if (v->kind == VALUE_BIGINT) return static_cast<long double>(v->payload.bigint);
  return v->payload.integer;
}

int numeric_status_error(int status, ErrorHeader* context) {
  if (status == NUMERIC_DIVISION_BY_ZERO) return post_division_by_zero(context);
  if (status == NUMERIC_INVALID)
    return post_value_error(context, "22018", "Invalid character value for cast specification");
  return post_out_of_range(context);
}

}  // namespace

int post_value_error(ErrorHeader* context, const char* sqlstate, const char* message) {
  if (context) {
    SetReturnCode(context, -1);
    PostError(context, 1, 0, 0, 0, 0, "ODBC3.0", sqlstate, "%s", message);
  }
  return -1;
}

int comparison_truth(int order, int op) {
  bool truth = false;
  switch (op) {
    case VALUE_OP_LESS:
      truth = order < 0;
      break;
    case VALUE_OP_GREATER:
      truth = order > 0;
      break;
    case VALUE_OP_GREATER_EQUAL:
      truth = order >= 0;
      break;
    case VALUE_OP_LESS_EQUAL:
      truth = order <= 0;
      break;
    case VALUE_OP_EQUAL:
      truth = order == 0;
      break;
    case VALUE_OP_NOT_EQUAL:
      truth = order != 0;
      break;
    default:
      return TRUTH_UNKNOWN;
  }
  return truth ? TRUTH_TRUE : TRUTH_FALSE;
}

int numeric_operation(const QuillValue* a, const QuillValue* b, QuillValue* result,
                      ErrorHeader* context, int op) {
  int ready = prepare_operands(a, b, result, context, op, VALUE_NUMERIC,
                               "Unsupported type in numeric operation");
  if (ready != 0) return ready < 0 ? -1 : 0;
  SQL_NUMERIC_STRUCT x{}, y{}, out{};
  int status = to_exact(a, &x);
  if (status < 0) return numeric_status_error(status, context);
  if (op != VALUE_OP_NEGATE) {
    status = to_exact(b, &y);
    if (status < 0) return numeric_status_error(status, context);
  }
  if (is_comparison(op)) {
    set_trivalue_in_value(result, comparison_truth(numeric_cmp(&x, &y), op));
    return 0;
  }
  switch (op) {
    case VALUE_OP_ADD:
      status = numeric_add(&x, &y, &out);
      break;
    case VALUE_OP_SUBTRACT:
      status = numeric_sub(&x, &y, &out);
      break;
    case VALUE_OP_MULTIPLY:
      status = numeric_mul(&x, &y, &out);
      break;
    case VALUE_OP_DIVIDE:
      if (numeric_is_zero(&y)) return post_division_by_zero(context);
      status = numeric_div(&x, &y, &out);
      break;
    default:
      out = x;
      numeric_negate(&out);
      status = NUMERIC_OK;
  }
  if (status < 0) return numeric_status_error(status, context);
  set_value_to_numeric(result, &out);
  return 0;
}

int bigint_operation(const QuillValue* a, const QuillValue* b, QuillValue* result,
                     ErrorHeader* context, int op) {
  if (a && a->kind == VALUE_NUMERIC) return numeric_operation(a, b, result, context, op);
  if (b && b->kind == VALUE_NUMERIC) return numeric_operation(a, b, result, context, op);
  int ready = prepare_operands(a, b, result, context, op, VALUE_BIGINT,
                               "Unsupported type in bigint operation");
  if (ready != 0) return ready < 0 ? -1 : 0;
  bool unary = op == VALUE_OP_NEGATE;
  if (is_comparison(op)) {
    int order = 0;
    if (a->kind == VALUE_DOUBLE || b->kind == VALUE_DOUBLE) {
      long double x = wide_of(a), y = wide_of(b);
      if (std::isnan(x) || std::isnan(y)) {
        set_trivalue_in_value(result, op == VALUE_OP_NOT_EQUAL ? TRUTH_TRUE : TRUTH_FALSE);
        return 0;
      }
      order = x < y ? -1 : (x > y ? 1 : 0);
    } else {
      int64_t x = 0, y = 0;
      get_bigint_from_value(a, &x);
      get_bigint_from_value(b, &y);
      order = x < y ? -1 : (x > y ? 1 : 0);
    }
    set_trivalue_in_value(result, comparison_truth(order, op));
    return 0;
  }
  int64_t x = 0, y = 0, out = 0;
  if (get_bigint_from_value(a, &x) != 0) return post_out_of_range(context);
  if (!unary && get_bigint_from_value(b, &y) != 0) return post_out_of_range(context);
  bool overflow = false;
  switch (op) {
    case VALUE_OP_ADD:
      overflow = __builtin_add_overflow(x, y, &out);
      break;
    case VALUE_OP_SUBTRACT:
      overflow = __builtin_sub_overflow(x, y, &out);
      break;
    case VALUE_OP_MULTIPLY:
      overflow = __builtin_mul_overflow(x, y, &out);
      break;
    case VALUE_OP_DIVIDE:
      if (y == 0) return post_division_by_zero(context);
      overflow = x == INT64_MIN && y == -1;
      if (!overflow) out = x / y;
      break;
    default:
      overflow = __builtin_sub_overflow(int64_t{0}, x, &out);
  }
  if (overflow) return post_out_of_range(context);
  set_value_to_bigint(result, out);
  return 0;
}

int add_numeric(const QuillValue* a, const QuillValue* b, QuillValue* result,
                ErrorHeader* context) {
  return numeric_operation(a, b, result, context, VALUE_OP_ADD);
}

bool numeric_is_zero(const QuillValue* value) {
  if (is_value_null(value)) return false;
  switch (value->kind) {
    case VALUE_NUMERIC:
      return numeric_is_zero(&value->payload.numeric);
    case VALUE_INTEGER:
    case VALUE_BIT:
      return value->payload.integer == 0;
    case VALUE_BIGINT:
      return value->payload.bigint == 0;
    case VALUE_DOUBLE:
      return value->payload.real == 0;
    default:
      return false;
  }
}

int string_to_numeric(const char* text, QuillValue* value, int precision, int scale) {
  if (!text || !value) return NUMERIC_INVALID;
  SQL_NUMERIC_STRUCT n{};
  int status = numeric_from_text(text, std::strlen(text), precision, scale, &n);
  if (status >= 0) set_value_to_numeric(value, &n);
  return status;
}

int numeric_to_string(const QuillValue* value, char* buffer, size_t size) {
  if (!value || !buffer || value->kind != VALUE_NUMERIC || is_value_null(value)) return -1;
  return numeric_to_text(&value->payload.numeric, buffer, size);
}

int numeric_to_bigint(const QuillValue* value, int64_t* out) {
  if (!value || value->kind != VALUE_NUMERIC || is_value_null(value)) return NUMERIC_INVALID;
  return numeric_to_int64(&value->payload.numeric, out);
}

int int_to_numeric(int32_t number, QuillValue* value, int precision, int scale) {
  return bigint_to_numeric(number, value, precision, scale);
}

int bigint_to_numeric(int64_t number, QuillValue* value, int precision, int scale) {
  SQL_NUMERIC_STRUCT n{};
  int status = numeric_from_int64(number, precision, scale, &n);
  if (status >= 0) set_value_to_numeric(value, &n);
  return status;
}

int double_to_numeric(double number, QuillValue* value, int precision, int scale) {
  if (!std::isfinite(number)) return NUMERIC_OVERFLOW;
  SQL_NUMERIC_STRUCT n{};
  int status = numeric_from_double(number, precision, scale, &n);
  if (status >= 0) set_value_to_numeric(value, &n);
  return status;
}

QuillValue* create_numeric(MemPool* pool, int precision, int scale) {
  if (!pool) return nullptr;
  auto* value = static_cast<QuillValue*>(newNode(sizeof(QuillValue), VALUE_NODE_TAG, pool));
  if (!value) return nullptr;
  value->pool = pool;
  if (bigint_to_numeric(0, value, precision, scale) < 0) {
    quill_mem_free(pool, value);
    return nullptr;
  }
  return value;
}
