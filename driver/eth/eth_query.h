// Scans of the Ethereum backend: a scan makes the JSON-RPC calls its restrictions on the
// table's parameter columns give (eth_params.h), and the `result` of each becomes rows, in
// call order, that fetch walks and get_data converts.
#pragma once

#include <jansson.h>
#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "driver/dal/sqi/sqi.h"
#include "driver/eth/eth_context.h"
#include "driver/eth/eth_params.h"
#include "driver/eth/eth_request.h"
#include "driver/eth/eth_response.h"
#include "driver/eth/eth_wait.h"
#include "support/value.h"

struct EthTable;  // eth_tables.h

// A 429 answer is retried at most this many times; then its error pairs are posted.
constexpr int ETH_RATE_LIMIT_MAX_RETRIES = 5;
// A 429 whose Retry-After asks for longer than this fails at once.
constexpr int ETH_RATE_LIMIT_MAX_WAIT_SECONDS = 60;

// The state of one data scan, owned by its statement.
struct EthQuery {
  const EthTable* table = nullptr;  // the table being read
  EthRequest request;               // the request of the last call made on lane 0
  std::vector<EthCall> calls;       // the calls made, in row order (params owned)
  size_t call = 0;                  // index in `calls` of the current row's call
  json_t* rows = nullptr;           // the rows of every call: row values (owned)
  size_t row_count = 0;             // number of rows
  size_t row = 0;                   // current row, 1-based (0 before the first fetch)
  size_t element = 0;               // current element of a child table's array, 1-based
  bool end = false;                 // fetch has run past the last row
  int64_t total_count = 0;          // X-Total-Count of the replies, summed
  int read_column = 0;              // column being read in pieces (0 = none)
  size_t read_offset = 0;           // characters of that column already handed out
  std::string piece_text;           // text made for a non-string value being read
  bool piece_text_ready = false;    // piece_text holds read_column's text
};

// One error pair gathered from a failed response: the two texts of "Error <%s: %s>".
using EthErrorPair = std::pair<std::string, std::string>;

// Runs the call for a scan of `table` with the given restrictions (a negative count is
// taken by its absolute value). SQI_OK with rows ready (possibly none), SQI_ERROR with a
// diagnostic posted, SQI_NOT_FOUND for an unknown table.
int eth_start_scan(SqiStmt stmt, const DalTable* table, const int* column_usage, const int* key_map,
                   int restriction_count, Restriction* const* restrictions);
// How eth_run_calls treats a call that fails.
enum class EthRunMode : int {
  report,    // post the first failure (in call order) and return SQI_ERROR (today's behaviour)
  prefetch,  // post nothing: a failing call is marked `failed` with no rows, a failure that ends
             // the run (time-out, cancel, transport) marks every call not yet answered failed;
             // returns SQI_OK
};
// Makes every call of `query` (its table and calls set, no rows yet) for `stmt`: JSON-RPC batches
// of up to the connection's batch_size calls while the endpoint takes them (a refusal is
// remembered on the connection and logged once; the calls then go one at a time), a call a
// batch reply left out alone, and the rows of the calls joined in call order with each call's
// row_end set. Up to the connection's max_connections requests are in flight at once, each on a
// lane of its own (eth_lanes.h); the rows and the error reported are those the calls made one
// after another would give. A call's JSON-RPC error fails the scan with the node's message, and,
// when the scan makes several calls, which call it was and its params. SQI_OK, or SQI_ERROR
// posted. Throws std::bad_alloc.
int eth_run_calls(EthStmt* stmt, EthQuery* query, EthRunMode mode = EthRunMode::report);
// The limits every exchange of `stmt` runs under: its deadline and cancel flag, the
// connection's login, connection and network time-outs.
EthLimits eth_statement_limits(const EthStmt& stmt);
// Frees a scan's request, reply, arrays and texts; null is ignored.
void eth_query_free(EthQuery* query);
// The parameter texts of the call the current row came from.
const std::vector<std::string>& eth_row_param_texts(const EthQuery* query);
// Moves to the next row (or array element of a child table): SQI_OK, or SQI_NO_DATA.
int eth_query_fetch(EthQuery* query);
// Reads column `column` (1-based) of the current row as C type `c_type` (see
// SqiOperations::get_data); character values longer than the buffer come in pieces (SQI_INFO).
int eth_query_get_data(EthStmt* stmt, int column, int c_type, void* buffer, SQLLEN length,
                       SQLLEN* indicator);

// The text a restriction value gives a parameter ("" for NULL), with the environment's
// time zone for timestamps; false when a long value cannot be read.
bool eth_value_text(const QuillValue* value, const EthEnv* env, std::string* out);
// The message naming required parameter columns that were not given; "" when none is missing.
std::string eth_missing_parameters_message(const std::vector<std::string>& names);
// Parses a JSON document keeping every integer literal too large for 64 bits exactly, as a
// JSON string of its digits (Jansson would refuse it). Null with `error` filled on failure.
json_t* eth_json_loads_exact(const std::string& text, json_error_t* error);

// Bounds on the memory of a decoded reply: its JSON values may take at most
// ETH_DECODE_FACTOR times the reply's size plus ETH_DECODE_SLACK_BYTES, and never more than
// ETH_DECODE_MAX_BYTES. Small values cost Jansson far more than their text (a one-digit number
// takes 48 bytes), so a reply made of millions of them is refused before it is decoded.
constexpr size_t ETH_DECODE_FACTOR = 8;
constexpr size_t ETH_DECODE_SLACK_BYTES = size_t{16} << 20;
constexpr size_t ETH_DECODE_MAX_BYTES = size_t{1} << 30;

// Why a reply was not decoded.
struct EthDecodeFailure {
  bool too_large = false;  // refused for the memory it would take (the message says so)
  std::string message;     // what to post when too_large; the parser's text otherwise
};
// The bytes Jansson's values for the JSON `text` would take, estimated from the text alone
// (strings, numbers, arrays, object members and the parser's copy of the longest token) with a
// model of the library's allocations that errs on the high side. `text` need not be valid.
size_t eth_json_decoded_estimate(std::string_view text);
// The decoded-size limit for a reply of `size` bytes.
size_t eth_decode_limit(size_t size);
// Parses a reply body as eth_json_loads_exact does once its estimated decoded size is within
// eth_decode_limit; null with `failure` filled otherwise.
json_t* eth_decode_reply(const std::string& body, EthDecodeFailure* failure);
// The error pairs of a failed response; false when none can be gathered.
bool eth_error_pairs(const EthResponse& response, std::vector<EthErrorPair>* pairs);
// Fields of a timestamp text ("YYYY-MM-DDTHH:MM:SS[.f][Z|+hh:mm|-hh:mm]"), moved by a zone
// offset with the environment's zone `tz_hours`/`tz_minutes`; the fraction is always 0.
void eth_timestamp_from_text(const char* text, int tz_hours, int tz_minutes,
                             SQL_TIMESTAMP_STRUCT* out);
