// The Ethereum backend's record formatter: a small printf dialect for log
// records and diagnostics that escapes high bytes, prints ODBC texts with their
// lengths, cuts long texts with "..." and keeps secrets out of its output.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "driver/eth/eth_log.h"
#include "support/unicode.h"

namespace {

// Places kept free behind a text so the cut marker and its suffix always fit.
constexpr size_t kReserve = 20;
// Below this many free places a counted buffer is followed by "...".
constexpr size_t kCountedMarkLimit = 40;
constexpr int kNts = -3;  // SQL_NTS
constexpr const char* kMask = "****";

// Appends to a fixed buffer, never past its capacity, keeping it NUL-terminated.
class RecordBuffer {
 public:
  RecordBuffer(char* buffer, size_t capacity) : buffer_(buffer), capacity_(capacity) {
    if (capacity_ > 0) buffer_[0] = '\0';
  }
  // Characters that can still be written (the terminating NUL excluded).
  size_t places() const { return capacity_ == 0 ? 0 : capacity_ - 1 - length_; }
  size_t length() const { return length_; }
  void put(const char* text, size_t count) {
    if (count > places()) count = places();
    if (count == 0) return;
    memcpy(buffer_ + length_, text, count);
    length_ += count;
    buffer_[length_] = '\0';
  }
  void put(const char* text) { put(text, strlen(text)); }
  void put_char(char c) { put(&c, 1); }
  template <typename... Args>
  void put_printf(const char* format, Args... args) {
    char piece[64];
    int n = snprintf(piece, sizeof piece, format, args...);
    if (n > 0) put(piece, static_cast<size_t>(n) < sizeof piece ? n : sizeof piece - 1);
  }

