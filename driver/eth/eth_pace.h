// Pacing the requests of one connection: the slot each request starts in under
// `max_requests_per_second`, and the pause a 429 puts on every statement of the connection.
#pragma once

#include <cstdint>
#include <string>

#include "driver/eth/eth_context.h"

// The `max_requests_per_second` a text gives: a positive decimal number (fractions allowed),
// else 0 (unlimited).
double eth_requests_per_second(const std::string& text);
// Reserves the start of the caller's next request at or after `now_ns`: no earlier than the end
// of a 429's pause, and one interval after the previous reservation when a rate is set. The
// steady-clock time to wait for (`now_ns` when the request may start at once).
int64_t eth_pace_reserve(EthPace* pace, int64_t now_ns);
// Holds every request of the connection until `until_ns` (a 429's Retry-After).
void eth_pace_pause(EthPace* pace, int64_t until_ns);
