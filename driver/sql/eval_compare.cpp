// Comparison of two values by the engine's rules: NULL gives UNKNOWN; NUMERIC and BIGINT
// operands through the exact and 64-bit helpers; integers and doubles (with `=` on doubles
// deciding by the "%f" text of both); character and binary by content; temporal values
// (character text parsed as a literal of the other side's kind); intervals; LONG VARCHAR
// for `=` only.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/sql/cast.h"
#include "support/hex_quantity.h"
#include "driver/sql/eval_internal.h"
#include "driver/sql/literals.h"
#include "support/datetime.h"
#include "support/numeric.h"

namespace {

bool is_comparison(int op) {
  return op >= OP_LESS && op <= OP_NOT_EQUAL;
}

int unsupported(EvalContext* context, int op) {
  static const char* const kMessages[] = {
      "Unsupported type in lessthan compare",      "Unsupported type in greaterthan compare",
      "Unsupported type in greaterthaneq compare", "Unsupported type in lessthaneq compare",
      "Unsupported type in equal compare",         "Unsupported type in notequal compare"};
  eval_error(context, "HY000", "%s",
             is_comparison(op) ? kMessages[op - OP_LESS] : "Unexpected bool expression");
  return -1;
}

bool is_plain_number(int kind) {
  return kind == VALUE_INTEGER || kind == VALUE_BIT || kind == VALUE_DOUBLE;
}

bool is_number(int kind) {
  return is_plain_number(kind) || kind == VALUE_BIGINT || kind == VALUE_NUMERIC;
}

bool is_temporal(int kind) {
  return kind == VALUE_DATE || kind == VALUE_TIME || kind == VALUE_TIMESTAMP;
}

bool is_interval(int kind) {
  return kind == VALUE_YEAR_MONTH_INTERVAL || kind == VALUE_DAY_TIME_INTERVAL;
}

bool is_text(int kind) {
  return kind == VALUE_CHARACTER || kind == VALUE_BINARY;
}

// Text bytes of a short character or binary value.
std::string short_text(const QuillValue* value) {
  if (value->bytes.data == nullptr) return "";
  if (value->kind == VALUE_CHARACTER) return std::string(value->bytes.data);
  return std::string(value->bytes.data, static_cast<size_t>(value->bytes.length));
}

// A value holding the number a character text spells (a "0x" quantity exactly, an integer
// when it is one, else a double). False after raising 22018 when the text is not a number
// (22003 for a quantity beyond 38 digits).
bool number_from_text(EvalContext* context, const QuillValue* text_value, QuillValue* out) {
  std::string text;
  if (!value_text(context, text_value, &text)) return false;
  size_t begin = text.find_first_not_of(' ');
  size_t end = text.find_last_not_of(' ');
  std::string trimmed = begin == std::string::npos ? "" : text.substr(begin, end - begin + 1);
  int truth = 0;
  if (cast_truth_word(trimmed.data(), trimmed.size(), &truth)) {  // BIT = 'true'
    set_value_to_int(out, truth);
    return true;
  }
  // A "0x" quantity compares by its exact value, as CAST reads it.
  if (hex_quantity_prefix(trimmed)) {
    unsigned __int128 magnitude = 0;
    HexQuantity read = hex_quantity_read(trimmed, &magnitude);
    if (read == HexQuantity::NOT_HEX) {
      eval_error(context, "22018", "Invalid character value for cast specification");
      return false;
    }
    SQL_NUMERIC_STRUCT exact{};
    if (read == HexQuantity::VALUE && magnitude <= static_cast<unsigned __int128>(INT64_MAX)) {
      set_value_to_bigint(out, static_cast<int64_t>(magnitude));
    } else if (read == HexQuantity::VALUE &&
               hex_quantity_numeric(magnitude, NUMERIC_MAX_PRECISION, 0, &exact) == NUMERIC_OK) {
      set_value_to_numeric(out, &exact);
    } else {
      eval_error(context, "22003", "Numeric value out of range");
      return false;
    }
    return true;
  }
  char* stop = nullptr;
  errno = 0;
  long long whole = std::strtoll(trimmed.c_str(), &stop, 10);
  if (!trimmed.empty() && *stop == '\0' && errno == 0) {
    set_value_to_bigint(out, whole);
    return true;
  }
  double real = std::strtod(trimmed.c_str(), &stop);
  if (trimmed.empty() || *stop != '\0' || !std::isfinite(real)) {
    eval_error(context, "22018", "Invalid character value for cast specification");
    return false;
  }
  set_value_to_double(out, real);
  return true;
}

// Parses `text` as a literal of temporal `kind` into `out` (made a value of that kind).
bool parse_temporal(EvalContext* context, const std::string& text, int kind, QuillValue* out) {
  if (kind == VALUE_DATE) {
    SQL_DATE_STRUCT date{};
    if (!parse_date_text(text.c_str(), &date)) {
      eval_error(context, "22012", "Invalid date value");
      return false;
    }
    set_value_to_date(out, &date);
  } else if (kind == VALUE_TIME) {
    SQL_TIME_STRUCT time{};
    if (!parse_time_text(text.c_str(), &time)) {
      eval_error(context, "22012", "Invalid time value");
      return false;
    }
    set_value_to_time(out, &time);
  } else {
    SQL_TIMESTAMP_STRUCT timestamp{};
    if (!parse_timestamp_text(text.c_str(), &timestamp)) {
      eval_error(context, "22012", "Invalid timestamp value");
      return false;
    }
    set_value_to_timestamp(out, &timestamp);
  }
  return true;
}

SQL_TIMESTAMP_STRUCT as_timestamp(const QuillValue* value) {
  if (value->kind == VALUE_TIMESTAMP) return value->payload.timestamp;
  SQL_TIMESTAMP_STRUCT timestamp{};
  timestamp.year = value->payload.date.year;
  timestamp.month = value->payload.date.month;
  timestamp.day = value->payload.date.day;
  return timestamp;
}

// Order of two temporal values; false when the kinds cannot be compared (DATE with TIME).
bool temporal_order(const QuillValue* left, const QuillValue* right, int* order) {
  if (left->kind == VALUE_TIME || right->kind == VALUE_TIME) {
    if (left->kind == VALUE_DATE || right->kind == VALUE_DATE) return false;
    SQL_TIME_STRUCT a = left->payload.time, b = right->payload.time;
    if (left->kind == VALUE_TIMESTAMP)
      a = {left->payload.timestamp.hour, left->payload.timestamp.minute,
           left->payload.timestamp.second};
    if (right->kind == VALUE_TIMESTAMP)
      b = {right->payload.timestamp.hour, right->payload.timestamp.minute,
           right->payload.timestamp.second};
    *order = time_compare(&a, &b);
    return true;
  }
  if (left->kind == VALUE_DATE && right->kind == VALUE_DATE) {
    *order = date_compare(&left->payload.date, &right->payload.date);
    return true;
  }
  SQL_TIMESTAMP_STRUCT a = as_timestamp(left), b = as_timestamp(right);
  *order = timestamp_compare(&a, &b);
  return true;
}

int truth_of_order(int order, int op) {
  return comparison_truth(order < 0 ? -1 : (order > 0 ? 1 : 0), op);
}

// A scratch value on the context's pool, released on scope exit.
class Scratch {
 public:
  explicit Scratch(EvalContext* context) : context_(context) { value_ = new_value(context); }
  ~Scratch() {
    if (value_ != nullptr) release_value(context_->pool, value_);
  }
  QuillValue* get() const { return value_; }

