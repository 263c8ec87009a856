// Result values and argument access for the scalar function evaluators.
#include "driver/sql/fn_support.h"

#include <cmath>

namespace {
constexpr const char* kMemoryError = "Memory allocation error";
}  // namespace

QuillValue* fn_new_value(EvalContext* context, int32_t text_length, const char* memory_message) {
  QuillValue* value = NewValue(context->pool, text_length);
  if (value == nullptr)
    return eval_error(context, "HY001", "%s", memory_message ? memory_message : kMemoryError);
  return value;
}

QuillValue* fn_null_value(EvalContext* context, int32_t kind) {
  QuillValue* value = fn_new_value(context);
  if (value != nullptr) set_value_null(value, kind);
  return value;
}

QuillValue* fn_int_value(EvalContext* context, int32_t number) {
  QuillValue* value = fn_new_value(context);
  if (value != nullptr) set_value_to_int(value, number);
  return value;
}

QuillValue* fn_double_value(EvalContext* context, double number) {
  QuillValue* value = fn_new_value(context);
  if (value != nullptr) set_value_to_double(value, number);
  return value;
}

QuillValue* fn_text_value(EvalContext* context, const std::string& text,
                          const char* memory_message) {
  QuillValue* value = fn_new_value(context, 0, memory_message);
  if (value == nullptr) return nullptr;
  if (set_value_to_text(value, text.data(), text.size()) != 0) {
    release_value(context->pool, value);
    return eval_error(context, "HY001", "%s", memory_message ? memory_message : kMemoryError);
  }
  return value;
}

const QuillValue* fn_argument(int argument_count, void* const* arguments, int index) {
  if (arguments == nullptr || index < 0 || index >= argument_count) return nullptr;
  return static_cast<const QuillValue*>(arguments[index]);
}

bool fn_is_null(const QuillValue* value) {
  return value == nullptr || is_value_null(value);
}

bool fn_is_character(const QuillValue* value) {
  return value != nullptr &&
         (value->kind == VALUE_CHARACTER || value->kind == VALUE_LONG_CHARACTER);
}

bool fn_read_text(EvalContext* context, const QuillValue* value, std::string* out) {
  if (value == nullptr) return false;
  if (value->kind == VALUE_CHARACTER) {
    const char* data = value->bytes.data;
    out->assign(data != nullptr ? data : "");
    return true;
  }
  if (value->kind != VALUE_LONG_CHARACTER) return false;
  if (context->read_long == nullptr || !context->read_long(context, value, out)) {
    eval_error(context, "HY000", "Extract from LONG VARCHAR error");
    return false;
  }
  return true;
}

bool fn_double_argument(EvalContext* context, const QuillValue* value, const char* function,
                        double* out) {
  if (get_double_from_value(value, out) == 0) return true;
  eval_error(context, "HY000", "Argument to %s() is not a number", function);
  return false;
}

QuillValue* fn_checked_double(EvalContext* context, double number) {
  if (!std::isfinite(number)) return eval_error(context, "22003", "Numeric value out of range");
  return fn_double_value(context, number);
}

QuillValue* fn_evaluate_argument(EvalContext* context, int argument_count, void* const* arguments,
                                 int index) {
  if (arguments == nullptr || index < 0 || index >= argument_count || arguments[index] == nullptr)
    return eval_error(context, "HY000", "Missing function argument %d", index + 1);
  if (context->evaluate == nullptr)
    return eval_error(context, "HY000", "No evaluator for function arguments");
  QuillValue* value = context->evaluate(context, arguments[index]);
  if (value == nullptr && context->error == 0)
    return eval_error(context, "HY000", "Function argument %d could not be evaluated", index + 1);
  return value;
}

const char* fn_name(const ScalarFunction* entry) {
  return entry != nullptr && entry->name != nullptr ? entry->name : "?";
}
