// Option lookup order and the conversion of option texts into settings.
#include "driver/eth/eth_options.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <strings.h>

#include "driver/eth/eth_lanes.h"
#include "driver/eth/eth_uri.h"
#include "support/config.h"

namespace {

// Cuts `text` to at most ETH_OPTION_MAX bytes without splitting a UTF-8 character.
std::string cut_option(const char* text) {
  std::string value(text);
  if (value.size() <= static_cast<size_t>(ETH_OPTION_MAX)) return value;
  size_t end = ETH_OPTION_MAX;
  while (end > 0 && (static_cast<unsigned char>(value[end]) & 0xC0) == 0x80) --end;
  value.resize(end);
  return value;
}

std::string read_option(const ConnAttrSet* attributes, const std::string& dsn, const char* key,
                        const char* fallback) {
  const char* given = attributes ? get_attribute_value(attributes, key) : nullptr;
  if (given) return cut_option(given);
  if (dsn.empty()) return fallback;
  char buffer[ETH_OPTION_MAX + 1];
  if (get_profile_string(dsn.c_str(), key, fallback, buffer, sizeof buffer) < 0) return fallback;
  return buffer;
}

// A decimal integer with optional leading blanks and sign; trailing text is ignored
// as strtol does. Returns false when no digit was read or the value overflows int.
bool read_decimal(const std::string& text, long* value) {
  const char* start = text.c_str();
  char* end = nullptr;
  errno = 0;
  long parsed = std::strtol(start, &end, 10);
  if (end == start || errno == ERANGE || parsed > INT_MAX || parsed < INT_MIN) return false;
  *value = parsed;
  return true;
}

}  // namespace

void eth_read_options(const ConnAttrSet* attributes, const std::string& dsn, EthOptions* out) {
  // The order matters only for the order of the odbc.ini reads; it follows the
  // order in which the connection applies the settings.
  out->logging = read_option(attributes, dsn, "logging", "");
  out->logfile = read_option(attributes, dsn, "logfile", "");
  out->entropy = read_option(attributes, dsn, "entropy", "");
  out->cert = read_option(attributes, dsn, "cert", "");
  out->accept_unverified = read_option(attributes, dsn, "accept_unverified", "");
  out->query_timeout = read_option(attributes, dsn, "query_timeout", "0");
  out->network_timeout = read_option(attributes, dsn, "network_timeout", "");
  out->batch_size = read_option(attributes, dsn, "batch_size", "");
  out->max_connections = read_option(attributes, dsn, "max_connections", "");
  out->max_requests_per_second = read_option(attributes, dsn, "max_requests_per_second", "");
  out->connect_probe = read_option(attributes, dsn, "connect_probe", "");
  out->max_calls = read_option(attributes, dsn, "max_calls", "");
  out->typed_values = read_option(attributes, dsn, "typed_values", "");
  out->proxy = read_option(attributes, dsn, "proxy", "");
  out->proxy_user = read_option(attributes, dsn, "proxy_user", "");
  out->proxy_pass = read_option(attributes, dsn, "proxy_pass", "");
  out->disguise_long = read_option(attributes, dsn, "disguise_long", "");
  out->api_key = read_option(attributes, dsn, "api_key", "");
  out->uri = read_option(attributes, dsn, "uri", "");
  out->id_length = read_option(attributes, dsn, "id_length", "");
  out->block_length = read_option(attributes, dsn, "block_length", "");
  out->string_length = read_option(attributes, dsn, "string_length", "");
  out->array_length = read_option(attributes, dsn, "array_length", "");
  out->object_length = read_option(attributes, dsn, "object_length", "");
}

int eth_length_setting(const std::string& text, int fallback) {
  long value = 0;
  if (!read_decimal(text, &value) || value <= 0) return fallback;
  return static_cast<int>(value);
}

int eth_query_timeout(const std::string& text) {
  long value = 0;
  if (!read_decimal(text, &value) || value < 0) return 0;
  return static_cast<int>(value);
}

int eth_network_timeout(const std::string& text) {
  long value = 0;
  if (!read_decimal(text, &value) || value < 0) return ETH_NETWORK_TIMEOUT_DEFAULT_SECONDS;
  return static_cast<int>(value);
}

int eth_max_calls(const std::string& text) {
  long value = 0;
  if (!read_decimal(text, &value) || value < 1) return 10000;
  return static_cast<int>(value);
}

int eth_max_connections(const std::string& text) {
  long value = 0;
  if (!read_decimal(text, &value) || value < 1) return ETH_MAX_CONNECTIONS_DEFAULT;
  return static_cast<int>(std::min<long>(value, ETH_MAX_CONNECTIONS_MAX));
}

bool eth_disguise_long(const std::string& text) {
  return strcasecmp(text.c_str(), "yes") == 0 || strcasecmp(text.c_str(), "true") == 0 ||
         text == "1";
}

bool eth_take_endpoint(const EthOptions& options, EthConnection* connection) {
  // A proxy that cannot be read must not be skipped: traffic would silently bypass it.
  if (!options.proxy.empty()) {
    EthUri proxy;
    if (!eth_parse_uri(options.proxy.c_str(), &proxy, false)) return false;
    connection->proxy_host = proxy.host;
    connection->proxy_port = proxy.port;
    connection->proxy_tls = proxy.tls;
  }
  connection->proxy_user = options.proxy_user;
  connection->proxy_password = options.proxy_pass;
  connection->api_key = options.api_key;
  connection->uri = options.uri;
  EthHttpContext& http = connection->http;
  http.uri = options.uri;
  http.api_key = options.api_key;
  // Slots 0 and 1 hold what the user typed; the transport adds derived secrets
  // (the proxy credential) in the later slots.
  http.log.secrets[0] = options.api_key;
  http.log.secrets[1] = options.proxy_pass;
  return true;
}

bool eth_accept_unverified(const std::string& text) {
  // Same spelling of "on" as the other flags of a connection.
  return eth_disguise_long(text);
}

bool eth_typed_values(const std::string& text) {
  return eth_disguise_long(text);
}

bool eth_option_off(const std::string& text) {
  return strcasecmp(text.c_str(), "no") == 0 || strcasecmp(text.c_str(), "false") == 0 ||
         text == "0";
}

void eth_apply_lengths(const EthOptions& options, EthConnection* connection) {
  connection->id_length = eth_length_setting(options.id_length, 16);
  connection->block_length = eth_length_setting(options.block_length, 24);
  connection->string_length = eth_length_setting(options.string_length, 255);
  connection->array_length = eth_length_setting(options.array_length, 2000);
  connection->object_length = eth_length_setting(options.object_length, 2000);
}
