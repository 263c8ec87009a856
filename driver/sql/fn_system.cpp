// The system scalar functions: the connection's database and user, the NULL tests IFNULL
// and ISNULL (which evaluate their own arguments), and FORMAT, whose named formats are all
// refused with a message naming the format.
#include "driver/sql/fn_system.h"

#include <string>

#include "driver/sql/fn_support.h"

namespace {

// DATABASE reports its memory failures with a text of its own.
constexpr const char* kDatabaseMemoryError = "Memory allocation error fred";

QuillValue* text_or_null(EvalContext* context, const char* text, const char* memory_message) {
  if (text == nullptr) return fn_null_value(context, VALUE_CHARACTER);
  return fn_text_value(context, text, memory_message);
}

QuillValue* eval_database(EvalContext* context, int, void* const*, const ScalarFunction*) {
  return text_or_null(context, context->database, kDatabaseMemoryError);
}

QuillValue* eval_user(EvalContext* context, int, void* const*, const ScalarFunction*) {
  return text_or_null(context, context->user, nullptr);
}

// IFNULL (a, b): a, or when a is NULL, b; b is evaluated only then.
QuillValue* eval_ifnull(EvalContext* context, int count, void* const* arguments,
                        const ScalarFunction*) {
  QuillValue* first = fn_evaluate_argument(context, count, arguments, 0);
  if (first == nullptr || !is_value_null(first)) return first;
  release_value(context->pool, first);
  return fn_evaluate_argument(context, count, arguments, 1);
}

// ISNULL (a): 1 when a is NULL, else 0; never NULL itself.
QuillValue* eval_isnull(EvalContext* context, int count, void* const* arguments,
                        const ScalarFunction*) {
  QuillValue* argument = fn_evaluate_argument(context, count, arguments, 0);
  if (argument == nullptr) return nullptr;
  bool null = is_value_null(argument);
  release_value(context->pool, argument);
  return fn_int_value(context, null ? 1 : 0);
}

struct FormatName {
  const char* name;
  const char* message;
};

const FormatName kNumericFormats[] = {
    {"General Number", "FORMAT Genarl Number not supported"},
    {"G", "FORMAT Genarl Number not supported"},
    {"g", "FORMAT Genarl Number not supported"},
    {"Currency", "FORMAT Currency not supported"},
    {"C", "FORMAT Currency not supported"},
    {"c", "FORMAT Currency not supported"},
    {"Fixed", "FORMAT Fixed not supported"},
    {"F", "FORMAT Fixed not supported"},
    {"f", "FORMAT Fixed not supported"},
    {"P", "FORMAT P not supported"},
    {"p", "FORMAT P not supported"},
    {"Scientific", "FORMAT Scientific not supported"},
    {"E", "FORMAT E not supported"},
    {"e", "FORMAT E not supported"},
    {"D", "FORMAT D not supported"},
    {"d", "FORMAT D not supported"},
    {"X", "FORMAT X not supported"},
    {"x", "FORMAT X not supported"},
    {"Yes/No", "FORMAT Yes/No not supported"},
    {"True/False", "FORMAT True/False not supported"},
    {"On/Off", "FORMAT On/Off not supported"},
};

const FormatName kDateTimeFormats[] = {
    {"General Date", "FORMAT General Date not supported"},
    {"G", "FORMAT General Date not supported"},
    {"Long Date", "FORMAT Long Date not supported"},
    {"Medium Date", "FORMAT Long Date not supported"},
    {"D", "FORMAT Long Date not supported"},
    {"Short Date", "FORMAT Short Date not supported"},
    {"d", "FORMAT Short Date not supported"},
    {"Long Time", "FORMAT Long Time not supported"},
    {"Medium Time", "FORMAT Long Time not supported"},
    {"T", "FORMAT Long Time not supported"},
    {"Short Time", "FORMAT Short Time not supported"},
    {"t", "FORMAT Short Time not supported"},
    {"f", "FORMAT f not supported"},
    {"F", "FORMAT F not supported"},
    {"g", "FORMAT g not supported"},
    {"M, m", "FORMAT M, m not supported"},
    {"R, r", "FORMAT R, r not supported"},
    {"s", "FORMAT s not supported"},
};

template <size_t N>
QuillValue* refuse_format(EvalContext* context, const FormatName (&names)[N],
                          const std::string& name, const char* unknown_message) {
  for (const FormatName& candidate : names)
    if (name == candidate.name) return eval_error(context, "HY000", "%s", candidate.message);
  return eval_error(context, "HY000", "%s", unknown_message);
}

// FORMAT (x, name): NULL for a NULL x; every format name is refused.
QuillValue* eval_format(EvalContext* context, int count, void* const* arguments,
                        const ScalarFunction*) {
  const QuillValue* source = fn_argument(count, arguments, 0);
  const QuillValue* format = fn_argument(count, arguments, 1);
  if (fn_is_null(source)) return fn_null_value(context, VALUE_CHARACTER);
  std::string name;
  if (!fn_is_null(format) && fn_is_character(format) && !fn_read_text(context, format, &name))
    return nullptr;
  switch (source->kind) {
    case VALUE_INTEGER:
    case VALUE_BIT:
    case VALUE_DOUBLE:
    case VALUE_NUMERIC:
    case VALUE_BIGINT:
      return refuse_format(context, kNumericFormats, name,
                           "FORMAT unknown argument for numeric source");
    case VALUE_DATE:
    case VALUE_TIME:
    case VALUE_TIMESTAMP:
      return refuse_format(context, kDateTimeFormats, name,
                           "FORMAT unknown argument for datetime source");
    default:
      return eval_error(context, "HY000", "FORMAT invalid source type");
  }
}

}  // namespace

ScalarEvaluator system_function_evaluator(int number) {
  switch (number) {
    case 17:
      return eval_database;
    case 28:
      return eval_ifnull;
    case 74:
      return eval_format;
    case 66:
      return eval_user;
    case 75:
      return eval_isnull;
    default:
      return nullptr;
  }
}
