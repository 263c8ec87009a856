// Starting a scan of an Ethereum table: the requests of its calls (JSON-RPC batches of up to
// `batch_size` calls, or one at a time once the endpoint refused a batch), the exchange with
// its bounded rate-limit wait, the handling of each response status and the decoding of the
// replies into rows in call order.
#include "driver/eth/eth_query.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "driver/dal/sqi/restriction.h"
#include "driver/eth/eth_batch.h"
#include "driver/eth/eth_catalog.h"
#include "driver/eth/eth_connect.h"
#include "driver/eth/eth_pace.h"
#include "driver/eth/eth_sqi.h"
#include "driver/eth/eth_tables.h"

static const char* const kUnit = "eth_query.cpp";

namespace {

struct QueryDeleter {
  void operator()(EthQuery* query) const { eth_query_free(query); }
};
using QueryPtr = std::unique_ptr<EthQuery, QueryDeleter>;

// Posts HY000 with a native error number on the statement's target.
void post(EthStmt* stmt, int native_error, const std::string& message) {
  EthEnv* env = stmt->env;
  if (!env || !env->service) return;
  SqiPostError record{stmt->target ? stmt->target : env->target, ETH_ORIGIN, native_error, "HY000",
                      message.c_str()};
  env->service(SQI_SERVICE_POST_ERROR, &record);
}

std::string format(const char* pattern, const char* a, const char* b = "") {
  char buffer[2048];
  std::snprintf(buffer, sizeof buffer, pattern, a, b);
  return buffer;
}

// "%f" without trailing zeros, and without a trailing point.
std::string double_text(double number) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, "%f", number);
  std::string text = buffer;
  if (text.find('.') != std::string::npos) {
    while (!text.empty() && text.back() == '0') text.pop_back();
    if (!text.empty() && text.back() == '.') text.pop_back();
  }
  return text;
}

bool long_text(const LongBuffer* buffer, std::string* out) {
  int64_t length = long_buffer_length(buffer);
  if (length < 0) return true;  // NULL: no text
  out->resize(static_cast<size_t>(length));
  uint64_t offset = 0;
  while (offset < static_cast<uint64_t>(length)) {
    int64_t got = read_long_buffer_at(buffer, offset, out->data() + offset,
                                      static_cast<size_t>(length) - offset);
    if (got <= 0) return false;
    offset += static_cast<uint64_t>(got);
  }
  return true;
}

void post_pairs(EthStmt* stmt, const std::vector<EthErrorPair>& pairs) {
  for (const EthErrorPair& pair : pairs)
    post(stmt, 0, format("Error <%s: %s>", pair.first.c_str(), pair.second.c_str()));
}

bool is_empty_result(json_t* result) {
  if (!result || json_is_null(result)) return true;
  if (json_is_object(result)) return json_object_size(result) == 0;
  if (json_is_array(result)) return json_array_size(result) == 0;
  if (json_is_string(result)) return json_string_length(result) == 0;
  return false;
}

// Turns `reply` into `*rows` (a new reference) by the table's result shape; SQI_ERROR for a
// JSON-RPC error, posted with the node's message and `call_note` after it.
int decode_reply(EthStmt* stmt, const EthTable& table, json_t* reply, json_t** rows,
                 const std::string& call_note = "") {
  if (json_t* error = json_object_get(reply, "error")) {
    const char* message = json_string_value(json_object_get(error, "message"));
    int code = static_cast<int>(json_integer_value(json_object_get(error, "code")));
    post(stmt, code, (message ? message : "Error without message") + call_note);
    return SQI_ERROR;
  }
  json_t* result = json_object_get(reply, "result");
  int flags = table.flags;
  if (!(flags & (ETH_TABLE_SCALAR_RESULT | ETH_TABLE_OBJECT_RESULT)) && json_is_array(result)) {
    // The reply's own array is the rows: a copy of its slots would cost memory in proportion.
    *rows = json_incref(result);
    return SQI_OK;
  }
  *rows = json_array();
  if (!*rows) throw std::bad_alloc();
  if (flags & ETH_TABLE_SCALAR_RESULT) {
    json_t* row = json_object();
    if (!row) throw std::bad_alloc();
    if (result) json_object_set(row, "result", result);
    json_array_append_new(*rows, row);
  } else if (!is_empty_result(result)) {
    // A single value where a list was expected is still one row, never silently dropped.
    json_array_append(*rows, result);
  }
  return SQI_OK;
}

