// The HTTP transport: TCP connections (IPv4 and IPv6, through getaddrinfo),
// the proxy tunnel with its reply reader and Basic/Digest authentication,
// the TLS hand-off, send and receive with their error records, the
// request/response exchange over a kept-alive connection and closing. Sockets are
// non-blocking: every wait goes through eth_wait_socket, so the exchange's limits bound it.
#include "driver/eth/eth_connect.h"

#include <netdb.h>
#include <openssl/rand.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "driver/eth/eth_auth.h"
#include "driver/eth/eth_ssl.h"

namespace {

const char* const kUnit = "eth_connect.cpp";
constexpr size_t kErrorCapacity = 1024;  // 1023 characters and the NUL
constexpr int kEintrRetries = 1000;      // a signal storm must not spin forever
// Log slots for the credentials derived here; slots 0 and 1 hold the API key and password.
constexpr int kCredentialSlot = 2;  // Basic credential, or the Digest HA1
constexpr int kResponseSlot = 3;    // Digest response

std::string format_text(const char* format, ...) {
  char buffer[kErrorCapacity];
  va_list args;
  va_start(args, format);
  eth_format(buffer, sizeof buffer, format, args);
  va_end(args);
  buffer[sizeof buffer - 1] = '\0';
  return buffer;
}

// Records `message` as the last error and writes an error record of `log_text` (or the
// message itself when null). A wait that a limit ended keeps its own message.
void fail(EthHttpContext* http, int line, const std::string& message,
          const char* log_text = nullptr) {
  if (http->clock.ended == EthWaitEnd::none) eth_set_last_error(http, message.c_str());
  eth_log(http, kUnit, line, ETH_LOG_ERROR, "%s", log_text ? log_text : message.c_str());
}

std::string error_text(int error) {
  char buffer[256];
  return strerror_r(error, buffer, sizeof buffer);
}

void register_secret(EthHttpContext* http, int slot, std::string value) {
  EthLogState& log = eth_log_of(http);
  std::lock_guard<std::mutex> guard(log.lock);
  log.secrets[slot] = std::move(value);
}

bool has_line_break(const char* text) {
  return text != nullptr && std::strpbrk(text, "\r\n") != nullptr;
}

// One receive on the plain socket (with recv `flags`) or the TLS session: count, 0 on an
// orderly close, -1 on an error or when a limit ended the wait (recorded). EINTR is retried.
long receive_some(EthHttpContext* http, void* buffer, size_t size, int flags = 0) {
  if (http->socket < 0) {
    fail(http, __LINE__, "read failed");
    return -1;
  }
  // A peer that keeps sending must not outlast the exchange either.
  if (!eth_clock_check(http)) return -1;
  if (http->tls_session != nullptr) {
    long got = eth_ssl_read(http, buffer, size);
    if (got < 0) fail(http, __LINE__, "read failed");
    return got;
  }
  for (int interruptions = 0;;) {
    ssize_t got = ::recv(http->socket, buffer, size, flags);
    if (got >= 0) return static_cast<long>(got);
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      if (!eth_wait_socket(http, http->socket, POLLIN)) return -1;
      continue;
    }
    if (errno != EINTR || ++interruptions >= kEintrRetries) break;
    eth_log(http, kUnit, __LINE__, ETH_LOG_DETAIL, "Recieved EINTR");
  }
  fail(http, __LINE__, "read failed");
  return -1;
}

// Connects the non-blocking `fd` to `address`: 0, the connect error number, or -1 when a
// limit ended the wait.
int connect_socket(EthHttpContext* http, int fd, const addrinfo& address) {
  if (::connect(fd, address.ai_addr, address.ai_addrlen) == 0) return 0;
  // After EINTR the connection goes on in the background, as after EINPROGRESS.
  if (errno != EINPROGRESS && errno != EINTR) return errno;
  if (!eth_wait_socket(http, fd, POLLOUT)) return -1;
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
  return error;
}

