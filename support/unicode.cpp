// UTF-16 <-> UTF-8 conversion, with replacement of malformed input, and character counting
// over UTF-8 text.
#include "support/unicode.h"

#include <cstring>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void append_utf8(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

bool is_high_surrogate(char32_t u) {
  return u >= 0xD800 && u <= 0xDBFF;
}
bool is_low_surrogate(char32_t u) {
  return u >= 0xDC00 && u <= 0xDFFF;
}

// Decodes one UTF-8 sequence at text[i]; advances i. Malformed input yields U+FFFD and
// consumes one byte, so the rest of the text still decodes.
char32_t decode_utf8(const unsigned char* text, size_t length, size_t& i) {
  unsigned char b = text[i];
  if (b < 0x80) {
    ++i;
    return b;
  }
  int extra;
  char32_t cp;
  char32_t min;
  if ((b & 0xE0) == 0xC0) {
    extra = 1, cp = b & 0x1F, min = 0x80;
  } else if ((b & 0xF0) == 0xE0) {
    extra = 2, cp = b & 0x0F, min = 0x800;
  } else if ((b & 0xF8) == 0xF0) {
    extra = 3, cp = b & 0x07, min = 0x10000;
  } else {
    ++i;
    return kReplacement;
  }
  if (i + static_cast<size_t>(extra) >= length) {
    ++i;
    return kReplacement;
  }
  for (int k = 1; k <= extra; ++k) {
    unsigned char c = text[i + k];
    if ((c & 0xC0) != 0x80) {
      ++i;
      return kReplacement;
    }
    cp = (cp << 6) | (c & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return kReplacement;
  }
  i += extra + 1;
  return cp;
}

size_t utf16_units(const SQLWCHAR* text) {
  size_t n = 0;
  if (text)
    while (text[n]) ++n;
  return n;
}

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD, or (strict) ends the conversion
// with false.
bool convert_utf16(const SQLWCHAR* text, SQLLEN units, std::string& out, bool strict) {
  if (!text) return true;
  size_t n = units == SQL_NTS || units < 0 ? utf16_units(text) : static_cast<size_t>(units);
  out.reserve(out.size() + n * 3);
  for (size_t i = 0; i < n; ++i) {
    char32_t u = text[i];
    if (is_high_surrogate(u) && i + 1 < n && is_low_surrogate(text[i + 1])) {
      char32_t cp = 0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      append_utf8(cp, out);
      ++i;
    } else if (is_high_surrogate(u) || is_low_surrogate(u)) {
      if (strict) return false;
      append_utf8(kReplacement, out);
    } else {
      append_utf8(u, out);
    }
  }
  return true;
}

// What starts at `text` (`available` > 0 bytes): the size of a well-formed UTF-8 sequence,
// 0 for the beginning of one cut off by the end of the bytes, or -1 for a malformed one
// (overlong forms, surrogates and values past U+10FFFF included).
int sequence_status(const unsigned char* text, size_t available) {
  unsigned char lead = text[0];
  if (lead < 0x80) return 1;
  size_t size = 0;
  unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    size = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    size = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    size = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return -1;
  }
  for (size_t k = 1; k < size; ++k) {
    if (k >= available) return 0;
    unsigned char next = text[k];
    if (k == 1 ? (next < low || next > high) : (next & 0xC0) != 0x80) return -1;
  }
  return static_cast<int>(size);
}

}  // namespace

size_t utf16_length(const SQLWCHAR* text) {
  return utf16_units(text);
}

void utf16_to_utf8(const SQLWCHAR* text, SQLLEN units, std::string& out) {
  convert_utf16(text, units, out, false);
}

bool utf16_to_utf8_strict(const SQLWCHAR* text, SQLLEN units, std::string& out) {
  return convert_utf16(text, units, out, true);
}

void utf8_to_utf16(const char* text, size_t length, std::u16string& out) {
  if (!text) return;
  auto* bytes = reinterpret_cast<const unsigned char*>(text);
  out.reserve(out.size() + length);
  size_t i = 0;
  while (i < length) {
    char32_t cp = decode_utf8(bytes, length, i);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
}

size_t utf8_to_utf16_length(const char* text, size_t length) {
  if (!text) return 0;
  auto* bytes = reinterpret_cast<const unsigned char*>(text);
  size_t i = 0, units = 0;
  while (i < length) units += decode_utf8(bytes, length, i) >= 0x10000 ? 2 : 1;
  return units;
}

bool copy_utf16_out(const std::u16string& text, SQLWCHAR* buffer, size_t capacity) {
  if (!buffer) return true;  // a length-only call is not a truncation
  if (capacity == 0) return text.empty();
  size_t n = text.size();
  bool complete = n < capacity;
  if (!complete) {
    n = capacity - 1;
    // Never leave half of a surrogate pair at the end.
    if (n > 0 && is_high_surrogate(text[n - 1])) --n;
  }
  for (size_t i = 0; i < n; ++i) buffer[i] = static_cast<SQLWCHAR>(text[i]);
  buffer[n] = 0;
  return complete;
}

int utf8_sequence_status(const char* text, size_t length) {
  if (!text || length == 0) return 0;
  return sequence_status(reinterpret_cast<const unsigned char*>(text), length);
}

size_t utf8_char_size(const char* text, size_t length) {
  if (!text || length == 0) return 0;
  int size = sequence_status(reinterpret_cast<const unsigned char*>(text), length);
  return size > 0 ? static_cast<size_t>(size) : 1;
}

size_t utf8_char_count(const char* text, size_t length) {
  if (!text) return 0;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  size_t count = 0;
  for (size_t at = 0; at < length; ++count) {
    if (bytes[at] < 0x80) {  // ASCII: no decoding
      ++at;
      continue;
    }
    at += utf8_char_size(text + at, length - at);
  }
  return count;
}

size_t utf8_char_offset(const char* text, size_t length, size_t index) {
  if (!text) return 0;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  size_t at = 0;
  for (; index > 0 && at < length; --index)
    at += bytes[at] < 0x80 ? 1 : utf8_char_size(text + at, length - at);
  return at;
}

bool utf8_is_valid(const char* text, size_t length) {
  if (!text) return length == 0;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  for (size_t at = 0; at < length;) {
    int size = bytes[at] < 0x80 ? 1 : sequence_status(bytes + at, length - at);
    if (size <= 0) return false;
    at += static_cast<size_t>(size);
  }
  return true;
}

bool utf8_check_piece(const char* piece, size_t length, unsigned char pending[3],
                      unsigned char* pending_count) {
  std::string joined(reinterpret_cast<const char*>(pending), *pending_count);
  if (piece) joined.append(piece, length);
  const auto* bytes = reinterpret_cast<const unsigned char*>(joined.data());
  size_t at = 0;
  *pending_count = 0;
  while (at < joined.size()) {
    int size = bytes[at] < 0x80 ? 1 : sequence_status(bytes + at, joined.size() - at);
    if (size < 0) return false;
    if (size == 0) {  // a character the next piece finishes
      *pending_count = static_cast<unsigned char>(joined.size() - at);
      std::memcpy(pending, bytes + at, *pending_count);
      return true;
    }
    at += static_cast<size_t>(size);
  }
  return true;
}
