// Making the calls of a scan: JSON-RPC batches of up to `batch_size` calls (one call at a time once
// the endpoint refused a batch), up to `max_connections` requests in flight together, each on a
// lane of its own, every exchange with its bounded rate-limit wait, the handling of each response
// status, the decoding of the replies, and the joining of the calls' rows in call order.
//
// Work goes out in units (a batch, or a single call) handed to the workers in call order. Workers
// never post: each gathers the diagnostics of its earliest failure, and the calling thread, once
// every worker has ended, posts the one the calls made one after another would have met first.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "driver/eth/eth_batch.h"
#include "driver/eth/eth_catalog.h"
#include "driver/eth/eth_connect.h"
#include "driver/eth/eth_lanes.h"
#include "driver/eth/eth_pace.h"
#include "driver/eth/eth_query.h"
#include "driver/eth/eth_sqi.h"
#include "driver/eth/eth_tables.h"

namespace {

const char* const kUnit = "eth_run_calls.cpp";
constexpr size_t kNoCall = std::numeric_limits<size_t>::max();
constexpr size_t kPairMessageMax = 2047;  // longest message made of a response's error pair

// A diagnostic a worker gathered, posted by the calling thread once every worker has ended.
struct Diagnostic {
  std::string sqlstate;  // SQLSTATE
  int native = 0;        // native error number (the node's JSON-RPC error code)
  std::string message;   // text
};

// How a step of a scan ended.
enum class Outcome {
  ok,           // answered: the rows are in their slots
  call_failed,  // the call (or every call of the batch) failed on its own; later calls may not
  run_ended,    // a failure no later call escapes: a time-out, the cancel, the transport, a 429
  refused,      // the endpoint did not take the batch (recorded on the connection)
};

// The rows of each call of a scan, owned until they join the scan's rows.
struct CallRows {
  std::vector<json_t*> rows;  // one slot per call, null until the call has answered
  ~CallRows() {
    for (json_t* value : rows) json_decref(value);
  }
};

// Calls [first, first + count) of a scan, sent as one batch when count > 1.
struct Unit {
  size_t first = 0;  // first call
  size_t count = 0;  // number of calls
};

// The units of one scan still to hand out, in call order, and where the run stops.
class Plan {
 public:
  explicit Plan(size_t total) : total_(total) {}

  // The next unit for a worker: a call of a refused batch first, else the next calls (a batch of
  // the connection's batch_size while batches are taken). False when none is left before the stop.
  bool take(const EthConnection& connection, Unit* unit) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!singles_.empty() && *singles_.begin() < stop_at_) {
      *unit = Unit{*singles_.begin(), 1};
      singles_.erase(singles_.begin());
      return true;
    }
    if (next_ >= total_ || next_ >= stop_at_) return false;
    size_t size = connection.batches_refused ? 1 : static_cast<size_t>(connection.batch_size);
    *unit = Unit{next_, std::min(std::max<size_t>(size, 1), total_ - next_)};
    next_ += unit->count;
    return true;
  }
  // Hands the calls of a refused batch out again, one at a time and before any later call.
  void requeue(const Unit& unit) {
    std::lock_guard<std::mutex> guard(lock_);
    for (size_t call = unit.first; call < unit.first + unit.count; ++call) singles_.insert(call);
  }
  // Hands out no unit that starts at or after call `first`; the units before it still run, as
  // one of them may fail first.
  void stop_from(size_t first) {
    std::lock_guard<std::mutex> guard(lock_);
    stop_at_ = std::min(stop_at_, first);
  }

 private:
  std::mutex lock_;           // guards the fields below
  size_t total_;              // calls of the scan
  size_t next_ = 0;           // first call not handed out yet
  std::set<size_t> singles_;  // calls of refused batches still to make alone
  size_t stop_at_ = kNoCall;  // no unit starting here or later is handed out
};

