// driver_test: the setup library's check of a data source's settings. It
// validates the endpoint and builds the connection context as a connect would,
// sends the connect probe (eth_chainId) and reports the outcome as a message.
#include <cstring>
#include <new>
#include <string>

#include "driver/eth/eth_options.h"
#include "driver/eth/eth_probe.h"
#include "driver/eth/eth_sqi.h"
#include "driver/eth/eth_uri.h"

namespace {

// Byte offsets of the fixed 1024-byte text fields of the setup library's record.
constexpr size_t kFieldSize = 1024;
constexpr size_t kProxyAt = 1024;
constexpr size_t kProxyUserAt = 2048;
constexpr size_t kProxyPassAt = 3072;
constexpr size_t kUriAt = 5124;
constexpr size_t kApiKeyAt = 6148;
// The Test button waits at most this long for the node, connecting and answering each.
constexpr int kProbeSeconds = 15;

// A field of the record; it need not be NUL-terminated and is cut to ETH_OPTION_MAX bytes.
std::string field(const char* record, size_t offset) {
  if (!record) return "";
  const char* start = record + offset;
  size_t length = strnlen(start, kFieldSize);
  if (length > static_cast<size_t>(ETH_OPTION_MAX)) length = ETH_OPTION_MAX;
  return std::string(start, length);
}

int report(char* message, int size, const char* text, int result) {
  if (message && size > 0) {
    size_t length = std::strlen(text);
    if (length >= static_cast<size_t>(size)) length = static_cast<size_t>(size) - 1;
    std::memcpy(message, text, length);
    message[length] = '\0';
  }
  return result;
}

// Checks the settings with a throw-away environment and probes the endpoint; returns the outcome
// text and sets *ok when a node answered there. `problem` holds the text of a failed probe.
const char* check_settings(const char* record, bool* ok, std::string* problem) {
  *ok = false;
  EthOptions options;
  options.proxy = field(record, kProxyAt);
  options.proxy_user = field(record, kProxyUserAt);
  options.proxy_pass = field(record, kProxyPassAt);
  options.uri = field(record, kUriAt);
  options.api_key = field(record, kApiKeyAt);
  // The API key is optional: without one the URI is used exactly as given.
  if (options.uri.empty()) return "URI Token Server MUST be supplied";
  EthUri endpoint;
  if (!eth_parse_uri(options.uri.c_str(), &endpoint)) return "unable to extract host from URI";

  SqiEnv handle = nullptr;
  if (eth_alloc_env(nullptr, &handle, nullptr, nullptr) != SQI_OK)
    return "unable to allocate Memory";
  auto* env = static_cast<EthEnv*>(handle);
  const char* outcome = "Connected and authenticated with Ethereum";
  try {
    env->connection = new EthConnection;
    if (!eth_take_endpoint(options, env->connection)) {
      outcome = "unable to extract host from proxy";
    } else {
      env->connection->host = endpoint.host;
      env->connection->port = endpoint.port;
      env->connection->tls = endpoint.tls;
      env->connection->path = endpoint.path;
      env->connection->http.log.mode = 0;
      env->login_timeout = kProbeSeconds;
      env->connection->network_timeout = kProbeSeconds;
      *ok = eth_probe_endpoint(env, problem);
      if (!*ok) outcome = problem->c_str();
    }
  } catch (...) {
    outcome = "unable to allocate Memory";
  }
  eth_free_env(env);
  return outcome;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int driver_test(const char* dsn_record,
                                                                  char* message, int size) {
  try {
    bool ok = false;
    std::string problem;
    const char* outcome = check_settings(dsn_record, &ok, &problem);
    return report(message, size, outcome, ok ? 0 : 1);
  } catch (...) {
    return report(message, size, "unable to allocate Memory", 1);
  }
}
