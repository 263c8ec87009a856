// The HTTP transport of the Ethereum backend: opening a TCP connection to the
// endpoint directly or through an HTTP proxy tunnel (CONNECT with Basic or
// Digest proxy authentication), the TLS hand-off, sending and receiving,
// the request/response exchange and closing.
//
// Every wait is bounded by the limits of the exchange in progress (eth_wait.h);
// outside an exchange each wait gets the default network time-out.
// Failures leave their message in the HTTP context's last error text and in
// an error record; eth_round_trip hands a statement's failure back to post.
#pragma once

#include <cstddef>
#include <string>

#include "driver/eth/eth_context.h"
#include "driver/eth/eth_request.h"
#include "driver/eth/eth_response.h"

constexpr int ETH_CONNECT_FAILED = -3;  // result of a failed open
constexpr int ETH_IO_FAILED = -1;       // result of a failed send or receive

// Bounds on what a proxy may answer to CONNECT; passing one ends the open with an error.
constexpr size_t ETH_PROXY_LINE_MAX = 1023;         // characters of one reply line (CR dropped)
constexpr size_t ETH_PROXY_HEADER_LINES_MAX = 100;  // lines of one reply before its body
constexpr long ETH_PROXY_BODY_MAX = 1 << 20;        // bytes of one reply body

// What a proxy answered to one CONNECT.
struct EthProxyReply {
  int status = 0;            // status code of the "HTTP..." line, 0 when none
  std::string authenticate;  // the chosen Proxy-Authenticate value ("" when none)
  long content_length = 0;   // Content-Length value (0 when absent)
  std::string body;          // the body bytes
};

// Opens a TCP connection to `host`:`port` (IPv4 or IPv6) into http->socket, tunnelled
// through the proxy when `proxy_host` is non-null and non-empty. `proxy_user` and
// `proxy_password` (null = none) answer a 407. 0, or ETH_CONNECT_FAILED with the socket
// closed and the error recorded.
int eth_open_connection(EthHttpContext* http, const char* host, int port, const char* proxy_host,
                        int proxy_port, const char* proxy_user, const char* proxy_password);
// Opens the connection's endpoint (through its proxy when set) on `lane` (null: lane 0, the
// connection's own context) and runs the TLS handshake for an "https://" endpoint. 0,
// ETH_CONNECT_FAILED, or ETH_SSL_FAILED; the socket is closed on failure and the error recorded.
int eth_open_endpoint(EthConnection* connection, EthHttpContext* lane = nullptr);
// Shuts a TLS session down, shuts the socket down both ways and closes it; logs
// "Close connection". Does nothing when the socket is already closed.
void eth_close_connection(EthHttpContext* http);

// Sends all `length` bytes (through TLS when a session is open): `length`, or ETH_IO_FAILED.
long eth_send(EthHttpContext* http, const void* bytes, size_t length);
// Receives up to `size` bytes (through TLS when a session is open): the count (> 0), or
// ETH_IO_FAILED on an error or when the peer has closed the connection.
long eth_receive(EthHttpContext* http, void* buffer, size_t size);
// Sends the bytes of `request` on its context's connection with one send.
long eth_send_request(EthRequest* request);
// A byte source over http's connection for eth_read_response: an orderly close reads as 0.
EthByteSource eth_connection_source(EthHttpContext* http);
// Under the exchange lock, sends `request` and reads its response into `out` (the caller
// closes the connection). 0; ETH_IO_FAILED when the send failed; otherwise the failing
// EthResponseResult of the response reader.
int eth_exchange(EthRequest* request, EthResponse* out);
// One whole exchange of a statement: holding the connection's exchange lock (waited for within
// `limits`), reuses the kept-alive connection or opens the endpoint, sends `body` as a JSON-RPC
// request made into `request` and reads the response into `out`, every wait bounded by
// `limits`. The connection stays open for the next exchange unless the response or a failure
// ends it; a request a kept-alive connection never answered is sent once more on a new one.
// The exchange runs on `lane` (eth_lanes.h; null: lane 0). 0, or ETH_IO_FAILED with `failure`
// filled (SQLSTATE and text to post).
int eth_round_trip(EthConnection* connection, const EthLimits& limits, const std::string& body,
                   EthRequest* request, EthResponse* out, EthFailure* failure,
                   EthHttpContext* lane = nullptr);

// Sends CONNECT to `host`:`port` with `authorization_line` ("" for none) on http's socket
// and reads the reply into `reply`. 0, or ETH_CONNECT_FAILED with the error recorded.
int eth_proxy_connect_once(EthHttpContext* http, const char* host, int port,
                           const std::string& authorization_line, EthProxyReply* reply);

// Records `message` as http's last error (cut to 1023 characters).
void eth_set_last_error(EthHttpContext* http, const char* message);