// One thread's share of a scan: the lane its requests go on, what it has found out, and the
// earliest failure it met.
struct Worker {
  EthStmt* stmt = nullptr;               // the statement (read, never posted to)
  EthQuery* query = nullptr;             // the scan: its table and calls are read
  EthConnection* connection = nullptr;   // the statement's connection
  EthHttpContext* lane = nullptr;        // where this worker's requests go
  EthLimits limits;                      // the statement's limits
  EthRunMode mode = EthRunMode::report;  // whether failures are reported or marked
  Plan* plan = nullptr;                  // the units to take
  CallRows* call_rows = nullptr;         // the slots the rows of its calls go to
  EthRequest own_request;                // the request object of a worker on a lane above 0
  EthRequest* request = nullptr;         // the request object each exchange fills
  int64_t total_count = 0;               // X-Total-Count of its replies, summed
  std::vector<Diagnostic> noted;         // diagnostics of the step in progress
  size_t failed_at = kNoCall;            // the call its earliest failure is charged to
  std::vector<Diagnostic> failure;       // that failure's diagnostics
};

// Adds a diagnostic to those of the worker's step in progress.
void note(Worker& worker, const char* sqlstate, int native, std::string message) {
  worker.noted.push_back(Diagnostic{sqlstate, native, std::move(message)});
}

// Notes each error pair as "Error <%s: %s>", cut to kPairMessageMax characters.
void note_pairs(Worker& worker, const std::vector<EthErrorPair>& pairs) {
  for (const EthErrorPair& pair : pairs) {
    std::string text = "Error <" + pair.first + ": " + pair.second + ">";
    if (text.size() > kPairMessageMax) text.resize(kPairMessageMax);
    note(worker, "HY000", 0, std::move(text));
  }
}

// Settles a failed step charged to call `first`. In report mode the failure is kept when it is
// the worker's earliest, and no unit after it starts. In prefetch mode a failed call is simply
// left without rows, while a failure that ends the run stops every unit not yet started. True
// when the remaining calls of the unit are still to be made.
bool settle(Worker& worker, size_t first, Outcome outcome) {
  std::vector<Diagnostic> noted;
  noted.swap(worker.noted);
  if (worker.mode == EthRunMode::prefetch) {
    if (outcome == Outcome::call_failed) return true;
    worker.plan->stop_from(0);
    return false;
  }
  if (first < worker.failed_at) {
    worker.failed_at = first;
    worker.failure.swap(noted);
  }
  worker.plan->stop_from(first);
  return false;
}

// Whether a call's `result` holds no row: missing, null, or an empty object, array or string.
bool is_empty_result(json_t* result) {
  if (!result || json_is_null(result)) return true;
  if (json_is_object(result)) return json_object_size(result) == 0;
  if (json_is_array(result)) return json_array_size(result) == 0;
  if (json_is_string(result)) return json_string_length(result) == 0;
  return false;
}

// Turns `reply` into `*rows` (a new reference) by the table's result shape; call_failed for a
// JSON-RPC error, noted with the node's message and `call_note` after it.
Outcome decode_reply(Worker& worker, json_t* reply, json_t** rows, const std::string& call_note) {
  if (json_t* error = json_object_get(reply, "error")) {
    const char* message = json_string_value(json_object_get(error, "message"));
    int code = static_cast<int>(json_integer_value(json_object_get(error, "code")));
    note(worker, "HY000", code, (message ? message : "Error without message") + call_note);
    return Outcome::call_failed;
  }
  json_t* result = json_object_get(reply, "result");
  int flags = worker.query->table->flags;
  if (!(flags & (ETH_TABLE_SCALAR_RESULT | ETH_TABLE_OBJECT_RESULT)) && json_is_array(result)) {
    // The reply's own array is the rows: a copy of its slots would cost memory in proportion.
    *rows = json_incref(result);
    return Outcome::ok;
  }
  json_t* made = json_array();
  if (!made) throw std::bad_alloc();
  if (flags & ETH_TABLE_SCALAR_RESULT) {
    json_t* row = json_object();
    if (!row) {
      json_decref(made);
      throw std::bad_alloc();
    }
    if (result) json_object_set(row, "result", result);
    json_array_append_new(made, row);
  } else if (!is_empty_result(result)) {
    // A single value where a list was expected is still one row, never silently dropped.
    json_array_append(made, result);
  }
  *rows = made;
  return Outcome::ok;
}

