// Splitting an endpoint or proxy URI ("http://" or "https://" only) into host,
// port, TLS flag and path.
#pragma once

#include <cstdint>
#include <string>

// The parts of an endpoint or proxy URI.
struct EthUri {
  std::string host;   // host name or address; an IPv6 literal is kept without its brackets
  uint16_t port = 0;  // explicit port, else 443 for "https://" and 80 for "http://"
  bool tls = false;   // true for "https://"
  std::string path;   // path without leading '/' and one trailing '/' ("" when none)
};

// Parses `text` into `out`; returns false (leaving `out` cleared) when the text has
// another scheme, no host, an unterminated "[" literal, or a port that is not a
// decimal number from 1 to 65535. `keep_path` false drops the path (proxies).
bool eth_parse_uri(const char* text, EthUri* out, bool keep_path = true);