// The addresses of `host`:`port`: those cached on `http` when they are for the same peer,
// else resolved now and cached. False with the error recorded when resolving fails.
bool resolve(EthHttpContext* http, const char* host, int port) {
  std::string peer = std::string(host) + ":" + std::to_string(port);
  if (http->resolved_peer == peer && !http->resolved.empty()) return true;
  http->resolved.clear();
  http->resolved_peer.clear();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* addresses = nullptr;
  std::string service = std::to_string(port);
  if (getaddrinfo(host, service.c_str(), &hints, &addresses) != 0 || addresses == nullptr) {
    fail(http, __LINE__, format_text("Failed to find host address '%s'", host));
    return false;
  }
  for (addrinfo* address = addresses; address != nullptr; address = address->ai_next) {
    if (address->ai_addrlen > sizeof(sockaddr_storage)) continue;
    EthResolvedAddress kept;
    kept.family = address->ai_family;
    kept.socktype = address->ai_socktype;
    kept.protocol = address->ai_protocol;
    std::memcpy(&kept.address, address->ai_addr, address->ai_addrlen);
    kept.length = address->ai_addrlen;
    http->resolved.push_back(kept);
  }
  freeaddrinfo(addresses);
  http->resolved_peer = std::move(peer);
  return true;
}

// Plain TCP connection to `host`:`port`, trying each resolved address in turn. The addresses
// are resolved once per connection; a peer none of them reaches is resolved afresh next time.
int open_direct(EthHttpContext* http, const char* host, int port) {
  eth_log(http, kUnit, __LINE__, ETH_LOG_DETAIL, "Open connection to '%s', %d", host, port);
  if (port < 1 || port > 65535) {
    fail(http, __LINE__, format_text("Invalid port %d", port));
    return ETH_CONNECT_FAILED;
  }
  if (!resolve(http, host, port)) return ETH_CONNECT_FAILED;
  bool made_socket = false;
  int last_error = 0;
  for (const EthResolvedAddress& address : http->resolved) {
    int fd =
        ::socket(address.family, address.socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, address.protocol);
    if (fd < 0) {
      last_error = errno;
      continue;
    }
    made_socket = true;
    addrinfo target{};
    target.ai_addr = const_cast<sockaddr*>(reinterpret_cast<const sockaddr*>(&address.address));
    target.ai_addrlen = address.length;
    int result = connect_socket(http, fd, target);
    if (result == 0) {
      http->socket = fd;
      http->exchanges_on_socket = 0;
      ++http->connections_opened;
      return 0;
    }
    ::close(fd);
    if (result < 0) {  // a limit ended the wait: no time is left for the other addresses
      http->socket = -1;
      return ETH_CONNECT_FAILED;
    }
    last_error = result;
  }
  http->socket = -1;
  http->resolved.clear();
  http->resolved_peer.clear();
  if (!made_socket) {
    fail(http, __LINE__, "Failed to create socket");
    return ETH_CONNECT_FAILED;
  }
  std::string text = error_text(last_error);
  fail(http, __LINE__, format_text("OS Error: '%s'", text.c_str()),
       format_text("connect() returns OS Error '%s'", text.c_str()).c_str());
  return ETH_CONNECT_FAILED;
}

void close_socket(EthHttpContext* http) {
  if (http->socket >= 0) ::close(http->socket);
  http->socket = -1;
  http->exchanges_on_socket = 0;
}

bool starts_with_nocase(const std::string& text, const char* prefix) {
  size_t length = std::strlen(prefix);
  return text.size() >= length && strncasecmp(text.c_str(), prefix, length) == 0;
}

// Value of a "Name: value" line, leading blanks removed.
std::string header_value(const std::string& line, size_t name_length) {
  size_t at = name_length + 1;
  while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
  return at < line.size() ? line.substr(at) : std::string();
}

// A non-negative decimal with optional surrounding blanks; false otherwise.
bool parse_length(const std::string& text, long* value) {
  size_t at = 0;
  while (at < text.size() && text[at] == ' ') ++at;
  size_t digits = 0;
  long result = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++digits) {
    // Anything beyond the body limit is simply too large; stop growing there.
    if (result <= ETH_PROXY_BODY_MAX) result = result * 10 + (text[at] - '0');
  }
  while (at < text.size() && text[at] == ' ') ++at;
  if (digits == 0 || at != text.size()) return false;
  *value = result;
  return true;
}

