// Reading what the endpoint answered: the JSON loader that keeps integers too
// large for 64 bits exactly, the decoded-size estimate that keeps a reply's
// values within a small multiple of its size, and the error pairs gathered
// from a failed response.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/eth/eth_json_read.h"
#include "driver/eth/eth_query.h"

namespace {

// Jansson's allocations (64-bit, version 2.14) for each kind of value, as the heap hands them
// out: malloc rounds a request of n bytes up to max(32, n + 8 rounded to 16).
size_t heap_chunk(size_t request) {
  return std::max<size_t>(32, (request + 8 + 15) & ~size_t{15});
}
constexpr size_t kNumberBytes = 32;        // json_integer_t or json_real_t
constexpr size_t kStringRecordBytes = 48;  // json_string_t; the text is a second allocation
constexpr size_t kSlotBytes = 16;          // an array slot, the table at most half full
// json_array_t and its first table of 8 slots, json_object_t and its first 8 buckets, each
// with the slot it takes in its parent.
constexpr size_t kArrayBytes = 48 + 80 + kSlotBytes;
constexpr size_t kObjectBytes = 80 + 144 + kSlotBytes;
constexpr size_t kPairHeaderBytes = 57;  // a member's pair record before its key text
constexpr size_t kBucketBytes = 32;      // buckets per member, the table at most half full

// The end of the string literal opening at `text[start]` (the index of its closing quote, or
// the text's size when it is not closed).
size_t string_end(std::string_view text, size_t start) {
  size_t at = start + 1;
  for (;;) {
    const void* quote = memchr(text.data() + at, '"', text.size() - at);
    if (quote == nullptr) return text.size();
    size_t end = static_cast<size_t>(static_cast<const char*>(quote) - text.data());
    size_t backslashes = 0;
    while (end - backslashes > start + 1 && text[end - backslashes - 1] == '\\') ++backslashes;
    if (backslashes % 2 == 0) return end;
    at = end + 1;
  }
}

bool is_json_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string megabytes(size_t bytes) {
  return std::to_string((bytes + (size_t{1} << 20) - 1) >> 20) + " MB";
}

// True when the integer literal text[start, end) does not fit a signed 64-bit integer.
bool integer_overflows(const std::string& text, size_t start, size_t end) {
  std::string literal = text.substr(start, end - start);
  errno = 0;
  char* stop = nullptr;
  (void)std::strtoll(literal.c_str(), &stop, 10);
  return errno == ERANGE;
}

bool is_digit(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// The `message` text of a JSON object, or `fallback` when it has none.
std::string message_of(json_t* object, const char* fallback) {
  const char* text = json_string_value(json_object_get(object, "message"));
  return text ? text : fallback;
}

// Pairs of a body that holds one JSON document per line; false when no line parses.
bool line_pairs(const std::string& body, std::vector<EthErrorPair>* pairs) {
  bool any = false;
  size_t start = 0;
  while (start <= body.size()) {
    size_t end = body.find('\n', start);
    if (end == std::string::npos) end = body.size();
    json_error_t error;
    if (json_t* line = json_loadb(body.data() + start, end - start, JSON_DECODE_ANY, &error)) {
      any = true;
      pairs->emplace_back("error", message_of(json_object_get(line, "error"), "no message"));
      json_decref(line);
    }
    start = end + 1;
  }
  if (!any) pairs->emplace_back("no json", "failed to extract json");
  return any;
}

}  // namespace

json_t* eth_json_loads_exact(const std::string& text, json_error_t* error) {
  // Replies are nearly always plain JSON, which the quick reader takes at a fraction of
  // Jansson's cost per character; whatever it leaves is Jansson's to read or refuse.
  if (json_t* plain = eth_json_read_plain(text)) return plain;
  // Jansson refuses integer literals beyond 64 bits ("too big integer"), and reading them as
  // reals would lose digits. Such literals are quoted before parsing, so they arrive as JSON
  // strings holding exactly the digits that were sent.
  std::string rewritten;
  size_t copied = 0;
  bool in_string = false;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    char c = text[i];
    if (in_string) {
      if (c == '\\') {
        i += 2;
        continue;
      }
      if (c == '"') in_string = false;
      ++i;
      continue;
    }
    if (c == '"') {
      in_string = true;
      ++i;
      continue;
    }
    if (c != '-' && !is_digit(c)) {
      ++i;
      continue;
    }
    size_t start = i;
    if (c == '-') ++i;
    while (i < n && is_digit(text[i])) ++i;
    bool integer = i >= n || (text[i] != '.' && text[i] != 'e' && text[i] != 'E');
    if (integer && i > start + 18 && integer_overflows(text, start, i)) {
      rewritten.append(text, copied, start - copied);
      rewritten += '"';
      rewritten.append(text, start, i - start);
      rewritten += '"';
      copied = i;
      continue;
    }
    while (i < n && (is_digit(text[i]) || text[i] == '.' || text[i] == 'e' || text[i] == 'E' ||
                     text[i] == '+' || text[i] == '-'))
      ++i;
  }
  if (copied == 0) return json_loadb(text.data(), text.size(), JSON_DECODE_ANY, error);
  rewritten.append(text, copied, std::string::npos);
  return json_loadb(rewritten.data(), rewritten.size(), JSON_DECODE_ANY, error);
}

