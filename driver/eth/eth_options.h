// The settings of an Ethereum connection: reading them from the connection's
// attributes or the data source's stored entries, and turning their text into
// the values the connection uses.
#pragma once

#include <string>

#include "driver/eth/eth_context.h"

constexpr int ETH_OPTION_MAX = 1023;  // longest option value kept, in bytes

// The option texts of one connection, each at most ETH_OPTION_MAX bytes.
struct EthOptions {
  std::string logging;        // log mode text
  std::string logfile;        // log file base name
  std::string entropy;        // TLS entropy file
  std::string cert;           // TLS certificate file or directory
  std::string query_timeout;  // seconds, decimal
  std::string proxy;          // proxy URI
  std::string proxy_user;     // proxy user
  std::string proxy_pass;     // proxy password
  std::string disguise_long;  // long-disguise flag text
  std::string api_key;        // API key
  std::string uri;            // endpoint URI
  std::string id_length;      // length settings, decimal
  std::string block_length;
  std::string string_length;
  std::string array_length;
  std::string object_length;

  std::string accept_unverified;  // accept peers the certificates do not verify
  std::string network_timeout;    // seconds one exchange may take when no other time-out is set

  std::string batch_size;               // calls per JSON-RPC batch (1: no batches)
  std::string max_connections;          // requests of one statement in flight at once
  std::string max_requests_per_second;  // pace of requests ("": unlimited)
  std::string connect_probe;            // "no": connect without a call to the endpoint
  std::string max_calls;                // calls one statement may make
  std::string typed_values;             // "yes": quantities typed as numbers and times
};

// Reads every option: from `attributes` when it holds the key (null counts as empty),
// else from the odbc.ini section of `dsn` when `dsn` is not empty, else empty;
// query_timeout falls back to "0".
void eth_read_options(const ConnAttrSet* attributes, const std::string& dsn, EthOptions* out);

// A length setting: its decimal value, or `fallback` when it is 0, negative, unreadable
// or beyond the int range.
int eth_length_setting(const std::string& text, int fallback);
// The query time-out in seconds: a decimal value, 0 when empty, unreadable or negative.
int eth_query_timeout(const std::string& text);
// The network time-out in seconds: a decimal value of 0 or more (0: none), else the default.
int eth_network_timeout(const std::string& text);
// The calls one statement may make: a decimal value of 1 or more, else 10,000.
int eth_max_calls(const std::string& text);
// Requests of one statement in flight at once: a decimal value from 1 (one at a time) up to
// ETH_MAX_CONNECTIONS_MAX (larger ones cut), else ETH_MAX_CONNECTIONS_DEFAULT.
int eth_max_connections(const std::string& text);
// The long-disguise flag: "yes" or "true" in any case, or exactly "1".
bool eth_disguise_long(const std::string& text);
// The accept-unverified flag: "yes" or "true" in any case, or exactly "1".
bool eth_accept_unverified(const std::string& text);
// The typed-values flag (default off): "yes" or "true" in any case, or exactly "1".
bool eth_typed_values(const std::string& text);
// A flag that is on unless turned off: true for "no" or "false" in any case, or exactly "0".
bool eth_option_off(const std::string& text);

// Takes the proxy (parsed without its path), the proxy credentials, the API key and
// the URI into `connection` and its HTTP context, and registers the secrets with the
// log so they are masked. False (nothing taken) when a proxy is given but has no host.
bool eth_take_endpoint(const EthOptions& options, EthConnection* connection);
// Resolves the five length settings of `options` into `connection`.
void eth_apply_lengths(const EthOptions& options, EthConnection* connection);
