// Request pacing of a connection. Reservations are handed out under the pace's lock, so threads
// of one connection share the rate instead of each getting its own.
#include "driver/eth/eth_pace.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

double eth_requests_per_second(const std::string& text) {
  if (text.empty()) return 0;
  char* end = nullptr;
  double value = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || *end != '\0' || !std::isfinite(value) || value <= 0) return 0;
  return value;
}

int64_t eth_pace_reserve(EthPace* pace, int64_t now_ns) {
  std::lock_guard<std::mutex> guard(pace->lock);
  int64_t start = std::max(now_ns, pace->paused_until_ns);
  if (pace->per_second > 0) {
    start = std::max(start, pace->next_ns);
    pace->next_ns = start + static_cast<int64_t>(1e9 / pace->per_second);
  }
  return start;
}

void eth_pace_pause(EthPace* pace, int64_t until_ns) {
  std::lock_guard<std::mutex> guard(pace->lock);
  pace->paused_until_ns = std::max(pace->paused_until_ns, until_ns);
}