// A 200 response to a single call: parse the reply and decode it into `*rows`.
Outcome take_reply(Worker& worker, const EthResponse& response, json_t** rows,
                   const std::string& call_note) {
  EthDecodeFailure failure;
  json_t* reply = eth_decode_reply(response.body, &failure);
  if (!reply) {
    if (failure.too_large) {
      note(worker, "HY000", 0, failure.message);
      return Outcome::call_failed;
    }
    std::vector<EthErrorPair> pairs;
    if (!eth_error_pairs(response, &pairs) || pairs.empty())
      note(worker, "HY000", 0, "fails to decode reply");
    else
      note_pairs(worker, pairs);
    return Outcome::call_failed;
  }
  worker.total_count += response.total_count;
  Outcome outcome;
  try {
    outcome = decode_reply(worker, reply, rows, call_note);
  } catch (...) {
    json_decref(reply);
    throw;
  }
  json_decref(reply);
  return outcome;
}

// The statement's own limits, for a wait during which no exchange runs.
EthLimits own_limits(const EthLimits& limits) {
  EthLimits own = limits;
  own.connection_seconds = 0;
  own.network_seconds = 0;
  return own;
}

// Waits out a 429's Retry-After unless the statement is canceled or its time-outs (the
// ODBC attribute, or the `query_timeout` key counted over the waits) would pass first: true to
// retry, false when the rate-limit error is to be reported (or the cancel already was noted).
bool wait_out_rate_limit(Worker& worker, int wait, int* waited, bool* canceled) {
  const EthEnv* env = worker.stmt->env;
  if (env->query_timeout > 0 && *waited + wait > env->query_timeout) return false;
  int64_t now = sqi_steady_now_ns();
  int64_t until = now + static_cast<int64_t>(wait) * 1000000000;
  if (worker.limits.statement_deadline_ns > 0 && until >= worker.limits.statement_deadline_ns)
    return false;
  eth_log(worker.lane, kUnit, __LINE__, ETH_LOG_DETAIL,
          "Minute count exceeded, wait for %d seconds", wait);
  // The limit is the endpoint's for the whole connection: its other lanes and statements hold
  // back too.
  eth_pace_pause(&worker.connection->pace, until);
  // No lane is held meanwhile. A pause is no exchange, so only the statement's own limits end it.
  EthExchangeClock clock = eth_clock_for(own_limits(worker.limits), now);
  EthWaitEnd end = eth_pause(clock, until);
  if (end != EthWaitEnd::none) {
    EthFailure failure = eth_wait_failure(clock, end);
    note(worker, failure.sqlstate, 0, failure.message);
    *canceled = true;
    return false;
  }
  *waited += wait;
  return true;
}

// Waits for the start the connection's pace gives the next request; false when the statement's
// own limits ended the wait (noted).
bool wait_for_turn(Worker& worker) {
  const int64_t now = sqi_steady_now_ns();
  const int64_t start = eth_pace_reserve(&worker.connection->pace, now);
  if (start <= now) return true;
  EthExchangeClock clock = eth_clock_for(own_limits(worker.limits), now);
  EthWaitEnd end = eth_pause(clock, start);
  if (end == EthWaitEnd::none) return true;
  EthFailure failure = eth_wait_failure(clock, end);
  note(worker, failure.sqlstate, 0, failure.message);
  return false;
}

// Notes the error pairs of a response whose status is neither 200 nor 204.
void note_status(Worker& worker, const EthResponse& response) {
  std::vector<EthErrorPair> pairs;
  eth_error_pairs(response, &pairs);
  if (pairs.empty())
    pairs.emplace_back("return code " + std::to_string(response.status_code), response.reason);
  note_pairs(worker, pairs);
}

