// UTF-16 (SQLWCHAR) <-> UTF-8 conversion for the wide ODBC entry points, and the
// character arithmetic of UTF-8 text (counting, offsets, validity) the SQL string
// functions use. Surrogate pairs become one four-byte sequence; unpaired surrogates and
// malformed UTF-8 become U+FFFD rather than corrupt text, unless the strict form is asked
// for. Wherever characters are counted, a byte that does not begin a well-formed sequence
// is a character of its own, so malformed text is never split or skipped silently.
#pragma once

#include <sql.h>

#include <cstddef>
#include <string>

// Number of code units before the terminating zero.
size_t utf16_length(const SQLWCHAR* text);
// Converts `units` code units (SQL_NTS: up to the terminating zero) to UTF-8, appending to `out`.
void utf16_to_utf8(const SQLWCHAR* text, SQLLEN units, std::string& out);
// As utf16_to_utf8, but an unpaired surrogate makes it return false (with `out` holding the
// text before it) instead of writing U+FFFD.
bool utf16_to_utf8_strict(const SQLWCHAR* text, SQLLEN units, std::string& out);
// Converts `length` bytes of UTF-8 to UTF-16, appending to `out`.
void utf8_to_utf16(const char* text, size_t length, std::u16string& out);
// Number of UTF-16 code units the UTF-8 text converts to.
size_t utf8_to_utf16_length(const char* text, size_t length);
// Copies `text` into a caller's buffer of `capacity` code units, NUL-terminated, cut before a
// unit that does not fit without splitting a surrogate pair. Returns false only when text was
// cut (a null buffer asks for the length alone and is not a cut).
bool copy_utf16_out(const std::u16string& text, SQLWCHAR* buffer, size_t capacity);

// Bytes of the character that starts `text` (of `length` > 0 bytes): the whole sequence when
// it is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF), else 1.
size_t utf8_char_size(const char* text, size_t length);
// What starts `text` (of `length` > 0 bytes): the size of a well-formed UTF-8 sequence, 0
// when the bytes end inside one that is well-formed so far, or -1 when it is malformed.
int utf8_sequence_status(const char* text, size_t length);
// Characters in `length` bytes of UTF-8, each as utf8_char_size measures it.
size_t utf8_char_count(const char* text, size_t length);
// Byte offset of character `index` (counted from 0) in `length` bytes of UTF-8; `length`
// when the text has no more than `index` characters.
size_t utf8_char_offset(const char* text, size_t length, size_t index);
// True when the `length` bytes are well-formed UTF-8 throughout.
bool utf8_is_valid(const char* text, size_t length);
// Checks one piece of UTF-8 text that arrives in pieces: `pending` holds the bytes of a
// character an earlier piece left unfinished (`*pending_count` of them, at most 3) and, on
// return, those this piece leaves unfinished. False as soon as the text is malformed; the
// text is complete and well-formed when every piece passed and no byte is pending.
bool utf8_check_piece(const char* piece, size_t length, unsigned char pending[3],
                      unsigned char* pending_count);
