// The lanes of a connection: lane 0 is the connection's own HTTP context, lanes 1 and up are
// further kept-alive connections to the same endpoint that a scan's requests go on together,
// each with its own socket, TLS session, exchange lock, clock and address cache, and all
// writing to lane 0's log.
#pragma once

#include "driver/eth/eth_context.h"

// Most lanes a connection keeps, whatever `max_connections` asks for.
constexpr int ETH_MAX_CONNECTIONS_MAX = 16;
// Default of the `max_connections` key.
constexpr int ETH_MAX_CONNECTIONS_DEFAULT = 4;

// Lane `index` of `connection` (0 up to ETH_MAX_CONNECTIONS_MAX - 1), made with lane 0's
// endpoint, API key and certificate settings the first time it is asked for. Safe to call from
// several threads. Throws std::bad_alloc.
EthHttpContext* eth_lane(EthConnection* connection, int index);
// Closes the socket of every lane, each once the exchange running on it has finished.
void eth_close_lanes(EthConnection* connection);
// Sockets the lanes of `connection` have opened so far, all lanes together.
int eth_connections_opened(EthConnection* connection);
