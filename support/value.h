// SQL values of the engine: a tagged node holding one value of a value kind
// (integer, double, character, ..., long data in a long buffer), its null state,
// and the value-level access, text form, ordering and arithmetic built on the
// numeric, date/time and interval helpers.
//
// Text forms written by value_as_text (buffer of VALUE_TEXT_SIZE bytes):
//   integer, bit, BIGINT  decimal ("-42")
//   double                shortest of "%.15g", "%.17g" that reads back exactly ("0.1", "1e+100")
//   character             the text (long data: its first 1,023 bytes)
//   binary                two upper-case hex digits per byte ("0AFF"), long binary likewise
//   date                  "YYYY-MM-DD"
//   time                  "HH:MM:SS"
//   timestamp             "YYYY-MM-DD HH:MM:SS" plus ".fffffffff" with trailing zeros trimmed
//                         when the fraction is not zero ("2024-02-29 10:00:00.5")
//   numeric               plain decimal with the value's scale ("-12.50")
//   intervals             the ODBC literal body: "-1 02:03:04", "3-06", "02:03", "7",
//                         seconds with ".fffffffff" trimmed when a fraction is present
//   NULL                  "" (length 0)
// Text longer than the buffer is cut at VALUE_TEXT_SIZE - 1 bytes.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <cstdint>

#include "support/diag.h"
#include "support/longbuf.h"
#include "support/memory.h"

constexpr int32_t VALUE_NODE_TAG = 154;
constexpr int32_t VALUE_FLAG_NULL = 512;
constexpr size_t VALUE_TEXT_SIZE = 1024;

enum ValueKind : int32_t {
  VALUE_NONE = 0,
  VALUE_INTEGER = 1,
  VALUE_DOUBLE = 2,
  VALUE_CHARACTER = 3,
  VALUE_BIT = 4,
  VALUE_BINARY = 5,
  VALUE_DATE = 7,
  VALUE_TIME = 8,
  VALUE_TIMESTAMP = 9,
  VALUE_NUMERIC = 10,
  VALUE_BIGINT = 12,
  VALUE_YEAR_MONTH_INTERVAL = 13,
  VALUE_DAY_TIME_INTERVAL = 14,
  VALUE_LONG_CHARACTER = 29,
  VALUE_LONG_BINARY = 30,
};

enum TruthValue : int32_t { TRUTH_FALSE = 0, TRUTH_TRUE = 1, TRUTH_UNKNOWN = 2 };

// Operator codes shared with the evaluator and restrictions.
enum ValueOperator : int {
  VALUE_OP_ADD = 1,
  VALUE_OP_SUBTRACT = 2,
  VALUE_OP_CONCAT = 3,
  VALUE_OP_MULTIPLY = 4,
  VALUE_OP_DIVIDE = 5,
  VALUE_OP_NEGATE = 6,
  VALUE_OP_LESS = 7,
  VALUE_OP_GREATER = 8,
  VALUE_OP_GREATER_EQUAL = 9,
  VALUE_OP_LESS_EQUAL = 10,
  VALUE_OP_EQUAL = 11,
  VALUE_OP_NOT_EQUAL = 12,
};

// Byte storage of character and binary values; kept when the kind changes so it can be reused.
struct ValueBytes {
  char* data;        // character: NUL-terminated text; binary: the bytes
  int32_t capacity;  // bytes allocated at `data`
  int32_t length;    // binary: bytes held; character: text length as last set
};

struct QuillValue {
  int32_t tag;                 // VALUE_NODE_TAG
  int32_t kind;                // ValueKind, VALUE_NONE before one is given
  MemPool* pool;               // pool the node and its buffers come from
  int32_t length;              // declared length of character and binary values (column size)
  int32_t precision;           // numeric precision (also in the numeric payload)
  int32_t scale;               // numeric scale (also in the numeric payload)
  int32_t indicator;           // -1 NULL, 0 not NULL, -4 total length unknown
  int32_t flags;               // VALUE_FLAG_NULL set exactly when the value is NULL
  int64_t read_offset;         // bytes already handed out by piecewise retrieval
  int32_t interval_precision;  // leading precision of an interval (0 when unknown)
  union {
    int32_t integer;                 // VALUE_INTEGER, VALUE_BIT, truth values
    double real;                     // VALUE_DOUBLE
    int64_t bigint;                  // VALUE_BIGINT
    SQL_DATE_STRUCT date;            // VALUE_DATE
    SQL_TIME_STRUCT time;            // VALUE_TIME
    SQL_TIMESTAMP_STRUCT timestamp;  // VALUE_TIMESTAMP, fraction in nanoseconds
    SQL_NUMERIC_STRUCT numeric;      // VALUE_NUMERIC
    SQL_INTERVAL_STRUCT interval;    // VALUE_*_INTERVAL, fraction in nanoseconds
  } payload;                         // scalar payloads
  ValueBytes bytes;                  // VALUE_CHARACTER and VALUE_BINARY
  LongBuffer* long_buffer;           // VALUE_LONG_*; owned, freed by release_value
};

