// The Ethereum backend's environment and connection: allocation, connect with
// its option handling, endpoint checks and the probe call, disconnect, information answers and
// the posting of diagnostics through the service callback.
#include "driver/eth/eth_sqi.h"
#include "driver/eth/eth_connect.h"

#include <unistd.h>

#include <ctime>
#include <new>

#include "driver/eth/eth_batch.h"
#include "driver/eth/eth_lanes.h"
#include "driver/eth/eth_options.h"
#include "driver/eth/eth_pace.h"
#include "driver/eth/eth_prefetch.h"
#include "driver/eth/eth_probe.h"
#include "driver/eth/eth_ssl.h"
#include "driver/eth/eth_tables.h"
#include "driver/eth/eth_uri.h"

static const char* const kUnit = "eth_sqi.cpp";

void eth_post_error(EthEnv* env, void* target, const char* sqlstate, const char* message) {
  if (!env || !env->service || target == &eth_quiet_target) return;
  SqiPostError record{target ? target : env->target, ETH_ORIGIN, 0, sqlstate, message};
  env->service(SQI_SERVICE_POST_ERROR, &record);
}

void eth_time_zone_offset(int* hours, int* minutes) {
  *hours = 0;
  *minutes = 0;
  time_t now = time(nullptr);
  struct tm local {};
  if (now == static_cast<time_t>(-1) || !localtime_r(&now, &local)) return;
  long bias = -local.tm_gmtoff / 60;  // minutes west of UTC, as the bias counts them
  *hours = static_cast<int>(bias / 60);
  long rest = bias % 60;
  *minutes = static_cast<int>(rest < 0 ? -rest : rest);
}

int eth_alloc_env(void* target, SqiEnv* out, SqiService service, const char* dsn) {
  if (!out) return SQI_ERROR;
  *out = nullptr;
  try {
    auto* env = new EthEnv;
    env->target = target;
    env->service = service;
    if (dsn) env->dsn = dsn;
    // Without a TLS library context only plain "http://" endpoints can be reached;
    // an "https://" one then fails its handshake with a diagnostic.
    env->tls_library = eth_ssl_library_create();
    env->prefetch = eth_prefetch_make();
    eth_time_zone_offset(&env->tz_hours, &env->tz_minutes);
    *out = env;
    return SQI_OK;
  } catch (...) {
    return SQI_ERROR;
  }
}

// Frees the connection context and the table list; the socket must be closed.
static void release_connection(EthEnv* env) {
  eth_free_table_list(env);
  delete env->connection;
  env->connection = nullptr;
}

int eth_disconnect(SqiEnv handle) {
  auto* env = static_cast<EthEnv*>(handle);
  if (!env) return SQI_OK;
  // The kept-alive sockets are closed once the exchanges still running on them have finished.
  if (EthConnection* connection = env->connection) eth_close_lanes(connection);
  release_connection(env);
  return SQI_OK;
}

int eth_free_env(SqiEnv handle) {
  auto* env = static_cast<EthEnv*>(handle);
  if (!env) return SQI_OK;
  // The DAL may free an environment whose connect failed half-way or that was
  // never disconnected; nothing may be left behind either way.
  eth_disconnect(env);
  eth_ssl_library_free(env->tls_library);
  delete env;
  return SQI_OK;
}