// A 200 response: parse the reply and decode it into `*rows` (a new reference).
int take_reply(EthStmt* stmt, EthQuery* query, const EthResponse& response, json_t** rows,
               const std::string& call_note) {
  EthDecodeFailure failure;
  json_t* reply = eth_decode_reply(response.body, &failure);
  if (!reply) {
    if (failure.too_large) {
      post(stmt, 0, failure.message);
      return SQI_ERROR;
    }
    std::vector<EthErrorPair> pairs;
    if (!eth_error_pairs(response, &pairs) || pairs.empty())
      post(stmt, 0, "fails to decode reply");
    else
      post_pairs(stmt, pairs);
    return SQI_ERROR;
  }
  query->total_count += response.total_count;
  int rc = decode_reply(stmt, *query->table, reply, rows, call_note);
  json_decref(reply);
  return rc;
}

// Waits out a 429's Retry-After unless the statement is canceled or its time-outs (the
// ODBC attribute, or the `query_timeout` key counted over the waits) would pass first: true to
// retry, false when the rate-limit error is to be reported (or the cancel already was).
bool wait_out_rate_limit(EthStmt* stmt, const EthLimits& limits, int wait, int* waited,
                         bool* canceled) {
  EthEnv* env = stmt->env;
  if (env->query_timeout > 0 && *waited + wait > env->query_timeout) return false;
  int64_t now = sqi_steady_now_ns();
  int64_t until = now + static_cast<int64_t>(wait) * 1000000000;
  if (limits.statement_deadline_ns > 0 && until >= limits.statement_deadline_ns) return false;
  EthHttpContext* http = &env->connection->http;
  eth_log(http, kUnit, __LINE__, ETH_LOG_DETAIL, "Minute count exceeded, wait for %d seconds",
          wait);
  // The limit is the endpoint's for the whole connection: its other statements hold back too.
  eth_pace_pause(&env->connection->pace, until);
  // The connection's lock is not held meanwhile: other statements may use the connection. A
  // pause is no exchange, so only the statement's own limits end it early.
  EthLimits own = limits;
  own.connection_seconds = 0;
  own.network_seconds = 0;
  EthExchangeClock clock = eth_clock_for(own, now);
  EthWaitEnd end = eth_pause(clock, until);
  if (end != EthWaitEnd::none) {
    EthFailure failure = eth_wait_failure(clock, end);
    eth_post_error(env, stmt->target, failure.sqlstate, failure.message.c_str());
    *canceled = true;
    return false;
  }
  *waited += wait;
  return true;
}

// Waits for the start the connection's pace gives the next request; false when the statement's
// own limits ended the wait (posted).
bool wait_for_turn(EthStmt* stmt, const EthLimits& limits) {
  const int64_t now = sqi_steady_now_ns();
  const int64_t start = eth_pace_reserve(&stmt->env->connection->pace, now);
  if (start <= now) return true;
  EthLimits own = limits;  // no exchange runs meanwhile: only the statement's limits count
  own.connection_seconds = 0;
  own.network_seconds = 0;
  EthExchangeClock clock = eth_clock_for(own, now);
  EthWaitEnd end = eth_pause(clock, start);
  if (end == EthWaitEnd::none) return true;
  EthFailure failure = eth_wait_failure(clock, end);
  eth_post_error(stmt->env, stmt->target, failure.sqlstate, failure.message.c_str());
  return false;
}