// --- Nodes -------------------------------------------------------------------------------
// A NULL-free empty character value with room for `length` characters (buffer length + 2).
// Null on memory failure or a negative length.
QuillValue* NewValue(MemPool* pool, int32_t length);
// An owned deep copy (long data copied into a new long buffer); read offset reset. Null on
// failure.
QuillValue* duplicate_value(MemPool* pool, const QuillValue* value);
// As duplicate_value, but the character or binary buffer is sized to the data actually held
// rather than the declared length, and the read offset is kept.
QuillValue* duplicate_value_ex(MemPool* pool, const QuillValue* value);
// Frees the value, its buffer and its long buffer; null is ignored.
void release_value(MemPool* pool, QuillValue* value);

// --- State and setters (each makes the value non-NULL unless said; 0 or -1 on failure) -----
// True when the value is NULL (indicator -1 or the NULL flag); a deferred long value is
// read first.
bool is_value_null(const QuillValue* value);
// Reads a deferred long value now and sets its NULL state from the read. 0, or -1 when the
// read failed (the value then holds nothing).
int settle_value(const QuillValue* value);
// Makes the value a NULL of `kind` (payload zeroed, buffers kept).
void set_value_null(QuillValue* value, int32_t kind);
void set_value_to_int(QuillValue* value, int32_t number);
void set_value_to_bigint(QuillValue* value, int64_t number);
void set_value_to_double(QuillValue* value, double number);
void set_value_to_date(QuillValue* value, const SQL_DATE_STRUCT* date);
void set_value_to_time(QuillValue* value, const SQL_TIME_STRUCT* time);
void set_value_to_timestamp(QuillValue* value, const SQL_TIMESTAMP_STRUCT* timestamp);
// Numeric payload; precision and scale copied from the structure.
void set_value_to_numeric(QuillValue* value, const SQL_NUMERIC_STRUCT* numeric);
// Interval payload; the kind follows the interval type (13 or 14). -1 for an unknown type.
int set_interval_payload(QuillValue* value, const SQL_INTERVAL_STRUCT* interval,
                         int32_t leading_precision);
// Copies kind, interval payload and leading precision of interval value `src` (NULL too).
// -1 when `src` is not an interval.
int set_value_to_interval(QuillValue* dst, const QuillValue* src);
// Character value of `size` bytes of text (growing the buffer as needed); declared length
// raised to `size` when smaller.
int set_value_to_text(QuillValue* value, const char* text, size_t size);
// Binary value of `size` bytes; declared length raised to `size` when smaller.
int set_value_to_binary(QuillValue* value, const void* data, size_t size);
// Attaches `buffer` (ownership moves to the value) as a long value of `kind` (29 or 30);
// a previously attached long buffer is freed. NULL when the buffer is NULL.
int set_value_to_long(QuillValue* value, int32_t kind, LongBuffer* buffer);

// --- Access ------------------------------------------------------------------------------
// Value of an integer, bit, BIGINT, double (truncated) or numeric (truncated) value.
// 0, or -1 when NULL, not numeric or out of the target's range.
int get_int_from_value(const QuillValue* value, int32_t* out);
int get_bigint_from_value(const QuillValue* value, int64_t* out);
// Any numeric kind as a double; -1 when NULL or not numeric.
int get_double_from_value(const QuillValue* value, double* out);
// Writes the text form (see the top of this file) into `buffer` of VALUE_TEXT_SIZE bytes;
// returns its length, or -1 for a kind without one (buffer gets "").
int value_as_text(const QuillValue* value, char* buffer);
// Interval payload as its ODBC literal body; length or -1 when `size` is too small.
int interval_as_text(const SQL_INTERVAL_STRUCT* interval, char* buffer, size_t size);
// Value kind of an SQL type (101..113 by interval class; VALUE_NONE when unknown).
int sql_to_value_type(int sql_type);
// A representative SQL type of a value kind (the inverse used by the flat form); 0 if none.
int value_type_to_sql(int kind, const SQL_INTERVAL_STRUCT* interval);

