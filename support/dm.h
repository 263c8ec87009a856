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
