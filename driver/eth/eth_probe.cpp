// The connect probe: eth_chainId over the connection's transport, its answer judged. Only the
// status and the shape of the reply matter; the chain id itself is not kept.
#include "driver/eth/eth_probe.h"

#include <jansson.h>

#include "driver/eth/eth_batch.h"
#include "driver/eth/eth_connect.h"
#include "driver/eth/eth_query.h"

static const char* const kUnit = "eth_probe.cpp";

namespace {

// What is wrong with a 200 reply to eth_chainId; "" when it carries a result.
std::string reply_problem(const std::string& body) {
  EthDecodeFailure decode;
  json_t* reply = eth_decode_reply(body, &decode);
  std::string problem;
  json_t* error = json_object_get(reply, "error");
  const char* message = json_string_value(json_object_get(error, "message"));
  if (!json_is_object(reply))
    problem = "did not answer eth_chainId with JSON-RPC";
  else if (error)
    problem = std::string("refused eth_chainId: ") + (message ? message : "error without message");
  else if (!json_object_get(reply, "result"))
    problem = "did not answer eth_chainId with a result";
  json_decref(reply);
  return problem;
}

}  // namespace

bool eth_probe_endpoint(EthEnv* env, std::string* problem) {
  EthConnection* connection = env->connection;
  EthLimits limits;
  limits.connection_seconds = env->connection_timeout;
  limits.login_seconds = env->login_timeout;
  limits.network_seconds = connection->network_timeout;
  const std::string peer = eth_host_text(connection->host) + ":" + std::to_string(connection->port);
  json_t* params = json_array();
  std::string body = eth_call_body("eth_chainId", params, 1);
  json_decref(params);
  EthRequest request;
  EthResponse response;
  EthFailure failure;
  if (eth_round_trip(connection, limits, body, &request, &response, &failure) != 0) {
    *problem = "Unable to reach the endpoint " + peer + ": " + failure.message;
  } else if (response.status_code == 429) {
    return true;  // a busy node is still the right one
  } else if (response.status_code != 200) {
    *problem = "The endpoint " + peer + " answered eth_chainId with HTTP status " +
               std::to_string(response.status_code) +
               (response.reason.empty() ? "" : " " + response.reason);
  } else {
    std::string what = reply_problem(response.body);
    if (what.empty()) return true;
    *problem = "The endpoint " + peer + " " + what;
  }
  eth_log(&connection->http, kUnit, __LINE__, ETH_LOG_ERROR, "%s", problem->c_str());
  return false;
}