// --- Truth values ------------------------------------------------------------------------
// Stores truth `t` (0, 1 or 2) as a non-NULL VALUE_INTEGER.
void set_trivalue_in_value(QuillValue* value, int t);
// Truth of a value: NULL is UNKNOWN; an integer or bit holding 2 is a stored UNKNOWN;
// otherwise a number is TRUE when non-zero; other kinds are UNKNOWN.
int get_trivalue_from_value(const QuillValue* value);

// Truth of `order` (negative, 0, positive) under comparison operator `op` (7..12);
// TRUTH_UNKNOWN for any other operator.
int comparison_truth(int order, int op);
// Posts an evaluation error (class origin "ODBC3.0") into `context` (may be null); returns -1.
int post_value_error(ErrorHeader* context, const char* sqlstate, const char* message);

// --- Ordering ----------------------------------------------------------------------------
// Total order for sorting and DISTINCT: negative, 0 or positive. NULL first (NULL = NULL);
// numbers of any numeric kind by value (NaN last); character by bytes ignoring trailing
// blanks; binary bytes then length; date and timestamp by instant; time; intervals by total;
// long data by content. Values of unrelated classes are ordered by class.
int compare_values(const QuillValue* a, const QuillValue* b);
// Numeric ordering of two numeric-class values (any numeric kinds); NULLs first.
int numeric_compare(const QuillValue* a, const QuillValue* b);

// --- Arithmetic (result: an existing value that receives the outcome; 0 or -1 after posting
// into `context`, which may be null). `b` may be null for VALUE_OP_NEGATE. Comparisons 7..12
// store a truth value. A NULL operand gives a NULL result (UNKNOWN for comparisons).
// 38-digit exact arithmetic on integer, bit, BIGINT, numeric and double operands (doubles
// enter with 15 fraction digits). 22003 "Numeric value out of range", 22012 "Division by zero".
int numeric_operation(const QuillValue* a, const QuillValue* b, QuillValue* result,
                      ErrorHeader* context, int op);
// 64-bit arithmetic with overflow detection on integer, bit and BIGINT operands (a double
// operand is compared as a double, or truncated to 64 bits for arithmetic).
int bigint_operation(const QuillValue* a, const QuillValue* b, QuillValue* result,
                     ErrorHeader* context, int op);
// Interval +/- interval of the same class; interval * number, number * interval,
// interval / number; temporal +/- interval in either order (the interval is subtracted);
// unary minus; comparisons with an interval of the same class or, for single-field
// intervals, a number. 22015 "Interval field overflow", 22008 "Datetime field overflow".
int interval_operation(const QuillValue* a, const QuillValue* b, QuillValue* result,
                       ErrorHeader* context, int op);

// --- Numeric helpers ---------------------------------------------------------------------
// result = a + b (numeric_operation with VALUE_OP_ADD).
int add_numeric(const QuillValue* a, const QuillValue* b, QuillValue* result, ErrorHeader* context);
// True for a non-NULL numeric-class value equal to zero.
bool numeric_is_zero(const QuillValue* value);
// Parses text into a numeric value of `precision` (0 = 38) and `scale`; returns a
// NumericStatus (NUMERIC_ROUNDED is success).
int string_to_numeric(const char* text, QuillValue* value, int precision, int scale);
// Plain decimal text of a numeric value; length, or -1 (not numeric / too small).
int numeric_to_string(const QuillValue* value, char* buffer, size_t size);
// Integer part of a numeric value; NumericStatus.
int numeric_to_bigint(const QuillValue* value, int64_t* out);
// Numeric value from a number with the given precision and scale; NumericStatus.
int int_to_numeric(int32_t number, QuillValue* value, int precision, int scale);
int bigint_to_numeric(int64_t number, QuillValue* value, int precision, int scale);
int double_to_numeric(double number, QuillValue* value, int precision, int scale);
// A new numeric zero of `precision` and `scale`; null on failure.
QuillValue* create_numeric(MemPool* pool, int precision, int scale);
