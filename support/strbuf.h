// Copying result text into a caller's buffer, the way every ODBC function that
// returns a string does: UTF-8 text, cut only between whole characters, always
// NUL-terminated when there is room for the terminator, full length reported. Also the
// formatting into fixed buffers that messages use, cut the same way.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdarg>
#include <cstddef>
#include <string>

// The largest cut <= max_bytes of the `len` bytes at `text` that does not split a UTF-8
// character (len when it already fits). Malformed sequences are cut at max_bytes.
size_t utf8_truncation_point(const char* text, size_t len, size_t max_bytes);

// As snprintf into `out` of `size` (> 0) bytes, except that a text too long is cut before the
// first character that does not fit whole, never inside one (so a long name in a message
// never ends in half a character). Returns the bytes written before the NUL.
size_t utf8_format(char* out, size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// As utf8_format with a va_list.
size_t utf8_vformat(char* out, size_t size, const char* format, va_list args);
// The first `max_bytes` bytes of `text` or fewer, cut at a whole character, as a string.
std::string utf8_prefix(const char* text, size_t max_bytes);

// Copies `text` (null is ""; `text_len` bytes, or up to its NUL when text_len < 0, as SQL_NTS)
// into `buffer` of `buffer_length` bytes: at most buffer_length - 1 bytes cut at a whole
// character, then a NUL (nothing is written when buffer_length <= 0). The full length in
// bytes goes to `*length` when it is not null (clamped to the type's maximum).
// Returns 1 when the text was cut (the caller posts 01004), else 0; a null buffer only
// reports the length and returns 0.
int copy_str_buffer(SQLPOINTER buffer, SQLLEN buffer_length, SQLSMALLINT* length, const char* text,
                    SQLLEN text_len = SQL_NTS);
// As copy_str_buffer, with an SQLINTEGER length.
int copy_str_bufferi(SQLPOINTER buffer, SQLLEN buffer_length, SQLINTEGER* length, const char* text,
                     SQLLEN text_len = SQL_NTS);
// As copy_str_buffer, with an SQLLEN length.
int copy_str_bufferl(SQLPOINTER buffer, SQLLEN buffer_length, SQLLEN* length, const char* text,
                     SQLLEN text_len = SQL_NTS);