size_t eth_json_decoded_estimate(std::string_view text) {
  size_t total = 0;
  size_t longest_token = 0;
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    const char c = text[i];
    if (c == '"') {
      const size_t end = string_end(text, i);
      const size_t length = end - i - 1;  // escapes only make the decoded text shorter
      longest_token = std::max(longest_token, length);
      i = end + 1;
      size_t next = i;
      while (next < n && is_json_space(text[next])) ++next;
      if (next < n && text[next] == ':')
        total += heap_chunk(kPairHeaderBytes + length) + kBucketBytes;
      else
        total += kStringRecordBytes + heap_chunk(length + 1) + kSlotBytes;
    } else if (c == '{') {
      total += kObjectBytes;
      ++i;
    } else if (c == '[') {
      total += kArrayBytes;
      ++i;
    } else if (c == '-' || (c >= '0' && c <= '9')) {
      const size_t start = i;
      while (i < n && (std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == '.' ||
                       text[i] == 'e' || text[i] == 'E' || text[i] == '+' || text[i] == '-'))
        ++i;
      longest_token = std::max(longest_token, i - start);
      total += kNumberBytes + kSlotBytes;
    } else if (c == 't' || c == 'f' || c == 'n') {
      while (i < n && std::isalpha(static_cast<unsigned char>(text[i]))) ++i;
      total += kSlotBytes;  // true, false and null are shared values
    } else {
      ++i;
    }
  }
  // The parser keeps a copy of the token it is reading.
  return total + longest_token;
}

size_t eth_decode_limit(size_t size) {
  size_t scaled = size > ETH_DECODE_MAX_BYTES / ETH_DECODE_FACTOR ? ETH_DECODE_MAX_BYTES
                                                                  : size * ETH_DECODE_FACTOR;
  return std::min(ETH_DECODE_MAX_BYTES, scaled + ETH_DECODE_SLACK_BYTES);
}

json_t* eth_decode_reply(const std::string& body, EthDecodeFailure* failure) {
  *failure = EthDecodeFailure{};
  const size_t estimate = eth_json_decoded_estimate(body);
  const size_t limit = eth_decode_limit(body.size());
  if (estimate > limit) {
    failure->too_large = true;
    failure->message = "The reply of " + std::to_string(body.size()) + " bytes would take about " +
                       megabytes(estimate) + " of memory once decoded, more than the limit of " +
                       megabytes(limit) + " (" + std::to_string(ETH_DECODE_FACTOR) +
                       " times its size plus " + megabytes(ETH_DECODE_SLACK_BYTES) + ", at most " +
                       megabytes(ETH_DECODE_MAX_BYTES) + "); ask for less data at a time";
    return nullptr;
  }
  json_error_t error;
  json_t* reply = eth_json_loads_exact(body, &error);
  if (!reply) failure->message = error.text;
  return reply;
}

bool eth_error_pairs(const EthResponse& response, std::vector<EthErrorPair>* pairs) {
  std::string code = "return code " + std::to_string(response.status_code);
  if (response.content_kind != ETH_CONTENT_JSON) {
    pairs->emplace_back(code, response.reason);
    return true;
  }
  if (response.body.empty()) {
    pairs->emplace_back(response.reason, code);
    return true;
  }
  EthDecodeFailure failure;
  json_t* document = eth_decode_reply(response.body, &failure);
  if (!document) {
    // The lines of a body too large to decode as a whole are no smaller together.
    if (failure.too_large || response.body.find('\n') == std::string::npos) return false;
    return line_pairs(response.body, pairs);
  }
  json_t* errors = json_object_get(document, "errors");
  json_t* rpc_error = json_object_get(document, "error");
  if (!errors && json_is_object(rpc_error)) {
    // A JSON-RPC error object says what went wrong; never hide it behind "no errors".
    pairs->emplace_back("error", message_of(rpc_error, "no message"));
  } else if (!errors) {
    pairs->emplace_back("no errors", "failed to extract errors");
  } else if (json_is_array(errors)) {
    size_t index;
    json_t* element;
    json_array_foreach(errors, index, element) {
      pairs->emplace_back("error", message_of(element, "no message"));
    }
  } else if (json_t* single = json_object_get(document, "error")) {
    pairs->emplace_back("error", message_of(single, "no message"));
  } else {
    pairs->emplace_back("no error", "failed to extract error");
  }
  json_decref(document);
  return true;
}