 private:
  char* buffer_;
  size_t capacity_;
  size_t length_ = 0;
};

// A text argument: stops at its unit count or at a NUL unit, whichever comes first.
template <typename Unit>
struct TextArg {
  const Unit* data;
  size_t limit;  // SIZE_MAX when only the NUL ends it
  bool at(size_t index, unsigned* unit) const {
    if (index >= limit || data[index] == 0) return false;
    *unit = static_cast<unsigned>(data[index]);
    return true;
  }
};

// Length of the secret found at `index`, 0 when none starts there.
template <typename Unit, typename Secret>
size_t secret_at(const TextArg<Unit>& text, size_t index, const std::vector<Secret>& secrets) {
  for (const Secret& secret : secrets) {
    size_t k = 0;
    unsigned unit = 0;
    while (k < secret.size() && text.at(index + k, &unit) &&
           unit == static_cast<unsigned>(
                       static_cast<std::make_unsigned_t<typename Secret::value_type>>(secret[k])))
      ++k;
    if (k == secret.size()) return k;
  }
  return 0;
}

// Writes a text argument with units of 0x80 and above escaped; returns true when it was cut
// because it would have come within kReserve places of the end.
template <typename Unit, typename Secret>
bool write_text(RecordBuffer& out, const TextArg<Unit>& text, const std::vector<Secret>& secrets,
                bool wide) {
  size_t index = 0;
  unsigned unit = 0;
  while (text.at(index, &unit)) {
    if (size_t matched = secret_at(text, index, secrets)) {
      if (out.places() < strlen(kMask) + kReserve) return true;
      out.put(kMask);
      index += matched;
      continue;
    }
    size_t width = unit < 0x80 ? 1 : (wide ? 6 : 4);
    if (out.places() < width + kReserve) return true;
    if (unit < 0x80)
      out.put_char(static_cast<char>(unit));
    else if (wide)
      out.put_printf("\\x%04X", unit);
    else
      out.put_printf("\\x%02X", unit);
    ++index;
  }
  return false;
}

// Limit of a text given with an ODBC length: negative lengths (SQL_NTS) mean NUL-terminated.
size_t limit_of(int length) {
  return length < 0 ? SIZE_MAX : static_cast<size_t>(length);
}

// The length suffix of a %q/%Q text: "[SQL_NTS]" or "[n]".
void put_length_suffix(RecordBuffer& out, int length) {
  if (length == kNts)
    out.put("[SQL_NTS]");
  else
    out.put_printf("[%d]", length);
}

const char* return_code_name(int code) {
  switch (code) {
    case -1:
      return "SQL_ERROR";
    case 0:
      return "SQL_SUCCESS";
    case 1:
      return "SQL_SUCCESS_WITH_INFO";
    case 100:
      return "SQL_NO_DATA";
    default:
      return nullptr;
  }
}

bool is_letter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

int eth_format_masked(char* buffer, size_t capacity, const std::string* secrets,
                      size_t secret_count, const char* format, va_list args) {
  if (buffer == nullptr || capacity == 0) return 0;
  RecordBuffer out(buffer, capacity);
  std::vector<std::string> narrow_secrets;
  for (size_t i = 0; secrets != nullptr && i < secret_count; ++i)
    if (!secrets[i].empty()) narrow_secrets.push_back(secrets[i]);
  if (format == nullptr) format = "null";

  for (const char* p = format; *p != '\0'; ++p) {
    if (out.places() <= kReserve) {
      out.put("...");
      break;
    }
    if (*p != '%') {
      out.put_char(*p);
      continue;
    }
    char directive = p[1];
    if (directive == '%') {
      out.put_char('%');
      ++p;
      continue;
    }
    if (!is_letter(directive)) {
      out.put_char('%');
      continue;
    }
    ++p;
    bool cut = false;
    switch (directive) {
      case 'd':
        out.put_printf("%d", va_arg(args, int));
        break;
      case 'u':
        out.put_printf("%ld", static_cast<long>(va_arg(args, unsigned int)));
        break;
      case 'x':
        out.put_printf("%x", va_arg(args, unsigned int));
        break;
      case 'X':
        out.put_printf("%X", va_arg(args, unsigned int));
        break;
      case 'c': {
        char c = static_cast<char>(va_arg(args, int));
        if (c != '\0') out.put_char(c);
        break;
      }
      case 'l':
        out.put_printf("%lld", va_arg(args, long long));
        break;
      case 'p':
        out.put_printf("%p", va_arg(args, void*));
        break;
      case 's': {
        const char* text = va_arg(args, const char*);
        if (text == nullptr) {
          out.put("null");
          break;
        }
        cut = write_text(
            out, TextArg<unsigned char>{reinterpret_cast<const unsigned char*>(text), SIZE_MAX},
            narrow_secrets, false);
        if (cut) out.put("...");
        break;
      }
      case 'q': {
        const char* text = va_arg(args, const char*);
        int length = va_arg(args, int);
        if (text == nullptr) {
          out.put("(nul)");
        } else {
          out.put_char('\'');
          cut = write_text(out,
                           TextArg<unsigned char>{reinterpret_cast<const unsigned char*>(text),
                                                  limit_of(length)},
                           narrow_secrets, false);
          if (cut) out.put("...");
          out.put_char('\'');
        }
        put_length_suffix(out, length);
        break;
      }
      case 'Q':
      case 'T': {
        const uint16_t* text = va_arg(args, const uint16_t*);
        int length = va_arg(args, int);
        if (text == nullptr) {
          out.put("(nul)");
        } else {
          std::vector<std::u16string> wide_secrets;
          for (const std::string& secret : narrow_secrets) {
            std::u16string wide;
            utf8_to_utf16(secret.data(), secret.size(), wide);
            if (!wide.empty()) wide_secrets.push_back(std::move(wide));
          }
          out.put_char('\'');
          cut = write_text(out, TextArg<uint16_t>{text, limit_of(length)}, wide_secrets, true);
          if (cut) out.put("...");
          out.put_char('\'');
        }
        put_length_suffix(out, length);
        break;
      }
      case 'S': {
        int length = va_arg(args, int);
        const char* bytes = va_arg(args, const char*);
        if (bytes == nullptr) {
          out.put("(nul)");
          break;
        }
        cut = write_text(
            out,
            TextArg<unsigned char>{reinterpret_cast<const unsigned char*>(bytes), limit_of(length)},
            narrow_secrets, false);
        if (cut || out.places() < kCountedMarkLimit) out.put("...");
        break;
      }
      case 'r': {
        int code = va_arg(args, int);
        if (const char* name = return_code_name(code))
          out.put(name);
        else
          out.put_printf("%d", code);
        break;
      }
      default:
        break;  // unknown directives take no argument and print nothing
    }
    // A cut text has filled the record; what follows would not fit.
    if (cut) break;
  }
  return static_cast<int>(out.length());
}

int eth_format(char* buffer, size_t capacity, const char* format, va_list args) {
  return eth_format_masked(buffer, capacity, nullptr, 0, format, args);
}

int eth_format_text(char* buffer, size_t capacity, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int written = eth_format(buffer, capacity, format, args);
  va_end(args);
  return written;
}

void eth_mask_secrets(std::string& text, const std::string* secrets, size_t secret_count) {
  for (size_t i = 0; secrets != nullptr && i < secret_count; ++i) {
    const std::string& secret = secrets[i];
    if (secret.empty()) continue;
    for (size_t at = text.find(secret); at != std::string::npos;
         at = text.find(secret, at + strlen(kMask)))
      text.replace(at, secret.size(), kMask);
  }
}