 private:
  EvalContext* context_;
  QuillValue* value_;
};

// Runs one of the support comparisons (numeric, bigint, interval) and reads its truth.
int support_compare(EvalContext* context, const QuillValue* left, const QuillValue* right, int op,
                    int (*operation)(const QuillValue*, const QuillValue*, QuillValue*,
                                     ErrorHeader*, int)) {
  Scratch result(context);
  if (result.get() == nullptr) return -1;
  if (operation(left, right, result.get(), context->errors, op) != 0) {
    support_failed(context);
    return -1;
  }
  return get_trivalue_from_value(result.get());
}

int compare_plain_numbers(const QuillValue* left, const QuillValue* right, int op) {
  bool left_integer = left->kind != VALUE_DOUBLE;
  bool right_integer = right->kind != VALUE_DOUBLE;
  if (op == OP_EQUAL && left_integer && right_integer)
    return left->payload.integer == right->payload.integer ? TRUTH_TRUE : TRUTH_FALSE;
  double a = 0, b = 0;
  get_double_from_value(left, &a);
  get_double_from_value(right, &b);
  if (op == OP_EQUAL) {
    // Doubles that agree to six decimals are equal, as their "%f" texts are.
    char a_text[400], b_text[400];
    std::snprintf(a_text, sizeof a_text, "%f", a);
    std::snprintf(b_text, sizeof b_text, "%f", b);
    return std::strcmp(a_text, b_text) == 0 ? TRUTH_TRUE : TRUTH_FALSE;
  }
  if (std::isnan(a) || std::isnan(b)) return op == OP_NOT_EQUAL ? TRUTH_TRUE : TRUTH_FALSE;
  return truth_of_order(a < b ? -1 : (a > b ? 1 : 0), op);
}

// LONG VARCHAR on the left: only `=`, against text or a temporal value.
int compare_long_text(EvalContext* context, const QuillValue* left, const QuillValue* right,
                      int op) {
  if (op != OP_EQUAL || !(is_temporal(right->kind) || right->kind == VALUE_CHARACTER ||
                          right->kind == VALUE_LONG_CHARACTER))
    return unsupported(context, op);
  std::string text;
  if (!value_text(context, left, &text)) return -1;
  Scratch converted(context);
  if (converted.get() == nullptr) return -1;
  if (is_temporal(right->kind)) {
    if (!parse_temporal(context, text, right->kind, converted.get())) return -1;
    int order = 0;
    temporal_order(converted.get(), right, &order);
    return truth_of_order(order, op);
  }
  if (set_value_to_text(converted.get(), text.data(), text.size()) != 0) {
    memory_error(context);
    return -1;
  }
  return truth_of_order(compare_values(converted.get(), right), op);
}

}  // namespace

