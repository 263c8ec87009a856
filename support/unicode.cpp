// UTF-16 <-> UTF-8 conversion, with replacement of malformed input.
#include "support/unicode.h"

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

}  // namespace

size_t utf16_length(const SQLWCHAR* text) {
  size_t n = 0;
  if (text)
    while (text[n]) ++n;
  return n;
}

void utf16_to_utf8(const SQLWCHAR* text, SQLLEN units, std::string& out) {
  if (!text) return;
  size_t n = units == SQL_NTS || units < 0 ? utf16_length(text) : static_cast<size_t>(units);
  out.reserve(out.size() + n * 3);
  for (size_t i = 0; i < n; ++i) {
    char32_t u = text[i];
    if (is_high_surrogate(u) && i + 1 < n && is_low_surrogate(text[i + 1])) {
      char32_t cp = 0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      append_utf8(cp, out);
      ++i;
    } else if (is_high_surrogate(u) || is_low_surrogate(u)) {
      append_utf8(kReplacement, out);
    } else {
      append_utf8(u, out);
    }
  }
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