// Sends `body` on the worker's lane, waiting out rate limits: ok with the last response in
// `*response` (any status; a 429 only once its waits are used up, and then noted), or run_ended
// noted.
Outcome send_body(Worker& worker, const std::string& body, EthResponse* response) {
  int waited = 0;
  for (int retries = 0;; ++retries) {
    *response = EthResponse{};
    if (!wait_for_turn(worker)) return Outcome::run_ended;
    EthFailure failure;
    if (eth_round_trip(worker.connection, worker.limits, body, worker.request, response, &failure,
                       worker.lane) != 0) {
      // A reply that never came or broke off is an error, never an empty result.
      note(worker, failure.sqlstate, 0, failure.message);
      return Outcome::run_ended;
    }
    if (response->status_code != 429) return Outcome::ok;
    int wait = response->retry_after;
    bool stopped = false;
    if (wait <= ETH_RATE_LIMIT_MAX_WAIT_SECONDS && retries < ETH_RATE_LIMIT_MAX_RETRIES &&
        wait_out_rate_limit(worker, wait, &waited, &stopped))
      continue;
    // The endpoint keeps refusing: every later request would meet the same answer.
    if (!stopped) note_status(worker, *response);
    return Outcome::run_ended;
  }
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
// gives none. The failure is noted, not settled.
Outcome run_call(Worker& worker, size_t index, json_t** rows) {
  const EthTable& table = *worker.query->table;
  EthResponse response;
  Outcome outcome = send_body(
      worker, eth_call_body(table.method, worker.query->calls[index].params, 1), &response);
  if (outcome != Outcome::ok) return outcome;
  if (response.status_code == 200)
    return take_reply(worker, response, rows, call_note(*worker.query, index));
  if (response.status_code == 204) {
    *rows = json_array();
    if (!*rows) throw std::bad_alloc();
    return Outcome::ok;
  }
  note_status(worker, response);
  return Outcome::call_failed;
}

// Sends the calls of `unit` as one batch and decodes each call's reply into its slot; calls the
// reply left out are made alone. Settles its own failures; refused when the endpoint did not take
// the batch (recorded on the connection and logged).
Outcome run_batch(Worker& worker, const Unit& unit) {
  const EthQuery& query = *worker.query;
  EthConnection* connection = worker.connection;
  std::vector<json_t*> params;
  for (size_t i = 0; i < unit.count; ++i) params.push_back(query.calls[unit.first + i].params);
  EthResponse response;
  Outcome outcome = send_body(worker, eth_batch_body(query.table->method, params), &response);
  if (outcome != Outcome::ok) {
    settle(worker, unit.first, outcome);
    return outcome;
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
      note(worker, "HY000", 0, failure.message);
      settle(worker, unit.first, Outcome::call_failed);
      return Outcome::call_failed;
    }
    if (!reply) {
      reason = "the reply is not JSON";
    } else {
      try {
        verdict = eth_match_batch(reply, unit.count, &replies, &reason);
      } catch (...) {
        json_decref(reply);
        throw;
      }
      json_decref(reply);
    }
  }
  if (verdict == EthBatchVerdict::refused) {
    // Only the first refusal is logged: later ones are batches that were already on their way.
    if (!connection->batches_refused.exchange(true))
      eth_log(worker.lane, kUnit, __LINE__, ETH_LOG_ERROR,
              "The endpoint refused a batch of %d calls (%s); calls go one at a time on this "
              "connection",
              static_cast<int>(unit.count), reason.c_str());
    return Outcome::refused;
  }
  worker.total_count += response.total_count;
  CallRows answers;
  answers.rows = std::move(replies);
  for (size_t i = 0; i < unit.count; ++i) {
    const size_t index = unit.first + i;
    json_t** slot = &worker.call_rows->rows[index];
    json_t* reply = answers.rows[i];
    outcome = reply ? decode_reply(worker, reply, slot, call_note(query, index))
                    : run_call(worker, index, slot);
    if (outcome != Outcome::ok && !settle(worker, index, outcome)) return outcome;
  }
  return Outcome::ok;
}

// Runs one unit, settling its failures; a refused batch's calls go back to be made alone.
void run_unit(Worker& worker, const Unit& unit) {
  if (unit.count > 1) {
    if (run_batch(worker, unit) == Outcome::refused) worker.plan->requeue(unit);
    return;
  }
  Outcome outcome = run_call(worker, unit.first, &worker.call_rows->rows[unit.first]);
  if (outcome != Outcome::ok) settle(worker, unit.first, outcome);
}