// Prefers a scheme this transport speaks (Digest, then Basic); else the first offered.
std::string choose_challenge(const std::vector<std::string>& offered) {
  for (const char* scheme : {"Digest", "Basic"})
    for (const std::string& value : offered)
      if (eth_auth_scheme(value) == scheme) return value;
  return offered.empty() ? std::string() : offered.front();
}

enum class LineRead { line, closed, failed, too_long };

// Reads one reply line without consuming anything after it: the bytes that arrived are
// looked at first and only those up to the line end are taken, so a TLS handshake that
// follows the reply finds its first byte on the socket.
LineRead read_reply_line(EthHttpContext* http, std::string* line) {
  line->clear();
  // The tunnel is always plain; a TLS session would not let bytes be looked at, so it is
  // read a byte at a time.
  const bool can_peek = http->tls_session == nullptr;
  char window[1024];
  for (;;) {
    long got = receive_some(http, window, can_peek ? sizeof window : 1, can_peek ? MSG_PEEK : 0);
    if (got < 0) return LineRead::failed;
    if (got == 0) return LineRead::closed;
    const void* newline = memchr(window, '\n', static_cast<size_t>(got));
    size_t take = newline != nullptr
                      ? static_cast<size_t>(static_cast<const char*>(newline) - window) + 1
                      : static_cast<size_t>(got);
    if (can_peek) {
      // The bytes looked at are already there, so this receive does not wait.
      for (size_t consumed = 0; consumed < take;) {
        long taken = receive_some(http, window + consumed, take - consumed);
        if (taken <= 0) return LineRead::failed;
        consumed += static_cast<size_t>(taken);
      }
    }
    for (size_t i = 0; i < take; ++i) {
      char c = window[i];
      if (c == '\r') continue;
      if (c == '\n') return LineRead::line;
      if (line->size() >= ETH_PROXY_LINE_MAX) return LineRead::too_long;
      *line += c;
    }
  }
}

// Reads the status line, the headers and the body of a proxy reply.
int read_proxy_reply(EthHttpContext* http, EthProxyReply* reply) {
  *reply = EthProxyReply{};
  std::vector<std::string> challenges;
  bool started = false;
  size_t lines = 0;
  std::string line;
  for (;;) {
    LineRead read = read_reply_line(http, &line);
    if (read == LineRead::too_long) {
      fail(http, __LINE__,
           format_text("Proxy reply line longer than %d characters",
                       static_cast<int>(ETH_PROXY_LINE_MAX)));
      return ETH_CONNECT_FAILED;
    }
    if (read != LineRead::line) {
      fail(http, __LINE__, "Conection to proxy failed", "connection to proxy failed");
      return ETH_CONNECT_FAILED;
    }
    if (++lines > ETH_PROXY_HEADER_LINES_MAX) {
      fail(http, __LINE__,
           format_text("Proxy reply has more than %d header lines",
                       static_cast<int>(ETH_PROXY_HEADER_LINES_MAX)));
      return ETH_CONNECT_FAILED;
    }
    if (line.size() <= 1) {
      if (started) break;
      continue;
    }
    started = true;
    eth_log(http, kUnit, __LINE__, ETH_LOG_CONTINUATION, "%s", line.c_str());
    if (line.size() >= 5 && line.compare(0, 4, "HTTP") == 0) {
      size_t space = line.find(' ');
      reply->status = space == std::string::npos ? 0 : std::atoi(line.c_str() + space + 1);
    } else if (starts_with_nocase(line, "Proxy-Authenticate:")) {
      challenges.push_back(header_value(line, std::strlen("Proxy-Authenticate")));
    } else if (starts_with_nocase(line, "Content-Length:")) {
      long length = 0;
      if (!parse_length(header_value(line, std::strlen("Content-Length")), &length)) {
        fail(http, __LINE__, "Proxy reply has an invalid Content-Length");
        return ETH_CONNECT_FAILED;
      }
      reply->content_length = length;
    }
  }
  reply->authenticate = choose_challenge(challenges);
  if (reply->content_length > ETH_PROXY_BODY_MAX) {
    fail(
        http, __LINE__,
        format_text("Proxy reply body longer than %d bytes", static_cast<int>(ETH_PROXY_BODY_MAX)));
    return ETH_CONNECT_FAILED;
  }
  reply->body.resize(static_cast<size_t>(reply->content_length));
  size_t have = 0;
  while (have < reply->body.size()) {
    long got = receive_some(http, reply->body.data() + have, reply->body.size() - have);
    if (got <= 0) {
      fail(http, __LINE__, "Conection to proxy failed", "connection to proxy failed");
      return ETH_CONNECT_FAILED;
    }
    have += static_cast<size_t>(got);
  }
  if (!reply->body.empty())
    eth_log(http, kUnit, __LINE__, ETH_LOG_DETAIL, "Respose Body %S",
            static_cast<int>(reply->body.size()), reply->body.c_str());
  return 0;
}

