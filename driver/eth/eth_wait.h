// Time bounds of the Ethereum transport: the limits one exchange runs under (the statement's
// deadline and cancel flag, the connection's time-out or else the network time-out, and the
// login time-out while connecting), the socket waits that honour them in short slices, the
// cancellable pause of the rate-limit wait, and the diagnostic naming the limit that ended a
// wait.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

struct EthHttpContext;  // eth_context.h

// Default of the `network_timeout` key: seconds one exchange may take when no other time-out
// is set.
constexpr int ETH_NETWORK_TIMEOUT_DEFAULT_SECONDS = 300;
// Longest single sleep of a wait, so that a raised cancel flag is seen within this time.
constexpr int ETH_WAIT_SLICE_MILLIS = 50;

// What ended a wait of the transport.
enum class EthWaitEnd : int {
  none = 0,            // nothing: the wait ran its course or has not failed
  canceled,            // the statement's cancel flag was raised (HY008)
  query_timeout,       // the statement's deadline passed (HYT00)
  connection_timeout,  // SQL_ATTR_CONNECTION_TIMEOUT passed during the exchange (HYT01)
  network_timeout,     // `network_timeout` passed during the exchange (HYT01)
  login_timeout,       // connecting took longer than SQL_ATTR_LOGIN_TIMEOUT (08001)
};

// The limits a statement's exchange runs under.
struct EthLimits {
  int64_t statement_deadline_ns = 0;  // steady-clock deadline of the statement; 0 none
  const int* cancel_flag = nullptr;   // the statement's cancel flag (read atomically); or null
  int connection_seconds = 0;         // SQL_ATTR_CONNECTION_TIMEOUT per exchange; 0 none
  int login_seconds = 0;              // SQL_ATTR_LOGIN_TIMEOUT for connecting; 0 none
  int network_seconds = ETH_NETWORK_TIMEOUT_DEFAULT_SECONDS;  // per exchange when no other; 0 none
};

// The clock of the exchange in progress on an HTTP context (guarded by its exchange lock).
struct EthExchangeClock {
  EthLimits limits;                            // the limits the exchange started with
  bool started = false;                        // eth_clock_start ran for this exchange
  int64_t exchange_deadline_ns = 0;            // end of the exchange; 0 none
  EthWaitEnd exchange_end = EthWaitEnd::none;  // connection_timeout or network_timeout
  int64_t connect_deadline_ns = 0;             // end of connecting while connecting; 0 none
  bool connecting = false;                     // between eth_clock_connecting and _connected
  std::string peer;                            // "host:port" messages name
  EthWaitEnd ended = EthWaitEnd::none;         // what ended the last failed wait
};

// A failed exchange as the caller posts it.
struct EthFailure {
  const char* sqlstate = "08001";  // SQLSTATE of the diagnostic
  std::string message;             // its text
};

// A clock for an exchange that starts at `now_ns` under `limits` (not yet installed).
EthExchangeClock eth_clock_for(const EthLimits& limits, int64_t now_ns);
// Installs `clock` on `http` for the exchange the caller holds the lock for.
void eth_clock_install(EthHttpContext* http, const EthExchangeClock& clock);
// Forgets the exchange's clock; later waits fall back to the network time-out per wait.
void eth_clock_stop(EthHttpContext* http);
// Marks the start of connecting to `peer` ("host:port"): the login time-out runs from now.
void eth_clock_connecting(EthHttpContext* http, const std::string& peer);
// Marks the end of connecting (success or failure).
void eth_clock_connected(EthHttpContext* http);

// The limit that has already ended `clock` at `now_ns` (cancel first), or none.
EthWaitEnd eth_clock_expired(const EthExchangeClock& clock, int64_t now_ns);
// Checks the clock of `http` now: true when no limit has passed; false with the reason in
// http->clock.ended and its message in http->last_error.
bool eth_clock_check(EthHttpContext* http);
// Waits until `fd` is ready for `events` (POLLIN or POLLOUT) or reports an error or hang-up,
// in slices of at most ETH_WAIT_SLICE_MILLIS. True when the socket is ready; false when a
// limit ended the wait (reason and message recorded as by eth_clock_check).
bool eth_wait_socket(EthHttpContext* http, int fd, short events);
// Takes `lock` (not held yet) unless a limit of `clock` ends the wait first: none once held,
// else the limit that ended it.
EthWaitEnd eth_lock_within(std::unique_lock<std::mutex>& lock, const EthExchangeClock& clock);
// Sleeps until `until_ns` unless a limit of `clock` ends the pause first: none when it ran its
// course, else the limit that ended it.
EthWaitEnd eth_pause(const EthExchangeClock& clock, int64_t until_ns);

// The diagnostic for a wait that `end` ended under `clock`.
EthFailure eth_wait_failure(const EthExchangeClock& clock, EthWaitEnd end);
