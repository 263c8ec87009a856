// The TLS channel of the Ethereum backend: the client library context, the
// handshake with its trust store, host-name and entropy handling, the
// treatment of certificate verification results, and TLS send, receive and
// close on a connected socket.
#pragma once

#include <cstddef>

#include "driver/eth/eth_context.h"

// Makes a reference on the process's TLS client context (made on first use, with the
// system trust store); null when OpenSSL cannot make it. One per backend environment.
void* eth_ssl_library_create();
// Drops a reference made by eth_ssl_library_create (null is ignored); the last one frees
// the client context. Sessions still open keep what they use alive.
void eth_ssl_library_free(void* library);

// Runs the TLS handshake on the connected `socket` for `host` (a name or an IP literal,
// IPv6 with or without brackets) and keeps the session in http->tls_session. The peer must
// present a chain that verifies against http->cert_path (a CA file or a directory of CA
// files) or else the system trust store, naming `host`; with http->accept_unverified the
// tolerable verification failures are logged and accepted. Returns 0 on success;
// otherwise ETH_SSL_FAILED with http->last_error set and an error record logged.
int eth_ssl_connect(EthHttpContext* http, int socket, const char* host);
// Sends all `length` bytes over the session; the count sent, or -1 on error or without
// a session.
long eth_ssl_write(EthHttpContext* http, const void* bytes, size_t length);
// Receives at most `size` bytes; the count received, 0 when the peer closed the channel,
// -1 on error or without a session.
long eth_ssl_read(EthHttpContext* http, void* buffer, size_t size);
// Sends the close notification (only while http->socket is the session's socket), frees
// the session and clears http->tls_session; the socket stays open for its owner to close.
// Does nothing without a session.
void eth_ssl_shutdown(EthHttpContext* http);

constexpr int ETH_SSL_FAILED = -6;  // result of a failed handshake