// Eight lowercase hexadecimal digits, random where the system can provide it.
std::string make_cnonce() {
  unsigned long value = 0;
  unsigned char bytes[4];
  if (RAND_bytes(bytes, sizeof bytes) == 1)
    value = (static_cast<unsigned long>(bytes[0]) << 24) | (bytes[1] << 16) | (bytes[2] << 8) |
            bytes[3];
  else
    value = static_cast<unsigned long>(time(nullptr)) & 0xFFFFFFFFUL;
  char text[16];
  snprintf(text, sizeof text, "%08lx", value);
  return text;
}

// The Digest authorization line for the challenge of `reply`; "" after a recorded failure.
std::string digest_line(EthHttpContext* http, const char* host, int port, const char* user,
                        const char* password, const EthProxyReply& reply) {
  EthDigestChallenge challenge = eth_parse_digest_challenge(reply.authenticate);
  EthDigestInput input;
  input.user = user;
  input.password = password;
  input.method = "CONNECT";
  input.uri = eth_host_text(host) + ":" + std::to_string(port);
  input.cnonce = make_cnonce();
  if (!challenge.qop.empty()) input.nc = "00000001";
  input.entity = reply.body;
  eth_log(http, kUnit, __LINE__, ETH_LOG_DETAIL, "Proxy Auth: Digest");
  eth_log(http, kUnit, __LINE__, ETH_LOG_CONTINUATION, "realm: \"%s\"", challenge.realm.c_str());
  eth_log(http, kUnit, __LINE__, ETH_LOG_CONTINUATION, "nonce: \"%s\"", challenge.nonce.c_str());
  eth_log(http, kUnit, __LINE__, ETH_LOG_CONTINUATION, "qop: \"%s\"", challenge.qop.c_str());
  eth_log(http, kUnit, __LINE__, ETH_LOG_CONTINUATION, "algorithm: \"%s\"",
          challenge.algorithm.c_str());
  eth_log(http, kUnit, __LINE__, ETH_LOG_CONTINUATION, "stale: %d", challenge.stale ? 1 : 0);
  eth_log(http, kUnit, __LINE__, ETH_LOG_CONTINUATION, "opaque: \"%s\"", challenge.opaque.c_str());
  eth_log(http, kUnit, __LINE__, ETH_LOG_CONTINUATION, "uri: \"%s\"", input.uri.c_str());
  eth_log(http, kUnit, __LINE__, ETH_LOG_CONTINUATION, "cnonce: \"%s\"", input.cnonce.c_str());
  eth_log(http, kUnit, __LINE__, ETH_LOG_CONTINUATION, "ncount: %s", input.nc.c_str());
  EthDigestResult result;
  EthDigestStatus status = eth_digest_compute(challenge, input, &result);
  if (status == EthDigestStatus::unknown_algorithm) {
    fail(http, __LINE__, "Conection to proxy failed - unknown algorithm",
         "connection to proxy failed - unknown algorithm");
    return "";
  }
  // HA1 is as good as the password for this realm, so it is masked like the response.
  register_secret(http, kCredentialSlot, result.ha1);
  eth_log(http, kUnit, __LINE__, ETH_LOG_CONTINUATION, "HA1: %s", result.ha1.c_str());
  if (status == EthDigestStatus::unknown_qop) {
    fail(http, __LINE__, "Conection to proxy failed - unknown qop",
         "connection to proxy failed - unknown qop");
    return "";
  }
  eth_log(http, kUnit, __LINE__, ETH_LOG_CONTINUATION, "HA2: %s", result.ha2.c_str());
  register_secret(http, kResponseSlot, result.response);
  eth_log(http, kUnit, __LINE__, ETH_LOG_CONTINUATION, "response: %s", result.response.c_str());
  return eth_digest_authorization_line(challenge, input, result);
}

