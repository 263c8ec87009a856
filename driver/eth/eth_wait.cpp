// Time bounds of the Ethereum transport. Every wait sleeps in slices of at most
// ETH_WAIT_SLICE_MILLIS and looks at the statement's cancel flag and at the earliest deadline
// in force between slices, so a cancel or a time-out ends it promptly whatever the peer does.
#include "driver/eth/eth_wait.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>

#include "driver/dal/sqi/sqi.h"
#include "driver/eth/eth_context.h"

namespace {

constexpr int64_t kNanosPerMilli = 1000 * 1000;
// Pause between attempts to take a connection that another statement is using.
constexpr int kLockRetryMillis = 2;
constexpr int64_t kNanosPerSecond = 1000 * kNanosPerMilli;
constexpr int kMaxSeconds = 86400 * 365;  // longer limits are taken as this (no overflow)

int64_t after_seconds(int64_t now_ns, int seconds) {
  return now_ns + static_cast<int64_t>(std::min(seconds, kMaxSeconds)) * kNanosPerSecond;
}

bool canceled(const int* flag) {
  return flag != nullptr && __atomic_load_n(flag, __ATOMIC_ACQUIRE) != 0;
}

// The earliest deadline in force and the limit it belongs to; 0 when none.
int64_t earliest_deadline(const EthExchangeClock& clock, EthWaitEnd* which) {
  int64_t earliest = 0;
  *which = EthWaitEnd::none;
  auto consider = [&](int64_t deadline, EthWaitEnd end) {
    if (deadline > 0 && (earliest == 0 || deadline < earliest)) {
      earliest = deadline;
      *which = end;
    }
  };
  consider(clock.limits.statement_deadline_ns, EthWaitEnd::query_timeout);
  consider(clock.exchange_deadline_ns, clock.exchange_end);
  if (clock.connecting) consider(clock.connect_deadline_ns, EthWaitEnd::login_timeout);
  return earliest;
}

// Records why a wait ended, as the caller reports it.
bool ended_by(EthHttpContext* http, EthWaitEnd end) {
  http->clock.ended = end;
  http->last_error = eth_wait_failure(http->clock, end).message;
  return false;
}

std::string text_of(const char* format, const std::string& peer, int seconds) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, format, peer.empty() ? "the node" : peer.c_str(), seconds);
  return buffer;
}

}  // namespace

EthExchangeClock eth_clock_for(const EthLimits& limits, int64_t now_ns) {
  EthExchangeClock clock;
  clock.limits = limits;
  clock.started = true;
  // The network time-out is the safety net of an exchange nothing else bounds.
  if (limits.connection_seconds > 0) {
    clock.exchange_deadline_ns = after_seconds(now_ns, limits.connection_seconds);
    clock.exchange_end = EthWaitEnd::connection_timeout;
  } else if (limits.statement_deadline_ns == 0 && limits.network_seconds > 0) {
    clock.exchange_deadline_ns = after_seconds(now_ns, limits.network_seconds);
    clock.exchange_end = EthWaitEnd::network_timeout;
  }
  return clock;
}

void eth_clock_install(EthHttpContext* http, const EthExchangeClock& clock) {
  http->clock = clock;
  http->clock.ended = EthWaitEnd::none;
}

void eth_clock_stop(EthHttpContext* http) {
  http->clock = EthExchangeClock{};
}

void eth_clock_connecting(EthHttpContext* http, const std::string& peer) {
  EthExchangeClock& clock = http->clock;
  clock.connecting = true;
  clock.peer = peer;
  clock.connect_deadline_ns = clock.limits.login_seconds > 0
                                  ? after_seconds(sqi_steady_now_ns(), clock.limits.login_seconds)
                                  : 0;
}

void eth_clock_connected(EthHttpContext* http) {
  http->clock.connecting = false;
  http->clock.connect_deadline_ns = 0;
}

EthWaitEnd eth_clock_expired(const EthExchangeClock& clock, int64_t now_ns) {
  if (canceled(clock.limits.cancel_flag)) return EthWaitEnd::canceled;
  EthWaitEnd which;
  int64_t deadline = earliest_deadline(clock, &which);
  return deadline > 0 && now_ns >= deadline ? which : EthWaitEnd::none;
}

bool eth_clock_check(EthHttpContext* http) {
  EthWaitEnd end = eth_clock_expired(http->clock, sqi_steady_now_ns());
  return end == EthWaitEnd::none || ended_by(http, end);
}

