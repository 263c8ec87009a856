// The HTTP/1.1 response reader: buffers bytes from the transport's byte source, splits the
// status line and headers, picks out the headers the backend acts on, stores cookies, reads the
// body by Content-Length, chunked framing or up to the close of the connection (HTTP/1.0
// style), and gunzips it. Every line, the header count and the body have a limit, and a
// connection that ends early is an error, never a short body.
#include "driver/eth/eth_response.h"

#include <strings.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>

#include "driver/eth/eth_context.h"
#include "driver/eth/eth_gzip.h"
#include "driver/eth/eth_log.h"

namespace {

constexpr const char* kUnit = "eth_response.cpp";
constexpr size_t kReadBlock = 64 * 1024;  // bytes asked of the source in one read
constexpr size_t kMaxErrorText = 1023;
constexpr size_t kExcerptLength = 80;

// Ends the current response; caught at the entry point and turned into a result code.
struct ResponseFailure {
  int code;
  std::string message;
};

[[noreturn]] void fail(int code, std::string message) {
  throw ResponseFailure{code, std::move(message)};
}

// A printable excerpt of received text for an error message.
std::string excerpt(std::string_view text) {
  std::string shown;
  for (char c : text.substr(0, kExcerptLength)) shown += (c >= 0x20 && c < 0x7F) ? c : '?';
  if (text.size() > kExcerptLength) shown += "...";
  return shown;
}

bool equals_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool starts_with_ignoring_case(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// Leading decimal digits of `text`, saturating at `ceiling`; 0 when there are none.
int64_t leading_decimal(std::string_view text, int64_t ceiling) {
  int64_t value = 0;
  for (char c : text) {
    if (!is_digit(c)) break;
    value = value > (ceiling - (c - '0')) / 10 ? ceiling : value * 10 + (c - '0');
  }
  return value;
}

// Whether the comma-separated list `text` holds `token` (case-insensitive).
bool has_token(std::string_view text, std::string_view token) {
  while (!text.empty()) {
    const size_t comma = text.find(',');
    if (equals_ignoring_case(trim(text.substr(0, comma)), token)) return true;
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return false;
}

// Buffered reading from the byte source, by line or by count.
class Reader {
 public:
  Reader(EthHttpContext* http, EthByteSource* source) : http_(http), source_(source) {}

  // Reads up to '\n' into `line` without the line end; false when the stream ended first
  // (`line` then holds what arrived). Lines past `max_length` fail with `what` named.
  bool read_line(std::string* line, size_t max_length, const char* what) {
    line->clear();
    for (;;) {
      if (begin_ == end_ && !fill()) return false;
      const unsigned char* start = buffer_.get() + begin_;
      const size_t available = end_ - begin_;
      const auto* newline = static_cast<const unsigned char*>(memchr(start, '\n', available));
      const size_t take = newline != nullptr ? static_cast<size_t>(newline - start) : available;
      // One extra byte leaves room for the '\r' of the line end.
      if (line->size() + take > max_length + 1) too_long(max_length, what);
      line->append(reinterpret_cast<const char*>(start), take);
      begin_ += take;
      if (newline != nullptr) {
        ++begin_;
        if (!line->empty() && line->back() == '\r') line->pop_back();
        if (line->size() > max_length) too_long(max_length, what);
        return true;
      }
    }
  }

  // Appends everything up to the end of the stream to `out`; false when that would make it
  // longer than `max_length` bytes (it then holds at most that many).
  bool read_to_end(std::string* out, size_t max_length) {
    for (;;) {
      if (begin_ == end_ && !fill()) return true;
      const size_t take = end_ - begin_;
      if (take > max_length - std::min(max_length, out->size())) return false;
      out->append(reinterpret_cast<const char*>(buffer_.get() + begin_), take);
      begin_ = end_;
    }
  }

  // Appends exactly `count` bytes to `out`; false when the stream ended first.
  bool read_exact(size_t count, std::string* out) {
    while (count > 0) {
      if (begin_ == end_ && !fill()) return false;
      const size_t take = std::min(count, end_ - begin_);
      out->append(reinterpret_cast<const char*>(buffer_.get() + begin_), take);
      begin_ += take;
      count -= take;
    }
    return true;
  }

 private:
  [[noreturn]] static void too_long(size_t max_length, const char* what) {
    fail(ETH_RESPONSE_TOO_LARGE,
         std::string(what) + " longer than " + std::to_string(max_length) + " bytes");
  }

  bool fill() {
    begin_ = 0;
    end_ = receive(buffer_.get(), kReadBlock);
    return end_ > 0;
  }

  // One read from the source: the count read, 0 once the stream has ended.
  size_t receive(unsigned char* into, size_t capacity) {
    if (ended_) return 0;
    const long got = source_->read(source_->state, into, capacity);
    if (got < 0)
      fail(ETH_RESPONSE_READ_FAILED, http_->last_error.empty()
                                         ? "read failed while reading the response"
                                         : http_->last_error);
    if (static_cast<unsigned long>(got) > capacity)
      fail(ETH_RESPONSE_READ_FAILED, "receive returned more bytes than were asked for");
    if (got == 0) ended_ = true;
    return static_cast<size_t>(got);
  }

  EthHttpContext* http_;
  EthByteSource* source_;
  std::unique_ptr<unsigned char[]> buffer_ =
      std::make_unique_for_overwrite<unsigned char[]>(kReadBlock);
  size_t begin_ = 0;
  size_t end_ = 0;
  bool ended_ = false;
};

// Reads one response off a reader into a response record.
class ResponseParser {
 public:
  ResponseParser(EthHttpContext* http, Reader* reader, const EthResponseLimits& limits,
                 EthResponse* out)
      : http_(http), reader_(reader), limits_(limits), out_(out) {}

  void run() {
    read_head();
    // Interim (1xx) responses precede the real one; 101 would switch protocols and is final.
    while (out_->status_code < 200 && out_->status_code != 101) {
      eth_log(http_, kUnit, __LINE__, ETH_LOG_CONTINUATION, "interim response %d skipped",
              out_->status_code);
      *out_ = EthResponse{};
      out_->context = http_;
      read_head();
    }
    read_body();
    if (out_->gzip && !out_->body.empty()) gunzip_body();
  }

 private:
  void read_head() {
    bool status_seen = false;
    std::string line;
    for (;;) {
      if (!reader_->read_line(&line, limits_.max_line, "HTTP header line")) {
        if (!status_seen) {
          eth_log(http_, kUnit, __LINE__, ETH_LOG_CONTINUATION, "read line returns before head");
          fail(ETH_RESPONSE_NO_HEADERS, "connection closed before the response headers");
        }
        fail(ETH_RESPONSE_TRUNCATED, "connection closed inside the response headers");
      }
      if (++header_lines_ > limits_.max_header_lines)
        fail(ETH_RESPONSE_TOO_LARGE,
             "more than " + std::to_string(limits_.max_header_lines) + " HTTP header lines");
      if (line.empty()) {
        if (status_seen) return;
        eth_log(http_, kUnit, __LINE__, ETH_LOG_CONTINUATION, "read line returns %d", 0);
        continue;
      }
      eth_log(http_, kUnit, __LINE__, ETH_LOG_CONTINUATION, "%s", line.c_str());
      if (status_seen) {
        apply_header(line);
      } else {
        parse_status_line(line);
        status_seen = true;
      }
    }
  }

  void parse_status_line(std::string_view line) {
    // "HTTP/1.1 200 OK": three digits after the first space, the reason after the next one.
    const size_t space = line.find(' ');
    if (!starts_with_ignoring_case(line, "HTTP/") || space == std::string_view::npos ||
        line.size() < space + 4 || !is_digit(line[space + 1]) || !is_digit(line[space + 2]) ||
        !is_digit(line[space + 3]) || line[space + 1] == '0' ||
        (line.size() > space + 4 && line[space + 4] != ' '))
      fail(ETH_RESPONSE_MALFORMED, "malformed HTTP status line: " + excerpt(line));
    out_->status_code = static_cast<int>(leading_decimal(line.substr(space + 1, 3), 999));
    if (line.size() > space + 4) out_->reason = std::string(line.substr(space + 5));
  }

  // Header names are case-insensitive (HTTP/1.1), so "content-length" counts as well.
  void apply_header(std::string_view line) {
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) return;
    const std::string_view name = line.substr(0, colon);
    const std::string_view value = trim(line.substr(colon + 1));
    if (equals_ignoring_case(name, "Content-Type")) {
      out_->content_type = std::string(value);
      out_->content_kind = content_kind_of(value);
    } else if (equals_ignoring_case(name, "Content-Length")) {
      set_content_length(value);
    } else if (equals_ignoring_case(name, "Transfer-Encoding")) {
      if (!equals_ignoring_case(value, "chunked"))
        fail(ETH_RESPONSE_MALFORMED, "unsupported Transfer-Encoding: " + excerpt(value));
      out_->chunked = true;
    } else if (equals_ignoring_case(name, "Connection")) {
      if (has_token(value, "close")) out_->connection_close = true;
    } else if (equals_ignoring_case(name, "Location")) {
      out_->location = std::string(value);
    } else if (equals_ignoring_case(name, "X-Rate-Limit-Problem")) {
      if (starts_with_ignoring_case(value, "Minute")) out_->rate_limit_minute = true;
    } else if (equals_ignoring_case(name, "Content-Encoding")) {
      // Only a lone gzip coding is decoded; "gzip, deflate" and others stay as received.
      out_->gzip = equals_ignoring_case(value, "gzip");
    } else if (equals_ignoring_case(name, "X-Total-Count")) {
      out_->total_count = leading_decimal(value, INT64_MAX);
    } else if (equals_ignoring_case(name, "Retry-After")) {
      // An HTTP-date form has no leading digits and reads as 0 (unknown).
      out_->retry_after = static_cast<int>(leading_decimal(value, INT_MAX));
    } else if (equals_ignoring_case(name, "Set-Cookie")) {
      update_cookie(value);
    }
  }

  static int content_kind_of(std::string_view type) {
    if (starts_with_ignoring_case(type, "text/html")) return ETH_CONTENT_HTML;
    if (starts_with_ignoring_case(type, "text/xml") ||
        starts_with_ignoring_case(type, "application/xml"))
      return ETH_CONTENT_XML;
    if (starts_with_ignoring_case(type, "application/json")) return ETH_CONTENT_JSON;
    return ETH_CONTENT_OTHER;
  }

  void set_content_length(std::string_view value) {
    if (value.empty() || !std::all_of(value.begin(), value.end(), is_digit))
      fail(ETH_RESPONSE_MALFORMED, "invalid Content-Length: " + excerpt(value));
    const int64_t length = leading_decimal(value, INT64_MAX);
    if (out_->content_length >= 0 && out_->content_length != length)
      fail(ETH_RESPONSE_MALFORMED, "conflicting Content-Length headers");
    out_->content_length = length;
  }

  // "name=value; attributes": an empty value removes the cookie, a new one goes to the front.
  void update_cookie(std::string_view text) {
    const size_t equals = text.find('=');
    if (equals == std::string_view::npos || equals == 0) return;
    const std::string name(trim(text.substr(0, equals)));
    std::string_view value = text.substr(equals + 1);
    value = trim(value.substr(0, value.find(';')));
    auto& cookies = http_->cookies;
    auto known = std::find_if(cookies.begin(), cookies.end(),
                              [&](const EthCookie& cookie) { return cookie.name == name; });
    if (value.empty()) {
      if (known != cookies.end()) cookies.erase(known);
    } else if (known != cookies.end()) {
      known->value = std::string(value);
    } else {
      cookies.insert(cookies.begin(), EthCookie{name, std::string(value)});
      if (cookies.size() > limits_.max_cookies) cookies.pop_back();
    }
  }

  void read_body() {
    const int status = out_->status_code;
    if (status == 204 || status == 304 || status == 101) return;  // never carry a body
    if (out_->chunked) {
      read_chunked_body();
    } else if (out_->content_length > 0) {
      read_sized_body();
    } else if (out_->content_length < 0) {
      read_body_to_close();
    }
  }

  // Neither length nor chunking: the body runs to the close of the connection (RFC 9112 6.3).
  void read_body_to_close() {
    std::string& body = out_->body;
    const std::string limit = std::to_string(limits_.max_body);
    if (!reader_->read_to_end(&body, limits_.max_body))
      fail(ETH_RESPONSE_TOO_LARGE,
           "body read up to the close of the connection exceeds the limit of " + limit + " bytes");
    if (!out_->gzip && !body.empty())
      eth_log_dump(http_, kUnit, __LINE__, ETH_LOG_DETAIL,
                   reinterpret_cast<const unsigned char*>(body.data()), body.size(),
                   "Respose Body");
  }

  void read_sized_body() {
    const uint64_t length = static_cast<uint64_t>(out_->content_length);
    if (length > limits_.max_body)
      fail(ETH_RESPONSE_TOO_LARGE, "Content-Length " + std::to_string(length) +
                                       " exceeds the limit of " + std::to_string(limits_.max_body) +
                                       " bytes");
    std::string& body = out_->body;
    // Reserved pages a short body never fills are never touched, so they cost no memory; the
    // body is not copied as it grows.
    body.reserve(length);
    if (!reader_->read_exact(length, &body))
      fail(ETH_RESPONSE_TRUNCATED, "connection closed after " + std::to_string(body.size()) +
                                       " of " + std::to_string(length) + " body bytes");
    if (!out_->gzip)
      eth_log_dump(http_, kUnit, __LINE__, ETH_LOG_DETAIL,
                   reinterpret_cast<const unsigned char*>(body.data()), body.size(),
                   "Respose Body");
  }

  void read_chunked_body() {
    std::string& body = out_->body;
    std::string line;
    for (;;) {
      if (!reader_->read_line(&line, limits_.max_line, "chunk-size line"))
        fail(ETH_RESPONSE_TRUNCATED, "connection closed before the end of the chunked body");
      eth_log(http_, kUnit, __LINE__, ETH_LOG_DETAIL, "CHUNK: %s", line.c_str());
      const size_t size = parse_chunk_size(line);
      if (size == 0) break;
      if (size > limits_.max_body - body.size())
        fail(ETH_RESPONSE_TOO_LARGE,
             "chunked body exceeds the limit of " + std::to_string(limits_.max_body) + " bytes");
      const size_t chunk_start = body.size();
      if (!reader_->read_exact(size, &body))
        fail(ETH_RESPONSE_TRUNCATED,
             "connection closed inside a chunk of " + std::to_string(size) + " bytes");
      if (!out_->gzip)
        eth_log_dump(http_, kUnit, __LINE__, ETH_LOG_DETAIL,
                     reinterpret_cast<const unsigned char*>(body.data() + chunk_start), size,
                     "Respose Body Chunk (%d)", static_cast<int>(size));
      if (!reader_->read_line(&line, limits_.max_line, "line after chunk data"))
        fail(ETH_RESPONSE_TRUNCATED, "connection closed after a chunk's data");
      if (!line.empty())
        fail(ETH_RESPONSE_MALFORMED, "chunk data not followed by CRLF: " + excerpt(line));
    }
    read_trailers();
    eth_log(http_, kUnit, __LINE__, ETH_LOG_DETAIL, "Total Data (Chunked): %d",
            static_cast<int>(std::min<size_t>(body.size(), INT_MAX)));
  }

  // Hexadecimal size; extensions after ';' (or white space before them) are ignored.
  size_t parse_chunk_size(std::string_view line) const {
    size_t size = 0;
    size_t digits = 0;
    for (; digits < line.size(); ++digits) {
      const char c = line[digits];
      int value;
      if (is_digit(c))
        value = c - '0';
      else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
      else
        break;
      if (size > (limits_.max_body >> 4))
        fail(ETH_RESPONSE_TOO_LARGE,
             "chunk size exceeds the limit of " + std::to_string(limits_.max_body) + " bytes");
      size = size * 16 + static_cast<size_t>(value);
    }
    const std::string_view rest = line.substr(digits);
    if (digits == 0 || (!rest.empty() && rest[0] != ';' && rest[0] != ' ' && rest[0] != '\t'))
      fail(ETH_RESPONSE_MALFORMED, "invalid chunk-size line: " + excerpt(line));
    return size;
  }

  // Trailer fields after the last chunk are read and dropped; an empty line ends them.
  void read_trailers() {
    std::string line;
    for (size_t count = 0;; ++count) {
      if (!reader_->read_line(&line, limits_.max_line, "trailer line"))
        fail(ETH_RESPONSE_TRUNCATED, "connection closed before the end of the chunked body");
      if (line.empty()) return;
      if (count >= limits_.max_header_lines)
        fail(ETH_RESPONSE_TOO_LARGE,
             "more than " + std::to_string(limits_.max_header_lines) + " trailer lines");
      eth_log(http_, kUnit, __LINE__, ETH_LOG_CONTINUATION, "%s", line.c_str());
    }
  }

  void gunzip_body() {
    std::string& body = out_->body;
    const auto* bytes = reinterpret_cast<const unsigned char*>(body.data());
    eth_log(http_, kUnit, __LINE__, ETH_LOG_DETAIL, "GZIP data, inflating");
    std::string inflated;
    const EthGzipResult result = eth_gunzip(bytes, body.size(), limits_.max_body, &inflated);
    if (result.status == EthGzipStatus::bad_magic) {
      const auto byte_at = [&](size_t i) { return i < body.size() ? bytes[i] : 0u; };
      eth_log(http_, kUnit, __LINE__, ETH_LOG_ERROR, "Incorrect gzip header %x,%x,%x", byte_at(0),
              byte_at(1), byte_at(2));
    } else {
      eth_log(http_, kUnit, __LINE__, ETH_LOG_DETAIL, "GZIP data, Original Size %d",
              static_cast<int>(result.declared_size));
    }
    switch (result.status) {
      case EthGzipStatus::ok:
        break;
      case EthGzipStatus::no_memory:
        eth_log(http_, kUnit, __LINE__, ETH_LOG_ERROR, "Failed to allocate %d bytes",
                static_cast<int>(result.declared_size));
        fail(ETH_RESPONSE_NO_MEMORY, "cannot decode gzip body: " + result.message);
      case EthGzipStatus::too_large:
        fail(ETH_RESPONSE_TOO_LARGE, "cannot decode gzip body: " + result.message);
      default:
        if (result.zlib_code != 0)
          eth_log(http_, kUnit, __LINE__, ETH_LOG_ERROR, "inflate return %d\n", result.zlib_code);
        fail(ETH_RESPONSE_BAD_GZIP, "cannot decode gzip body: " + result.message);
    }
    body = std::move(inflated);
    eth_log_dump(http_, kUnit, __LINE__, ETH_LOG_DETAIL,
                 reinterpret_cast<const unsigned char*>(body.data()), body.size(),
                 "Respose Body (after inflate)");
  }

  EthHttpContext* http_;
  Reader* reader_;
  const EthResponseLimits& limits_;
  EthResponse* out_;
  size_t header_lines_ = 0;  // lines of all heads so far, interim responses included
};

// Sets the context's last error (whole UTF-8 characters, at most kMaxErrorText bytes).
void set_last_error(EthHttpContext* http, std::string message) {
  if (message.size() > kMaxErrorText) {
    size_t cut = kMaxErrorText;
    while (cut > 0 && (static_cast<unsigned char>(message[cut]) & 0xC0) == 0x80) --cut;
    message.resize(cut);
  }
  http->last_error = std::move(message);
}

int failed(EthHttpContext* http, EthResponse* out, int code, std::string message) noexcept {
  try {
    if (out != nullptr) {
      *out = EthResponse{};
      out->context = http;
    }
    set_last_error(http, std::move(message));
    eth_log(http, kUnit, __LINE__, ETH_LOG_ERROR, "%s", http->last_error.c_str());
  } catch (...) {
    // Out of memory while reporting: the result code still tells what happened.
  }
  return code;
}

}  // namespace

int eth_read_response_limited(EthHttpContext* http, EthByteSource* source,
                              const EthResponseLimits& limits, EthResponse* out) noexcept {
  if (http == nullptr) return ETH_RESPONSE_BAD_ARGUMENT;
  try {
    if (source == nullptr || source->read == nullptr || out == nullptr) {
      set_last_error(http, "no byte source or response record to read the response into");
      return ETH_RESPONSE_BAD_ARGUMENT;
    }
    *out = EthResponse{};
    out->context = http;
    http->last_error.clear();
    eth_log(http, kUnit, __LINE__, ETH_LOG_DETAIL, "Reading Response");
    Reader reader(http, source);
    ResponseParser(http, &reader, limits, out).run();
    return ETH_RESPONSE_OK;
  } catch (ResponseFailure& failure) {
    return failed(http, out, failure.code, std::move(failure.message));
  } catch (const std::bad_alloc&) {
    return failed(http, out, ETH_RESPONSE_NO_MEMORY, "out of memory while reading the response");
  } catch (...) {
    return failed(http, out, ETH_RESPONSE_MALFORMED, "unexpected failure reading the response");
  }
}

int eth_read_response(EthHttpContext* http, EthByteSource* source, EthResponse* out) noexcept {
  return eth_read_response_limited(http, source, EthResponseLimits{}, out);
}
