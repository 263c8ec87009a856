// The HTTP/1.1 response reader of the Ethereum transport: takes the status line, the headers
// that matter to the backend and the body (de-chunked and gunzipped) off a byte source, with a
// size limit on every piece so that a hostile or broken server ends the request with a clear
// error instead of exhausting memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct EthHttpContext;  // eth_context.h

constexpr int ETH_RESPONSE_TAG = 27218;  // first field of a response record

// Where response bytes come from: the transport plugs in the socket or TLS read here.
struct EthByteSource {
  void* state = nullptr;  // handed back to `read` untouched
  // Reads up to `capacity` bytes into `buffer`: the count read (> 0), 0 when the peer closed
  // the connection in order, -1 on a receive error (it may set the context's last error).
  long (*read)(void* state, unsigned char* buffer, size_t capacity) = nullptr;
};

// Size bounds of one response. The defaults carry bodies of several hundred megabytes.
struct EthResponseLimits {
  size_t max_body = size_t{256} << 20;  // bytes of the body as received and after gunzip
  size_t max_line = size_t{64} << 10;   // bytes of a status, header, chunk-size or trailer line
  size_t max_header_lines = 200;        // lines before the body, and trailer lines after it
  size_t max_cookies = 64;              // cookies the context keeps; the oldest go first
};

// Content-Type kinds.
enum EthContentKind : int {
  ETH_CONTENT_OTHER = 0,  // anything not listed below (or no Content-Type)
  ETH_CONTENT_HTML = 1,   // text/html
  ETH_CONTENT_XML = 2,    // text/xml or application/xml
  ETH_CONTENT_JSON = 3,   // application/json
};

// Results of eth_read_response; every failure also sets the context's last error.
enum EthResponseResult : int {
  ETH_RESPONSE_OK = 0,
  ETH_RESPONSE_NO_HEADERS = 1,    // the connection ended before any header line
  ETH_RESPONSE_READ_FAILED = 2,   // the byte source reported a receive error
  ETH_RESPONSE_TRUNCATED = 3,     // the connection ended inside the headers or the body
  ETH_RESPONSE_MALFORMED = 4,     // bad status line, Content-Length, chunk size or framing
  ETH_RESPONSE_TOO_LARGE = 5,     // a line, the header count or the body passed its limit
  ETH_RESPONSE_BAD_GZIP = 6,      // a gzip body that cannot be decoded
  ETH_RESPONSE_NO_MEMORY = 7,     // memory ran out
  ETH_RESPONSE_BAD_ARGUMENT = 8,  // a null context, source, read callback or output
};

// One HTTP response; all fields start empty or 0.
struct EthResponse {
  int tag = ETH_RESPONSE_TAG;            // identifies the record
  EthHttpContext* context = nullptr;     // the HTTP context the response came through
  int status_code = 0;                   // status code of the status line
  std::string reason;                    // reason phrase of the status line ("" when none)
  std::string content_type;              // Content-Type value
  int content_kind = ETH_CONTENT_OTHER;  // kind of content_type (EthContentKind)
  int64_t content_length = -1;           // Content-Length value, -1 when absent
  bool chunked = false;                  // Transfer-Encoding: chunked
  bool connection_close = false;         // Connection: close
  std::string location;                  // Location value
  bool rate_limit_minute = false;        // X-Rate-Limit-Problem value beginning "Minute"
  bool gzip = false;                     // Content-Encoding: gzip (the body is already inflated)
  int64_t total_count = 0;               // X-Total-Count value
  int retry_after = 0;                   // Retry-After seconds (0 when absent or a date)
  std::string body;                      // decoded body (std::string keeps it NUL-terminated)
};

// Reads one response from `source` into `out` with the default limits. Returns ETH_RESPONSE_OK,
// or an EthResponseResult failure with `out` emptied, `http->last_error` set and an error record
// logged. Set-Cookie headers update `http->cookies`. Never throws.
int eth_read_response(EthHttpContext* http, EthByteSource* source, EthResponse* out) noexcept;

// eth_read_response with explicit limits.
int eth_read_response_limited(EthHttpContext* http, EthByteSource* source,
                              const EthResponseLimits& limits, EthResponse* out) noexcept;