// Answers a 407 on the open proxy socket; 0 when the tunnel is open.
int authenticate(EthHttpContext* http, const char* host, int port, const char* user,
                 const char* password, const EthProxyReply& reply) {
  if (reply.authenticate.empty()) {
    fail(http, __LINE__, "Proxy Auth requested, but no Scheme");
    return ETH_CONNECT_FAILED;
  }
  if (user == nullptr || *user == '\0') {
    fail(http, __LINE__, "Proxy Auth requested, but no username");
    return ETH_CONNECT_FAILED;
  }
  if (password == nullptr || *password == '\0') {
    fail(http, __LINE__, "Proxy Auth requested, but no password");
    return ETH_CONNECT_FAILED;
  }
  // A line break would let the credentials smuggle header lines into the request.
  if (has_line_break(user) || has_line_break(password)) {
    fail(http, __LINE__, "Proxy user or password contains a line break");
    return ETH_CONNECT_FAILED;
  }
  std::string scheme = eth_auth_scheme(reply.authenticate);
  eth_log(http, kUnit, __LINE__, ETH_LOG_DETAIL, "Auth Scheme: %s", scheme.c_str());
  std::string line;
  if (scheme == "Basic") {
    eth_log(http, kUnit, __LINE__, ETH_LOG_DETAIL, "Basic Auth");
    std::string credential = eth_basic_credential(user, password);
    register_secret(http, kCredentialSlot, credential);
    register_secret(http, kResponseSlot, "");
    line = "Proxy-Authorization: Basic " + credential + "\r\n";
  } else if (scheme == "Digest") {
    line = digest_line(http, host, port, user, password, reply);
    if (line.empty()) return ETH_CONNECT_FAILED;
  } else {
    fail(http, __LINE__, format_text("Proxy Auth: Unsupported Scheme >%s<", scheme.c_str()));
    return ETH_CONNECT_FAILED;
  }
  EthProxyReply answer;
  if (eth_proxy_connect_once(http, host, port, line, &answer) != 0) return ETH_CONNECT_FAILED;
  if (answer.status == 200) return 0;
  fail(http, __LINE__, format_text("Conection to proxy failed %d", answer.status),
       format_text("connection to proxy failed %d", answer.status).c_str());
  return ETH_CONNECT_FAILED;
}

int open_via_proxy(EthHttpContext* http, const char* host, int port, const char* proxy_host,
                   int proxy_port, const char* user, const char* password) {
  eth_log(http, kUnit, __LINE__, ETH_LOG_DETAIL, "Open proxy connection to '%s', %d, via '%s', %d",
          host, port, proxy_host, proxy_port);
  if (open_direct(http, proxy_host, proxy_port) != 0) {
    fail(http, __LINE__, "Conection to proxy failed", "connection to proxy failed");
    return ETH_CONNECT_FAILED;
  }
  EthProxyReply reply;
  int result = eth_proxy_connect_once(http, host, port, "", &reply);
  if (result == 0) {
    if (reply.status == 407) {
      result = authenticate(http, host, port, user, password, reply);
    } else if (reply.status != 200) {
      fail(http, __LINE__, format_text("Conection to proxy failed %d", reply.status),
           format_text("connection to proxy failed %d", reply.status).c_str());
      result = ETH_CONNECT_FAILED;
    }
  }
  if (result != 0) close_socket(http);
  return result;
}

long read_from_connection(void* state, unsigned char* buffer, size_t capacity) {
  return receive_some(static_cast<EthHttpContext*>(state), buffer, capacity);
}

