// The connect probe of the Ethereum backend: one cheap call (eth_chainId) that tells at connect
// time whether a JSON-RPC node answers at the configured endpoint.
#pragma once

#include <string>

#include "driver/eth/eth_context.h"

// Sends eth_chainId to env->connection's endpoint under the connection's login, connection and
// network time-outs. True when a node answered (a 429 counts: the node is there); false with
// `problem` naming the endpoint ("host:port") and what went wrong.
bool eth_probe_endpoint(EthEnv* env, std::string* problem);