// Sends `body`, waiting out rate limits: SQI_OK with the last response in `*response` (any
// status but a 429 that was waited out), or SQI_ERROR posted.
int send_body(EthStmt* stmt, EthQuery* query, const std::string& body, EthResponse* response) {
  EthEnv* env = stmt->env;
  const EthLimits limits = eth_statement_limits(*stmt);
  int waited = 0;
  for (int retries = 0;; ++retries) {
    *response = EthResponse{};
    if (!wait_for_turn(stmt, limits)) return SQI_ERROR;
    EthFailure failure;
    if (eth_round_trip(env->connection, limits, body, &query->request, response, &failure) != 0) {
      // A reply that never came or broke off is an error, never an empty result.
      eth_post_error(env, stmt->target, failure.sqlstate, failure.message.c_str());
      return SQI_ERROR;
    }
    int wait = response->retry_after;
    bool stopped = false;
    if (response->status_code == 429 && wait <= ETH_RATE_LIMIT_MAX_WAIT_SECONDS &&
        retries < ETH_RATE_LIMIT_MAX_RETRIES &&
        wait_out_rate_limit(stmt, limits, wait, &waited, &stopped))
      continue;
    return stopped ? SQI_ERROR : SQI_OK;
  }
}

// Posts the error pairs of a response whose status is neither 200 nor 204.
void post_status(EthStmt* stmt, const EthResponse& response) {
  std::vector<EthErrorPair> pairs;
  eth_error_pairs(response, &pairs);
  if (pairs.empty())
    pairs.emplace_back("return code " + std::to_string(response.status_code), response.reason);
  post_pairs(stmt, pairs);
}

// What a failing call's message ends with: the table and the parameter values the call was made
// with and, when the scan makes several calls, which call it was and the params it sent, so
// that the value that failed can be found.
std::string call_note(const EthQuery& query, size_t index) {
  const EthTable& table = *query.table;
  const EthCall& call = query.calls[index];
  std::string note = " (" + table.name;
  for (size_t position = 0; position < call.param_texts.size(); ++position) {
    if (call.param_texts[position].empty()) continue;
    for (const EthColumn& column : table.columns) {
      if (!(column.flags & ETH_COLUMN_PARAM) || column.param_position != static_cast<int>(position))
        continue;
      note += ", " + column.name + " '" + call.param_texts[position] + "'";
      break;
    }
  }
  if (query.calls.size() < 2) return note + ")";
  char* params = json_dumps(call.params, JSON_COMPACT | JSON_ENCODE_ANY);
  note += "; call " + std::to_string(index + 1) + " of " + std::to_string(query.calls.size()) +
          ", params " + (params ? params : "[]") + ")";
  free(params);
  return note;
}

// Makes call `index` of the scan alone and gives its rows in `*rows` (a new reference); a 204
// gives none. SQI_OK, or SQI_ERROR posted.
int run_call(EthStmt* stmt, EthQuery* query, size_t index, json_t** rows) {
  const EthTable& table = *query->table;
  EthResponse response;
  int rc =
      send_body(stmt, query, eth_call_body(table.method, query->calls[index].params, 1), &response);
  if (rc != SQI_OK) return rc;
  if (response.status_code == 200)
    return take_reply(stmt, query, response, rows, call_note(*query, index));
  if (response.status_code == 204) {
    *rows = json_array();
    if (!*rows) throw std::bad_alloc();
    return SQI_OK;
  }
  post_status(stmt, response);
  return SQI_ERROR;
}

constexpr int kBatchRefused = 1;  // run_batch: the endpoint did not take the batch

// The rows of each call of a scan, owned until they join the scan's rows.
struct CallRows {
  std::vector<json_t*> rows;  // one slot per call, null until the call has run
  ~CallRows() {
    for (json_t* value : rows) json_decref(value);
  }
};