// "host:port" of the endpoint, and of the proxy it is reached through, for messages.
std::string peer_text(const char* host, int port, const char* proxy_host, int proxy_port) {
  std::string text = eth_host_text(host ? host : "") + ":" + std::to_string(port);
  if (proxy_host != nullptr && *proxy_host != '\0')
    text += " through the proxy " + eth_host_text(proxy_host) + ":" + std::to_string(proxy_port);
  return text;
}

// Marks the connect phase on http's clock for the lifetime of one open, unless an outer open
// already did.
class ConnectPhase {
 public:
  ConnectPhase(EthHttpContext* http, const std::string& peer)
      : http_(http), owner_(!http->clock.connecting) {
    if (owner_) eth_clock_connecting(http_, peer);
  }
  ~ConnectPhase() {
    if (owner_) eth_clock_connected(http_);
  }
  ConnectPhase(const ConnectPhase&) = delete;
  ConnectPhase& operator=(const ConnectPhase&) = delete;

 private:
  EthHttpContext* http_;
  bool owner_;
};

// The failure of the exchange in progress on `http`: the limit that ended a wait, else the
// transport's last error.
EthFailure current_failure(const EthHttpContext& http) {
  if (http.clock.ended != EthWaitEnd::none) return eth_wait_failure(http.clock, http.clock.ended);
  EthFailure failure;
  failure.message = http.last_error.empty() ? "Connection failed" : http.last_error;
  return failure;
}

// A byte source that counts what it hands on, so that a failed exchange can tell whether the
// server answered anything at all.
struct CountingSource {
  EthByteSource inner;  // the connection's source
  size_t received = 0;  // bytes read through it
};

long read_counting(void* state, unsigned char* buffer, size_t capacity) {
  auto* counting = static_cast<CountingSource*>(state);
  long got = counting->inner.read(counting->inner.state, buffer, capacity);
  if (got > 0) counting->received += static_cast<size_t>(got);
  return got;
}

// Sends `request` and reads its response; the caller holds the exchange lock. `received`
// (when not null) gets the count of response bytes read.
int send_and_read(EthRequest* request, EthResponse* out, size_t* received = nullptr) {
  EthHttpContext* http = request->header.context;
  if (eth_send_request(request) < 0) return ETH_IO_FAILED;
  CountingSource counting{eth_connection_source(http)};
  EthByteSource source;
  source.state = &counting;
  source.read = read_counting;
  // The response reader takes over from here: status, headers, body.
  int result = eth_read_response(http, &source, out);
  if (received) *received = counting.received;
  return result;
}

// Whether the kept-alive socket of `http` may carry another request: a server that closed it
// (or sent something unasked) makes it readable while it should be idle.
bool idle_socket_usable(EthHttpContext* http) {
  pollfd entry{http->socket, POLLIN, 0};
  int ready = ::poll(&entry, 1, 0);
  return ready == 0;
}

// Whether the connection may serve another request after `response`: not when the server
// said it closes it, nor when the body ran to the close of the connection.
bool reusable_after(const EthResponse& response) {
  if (response.connection_close) return false;
  int status = response.status_code;
  if (status == 204 || status == 304) return true;
  return response.chunked || response.content_length >= 0;
}

}  // namespace

void eth_set_last_error(EthHttpContext* http, const char* message) {
  std::string text = message ? message : "";
  if (text.size() > kErrorCapacity - 1) text.resize(kErrorCapacity - 1);
  http->last_error = std::move(text);
}

int eth_open_connection(EthHttpContext* http, const char* host, int port, const char* proxy_host,
                        int proxy_port, const char* proxy_user, const char* proxy_password) {
  if (http == nullptr) return ETH_CONNECT_FAILED;
  if (http->socket >= 0) eth_close_connection(http);
  // Outside an exchange nothing else clears what ended an earlier wait.
  if (!http->clock.started) http->clock.ended = EthWaitEnd::none;
  try {
    if (host == nullptr || *host == '\0') {
      fail(http, __LINE__, "Failed to find host address ''");
      return ETH_CONNECT_FAILED;
    }
    ConnectPhase phase(http, peer_text(host, port, proxy_host, proxy_port));
    if (proxy_host != nullptr && *proxy_host != '\0')
      return open_via_proxy(http, host, port, proxy_host, proxy_port, proxy_user, proxy_password);
    return open_direct(http, host, port);
  } catch (...) {
    close_socket(http);
    eth_set_last_error(http, "Unable to allocate memory");
    return ETH_CONNECT_FAILED;
  }
}

