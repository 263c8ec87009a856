// UTF-16 (SQLWCHAR) <-> UTF-8 conversion for the wide ODBC entry points.
// Surrogate pairs become one four-byte sequence; unpaired surrogates and
// malformed UTF-8 become U+FFFD rather than corrupt text.
#pragma once

#include <sql.h>

#include <cstddef>
#include <string>

// Number of code units before the terminating zero.
size_t utf16_length(const SQLWCHAR* text);
// Converts `units` code units (SQL_NTS: up to the terminating zero) to UTF-8, appending to `out`.
void utf16_to_utf8(const SQLWCHAR* text, SQLLEN units, std::string& out);
// Converts `length` bytes of UTF-8 to UTF-16, appending to `out`.
void utf8_to_utf16(const char* text, size_t length, std::u16string& out);
// Number of UTF-16 code units the UTF-8 text converts to.
size_t utf8_to_utf16_length(const char* text, size_t length);
// Copies `text` into a caller's buffer of `capacity` code units, NUL-terminated, cut before a
// unit that does not fit without splitting a surrogate pair. Returns false only when text was
// cut (a null buffer asks for the length alone and is not a cut).
bool copy_utf16_out(const std::u16string& text, SQLWCHAR* buffer, size_t capacity);
