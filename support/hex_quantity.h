// Ethereum quantities written as text ("0x" and hexadecimal digits, as JSON-RPC sends every
// number): recognising them, reading them exactly, and the exact and time values they stand
// for. Shared by CAST, the decoding functions, arithmetic and the result conversions, so
// that every road from such a text to a number gives the same answer; the Ethereum backend
// reads typed columns with it too.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <string_view>

// What reading a text as a quantity found.
enum class HexQuantity {
  VALUE,      // the text is a quantity and its magnitude was read exactly
  TOO_LARGE,  // the text is a quantity beyond 128 bits
  NOT_HEX,    // the text is not a quantity
};

// True when the text, after blanks and an optional sign, begins with "0x" or "0X": such a
// text is a quantity or not a number at all, never a decimal number with trailing letters.
bool hex_quantity_prefix(std::string_view text);
// Reads [blanks]0x<hex digits>[blanks] (at least one digit, leading zeros allowed) into
// `magnitude`.
HexQuantity hex_quantity_read(std::string_view text, unsigned __int128* magnitude);
// The magnitude as a NUMERIC of `precision` and `scale`: NUMERIC_OK, or NUMERIC_OVERFLOW when
// it needs more than precision - scale digits.
int hex_quantity_numeric(unsigned __int128 magnitude, int precision, int scale,
                         SQL_NUMERIC_STRUCT* out);
// The timestamp (UTC) `seconds` after 1970-01-01 00:00:00; false when it falls after
// year 9999.
bool unix_seconds_timestamp(unsigned __int128 seconds, SQL_TIMESTAMP_STRUCT* out);
