// Shared pieces of the CAST units: the target as the conversion sees it, making result
// values, reading the source's text and bytes (long values through their long buffer), the
// leading field of an interval, and the errors every conversion raises.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "driver/sql/eval_context.h"
#include "support/value.h"

// The target of one conversion.
struct CastTarget {
  int sql_type;  // ODBC SQL type code
  int length;    // declared length, precision or leading interval precision; -1 if none
  int scale;     // declared scale or seconds precision; -1 if none
};

// Longest text the character conversions produce or read, NUL excluded.
constexpr size_t CAST_TEXT_LIMIT = 4095;
// Bytes of a LONGVARCHAR read for numeric targets, and for date/time targets.
constexpr size_t CAST_LONG_NUMBER_BYTES = 128;
constexpr size_t CAST_LONG_DATETIME_BYTES = 256;

// A new value on context->pool with room for `length` characters; null after raising
// HY001 "Memory allocation error".
QuillValue* cast_new_value(EvalContext* context, int32_t length = 0);
// Releases `value` and raises HY001 "Memory allocation error"; returns null.
QuillValue* cast_memory_error(EvalContext* context, QuillValue* value);
// Releases `value` (may be null) and raises HY000 "Underflow in CAST"; returns null.
QuillValue* cast_underflow(EvalContext* context, QuillValue* value);
// Releases `value` (may be null) and raises HY000 "Overflow in CAST"; returns null.
QuillValue* cast_overflow(EvalContext* context, QuillValue* value);
// Releases `value` (may be null) and raises 22003 "Numeric value out of range"; null.
QuillValue* cast_range_error(EvalContext* context, QuillValue* value);

// True for the kinds of the numeric family: integer, bit, double, NUMERIC and BIGINT.
bool cast_is_number_kind(int kind);
// True for character and LONGVARCHAR values.
bool cast_is_text_kind(int kind);
// True for binary and LONGVARBINARY values.
bool cast_is_bytes_kind(int kind);
// True for the two interval kinds.
bool cast_is_interval_kind(int kind);

// Up to `limit` bytes of a character or LONGVARCHAR value's text into `out`. False after
// raising HY000 "Extract from LONG VARCHAR error" when the long buffer cannot be read.
bool cast_source_text(EvalContext* context, const QuillValue* source, size_t limit,
                      std::string* out);
// Up to `limit` bytes of a binary or LONGVARBINARY value into `out`; false after raising
// HY000 "Extract from LONG VARCHAR error" on a long buffer read failure.
bool cast_source_bytes(EvalContext* context, const QuillValue* source, size_t limit,
                       std::string* out);
// Magnitude of an interval value's leading field: year or day (codes 1, 3), month or hour
// (2, 4), minute (5), second (6); 0 for the compound codes.
int64_t cast_leading_field(const QuillValue* interval);
// The leading number of a text: [blanks][sign]digits, and when `fraction` also
// [.digits][(e|E)[sign]digits]. Empty when the text does not begin with a number.
std::string cast_leading_number(const std::string& text, bool fraction);

// The number a text holds for the numeric conversions.
struct CastTextNumber {
  bool is_quantity = false;         // the text is a "0x" quantity, read into `magnitude`
  unsigned __int128 magnitude = 0;  // the quantity's value (when is_quantity)
  std::string decimal;              // the leading decimal number (when not is_quantity)
};
// Reads `text` as a "0x" quantity or, failing that, its leading decimal number (with a
// fraction and exponent when `fraction`). False after raising 22003 for a quantity beyond
// 128 bits and 22018 "Invalid character value for cast specification" for a text that holds
// neither (a text beginning "0x" is read as a quantity or not at all).
bool cast_text_number(EvalContext* context, const std::string& text, bool fraction,
                      CastTextNumber* out);

// The interval literal a text is wrapped in for interval code `code` (1..13) with the
// target's leading and seconds precisions ("{INTERVAL '1 02:03:04' DAY TO SECOND(2,6)}");
// `long_text` selects the one-word qualifiers used for LONGVARCHAR sources. "" for a bad code.
std::string cast_interval_literal(const std::string& text, int code, int leading, int fraction,
                                  bool long_text);

// Conversions by target family; `source` is never NULL. Each returns a new value on
// context->pool, or null after raising the error.
// CHAR and VARCHAR: the text form; length the larger of text and declared length.
QuillValue* cast_to_text(EvalContext* context, const QuillValue* source, const CastTarget& target);
// NUMERIC and DECIMAL with the target's precision and scale (15 and 0 by default).
QuillValue* cast_to_exact(EvalContext* context, const QuillValue* source, const CastTarget& target);
// INTEGER, SMALLINT and TINYINT (all held as 32-bit integers).
QuillValue* cast_to_integer(EvalContext* context, const QuillValue* source);
// FLOAT, REAL and DOUBLE (all held as doubles).
QuillValue* cast_to_double(EvalContext* context, const QuillValue* source);
// BIGINT.
QuillValue* cast_to_bigint(EvalContext* context, const QuillValue* source);
// BIT: 1 when the source is non-zero.
QuillValue* cast_to_bit(EvalContext* context, const QuillValue* source);
// DATE, TIME and TIMESTAMP (ODBC 2 or 3 codes).
QuillValue* cast_to_datetime(EvalContext* context, const QuillValue* source,
                             const CastTarget& target);
// The thirteen interval types.
QuillValue* cast_to_interval(EvalContext* context, const QuillValue* source,
                             const CastTarget& target);
// BINARY and VARBINARY.
QuillValue* cast_to_binary(EvalContext* context, const QuillValue* source,
                           const CastTarget& target);