// Applies the settings of `options` to a fresh connection context and the
// environment; returns the failing message, or null.
static const char* configure_connection(EthEnv* env, const EthOptions& options,
                                        EthConnection* connection) {
  // The API key may be left out: the endpoint URI is then used exactly as given.
  if (options.uri.empty()) return "URI must be provided";
  if (!eth_take_endpoint(options, connection)) return "Unable to extract host from Proxy";
  EthHttpContext& http = connection->http;
  http.log.mode = eth_log_mode_from_option(options.logging.c_str());
  if (!options.entropy.empty()) http.entropy_file = options.entropy;
  if (!options.cert.empty()) http.cert_path = options.cert;
  http.accept_unverified = eth_accept_unverified(options.accept_unverified);
  env->query_timeout = eth_query_timeout(options.query_timeout);
  connection->network_timeout = eth_network_timeout(options.network_timeout);
  connection->batch_size = eth_batch_size(options.batch_size);
  connection->max_connections = eth_max_connections(options.max_connections);
  connection->connect_probe = !eth_option_off(options.connect_probe);
  connection->pace.per_second = eth_requests_per_second(options.max_requests_per_second);
  env->disguise_long = eth_disguise_long(options.disguise_long);
  if (!options.logfile.empty()) http.log.file = options.logfile;
  eth_apply_lengths(options, connection);
  connection->max_calls = eth_max_calls(options.max_calls);
  connection->typed_values = eth_typed_values(options.typed_values);
  if (http.log.mode != 0) {
    eth_log(&http, kUnit, __LINE__, ETH_LOG_DETAIL, "Startup Connection");
    eth_log(&http, kUnit, __LINE__, ETH_LOG_CONTINUATION, "query_timeout: %d", env->query_timeout);
    eth_log(&http, kUnit, __LINE__, ETH_LOG_CONTINUATION, "network_timeout: %d",
            connection->network_timeout);
  }
  EthUri endpoint;
  if (!eth_parse_uri(options.uri.c_str(), &endpoint))
    return "Unable to extract host from Api Domain";
  connection->host = endpoint.host;
  connection->port = endpoint.port;
  connection->tls = endpoint.tls;
  connection->path = endpoint.path;
  return nullptr;
}

int eth_connect(SqiEnv handle, ConnAttrSet* attributes, void* /*window*/, char* out_string,
                int out_size) {
  auto* env = static_cast<EthEnv*>(handle);
  if (!env) return SQI_ERROR;
  if (out_string && out_size > 0) out_string[0] = '\0';
  // A second connect on the same environment starts from a clean slate.
  eth_disconnect(env);
  try {
    EthOptions options;
    eth_read_options(attributes, env->dsn, &options);
    env->connection = new EthConnection;
    if (const char* failure = configure_connection(env, options, env->connection)) {
      eth_post_error(env, nullptr, "HY000", failure);
      release_connection(env);
      return SQI_ERROR;
    }
    if (!eth_build_table_list(env)) {
      eth_post_error(env, nullptr, "HY000", "Failed to extract metadata from endpoint");
      release_connection(env);
      return SQI_ERROR;
    }
    std::string problem;
    if (env->connection->connect_probe && !eth_probe_endpoint(env, &problem)) {
      problem +=
          "; check the URI, the API key and the proxy, or set connect_probe=no to connect "
          "without calling the endpoint";
      eth_post_error(env, nullptr, "08001", problem.c_str());
      eth_disconnect(env);
      return SQI_ERROR;
    }
    return SQI_OK;
  } catch (const std::bad_alloc&) {
    eth_post_error(env, nullptr, "08001", "Unable to allocate memory");
  } catch (...) {
    eth_post_error(env, nullptr, "HY000", "Unable to create Ethereum ODBC context");
  }
  release_connection(env);
  return SQI_ERROR;
}

int eth_get_info(SqiEnv env, int code, void* out) {
  if (!out) return SQI_OK;
  switch (code) {
    case SQI_INFO_PREPARED_SCANS:
      *static_cast<int*>(out) = eth_prepared_scans_worth(static_cast<const EthEnv*>(env));
      break;
    case 1:  // restriction capabilities: IS NULL and prefix-free patterns
      *static_cast<int*>(out) = 12;
      break;
    case 2:
      *static_cast<double*>(out) = 1.0;
      break;
    case 3:
    case 7:
      *static_cast<int*>(out) = 0;
      break;
    case 4:
    case 5:
      *static_cast<int*>(out) = 1;
      break;
    default:
      break;
  }
  return SQI_OK;
}

int eth_set_option(SqiEnv handle, int option, intptr_t value) {
  auto* env = static_cast<EthEnv*>(handle);
  if (!env) return SQI_OK;
  switch (option) {
    case SQI_OPTION_ODBC_VERSION:
      env->odbc_version = static_cast<int>(value);
      break;
    case SQI_OPTION_LOGIN_TIMEOUT:
      env->login_timeout = static_cast<int>(value);
      break;
    case SQI_OPTION_CONNECTION_TIMEOUT:
      env->connection_timeout = static_cast<int>(value);
      break;
    default:
      break;
  }
  return SQI_OK;
}

int eth_begin_transaction(void* /*target*/, SqiEnv /*env*/) {
  return SQI_OK;
}

int eth_end_transaction(void* /*target*/, SqiEnv /*env*/, int /*completion*/) {
  return SQI_OK;
}
