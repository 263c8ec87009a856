// Records of the Ethereum backend: the per-connection environment, the
// connection context with its endpoint and settings, and the HTTP context the
// transport and the log use.
#pragma once

#include <sys/socket.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "driver/dal/sqi/sqi.h"
#include "driver/eth/eth_log.h"
#include "driver/eth/eth_wait.h"

struct EthTable;     // a table of the connection's table list (eth_tables.h)
struct RowSet;       // rows of a catalog result (driver/dal/sqi/rowset.h)
struct EthQuery;     // rows of a data scan (eth_query.h)
struct EthPrefetch;  // rows of scans got ready together (eth_prefetch.h)

// Cookie kept from a response.
struct EthCookie {
  std::string name;   // cookie name
  std::string value;  // cookie value
};

// One address the endpoint's (or proxy's) name resolved to, kept for the next connection.
struct EthResolvedAddress {
  int family = 0;  // socket() arguments
  int socktype = 0;
  int protocol = 0;
  sockaddr_storage address{};  // connect() arguments
  socklen_t length = 0;
};

// When the requests of one connection may start: `max_requests_per_second` spaces them, and a
// 429 holds them all until its Retry-After has passed.
struct EthPace {
  double per_second = 0;        // resolved `max_requests_per_second`; 0 unlimited
  std::mutex lock;              // guards the two times below
  int64_t next_ns = 0;          // steady-clock time the next request may start at
  int64_t paused_until_ns = 0;  // end of the pause a 429 asked for; 0 none
};

// State of the HTTP transport of one connection; also the log's context.
struct EthHttpContext {
  int tag = ETH_HTTP_CONTEXT_TAG;       // identifies the record to the log
  EthLogState log;                      // log mode, file and lock
  EthHttpContext* log_owner = nullptr;  // the context whose log this one writes (null: its own)
  int socket = -1;                      // open socket, -1 when closed; kept open between exchanges
  std::mutex exchange_lock;             // held for each exchange and whenever the socket changes
  int exchanges_on_socket = 0;          // exchanges completed on the open socket (0: a fresh one)
  std::atomic<int> connections_opened{0};    // sockets opened to the endpoint or proxy so far
  std::shared_ptr<void> tls_resume;          // TLS session of the last connection, to resume
  std::string resolved_peer;                 // "host:port" whose addresses `resolved` holds
  std::vector<EthResolvedAddress> resolved;  // what resolving resolved_peer gave
  EthExchangeClock clock;          // limits of the exchange in progress (under exchange_lock)
  std::string uri;                 // endpoint URI
  std::string api_key;             // API key ("" when none)
  void* tls_session = nullptr;     // TLS session while a TLS socket is open
  std::string cert_path;           // certificate file or directory
  std::string entropy_file;        // entropy file
  bool accept_unverified = false;  // accept a peer the certificates do not verify
  std::vector<EthCookie> cookies;  // cookies from earlier responses
  std::string last_error;          // text of the last error (at most 1023 characters)
};

// Endpoint, proxy and settings of one connection.
struct EthConnection {
  std::string host;            // endpoint host
  uint16_t port = 443;         // endpoint port
  bool tls = false;            // "https://" endpoint
  std::string path;            // endpoint path without leading '/' ("" when none)
  std::string proxy_host;      // proxy host ("" when none)
  uint16_t proxy_port = 0;     // proxy port
  bool proxy_tls = false;      // "https://" proxy
  std::string proxy_user;      // proxy user
  std::string proxy_password;  // proxy password
  std::string api_key;         // API key
  std::string uri;             // endpoint URI
  int string_length = 255;     // resolved `string_length`
  int array_length = 2000;     // resolved `array_length`
  int object_length = 2000;    // resolved `object_length`
  int id_length = 16;          // resolved `id_length`
  int block_length = 24;       // resolved `block_length`
  int network_timeout = ETH_NETWORK_TIMEOUT_DEFAULT_SECONDS;  // `network_timeout` seconds, 0 none
  int batch_size = 100;  // resolved `batch_size`: calls per JSON-RPC batch (1: none)
  std::atomic<bool> batches_refused{false};  // the endpoint refused a batch: one call at a time
  bool connect_probe = true;                 // resolved `connect_probe`: connect sends eth_chainId
  int max_calls = 10000;                     // resolved `max_calls`: calls one statement may make
  bool typed_values = false;  // resolved `typed_values`: quantities typed as numbers and times
  int max_connections = 4;    // resolved `max_connections`: requests of a statement in flight
  EthPace pace;               // pacing of the requests
  EthHttpContext http;        // transport state: lane 0, the one every exchange but a scan's uses
  std::mutex lanes_lock;      // guards `lanes`
  // Lanes 1 and up: further kept-alive connections a scan's requests go on together, made when
  // first needed (eth_lanes.h).
  std::vector<std::unique_ptr<EthHttpContext>> lanes;
};

// The backend's connection handle (what SQIAllocEnv makes).
struct EthEnv {
  void* target = nullptr;                   // diagnostic target for connection-level errors
  SqiService service = nullptr;             // the call layer's service callback
  std::string dsn;                          // data source name ("" when none)
  int tz_hours = 0;                         // local time-zone offset, hours
  int tz_minutes = 0;                       // and minutes
  void* tls_library = nullptr;              // TLS library context
  int odbc_version = 3;                     // set by SQISetOption option 0
  int query_timeout = 0;                    // seconds, 0 none
  int login_timeout = 0;                    // SQL_ATTR_LOGIN_TIMEOUT seconds, 0 none
  int connection_timeout = 0;               // SQL_ATTR_CONNECTION_TIMEOUT seconds, 0 none
  bool disguise_long = false;               // report LONGVARCHAR as VARCHAR in SQL_DATA_TYPE
  EthConnection* connection = nullptr;      // endpoint and settings after SQIConnect
  std::vector<EthTable>* tables = nullptr;  // the connection's table list
  // Rows of scans got ready ahead by the connection's statements (eth_prefetch.h).
  std::shared_ptr<EthPrefetch> prefetch;
};

// A backend statement: a catalog result or a scan.
struct EthStmt {
  void* target = nullptr;     // diagnostic target (the iterator's handle)
  EthEnv* env = nullptr;      // owning environment
  RowSet* rows = nullptr;     // current result rows, null when none
  EthQuery* query = nullptr;  // data-mode scan state, null in catalog mode
  SqiWait wait{};             // deadline and cancel flag of the engine's statement
};

// A statement whose target is the address of this posts nothing (scans got ready ahead of
// their turn leave their errors to the scans themselves).
extern int eth_quiet_target;

// The log state `http` writes its records to: its log owner's, else its own.
inline EthLogState& eth_log_of(EthHttpContext* http) {
  return http->log_owner ? http->log_owner->log : http->log;
}

// Posts a diagnostic through the service callback with the backend's origin.
void eth_post_error(EthEnv* env, void* target, const char* sqlstate, const char* message);

constexpr const char* ETH_ORIGIN = "Quillmoor Ethereum ODBC Driver";
