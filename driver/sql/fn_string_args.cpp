// Argument reading, result making and the call guard shared by the character functions.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <limits>

#include "driver/sql/fn_string_internal.h"
#include "support/longbuf.h"
#include "support/unicode.h"
#include "support/value.h"

namespace fn_string {

namespace {

const QuillValue* argument_value(const Arguments& arguments, int index) {
  return static_cast<const QuillValue*>(arguments.values[index]);
}

bool is_long_kind(int32_t kind) {
  return kind == VALUE_LONG_CHARACTER || kind == VALUE_LONG_BINARY;
}

// LONG data is read whole; a missing reader counts as a failed read.
Read read_long_argument(const Arguments& arguments, const QuillValue* value, std::string* out) {
  if (value->long_buffer == nullptr || long_buffer_is_null(value->long_buffer)) return Read::kNull;
  EvalContext* context = arguments.context;
  out->clear();
  if (context == nullptr || context->read_long == nullptr ||
      !context->read_long(context, value, out)) {
    eval_error(context, "HY000", "Extract from LONG VARCHAR error");
    return Read::kError;
  }
  return Read::kValue;
}

}  // namespace

Read text_argument(const Arguments& arguments, int index, std::string* out) {
  const QuillValue* value = argument_value(arguments, index);
  if (is_value_null(value)) return Read::kNull;
  if (is_long_kind(value->kind)) return read_long_argument(arguments, value, out);
  if (value->kind == VALUE_CHARACTER || value->kind == VALUE_BINARY) {
    const char* data = value->bytes.data;
    const size_t capacity =
        data != nullptr && value->bytes.capacity > 0 ? value->bytes.capacity : 0;
    // Character text ends at its NUL, as everywhere in the engine; binary holds `length`.
    size_t length = 0;
    if (capacity == 0)
      length = 0;
    else if (value->kind == VALUE_CHARACTER)
      length = strnlen(data, capacity);
    else if (value->bytes.length > 0)
      length = std::min(static_cast<size_t>(value->bytes.length), capacity);
    out->assign(data != nullptr ? data : "", length);
    return Read::kValue;
  }
  char text[VALUE_TEXT_SIZE];
  int length = value_as_text(value, text);
  if (length < 0) {
    eval_error(arguments.context, "22018", "Invalid character value for cast specification");
    return Read::kError;
  }
  out->assign(text, static_cast<size_t>(length));
  return Read::kValue;
}

Read integer_argument(const Arguments& arguments, int index, int64_t* out) {
  const QuillValue* value = argument_value(arguments, index);
  if (is_value_null(value)) return Read::kNull;
  if (get_bigint_from_value(value, out) == 0) return Read::kValue;
  // Out of the 64-bit range, or not a number at all.
  double real = 0;
  if (get_double_from_value(value, &real) != 0) {
    eval_error(arguments.context, "22018", "Invalid character value for cast specification");
    return Read::kError;
  }
  if (std::isnan(real)) {
    eval_error(arguments.context, "22003", "Numeric value out of range");
    return Read::kError;
  }
  *out = real < 0 ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
  return Read::kValue;
}

bool counts_characters(const Arguments& arguments, int index) {
  int32_t kind = argument_value(arguments, index)->kind;
  return kind != VALUE_BINARY && kind != VALUE_LONG_BINARY;
}

int64_t text_units(std::string_view text, bool characters) {
  return static_cast<int64_t>(characters ? utf8_char_count(text.data(), text.size()) : text.size());
}

size_t unit_offset(std::string_view text, uint64_t index, bool characters) {
  if (index >= text.size()) return text.size();  // never more units than bytes
  if (!characters) return static_cast<size_t>(index);
  return utf8_char_offset(text.data(), text.size(), static_cast<size_t>(index));
}

QuillValue* text_result(const Arguments& arguments, std::string_view text) {
  EvalContext* context = arguments.context;
  QuillValue* result = NewValue(context != nullptr ? context->pool : nullptr, 0);
  if (result == nullptr) return eval_error(context, "HY001", "%s", arguments.memory_message);
  if (set_value_to_text(result, text.data(), text.size()) != 0) {
    release_value(context->pool, result);
    return eval_error(context, "HY001", "%s", arguments.memory_message);
  }
  return result;
}

QuillValue* integer_result(const Arguments& arguments, int64_t number) {
  if (number < std::numeric_limits<int32_t>::min() || number > std::numeric_limits<int32_t>::max())
    return eval_error(arguments.context, "22003", "Numeric value out of range");
  EvalContext* context = arguments.context;
  QuillValue* result = NewValue(context != nullptr ? context->pool : nullptr, 0);
  if (result == nullptr) return eval_error(context, "HY001", "%s", arguments.memory_message);
  set_value_to_int(result, static_cast<int32_t>(number));
  return result;
}

QuillValue* null_result(const Arguments& arguments, int32_t kind) {
  EvalContext* context = arguments.context;
  QuillValue* result = NewValue(context != nullptr ? context->pool : nullptr, 0);
  if (result == nullptr) return eval_error(context, "HY001", "%s", arguments.memory_message);
  set_value_null(result, kind);
  return result;
}

std::string_view trim_trailing_spaces(std::string_view text) {
  size_t end = text.size();
  while (end > 0 && text[end - 1] == ' ') --end;
  return text.substr(0, end);
}

QuillValue* guarded_call(EvalContext* context, int argument_count, void* const* arguments,
                         int min_arguments, int max_arguments, const char* memory_message,
                         StringFunctionBody body) {
  if (argument_count < min_arguments || argument_count > max_arguments ||
      (argument_count > 0 && arguments == nullptr))
    return eval_error(context, "07001", "Wrong number of parameters");
  for (int i = 0; i < argument_count; ++i)
    if (arguments[i] == nullptr) return eval_error(context, "07001", "Wrong number of parameters");
  Arguments call{context, argument_count, arguments, memory_message};
  try {
    return body(call);
  } catch (const std::exception&) {
    // Only allocation can throw here (std::bad_alloc, std::length_error).
    return eval_error(context, "HY001", "%s", memory_message);
  }
}

}  // namespace fn_string
