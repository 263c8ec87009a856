// Pieces shared by the result converters: diagnostics with their fixed texts,
// the length/indicator protocol, the piecewise sources that character, binary
// and long values are read from, the numeric reading of a value, and the entry
// point of each family of application types.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "driver/odbc/convert/convert_result.h"

namespace convert {

// --- Diagnostics (errors may be null: nothing is posted) ------------------------------------
// Posts `sqlstate` with its fixed message and origin as an error; returns SQL_ERROR.
SQLRETURN fail(ErrorHeader* errors, const char* sqlstate);
// Posts `sqlstate` with its fixed message and origin as a warning; SQL_SUCCESS_WITH_INFO.
SQLRETURN warn(ErrorHeader* errors, const char* sqlstate);
// Posts HY000 "General error: %s" with `detail`; returns SQL_ERROR.
SQLRETURN fail_general(ErrorHeader* errors, const char* detail);

// --- Length/indicator protocol -------------------------------------------------------------
// Stores the length of the data available: into octet_length, and into indicator when it is
// the same pointer; a distinct indicator receives 0.
void report_length(const ResultTarget& target, SQLLEN length);
// Clamps a byte count to the largest SQLLEN.
SQLLEN as_length(uint64_t count);
// buffer_length with a negative value read as 0.
SQLLEN usable_length(const ResultTarget& target);

// --- Piecewise sources ---------------------------------------------------------------------
// The units (bytes of text or of an image, or hexadecimal digits) that a value hands out over
// successive calls, with the position reached. The whole of an empty value is handed out by
// advancing to position 1, so that the next call sees nothing left.
class PieceSource {
 public:
  virtual ~PieceSource() = default;
  // Units of the whole rendering.
  virtual uint64_t total() const = 0;
  // Units already handed out.
  virtual uint64_t position() const = 0;
  // Copies units [at, at + count) to `out`; false when they cannot be read.
  virtual bool read(uint64_t at, size_t count, char* out) = 0;
  // Records that the units before `position` were handed out; false on a read failure.
  virtual bool advance_to(uint64_t position) = 0;
  // The UTF-16 units of [from, to) remembered by an earlier piece, when the source keeps them.
  virtual bool recall_units(uint64_t /*from*/, uint64_t /*to*/, uint64_t* /*units*/) {
    return false;
  }
  // Remembers the UTF-16 units of [from, to) for the next piece (sources of long values only).
  virtual void remember_units(uint64_t /*from*/, uint64_t /*to*/, uint64_t /*units*/) {}
  // True when the units are bytes of UTF-8 text, which is cut only between characters.
  bool utf8 = false;
};

// The source a text target reads: character and long character text, binary and long
// binary values as two hexadecimal digits per byte, other kinds rendered into `scratch`.
std::unique_ptr<PieceSource> text_source(QuillValue* value, std::string& scratch);
// The source a binary target reads: character and binary bytes, long data, or the image of a
// fixed-size value (built in `scratch`); null for a kind without one.
std::unique_ptr<PieceSource> image_source(QuillValue* value, std::string& scratch);
// Renders a value that is neither character, binary nor long as text.
std::string render_text(const QuillValue* value);

// --- Numeric reading of a source value -----------------------------------------------------
// QUANTITY: a "0x" quantity text, read exactly (saturated like the other integer parts).
enum class NumberOrigin { INTEGRAL, REAL, TEXT, NUMERIC, QUANTITY };

// A value seen as a number: its integer part exactly (saturated far beyond 64 bits) and as a
// double, and whether a fraction was dropped from the integer part.
struct NumberReading {
  NumberOrigin origin;      // which kind of source the number came from
  bool exact;               // `integer` holds the value's integer part exactly
  __int128 integer;         // integer part, truncated toward zero (when exact)
  bool fraction;            // a non-zero fraction lies beyond `integer` (when exact)
  double real;              // the value as a double
  bool not_number = false;  // a text that is neither a quantity nor begins with a number
};

// Reads integer, bit, double, character (a "0x" quantity exactly, else its leading number;
// other text is marked not_number), numeric, BIGINT and single-field interval values. False
// for any other source.
bool read_number(const QuillValue* value, NumberReading* out);
// read_number for a target that needs a number: SQL_SUCCESS, or the error posted (07006 for
// a kind without a number, 22018 for text that is not one).
SQLRETURN read_number_for(ErrorHeader* errors, const QuillValue* value, NumberReading* out);
// The leading decimal number of `text` (blanks, sign, digits, fraction, exponent).
NumberReading read_leading_number(const char* text, size_t length);
// A text as a number: a "0x" quantity read exactly (origin QUANTITY) or its leading decimal
// number; not_number when it is neither.
NumberReading read_text_number(const char* text, size_t length);
// Text of a character or long character value (long values: the first bytes only).
std::string character_text(const QuillValue* value);

// --- Reading fields out of text ------------------------------------------------------------
struct TextScanner {
  const char* at;   // next character
  const char* end;  // one past the last character
  // Skips spaces and tabs.
  void skip_blanks();
  // Consumes `c` when it comes next.
  bool accept(char c);
  // Reads an unsigned decimal number of at least one digit (saturating far above 32 bits).
  bool unsigned_number(uint64_t* out);
  // Reads fraction digits as nanoseconds (digits past the ninth dropped); false when none.
  bool fraction_digits(uint32_t* nanoseconds);
  // True when nothing but blanks remains.
  bool only_blanks_left();
};

// --- Families of application types (value not NULL, read offset already handled) ----------
// SQL_C_CHAR and SQL_C_WCHAR (wide: UTF-16, lengths in bytes).
SQLRETURN to_text(ErrorHeader* errors, QuillValue* value, const ResultTarget& target, bool wide);
// SQL_C_BINARY and the other binary codes: the bytes of the value's own representation.
SQLRETURN to_binary(ErrorHeader* errors, QuillValue* value, const ResultTarget& target);
// Signed and unsigned 8, 16, 32 and 64-bit integers.
SQLRETURN to_integer(ErrorHeader* errors, const QuillValue* value, const ResultTarget& target);
SQLRETURN to_double(ErrorHeader* errors, const QuillValue* value, const ResultTarget& target);
SQLRETURN to_float(ErrorHeader* errors, const QuillValue* value, const ResultTarget& target);
SQLRETURN to_bit(ErrorHeader* errors, const QuillValue* value, const ResultTarget& target);
SQLRETURN to_numeric(ErrorHeader* errors, const QuillValue* value, const ResultTarget& target);
SQLRETURN to_date(ErrorHeader* errors, const QuillValue* value, const ResultTarget& target);
SQLRETURN to_time(ErrorHeader* errors, const QuillValue* value, const ResultTarget& target);
SQLRETURN to_timestamp(ErrorHeader* errors, const QuillValue* value, const ResultTarget& target);
// Interval targets 101..113.
SQLRETURN to_interval(ErrorHeader* errors, const QuillValue* value, const ResultTarget& target);

// Writes a fixed-size result (when a buffer is given) and reports its size.
SQLRETURN deliver_fixed(const ResultTarget& target, const void* data, size_t size, SQLRETURN rc);

}  // namespace convert
