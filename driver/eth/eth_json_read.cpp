// The quick reader of plain JSON: strings found by a table of their plain bytes rather than
// decoded a character at a time, numbers read only when they are integers, and every value made
// with the same Jansson calls (and so the same objects, key order and integers) as its parser.
// It gives up at the first thing it does not read exactly as Jansson would.
#include "driver/eth/eth_json_read.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// Nesting deeper than this is Jansson's to read or refuse, with its own limit and message.
constexpr int kMaxDepth = 512;

// The longest integer literal read as a number: a sign and 19 digits. A longer one (no leading
// zeros are allowed) cannot fit 64 bits.
constexpr size_t kLongestInteger = 20;

// Bytes a string may hold as they are: printable ASCII and DEL, but not the quote that ends it
// nor the backslash that starts an escape.
struct PlainBytes {
  bool plain[256] = {};
  constexpr PlainBytes() {
    for (int byte = 0x20; byte < 0x80; ++byte) plain[byte] = byte != '"' && byte != '\\';
  }
};
constexpr PlainBytes kPlainBytes;

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// Reads one document from [at, end); every read_* returns a new reference, or null with nothing
// left allocated when the text is not plain JSON.
class PlainReader {
 public:
  PlainReader(const char* at, const char* end) : at_(at), end_(end) {}

  // The whole text as one value with nothing but white space after it.
  json_t* document() {
    json_t* value = read_value(0);
    if (value == nullptr) return nullptr;
    skip_space();
    if (at_ != end_) {
      json_decref(value);
      return nullptr;
    }
    return value;
  }

 private:
  void skip_space() {
    while (at_ < end_ && (*at_ == ' ' || *at_ == '\n' || *at_ == '\r' || *at_ == '\t')) ++at_;
  }

  // True when the next byte is `c`, which is then passed.
  bool take(char c) {
    if (at_ == end_ || *at_ != c) return false;
    ++at_;
    return true;
  }

  // The value at the next non-space byte, inside `depth` open arrays and objects.
  json_t* read_value(int depth) {
    skip_space();
    if (at_ == end_) return nullptr;
    switch (*at_) {
      case '{':
        return read_object(depth + 1);
      case '[':
        return read_array(depth + 1);
      case '"': {
        std::string_view text;
        return read_string(&text) ? json_stringn_nocheck(text.data(), text.size()) : nullptr;
      }
      case 't':
        return read_word("true") ? json_true() : nullptr;
      case 'f':
        return read_word("false") ? json_false() : nullptr;
      case 'n':
        return read_word("null") ? json_null() : nullptr;
      default:
        return read_integer();
    }
  }

  bool read_word(std::string_view word) {
    if (static_cast<size_t>(end_ - at_) < word.size() ||
        std::memcmp(at_, word.data(), word.size()) != 0)
      return false;
    at_ += word.size();
    return true;
  }

  // A string of plain bytes at the opening quote: its text (pointing into the document).
  bool read_string(std::string_view* text) {
    const char* start = ++at_;
    while (at_ < end_ && kPlainBytes.plain[static_cast<unsigned char>(*at_)]) ++at_;
    if (at_ == end_ || *at_ != '"') return false;
    *text = std::string_view(start, static_cast<size_t>(at_ - start));
    ++at_;
    return true;
  }

  // An integer as Jansson's grammar has it (no leading zeros); one beyond 64 bits becomes the
  // string of its text, as the exact loader has always made it.
  json_t* read_integer() {
    const char* start = at_;
    take('-');
    if (at_ == end_ || !is_digit(*at_)) return nullptr;
    if (*at_ == '0') {
      ++at_;
      if (at_ < end_ && is_digit(*at_)) return nullptr;
    } else {
      while (at_ < end_ && is_digit(*at_)) ++at_;
    }
    if (at_ < end_ && (*at_ == '.' || *at_ == 'e' || *at_ == 'E')) return nullptr;
    const size_t length = static_cast<size_t>(at_ - start);
    if (length <= kLongestInteger) {
      char literal[kLongestInteger + 1];
      std::memcpy(literal, start, length);
      literal[length] = '\0';
      errno = 0;
      const long long value = std::strtoll(literal, nullptr, 10);
      if (errno != ERANGE) return json_integer(value);
    }
    return json_stringn_nocheck(start, length);
  }

  json_t* read_array(int depth) {
    if (depth > kMaxDepth) return nullptr;
    ++at_;
    json_t* array = json_array();
    if (array == nullptr) return nullptr;
    skip_space();
    if (take(']')) return array;
    for (;;) {
      // json_array_append_new takes the value even when it fails.
      json_t* value = read_value(depth);
      if (value == nullptr || json_array_append_new(array, value) != 0) break;
      skip_space();
      if (take(',')) continue;
      if (take(']')) return array;
      break;
    }
    json_decref(array);
    return nullptr;
  }

  json_t* read_object(int depth) {
    if (depth > kMaxDepth) return nullptr;
    ++at_;
    json_t* object = json_object();
    if (object == nullptr) return nullptr;
    skip_space();
    if (take('}')) return object;
    for (;;) {
      skip_space();
      std::string_view key;
      if (at_ == end_ || *at_ != '"' || !read_string(&key)) break;
      skip_space();
      if (!take(':')) break;
      // A repeated key replaces the earlier value, as in Jansson's parser; the call takes the
      // value even when it fails.
      json_t* value = read_value(depth);
      if (value == nullptr ||
          json_object_setn_new_nocheck(object, key.data(), key.size(), value) != 0)
        break;
      skip_space();
      if (take(',')) continue;
      if (take('}')) return object;
      break;
    }
    json_decref(object);
    return nullptr;
  }

  const char* at_;
  const char* end_;
};

}  // namespace

json_t* eth_json_read_plain(std::string_view text) {
  return PlainReader(text.data(), text.data() + text.size()).document();
}
