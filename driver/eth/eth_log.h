// Log records of the Ethereum backend: mode filtering, the record header,
// the record formatter, byte dumps, file naming and the in-memory ring that
// is written out when an error record arrives.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <mutex>
#include <string>

// Record modes and log-mode bits.
enum EthLogMode : int {
  ETH_LOG_ENTRY = 1,
  ETH_LOG_EXIT = 2,
  ETH_LOG_DETAIL = 4,
  ETH_LOG_ERROR = 8,
  ETH_LOG_PKTDUMP = 16,
  ETH_LOG_PER_THREAD = 32,      // one file per process and thread
  ETH_LOG_RING = 64,            // hold records in memory until an error record
  ETH_LOG_CONTINUATION = 4096,  // "+" records, shown with DETAIL
};

constexpr int ETH_HTTP_CONTEXT_TAG = 27216;  // first field of an HTTP context
constexpr int ETH_REQUEST_TAG = 27217;       // first field of a request object

struct EthHttpContext;  // eth_context.h

// The leading fields every request object starts with, so the log can find its context.
struct EthRequestHeader {
  int tag = ETH_REQUEST_TAG;          // always ETH_REQUEST_TAG
  EthHttpContext* context = nullptr;  // the HTTP context the request belongs to
};

constexpr size_t ETH_LOG_RECORD_SIZE = 2048;   // largest record, terminating NUL included
constexpr size_t ETH_LOG_RING_SLOTS = 100000;  // records the memory ring holds

// The logging state an HTTP context carries.
struct EthLogState {
  int mode = 0;      // log mode bits, 0 = off
  std::string file;  // log file base name ("" = standard error)
  std::mutex lock;   // held while a record is formatted and written
  // Secrets that must never reach a record: each is replaced by "****" wherever it appears.
  std::string secrets[4];
};

// Resolves a context pointer (an HTTP context or a request object) to its log state (the log
// owner's for a context that has one) and whether it is the HTTP context itself; null for a null
// pointer or an unknown tag.
EthLogState* eth_log_state_of(const void* context, bool* is_http_context);

// Writes one record when `mode` passes the filter of the context's log mode.
void eth_log(const void* context, const char* unit, int line, int mode, const char* format, ...);
// Writes one record followed by a hex dump of `bytes`, only when the log mode has bit 16.
void eth_log_dump(const void* context, const char* unit, int line, int mode,
                  const unsigned char* bytes, size_t count, const char* format, ...);
// The record formatter (%d %u %x %X %c %l %p %s %q %Q %T %S %r); returns characters written.
int eth_format(char* buffer, size_t capacity, const char* format, va_list args);
// The record formatter with variadic arguments.
int eth_format_text(char* buffer, size_t capacity, const char* format, ...);
// The record formatter that also writes "****" for every non-empty text of `secrets` found
// in a text argument.
int eth_format_masked(char* buffer, size_t capacity, const std::string* secrets,
                      size_t secret_count, const char* format, va_list args);
// Replaces every occurrence of each non-empty text of `secrets` in `text` by "****".
void eth_mask_secrets(std::string& text, const std::string* secrets, size_t secret_count);
// The file a record goes to: `base`, or "base.PPPPPPPP.TTTTTTTT" (process and thread id in
// upper-case hexadecimal) when `per_thread`.
std::string eth_log_file_name(const std::string& base, bool per_thread);
// Drops every record held in the memory ring and forgets the context it dumps to.
void eth_log_ring_clear();
// Number of records the memory ring holds now.
size_t eth_log_ring_size();
// Log mode from the "logging" option text: yes/true/on 31, onerror/error 95, process 63,
// no/off 0, otherwise a C-notation integer; "" gives 0.
int eth_log_mode_from_option(const char* text);
