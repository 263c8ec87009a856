// Exact numerics of up to 38 decimal digits on the ODBC 19-byte structure
// (precision, scale, sign 1 = positive / 0 = negative, 16-byte little-endian
// magnitude). Every routine rounds half away from zero when it drops digits.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <cstdint>

enum NumericStatus : int {
  NUMERIC_OK = 0,
  NUMERIC_ROUNDED = 1,            // fraction digits beyond the scale were rounded away (01S07)
  NUMERIC_OVERFLOW = -1,          // the integer part does not fit the precision (22003)
  NUMERIC_INVALID = -2,           // the text is not a number (22018)
  NUMERIC_DIVISION_BY_ZERO = -3,  // zero divisor (22012)
};

constexpr int NUMERIC_MAX_PRECISION = 38;
// Longest text numeric_to_text writes: sign, 38 digits, point, leading zero, NUL.
constexpr size_t NUMERIC_TEXT_MAX = 48;

// Parses [blanks][+|-]digits[.digits][(e|E)[+|-]digits][blanks] (at least one digit) into a
// numeric of `precision` (1..38; 0 means 38) and `scale` (0..precision).
int numeric_from_text(const char* text, size_t length, int precision, int scale,
                      SQL_NUMERIC_STRUCT* out);
// Writes the plain decimal form ("-12.50", "0.05", "7"): exactly `scale` fraction digits, a
// leading "0" before the point, no exponent. Returns the length, or -1 when `size` is too small.
int numeric_to_text(const SQL_NUMERIC_STRUCT* value, char* buffer, size_t size);
// Copies `in` re-expressed with a new precision and scale.
int numeric_rescale(const SQL_NUMERIC_STRUCT* in, int precision, int scale,
                    SQL_NUMERIC_STRUCT* out);
int numeric_from_int64(int64_t v, int precision, int scale, SQL_NUMERIC_STRUCT* out);
int numeric_from_double(double v, int precision, int scale, SQL_NUMERIC_STRUCT* out);
// Integer part (fraction truncated toward zero); NUMERIC_OVERFLOW outside int64.
int numeric_to_int64(const SQL_NUMERIC_STRUCT* value, int64_t* out);
double numeric_to_double(const SQL_NUMERIC_STRUCT* value);
// Orders by value whatever the scales: negative, 0 or positive. -0 equals 0.
int numeric_cmp(const SQL_NUMERIC_STRUCT* a, const SQL_NUMERIC_STRUCT* b);
bool numeric_is_zero(const SQL_NUMERIC_STRUCT* value);
// Arithmetic. Results have precision 38. Scale: + and - the larger scale; * the sum of the
// scales; / the larger of (sum of scales) and 6. When the exact result needs more than 38
// digits, fraction digits are rounded away first (NUMERIC_ROUNDED is not reported for that);
// when the integer part alone needs more, NUMERIC_OVERFLOW.
int numeric_add(const SQL_NUMERIC_STRUCT* a, const SQL_NUMERIC_STRUCT* b, SQL_NUMERIC_STRUCT* out);
int numeric_sub(const SQL_NUMERIC_STRUCT* a, const SQL_NUMERIC_STRUCT* b, SQL_NUMERIC_STRUCT* out);
int numeric_mul(const SQL_NUMERIC_STRUCT* a, const SQL_NUMERIC_STRUCT* b, SQL_NUMERIC_STRUCT* out);
int numeric_div(const SQL_NUMERIC_STRUCT* a, const SQL_NUMERIC_STRUCT* b, SQL_NUMERIC_STRUCT* out);
void numeric_negate(SQL_NUMERIC_STRUCT* value);

// Additions (128-bit helpers for BIGINT arithmetic and wider integer conversions).
// Like numeric_from_int64 for any __int128; NUMERIC_OVERFLOW when |v| needs more than 38 digits.
int numeric_from_int128(__int128 v, int precision, int scale, SQL_NUMERIC_STRUCT* out);
// Integer part (fraction truncated toward zero); always fits. NUMERIC_INVALID for a bad structure.
int numeric_to_int128(const SQL_NUMERIC_STRUCT* value, __int128* out);