// A worker's loop: units until none is left. Nothing escapes it: an exception ends the run with
// its diagnostic noted.
void work(Worker* worker) noexcept {
  Unit unit;
  const char* sqlstate = "HY001";
  const char* message = "Memory allocation error";
  try {
    while (worker->plan->take(*worker->connection, &unit)) run_unit(*worker, unit);
    return;
  } catch (const std::bad_alloc&) {
  } catch (...) {
    sqlstate = "HY000";
    message = "Query failed";
  }
  try {
    worker->noted.assign(1, Diagnostic{sqlstate, 0, message});
    settle(*worker, unit.first, Outcome::run_ended);
  } catch (...) {
    // Not even the diagnostic could be kept: the failure stays charged, with no text (posted
    // as a memory allocation error).
    worker->plan->stop_from(0);
    worker->failed_at = std::min(worker->failed_at, unit.first);
    worker->failure.clear();
  }
}

// Joins the threads it holds when it goes, so that no worker outlives the call.
struct Joiner {
  std::vector<std::thread> threads;  // the workers started
  ~Joiner() {
    for (std::thread& thread : threads)
      if (thread.joinable()) thread.join();
  }
};

// Posts the diagnostics of the failure `failure` on the statement.
void post_failure(EthStmt* stmt, const std::vector<Diagnostic>& failure) {
  EthEnv* env = stmt->env;
  if (failure.empty()) {
    eth_post_error(env, stmt->target, "HY001", "Memory allocation error");
    return;
  }
  if (!env || !env->service || stmt->target == &eth_quiet_target) return;
  for (const Diagnostic& diagnostic : failure) {
    SqiPostError record{stmt->target ? stmt->target : env->target, ETH_ORIGIN, diagnostic.native,
                        diagnostic.sqlstate.c_str(), diagnostic.message.c_str()};
    env->service(SQI_SERVICE_POST_ERROR, &record);
  }
}

// The number of workers a scan of `total` calls gets: one per unit, at most max_connections.
size_t worker_count(const EthConnection& connection, size_t total) {
  size_t size = connection.batches_refused ? 1 : static_cast<size_t>(connection.batch_size);
  size = std::max<size_t>(size, 1);
  size_t units = (total + size - 1) / size;
  size_t lanes =
      static_cast<size_t>(std::clamp(connection.max_connections, 1, ETH_MAX_CONNECTIONS_MAX));
  return std::max<size_t>(1, std::min(units, lanes));
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

int eth_run_calls(EthStmt* stmt, EthQuery* query, EthRunMode mode) {
  EthConnection* connection = stmt->env->connection;
  const size_t total = query->calls.size();
  CallRows call_rows;
  call_rows.rows.assign(total, nullptr);
  Plan plan(total);
  const EthLimits limits = eth_statement_limits(*stmt);
  std::vector<Worker> workers(worker_count(*connection, total));
  for (size_t k = 0; k < workers.size(); ++k) {
    Worker& worker = workers[k];
    worker.stmt = stmt;
    worker.query = query;
    worker.connection = connection;
    worker.lane = eth_lane(connection, static_cast<int>(k));
    worker.limits = limits;
    worker.mode = mode;
    worker.plan = &plan;
    worker.call_rows = &call_rows;
    worker.request = k == 0 ? &query->request : &worker.own_request;
  }
  {
    // The calling thread is the worker of lane 0; the others get a thread each.
    Joiner joiner;
    joiner.threads.reserve(workers.size());
    for (size_t k = 1; k < workers.size(); ++k) {
      try {
        joiner.threads.emplace_back(work, &workers[k]);
      } catch (const std::system_error&) {
        break;  // fewer threads: the units are shared among those that started
      }
    }
    work(&workers[0]);
  }
  const Worker* failed = nullptr;
  for (const Worker& worker : workers) {
    query->total_count += worker.total_count;
    if (worker.failed_at != kNoCall && (!failed || worker.failed_at < failed->failed_at))
      failed = &worker;
  }
  if (failed) {
    post_failure(stmt, failed->failure);
    return SQI_ERROR;
  }
  for (size_t i = 0; i < total; ++i) {
    json_t*& rows = call_rows.rows[i];
    query->calls[i].failed = rows == nullptr;
    if (!rows) {
      if (mode == EthRunMode::prefetch) {
        query->calls[i].row_end = query->rows ? json_array_size(query->rows) : 0;
        continue;
      }
      // Every call either answered or failed; a call that did neither is no empty result.
      eth_post_error(stmt->env, stmt->target, "HY000", "Query failed");
      return SQI_ERROR;
    }
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