int eth_open_endpoint(EthConnection* connection, EthHttpContext* lane) {
  EthHttpContext* http = lane ? lane : &connection->http;
  if (!connection->proxy_host.empty() && connection->proxy_tls) {
    // The tunnel would need a TLS session to the proxy inside which the endpoint's runs.
    fail(http, __LINE__, "TLS connections to the proxy are not supported");
    return ETH_CONNECT_FAILED;
  }
  int result;
  try {
    // The login time-out covers the TCP connection, the tunnel and the TLS handshake alike.
    ConnectPhase phase(http, peer_text(connection->host.c_str(), connection->port,
                                       connection->proxy_host.c_str(), connection->proxy_port));
    result = eth_open_connection(
        http, connection->host.c_str(), connection->port, connection->proxy_host.c_str(),
        connection->proxy_port, connection->proxy_user.c_str(), connection->proxy_password.c_str());
    if (result != 0 || !connection->tls) return result;
    result = eth_ssl_connect(http, http->socket, connection->host.c_str());
  } catch (...) {
    eth_set_last_error(http, "Unable to allocate memory");
    result = ETH_CONNECT_FAILED;
  }
  if (result != 0) eth_close_connection(http);
  return result;
}

void eth_close_connection(EthHttpContext* http) {
  if (http == nullptr || http->socket < 0) return;
  if (http->tls_session != nullptr) eth_ssl_shutdown(http);
  eth_log(http, kUnit, __LINE__, ETH_LOG_DETAIL, "Close connection");
  ::shutdown(http->socket, SHUT_RDWR);
  close_socket(http);
}

long eth_send(EthHttpContext* http, const void* bytes, size_t length) {
  if (http == nullptr) return ETH_IO_FAILED;
  if (http->socket < 0 || (bytes == nullptr && length > 0)) {
    fail(http, __LINE__, "Send to proxy failed");
    return ETH_IO_FAILED;
  }
  const auto* data = static_cast<const unsigned char*>(bytes);
  if (http->tls_session != nullptr) {
    if (eth_ssl_write(http, data, length) != static_cast<long>(length)) {
      fail(http, __LINE__, "Send to proxy failed");
      return ETH_IO_FAILED;
    }
  } else {
    size_t sent = 0;
    int interruptions = 0;
    while (sent < length) {
      if (!eth_clock_check(http)) return ETH_IO_FAILED;
      // MSG_NOSIGNAL: a peer that went away must give an error, not kill the process.
      ssize_t written = ::send(http->socket, data + sent, length - sent, MSG_NOSIGNAL);
      if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        if (!eth_wait_socket(http, http->socket, POLLOUT)) return ETH_IO_FAILED;
        continue;
      }
      if (written < 0 && errno == EINTR && ++interruptions < kEintrRetries) continue;
      if (written <= 0) {
        fail(http, __LINE__, "Send to proxy failed");
        return ETH_IO_FAILED;
      }
      sent += static_cast<size_t>(written);
    }
  }
  eth_log_dump(http, kUnit, __LINE__, ETH_LOG_PKTDUMP, data, length, "Sent %d bytes",
               static_cast<int>(length));
  return static_cast<long>(length);
}

long eth_receive(EthHttpContext* http, void* buffer, size_t size) {
  if (http == nullptr) return ETH_IO_FAILED;
  if (buffer == nullptr || size == 0) {
    fail(http, __LINE__, "read failed");
    return ETH_IO_FAILED;
  }
  long got = receive_some(http, buffer, size);
  if (got == 0) {
    fail(http, __LINE__, "read failed (peer shutdown)");
    return ETH_IO_FAILED;
  }
  return got < 0 ? ETH_IO_FAILED : got;
}

