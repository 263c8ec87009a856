// Fuzz target of the HTTP response reader, the gzip decoder and the reply decoder: the input is
// served as the bytes of one response, in pieces whose size the first input byte picks, its body
// decoded as a JSON-RPC reply within the decoded-size limit (the quick JSON reader checked against
// Jansson on it), and the input also decoded directly as gzip data.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/eth/eth_context.h"
#include "driver/eth/eth_gzip.h"
#include "driver/eth/eth_json_read.h"
#include "driver/eth/eth_query.h"
#include "driver/eth/eth_response.h"

namespace {

// Serves a memory buffer in pieces of at most `piece` bytes, then reports an orderly close.
struct MemorySource {
  const uint8_t* data;
  size_t size;
  size_t piece;
  size_t offset = 0;

  static long read(void* state, unsigned char* buffer, size_t capacity) {
    auto* self = static_cast<MemorySource*>(state);
    size_t count = self->size - self->offset;
    if (count > capacity) count = capacity;
    if (count > self->piece) count = self->piece;
    memcpy(buffer, self->data + self->offset, count);
    self->offset += count;
    return static_cast<long>(count);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // Small limits keep each run fast while still reaching every limit check.
  EthResponseLimits limits;
  limits.max_body = 1 << 20;
  limits.max_line = 4096;
  limits.max_header_lines = 64;
  limits.max_cookies = 8;

  EthHttpContext http;
  EthResponse response;
  MemorySource source{data + 1, size - 1, static_cast<size_t>(data[0] % 32) + 1};
  EthByteSource bytes{&source, &MemorySource::read};
  const int result = eth_read_response_limited(&http, &bytes, limits, &response);
  if (result == ETH_RESPONSE_OK) {
    if (response.body.size() > limits.max_body) __builtin_trap();
    EthDecodeFailure failure;
    json_t* reply = eth_decode_reply(response.body, &failure);
    // A refused reply says so; an accepted one was estimated within the limit.
    if (failure.too_large && reply != nullptr) __builtin_trap();
    if (reply != nullptr &&
        eth_json_decoded_estimate(response.body) > eth_decode_limit(response.body.size()))
      __builtin_trap();
    json_decref(reply);
    // The quick reader builds what Jansson builds, or leaves the text to Jansson; only an
    // integer beyond 64 bits, which it keeps as a string, is one Jansson refuses.
    if (json_t* quick = eth_json_read_plain(response.body)) {
      json_error_t error;
      json_t* slow =
          json_loadb(response.body.data(), response.body.size(), JSON_DECODE_ANY, &error);
      if (slow == nullptr && std::strstr(error.text, "too big") == nullptr) __builtin_trap();
      char* quick_text = json_dumps(quick, JSON_ENCODE_ANY);
      char* slow_text = slow ? json_dumps(slow, JSON_ENCODE_ANY) : nullptr;
      if (quick_text && slow_text && std::strcmp(quick_text, slow_text) != 0) __builtin_trap();
      free(quick_text);
      free(slow_text);
      json_decref(slow);
      json_decref(quick);
    }
  } else if (http.last_error.empty() || http.last_error.size() > 1023 || !response.body.empty()) {
    __builtin_trap();
  }
  if (http.cookies.size() > limits.max_cookies) __builtin_trap();

  std::string inflated;
  const EthGzipResult gzip = eth_gunzip(data, size, limits.max_body, &inflated);
  if (inflated.size() > limits.max_body) __builtin_trap();
  if (gzip.status != EthGzipStatus::ok && !inflated.empty()) __builtin_trap();
  return 0;
}