// Sends calls [first, first + count) of the scan as one batch and decodes each call's reply
// into its slot of `call_rows`; calls the reply left out are made alone. SQI_OK, SQI_ERROR
// posted (a call's error carries its note), or kBatchRefused (recorded on the connection).
int run_batch(EthStmt* stmt, EthQuery* query, size_t first, size_t count, CallRows* call_rows) {
  const EthTable& table = *query->table;
  EthConnection* connection = stmt->env->connection;
  std::vector<json_t*> params;
  for (size_t i = 0; i < count; ++i) params.push_back(query->calls[first + i].params);
  EthResponse response;
  int rc = send_body(stmt, query, eth_batch_body(table.method, params), &response);
  if (rc != SQI_OK) return rc;
  if (response.status_code == 429) {  // a rate limit is no refusal: it was waited out in vain
    post_status(stmt, response);
    return SQI_ERROR;
  }
  std::string reason;
  std::vector<json_t*> replies;
  EthBatchVerdict verdict = EthBatchVerdict::refused;
  if (response.status_code != 200) {
    reason = "HTTP status " + std::to_string(response.status_code);
  } else {
    EthDecodeFailure failure;
    json_t* reply = eth_decode_reply(response.body, &failure);
    if (!reply && failure.too_large) {
      post(stmt, 0, failure.message);
      return SQI_ERROR;
    }
    if (!reply) {
      reason = "the reply is not JSON";
    } else {
      try {
        verdict = eth_match_batch(reply, count, &replies, &reason);
      } catch (...) {
        json_decref(reply);
        throw;
      }
      json_decref(reply);
    }
  }
  if (verdict == EthBatchVerdict::refused) {
    connection->batches_refused = true;
    eth_log(&connection->http, kUnit, __LINE__, ETH_LOG_ERROR,
            "The endpoint refused a batch of %d calls (%s); calls go one at a time on this "
            "connection",
            static_cast<int>(count), reason.c_str());
    return kBatchRefused;
  }
  query->total_count += response.total_count;
  CallRows answers;
  answers.rows = std::move(replies);
  for (size_t i = 0; i < count; ++i) {
    json_t*& slot = call_rows->rows[first + i];
    json_t* reply = answers.rows[i];
    rc = reply ? decode_reply(stmt, table, reply, &slot, call_note(*query, first + i))
               : run_call(stmt, query, first + i, &slot);
    if (rc != SQI_OK) return rc;
  }
  return SQI_OK;
}

}  // namespace

EthLimits eth_statement_limits(const EthStmt& stmt) {
  EthLimits limits;
  limits.statement_deadline_ns = stmt.wait.deadline_ns;
  limits.cancel_flag = stmt.wait.cancel_flag;
  limits.connection_seconds = stmt.env->connection_timeout;
  limits.login_seconds = stmt.env->login_timeout;
  limits.network_seconds = stmt.env->connection->network_timeout;
  return limits;
}

int eth_run_calls(EthStmt* stmt, EthQuery* query) {
  EthConnection* connection = stmt->env->connection;
  const size_t total = query->calls.size();
  CallRows call_rows;
  call_rows.rows.assign(total, nullptr);
  for (size_t first = 0; first < total;) {
    size_t batch = connection->batches_refused ? 1 : static_cast<size_t>(connection->batch_size);
    size_t count = std::min(batch, total - first);
    int rc = count > 1 ? run_batch(stmt, query, first, count, &call_rows) : kBatchRefused;
    if (rc == kBatchRefused) {
      for (size_t i = first; i < first + count && rc != SQI_ERROR; ++i)
        rc = run_call(stmt, query, i, &call_rows.rows[i]);
    }
    if (rc != SQI_OK) return rc;
    first += count;
  }
  for (size_t i = 0; i < total; ++i) {
    json_t*& rows = call_rows.rows[i];
    if (!query->rows) {
      query->rows = rows;  // the only (or first) call's rows are taken as they are
      rows = nullptr;
    } else if (json_array_extend(query->rows, rows) != 0) {
      throw std::bad_alloc();
    }
    query->calls[i].row_end = json_array_size(query->rows);
  }
  return SQI_OK;
}

