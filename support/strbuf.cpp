// Buffer copies for string results; see strbuf.h.
#include "support/strbuf.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

bool is_continuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

// Copies and returns 1 when cut; stores the full length in *full.
int copy_text(SQLPOINTER buffer, SQLLEN buffer_length, const char* text, SQLLEN text_len,
              size_t* full) {
  if (!text) {
    text = "";
    text_len = 0;
  }
  size_t len = text_len < 0 ? std::strlen(text) : static_cast<size_t>(text_len);
  *full = len;
  if (!buffer) return 0;
  if (buffer_length <= 0) return len > 0 ? 1 : 0;
  size_t room = static_cast<size_t>(buffer_length) - 1;
  size_t n = utf8_truncation_point(text, len, room);
  auto* out = static_cast<char*>(buffer);
  if (n > 0) std::memmove(out, text, n);
  out[n] = '\0';
  return n < len ? 1 : 0;
}

template <typename T>
void store_length(T* length, size_t full, long long max) {
  if (length) *length = static_cast<T>(full > static_cast<unsigned long long>(max) ? max : full);
}

}  // namespace

size_t utf8_truncation_point(const char* text, size_t len, size_t max_bytes) {
  if (max_bytes >= len) return len;
  if (!text) return 0;
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  if (!is_continuation(s[max_bytes])) return max_bytes;
  // The byte just past the cut continues a character: step back to that character's lead.
  size_t cut = max_bytes;
  for (int steps = 0; steps < 3 && cut > 0 && is_continuation(s[cut]); ++steps) --cut;
  if (s[cut] < 0xC0) return max_bytes;  // no lead byte within reach: malformed, cut raw
  return cut;
}

size_t utf8_vformat(char* out, size_t size, const char* format, va_list args) {
  if (!out || size == 0) return 0;
  va_list copy;
  va_copy(copy, args);
  int needed = std::vsnprintf(out, size, format ? format : "", copy);
  va_end(copy);
  if (needed < 0) {
    out[0] = '\0';
    return 0;
  }
  if (static_cast<size_t>(needed) < size) return static_cast<size_t>(needed);
  // Cut: the whole text is needed to see whether the first byte left out continues a
  // character begun before it.
  std::string full(static_cast<size_t>(needed) + 1, '\0');
  std::vsnprintf(full.data(), full.size(), format, args);
  size_t kept = utf8_truncation_point(full.data(), static_cast<size_t>(needed), size - 1);
  std::memcpy(out, full.data(), kept);
  out[kept] = '\0';
  return kept;
}

size_t utf8_format(char* out, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  size_t written = utf8_vformat(out, size, format, args);
  va_end(args);
  return written;
}

std::string utf8_prefix(const char* text, size_t max_bytes) {
  if (!text) return std::string();
  size_t length = std::strlen(text);
  return std::string(text, utf8_truncation_point(text, length, max_bytes));
}

int copy_str_buffer(SQLPOINTER buffer, SQLLEN buffer_length, SQLSMALLINT* length, const char* text,
                    SQLLEN text_len) {
  size_t full = 0;
  int cut = copy_text(buffer, buffer_length, text, text_len, &full);
  store_length(length, full, SHRT_MAX);
  return cut;
}

int copy_str_bufferi(SQLPOINTER buffer, SQLLEN buffer_length, SQLINTEGER* length, const char* text,
                     SQLLEN text_len) {
  size_t full = 0;
  int cut = copy_text(buffer, buffer_length, text, text_len, &full);
  store_length(length, full, INT32_MAX);
  return cut;
}

int copy_str_bufferl(SQLPOINTER buffer, SQLLEN buffer_length, SQLLEN* length, const char* text,
                     SQLLEN text_len) {
  size_t full = 0;
  int cut = copy_text(buffer, buffer_length, text, text_len, &full);
  store_length(length, full, static_cast<long long>(sizeof(SQLLEN) == 8 ? INT64_MAX : INT32_MAX));
  return cut;
}
