// Helpers shared by the numeric, date/time and system function evaluators: making result
// values on the evaluation pool, reading arguments (with NULL and long-text handling) and
// the errors those steps raise.
#pragma once

#include <cstdint>
#include <string>

#include "driver/sql/eval_context.h"
#include "driver/sql/functions.h"
#include "support/value.h"

// A new non-NULL value on context->pool (character, room for `text_length` bytes); null
// after raising HY001 "Memory allocation error" (or `memory_message` when given).
QuillValue* fn_new_value(EvalContext* context, int32_t text_length = 0,
                         const char* memory_message = nullptr);
// A new NULL value of `kind`; null after a memory error.
QuillValue* fn_null_value(EvalContext* context, int32_t kind);
// A new integer value; null after a memory error.
QuillValue* fn_int_value(EvalContext* context, int32_t number);
// A new double value; null after a memory error.
QuillValue* fn_double_value(EvalContext* context, double number);
// A new character value holding `text`; null after a memory error.
QuillValue* fn_text_value(EvalContext* context, const std::string& text,
                          const char* memory_message = nullptr);
// The evaluated argument `index` (null past argument_count or when the caller passed none).
const QuillValue* fn_argument(int argument_count, void* const* arguments, int index);
// True for a missing argument or a NULL value.
bool fn_is_null(const QuillValue* value);
// True for the character kinds (short and long).
bool fn_is_character(const QuillValue* value);
// Text of a non-NULL character value into `out` (long text read whole through
// context->read_long). False after raising HY000 "Extract from LONG VARCHAR error" or when
// the value is not character (nothing raised then).
bool fn_read_text(EvalContext* context, const QuillValue* value, std::string* out);
// A number argument as a double. False after raising HY000 "Argument to %s() is not a
// number" when the value is not of a numeric kind.
bool fn_double_argument(EvalContext* context, const QuillValue* value, const char* function,
                        double* out);
// A non-finite double result is refused: raises 22003 "Numeric value out of range".
QuillValue* fn_checked_double(EvalContext* context, double number);
// Evaluates unevaluated argument `index` through context->evaluate: a new value the caller
// releases, or null after an error was raised (also for a missing argument or callback).
QuillValue* fn_evaluate_argument(EvalContext* context, int argument_count, void* const* arguments,
                                 int index);
// The name of `entry` for messages ("?" when null).
const char* fn_name(const ScalarFunction* entry);
