// The flat form ("dm") of a value, as stored in sort records and result-set files:
// a 12-byte header followed by the payload.
//
// Header (three native-endian int32, no alignment required of the buffer):
//   kind       the value kind
//   indicator  -1 NULL, 0 not NULL, -4 total unknown
//   length     character: text bytes; binary: byte count; interval: leading precision;
//              other kinds 0
// Payload: integer and bit 4 bytes, double and BIGINT 8, date and time 6, timestamp 16,
// numeric 19, intervals 28 (the ODBC structures), character the text and a NUL, binary the
// bytes. A NULL value keeps only the header.
// Long values (LONGVARCHAR, LONGVARBINARY) are never flattened: their rows carry the
// table's key instead and the value is read again. get_dm_length gives 0 for them and
// value_to_dm refuses them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "support/value.h"

constexpr size_t DM_HEADER_SIZE = 12;

// Payload bytes a dm of a column of `sql_type` and declared `length` needs (a whole dm takes
// DM_HEADER_SIZE more); 0 for long types, -1 for an unknown type or a negative length.
int32_t get_dm_length(int sql_type, int32_t length);
// Writes the dm of `value`: at most DM_HEADER_SIZE + get_dm_length(type, value->length) bytes
// for the value's SQL type. Returns the bytes written, or -1 for a long or unknown kind or a
// character/binary value longer than its declared length (nothing is written then).
int32_t value_to_dm(void* buffer, const QuillValue* value);
// Payload bytes of a value kind whose size does not depend on the data (integer and bit 4,
// double and BIGINT 8, date and time 6, timestamp 16, numeric 19, intervals 28); -1 otherwise.
int32_t dm_fixed_payload(int32_t kind);
// Loads a dm into an existing value (its pool grows the character/binary buffer as needed).
// 0, or -1 for an unknown kind or a memory failure.
int dm_to_value(const void* buffer, QuillValue* value);
// Orders two dm buffers exactly as compare_values orders their values (sign of the result).
// `extra` is reserved: pass 0.
int compare_dm(const void* a, const void* b, int extra);

// Orders two dm values of the same common kind (integer, bit, BIGINT, double, character,
// binary) straight from their bytes: true with *order set as compare_dm would set it, false
// when the kinds differ or are others and compare_dm must decide. Inline because sorting
// compares key slots millions of times. NULL orders lowest; text ignores trailing blanks
// (a character dm holds no NUL before its length, as value_to_dm writes it) and orders by its
// bytes, then the shorter first; binary likewise without the blanks; NaN orders highest.
inline bool dm_compare_same_kind(const void* a, const void* b, int* order) {
  int32_t x[3], y[3];  // kind, indicator, length
  std::memcpy(x, a, sizeof x);
  std::memcpy(y, b, sizeof y);
  if (x[0] != y[0]) return false;
  bool x_null = x[1] == SQL_NULL_DATA, y_null = y[1] == SQL_NULL_DATA;
  if (x_null || y_null) {
    *order = static_cast<int>(y_null) - static_cast<int>(x_null);
    return true;
  }
  const unsigned char* p = static_cast<const unsigned char*>(a) + DM_HEADER_SIZE;
  const unsigned char* q = static_cast<const unsigned char*>(b) + DM_HEADER_SIZE;
  auto three_way = [](auto u, auto v) { return u < v ? -1 : (u > v ? 1 : 0); };
  switch (x[0]) {
    case VALUE_INTEGER:
    case VALUE_BIT: {
      int32_t u, v;
      std::memcpy(&u, p, sizeof u);
      std::memcpy(&v, q, sizeof v);
      *order = three_way(u, v);
      return true;
    }
    case VALUE_BIGINT: {
      int64_t u, v;
      std::memcpy(&u, p, sizeof u);
      std::memcpy(&v, q, sizeof v);
      *order = three_way(u, v);
      return true;
    }
    case VALUE_DOUBLE: {
      double u, v;
      std::memcpy(&u, p, sizeof u);
      std::memcpy(&v, q, sizeof v);
      bool u_nan = u != u, v_nan = v != v;
      *order = u_nan || v_nan ? static_cast<int>(u_nan) - static_cast<int>(v_nan) : three_way(u, v);
      return true;
    }
    case VALUE_CHARACTER:
    case VALUE_BINARY: {
      if (x[2] < 0 || y[2] < 0) return false;
      size_t nx = static_cast<size_t>(x[2]), ny = static_cast<size_t>(y[2]);
      if (x[0] == VALUE_CHARACTER) {
        while (nx > 0 && p[nx - 1] == ' ') --nx;
        while (ny > 0 && q[ny - 1] == ' ') --ny;
      }
      size_t common = nx < ny ? nx : ny;
      // Short keys compare faster byte by byte than through a call.
      int bytes = 0;
      if (common > 16) {
        bytes = std::memcmp(p, q, common);
      } else {
        for (size_t i = 0; i < common && bytes == 0; ++i)
          bytes = static_cast<int>(p[i]) - static_cast<int>(q[i]);
      }
      *order = bytes != 0 ? (bytes < 0 ? -1 : 1) : three_way(nx, ny);
      return true;
    }
    default:
      return false;
  }
}