int compare_operands(EvalContext* context, const QuillValue* left, const QuillValue* right,
                     int op) {
  if (left == nullptr || right == nullptr || !is_comparison(op)) return unsupported(context, op);
  if (is_value_null(left) || is_value_null(right)) return TRUTH_UNKNOWN;
  // A number against text: the text is read as the number it spells.
  if ((is_number(left->kind) && right->kind == VALUE_CHARACTER) ||
      (left->kind == VALUE_CHARACTER && is_number(right->kind))) {
    Scratch number(context);
    if (number.get() == nullptr) return -1;
    bool text_left = left->kind == VALUE_CHARACTER;
    if (!number_from_text(context, text_left ? left : right, number.get())) return -1;
    return text_left ? compare_operands(context, number.get(), right, op)
                     : compare_operands(context, left, number.get(), op);
  }
  if (is_interval(left->kind) || is_interval(right->kind))
    return support_compare(context, left, right, op, interval_operation);
  if (left->kind == VALUE_NUMERIC || right->kind == VALUE_NUMERIC)
    return support_compare(context, left, right, op, numeric_operation);
  if (left->kind == VALUE_BIGINT || right->kind == VALUE_BIGINT)
    return support_compare(context, left, right, op, bigint_operation);
  if (is_plain_number(left->kind)) {
    if (!is_plain_number(right->kind)) return unsupported(context, op);
    return compare_plain_numbers(left, right, op);
  }
  if (is_text(left->kind)) {
    if (is_temporal(right->kind)) {
      Scratch parsed(context);
      if (parsed.get() == nullptr) return -1;
      if (!parse_temporal(context, short_text(left), right->kind, parsed.get())) return -1;
      int order = 0;
      temporal_order(parsed.get(), right, &order);
      return truth_of_order(order, op);
    }
    if (!is_text(right->kind) && right->kind != VALUE_LONG_CHARACTER &&
        right->kind != VALUE_LONG_BINARY)
      return unsupported(context, op);
    return truth_of_order(compare_values(left, right), op);
  }
  if (is_temporal(left->kind)) {
    Scratch parsed(context);
    const QuillValue* other = right;
    if (right->kind == VALUE_CHARACTER || right->kind == VALUE_LONG_CHARACTER) {
      std::string text;
      if (parsed.get() == nullptr || !value_text(context, right, &text)) return -1;
      if (!parse_temporal(context, text, left->kind, parsed.get())) return -1;
      other = parsed.get();
    }
    int order = 0;
    if (!is_temporal(other->kind) || !temporal_order(left, other, &order))
      return unsupported(context, op);
    return truth_of_order(order, op);
  }
  if (left->kind == VALUE_LONG_CHARACTER) return compare_long_text(context, left, right, op);
  return unsupported(context, op);
}