long eth_send_request(EthRequest* request) {
  if (request == nullptr || request->header.context == nullptr) return ETH_IO_FAILED;
  try {
    std::string bytes = eth_request_bytes(*request);
    return eth_send(request->header.context, bytes.data(), bytes.size());
  } catch (...) {
    eth_set_last_error(request->header.context, "Unable to allocate memory");
    return ETH_IO_FAILED;
  }
}

EthByteSource eth_connection_source(EthHttpContext* http) {
  EthByteSource source;
  source.state = http;
  source.read = read_from_connection;
  return source;
}

int eth_exchange(EthRequest* request, EthResponse* out) {
  if (request == nullptr || request->header.context == nullptr || out == nullptr)
    return ETH_IO_FAILED;
  EthHttpContext* http = request->header.context;
  std::lock_guard<std::mutex> guard(http->exchange_lock);
  if (!http->clock.started) http->clock.ended = EthWaitEnd::none;
  return send_and_read(request, out);
}

int eth_round_trip(EthConnection* connection, const EthLimits& limits, const std::string& body,
                   EthRequest* request, EthResponse* out, EthFailure* failure,
                   EthHttpContext* lane) {
  EthHttpContext* http = lane ? lane : &connection->http;
  EthExchangeClock clock = eth_clock_for(limits, sqi_steady_now_ns());
  clock.peer = peer_text(connection->host.c_str(), connection->port, connection->proxy_host.c_str(),
                         connection->proxy_port);
  // Statements of one connection may run on several threads: the socket is used by one
  // exchange at a time, and waiting for the turn counts against the limits.
  std::unique_lock<std::mutex> lock(http->exchange_lock, std::defer_lock);
  EthWaitEnd end = eth_lock_within(lock, clock);
  if (end != EthWaitEnd::none) {
    *failure = eth_wait_failure(clock, end);
    return ETH_IO_FAILED;
  }
  eth_clock_install(http, clock);
  int result = 0;
  try {
    // The calls are reads, so a request the server never answered because it had closed the
    // kept-alive connection meanwhile is sent once more on a fresh one.
    for (int attempt = 0;; ++attempt) {
      if (http->socket >= 0 && !idle_socket_usable(http)) {
        eth_log(http, kUnit, __LINE__, ETH_LOG_DETAIL, "Kept-alive connection closed by the peer");
        eth_close_connection(http);
      }
      const bool reused = http->socket >= 0;
      result = reused ? 0 : eth_open_endpoint(connection, http);
      size_t received = 0;
      if (result == 0) {
        *out = EthResponse{};
        eth_make_json_request(http, connection->host, connection->port, body, request);
        result = send_and_read(request, out, &received);
      }
      if (result == 0) {
        if (reusable_after(*out))
          ++http->exchanges_on_socket;
        else
          eth_close_connection(http);
        break;
      }
      // After any failure the connection's framing is unknown: it is never used again.
      eth_close_connection(http);
      if (reused && attempt == 0 && received == 0 && http->clock.ended == EthWaitEnd::none) {
        eth_log(http, kUnit, __LINE__, ETH_LOG_DETAIL,
                "Kept-alive connection gave no answer; sending again on a new connection");
        http->last_error.clear();
        continue;
      }
      *failure = current_failure(*http);
      break;
    }
  } catch (...) {
    eth_close_connection(http);
    failure->sqlstate = "HY001";
    failure->message = "Memory allocation error";
    result = ETH_IO_FAILED;
  }
  eth_clock_stop(http);
  return result == 0 ? 0 : ETH_IO_FAILED;
}

int eth_proxy_connect_once(EthHttpContext* http, const char* host, int port,
                           const std::string& authorization_line, EthProxyReply* reply) {
  std::string request = eth_connect_request_bytes(host, port, authorization_line);
  if (request.empty()) {
    fail(http, __LINE__,
         format_text("Proxy request longer than %d bytes",
                     static_cast<int>(ETH_CONNECT_REQUEST_MAX)));
    return ETH_CONNECT_FAILED;
  }
  if (eth_send(http, request.data(), request.size()) != static_cast<long>(request.size())) {
    fail(http, __LINE__, "Conection to proxy failed", "connection to proxy failed");
    return ETH_CONNECT_FAILED;
  }
  return read_proxy_reply(http, reply);
}
