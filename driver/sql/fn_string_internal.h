// Shared pieces of the character function evaluators: reading arguments as bytes or
// integers (with the NULL and LONG VARCHAR rules), making result values, and the guard that
// checks the call shape and turns memory exhaustion into HY001.
#pragma once

#include <cstdint>
#include <new>
#include <string>
#include <string_view>

#include "driver/sql/eval_context.h"
#include "driver/sql/functions.h"

namespace fn_string {

// The usual text of a memory failure, and the one CHAR and CONCAT report.
inline constexpr const char* kMemoryMessage = "Memory allocation error";
inline constexpr const char* kMemoryMessageFred = "Memory allocation error fred";

// Outcome of reading one argument.
enum class Read { kValue, kNull, kError };

// The evaluated arguments of one call.
struct Arguments {
  EvalContext* context;        // where results are allocated and errors go
  int count;                   // arguments present
  void* const* values;         // QuillValue* each, `count` of them
  const char* memory_message;  // text of an HY001 raised by this call
};

// Argument `index` as bytes: character text as is, binary bytes raw, LONG values read whole
// through context->read_long, other kinds as their text form. kError after posting.
Read text_argument(const Arguments& arguments, int index, std::string* out);
// Argument `index` as a whole number: numeric kinds truncated toward zero and clamped to
// the 64-bit range. kError (22018) for a non-numeric kind, 22003 for NaN.
Read integer_argument(const Arguments& arguments, int index, int64_t* out);

// True when argument `index` is character data: its lengths and positions count UTF-8
// characters. Binary data counts bytes.
bool counts_characters(const Arguments& arguments, int index);
// Length of `text` in characters (when `characters`) or bytes.
int64_t text_units(std::string_view text, bool characters);
// Byte offset of unit `index` (from 0) of `text`, characters or bytes; the text's size when
// it has no more than `index` units.
size_t unit_offset(std::string_view text, uint64_t index, bool characters);

// A new non-NULL character result holding `text`; null after HY001.
QuillValue* text_result(const Arguments& arguments, std::string_view text);
// A new integer result; null after 22003 "Numeric value out of range" when outside 32 bits.
QuillValue* integer_result(const Arguments& arguments, int64_t number);
// A new NULL result of value kind `kind`; null after HY001.
QuillValue* null_result(const Arguments& arguments, int32_t kind);

// `text` without its trailing spaces.
std::string_view trim_trailing_spaces(std::string_view text);

// Body of one evaluator: the checked arguments in, a new value (or null after an error) out.
using StringFunctionBody = QuillValue* (*)(const Arguments& arguments);

// Runs `body` after checking the argument count against min..max and that no argument
// pointer is null; std::bad_alloc becomes HY001 with the call's memory message.
QuillValue* guarded_call(EvalContext* context, int argument_count, void* const* arguments,
                         int min_arguments, int max_arguments, const char* memory_message,
                         StringFunctionBody body);

// An evaluator for `Body` taking min..max arguments, usable as a ScalarEvaluator.
template <StringFunctionBody Body, int MinArguments, int MaxArguments,
          const char* const* MemoryMessage = nullptr>
QuillValue* evaluator(EvalContext* context, int argument_count, void* const* arguments,
                      const ScalarFunction*) {
  return guarded_call(context, argument_count, arguments, MinArguments, MaxArguments,
                      MemoryMessage != nullptr ? *MemoryMessage : kMemoryMessage, Body);
}

// Bodies of the evaluators; each takes the checked arguments and returns a new value, or
// null after raising an error. NULL arguments give NULL results unless said otherwise.
// ASCII: first byte as a signed 8-bit number, 0 for the empty string.
QuillValue* ascii_body(const Arguments& arguments);
// BIT_LENGTH: 8 times the byte length.
QuillValue* bit_length_body(const Arguments& arguments);
// CHAR_LENGTH, CHARACTER_LENGTH: length in characters with trailing spaces.
QuillValue* char_length_body(const Arguments& arguments);
// OCTET_LENGTH: byte length with trailing spaces.
QuillValue* octet_length_body(const Arguments& arguments);
// LEN, LENGTH: length in characters without trailing spaces.
QuillValue* trimmed_length_body(const Arguments& arguments);
// LOCATE(needle, haystack [, start]): 1-based character position or 0; a NULL start counts
// as 1.
QuillValue* locate_body(const Arguments& arguments);
// POSITION(needle, haystack): as LOCATE from the start, the needle trimmed.
QuillValue* position_body(const Arguments& arguments);
// LCASE, LOWER: ASCII letters to lower case.
QuillValue* lower_body(const Arguments& arguments);
// UCASE, UPPER: ASCII letters to upper case.
QuillValue* upper_body(const Arguments& arguments);
// LEFT(s, n): first n characters; nothing for a negative n.
QuillValue* left_body(const Arguments& arguments);
// RIGHT(s, n): last n characters of the trimmed text; all of it for a negative n.
QuillValue* right_body(const Arguments& arguments);
// LTRIM: leading spaces removed.
QuillValue* ltrim_body(const Arguments& arguments);
// RTRIM: trailing spaces removed.
QuillValue* rtrim_body(const Arguments& arguments);
// SUBSTRING, SUBSTR, MID(s, start [, length]) in characters of the trimmed text; starts below
// 1 select nothing.
QuillValue* substring_body(const Arguments& arguments);
// CHAR(n): the one byte of n's low 8 bits.
QuillValue* char_body(const Arguments& arguments);
// CONCAT(a, b): both trimmed, then joined.
QuillValue* concat_body(const Arguments& arguments);
// INSERT(s, start, length, t): t put in place of `length` characters of s from `start`.
QuillValue* insert_body(const Arguments& arguments);
// REPEAT(s, n): n copies of the trimmed s, within MAX_GENERATED_TEXT_BYTES.
QuillValue* repeat_body(const Arguments& arguments);
// REPLACE(s, find, with): every occurrence replaced, left to right, without overlaps.
QuillValue* replace_body(const Arguments& arguments);
// SPACE(n): n spaces, within MAX_GENERATED_TEXT_BYTES.
QuillValue* space_body(const Arguments& arguments);
// SOUNDEX(s): letter and three digits; NULL when s does not start with a letter.
QuillValue* soundex_body(const Arguments& arguments);
// DIFFERENCE(a, b): distance between the two SOUNDEX codes.
QuillValue* difference_body(const Arguments& arguments);
// VAL(s): the decimal, hexadecimal (&H) or octal (&O) number at the start of s, as a double.
QuillValue* val_body(const Arguments& arguments);

}  // namespace fn_string