bool eth_wait_socket(EthHttpContext* http, int fd, short events) {
  EthExchangeClock& clock = http->clock;
  int64_t now = sqi_steady_now_ns();
  EthWaitEnd which;
  int64_t deadline = earliest_deadline(clock, &which);
  if (deadline == 0 && !clock.started && clock.limits.network_seconds > 0) {
    // Outside an exchange (a caller driving the transport itself) each wait gets the network
    // time-out of its own.
    deadline = after_seconds(now, clock.limits.network_seconds);
    which = EthWaitEnd::network_timeout;
  }
  for (;;) {
    if (canceled(clock.limits.cancel_flag)) return ended_by(http, EthWaitEnd::canceled);
    if (deadline > 0 && now >= deadline) return ended_by(http, which);
    int64_t slice = static_cast<int64_t>(ETH_WAIT_SLICE_MILLIS) * kNanosPerMilli;
    if (deadline > 0) slice = std::min(slice, deadline - now);
    // Round up, so a slice never ends just before its deadline and spins.
    int millis = static_cast<int>((slice + kNanosPerMilli - 1) / kNanosPerMilli);
    pollfd entry{fd, events, 0};
    int ready = ::poll(&entry, 1, millis);
    if (ready > 0) return true;  // ready, or an error or hang-up the next call reports
    if (ready < 0 && errno != EINTR) return true;  // let the socket call report it
    now = sqi_steady_now_ns();
  }
}

EthWaitEnd eth_lock_within(std::unique_lock<std::mutex>& lock, const EthExchangeClock& clock) {
  for (;;) {
    EthWaitEnd end = eth_clock_expired(clock, sqi_steady_now_ns());
    if (end != EthWaitEnd::none) return end;
    // A plain mutex tried in short steps: a timed lock would need pthread_mutex_clocklock,
    // which ThreadSanitizer does not see, and the holder's exchange is long beside 2 ms.
    if (lock.try_lock()) return EthWaitEnd::none;
    ::poll(nullptr, 0, kLockRetryMillis);
  }
}

EthWaitEnd eth_pause(const EthExchangeClock& clock, int64_t until_ns) {
  for (;;) {
    int64_t now = sqi_steady_now_ns();
    EthWaitEnd end = eth_clock_expired(clock, now);
    if (end != EthWaitEnd::none) return end;
    if (now >= until_ns) return EthWaitEnd::none;
    int64_t slice = std::min<int64_t>(until_ns - now, ETH_WAIT_SLICE_MILLIS * kNanosPerMilli);
    // poll with no descriptors is a plain sleep that a signal may cut short.
    ::poll(nullptr, 0, static_cast<int>((slice + kNanosPerMilli - 1) / kNanosPerMilli));
  }
}

EthFailure eth_wait_failure(const EthExchangeClock& clock, EthWaitEnd end) {
  EthFailure failure;
  const EthLimits& limits = clock.limits;
  switch (end) {
    case EthWaitEnd::canceled:
      failure.sqlstate = "HY008";
      failure.message = "Operation canceled";
      break;
    case EthWaitEnd::query_timeout:
      failure.sqlstate = "HYT00";
      failure.message = "Timeout expired";
      break;
    case EthWaitEnd::connection_timeout:
      failure.sqlstate = "HYT01";
      failure.message =
          text_of(clock.connecting ? "Connection timeout expired: could not connect to "
                                     "%s within %d seconds (SQL_ATTR_CONNECTION_TIMEOUT)"
                                   : "Connection timeout expired: no complete reply from "
                                     "%s within %d seconds (SQL_ATTR_CONNECTION_TIMEOUT)",
                  clock.peer, limits.connection_seconds);
      break;
    case EthWaitEnd::network_timeout:
      failure.sqlstate = "HYT01";
      failure.message =
          text_of(clock.connecting ? "Connection timeout expired: could not connect to %s within "
                                     "%d seconds; the connection key network_timeout sets how "
                                     "long to wait"
                                   : "Connection timeout expired: no complete reply from %s "
                                     "within %d seconds; the connection key network_timeout sets "
                                     "how long to wait",
                  clock.peer, limits.network_seconds);
      break;
    case EthWaitEnd::login_timeout:
      failure.sqlstate = "08001";
      failure.message = text_of(
          "Unable to connect to %s within the login time-out of %d seconds "
          "(SQL_ATTR_LOGIN_TIMEOUT)",
          clock.peer, limits.login_seconds);
      break;
    case EthWaitEnd::none:
      failure.message = "Connection failed";
      break;
  }
  return failure;
}