namespace {

int run_scan(EthStmt* stmt, const DalTable& descriptor, int count,
             Restriction* const* restrictions) {
  EthEnv* env = stmt->env;
  if (!env || !env->connection || !env->tables) {
    eth_post_error(env, stmt->target, "08003", "Connection not open");
    return SQI_ERROR;
  }
  const EthTable* table = eth_find_table(env, descriptor.name);
  if (!table) return SQI_NOT_FOUND;
  QueryPtr query(new EthQuery);
  query->table = table;
  int rc = eth_gather_calls(stmt, *table, count, restrictions, &query->calls);
  if (rc != SQI_OK) return rc;
  rc = eth_run_calls(stmt, query.get());
  if (rc != SQI_OK) return rc;
  if (!query->rows) query->rows = json_array();
  if (!query->rows) throw std::bad_alloc();
  query->row_count = json_array_size(query->rows);
  stmt->query = query.release();
  return SQI_OK;
}

}  // namespace

bool eth_value_text(const QuillValue* value, const EthEnv* env, std::string* out) {
  out->clear();
  if (!value || is_value_null(value)) return true;
  char buffer[128];
  switch (value->kind) {
    case VALUE_CHARACTER:
    case VALUE_BINARY: {
      if (!value->bytes.data) return true;
      size_t length = static_cast<size_t>(value->bytes.length < 0 ? 0 : value->bytes.length);
      if (value->kind == VALUE_CHARACTER)
        length = strnlen(value->bytes.data, static_cast<size_t>(value->bytes.capacity));
      out->assign(value->bytes.data, length);
      return true;
    }
    case VALUE_LONG_CHARACTER:
    case VALUE_LONG_BINARY:
      return !value->long_buffer || long_text(value->long_buffer, out);
    case VALUE_INTEGER:
    case VALUE_BIT:
      std::snprintf(buffer, sizeof buffer, "%d", value->payload.integer);
      break;
    case VALUE_BIGINT:
      std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(value->payload.bigint));
      break;
    case VALUE_DOUBLE:
      *out = double_text(value->payload.real);
      return true;
    case VALUE_DATE: {
      const SQL_DATE_STRUCT& d = value->payload.date;
      std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", d.year, d.month, d.day);
      break;
    }
    case VALUE_TIME: {
      const SQL_TIME_STRUCT& t = value->payload.time;
      std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", t.hour, t.minute, t.second);
      break;
    }
    case VALUE_TIMESTAMP: {
      const SQL_TIMESTAMP_STRUCT& t = value->payload.timestamp;
      int hours = env ? env->tz_hours : 0;
      int minutes = env ? env->tz_minutes : 0;
      std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", t.year,
                    t.month, t.day, t.hour, t.minute, t.second, hours > 0 ? '+' : '-',
                    std::abs(hours), std::abs(minutes));
      break;
    }
    case VALUE_NUMERIC:
      if (numeric_to_string(value, buffer, sizeof buffer) < 0) return false;
      break;
    default:
      if (value_as_text(value, buffer) < 0) return false;
      break;
  }
  *out = buffer;
  return true;
}

std::string eth_missing_parameters_message(const std::vector<std::string>& names) {
  if (names.empty()) return "";
  if (names.size() == 1) return "The column '" + names[0] + "' must be specified in the query";
  std::string text = "The columns '" + names[0] + "'";
  for (size_t i = 1; i + 1 < names.size(); ++i) text += ", '" + names[i] + "'";
  text += " and '" + names.back() + "' must be specified in the query";
  return text;
}

void eth_query_free(EthQuery* query) {
  if (!query) return;
  json_decref(query->rows);
  eth_free_calls(&query->calls);
  delete query;
}

int eth_start_scan(SqiStmt handle, const DalTable* table, const int* /*column_usage*/,
                   const int* /*key_map*/, int restriction_count,
                   Restriction* const* restrictions) {
  auto* stmt = static_cast<EthStmt*>(handle);
  if (!stmt || !table) return SQI_ERROR;
  eth_close_stmt(stmt);
  int count = restriction_count < 0 ? -restriction_count : restriction_count;
  try {
    return run_scan(stmt, *table, count, restrictions);
  } catch (const std::bad_alloc&) {
    eth_post_error(stmt->env, stmt->target, "HY001", "Memory allocation error");
  } catch (...) {
    eth_post_error(stmt->env, stmt->target, "HY000", "Query failed");
  }
  return SQI_ERROR;
}
