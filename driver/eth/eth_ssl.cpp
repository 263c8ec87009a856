// The TLS channel of the Ethereum backend over OpenSSL: a shared client
// context, the per-connection trust store, the handshake with peer and
// host-name verification, the verification failures a connection may be told
// to accept, and send, receive and close on the session. The socket is
// non-blocking: when OpenSSL wants to read or write, the channel waits within
// the exchange's limits (eth_wait.h).
#include "driver/eth/eth_ssl.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>
#include <openssl/err.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdarg>
#include <ctime>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace {

const char* const kUnit = "eth_ssl.cpp";
constexpr size_t kMessageSize = 1024;  // posted texts are kept to 1023 characters

// Verification failures a connection that accepts unverified peers lets pass,
// each with the text logged when it does.
struct ToleratedFailure {
  int code;
  const char* text;
};
constexpr ToleratedFailure kToleratedFailures[] = {
    {2,
     "Connection was encrypted but unable to get issuer certificate "
     "(X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT)"},
    {4,
     "Connection was encrypted but unable to decrypt certificate's signature "
     "(X509_V_ERR_UNABLE_TO_DECRYPT_CERT_SIGNATURE)"},
    {6,
     "Connection was encrypted but unable to decode issuer public key "
     "(X509_V_ERR_UNABLE_TO_DECODE_ISSUER_PUBLIC_KEY)"},
    {7,
     "Connection was encrypted but certificate signature failure "
     "(X509_V_ERR_CERT_SIGNATURE_FAILURE)"},
    {9,
     "Connection was encrypted but certificate is not yet valid (X509_V_ERR_CERT_NOT_YET_VALID)"},
    {10, "Connection was encrypted but certificate has expired (X509_V_ERR_CERT_HAS_EXPIRED)"},
    {13, "Connection was encrypted but format error in certificate's notBefore field"},
    {14, "Connection was encrypted but format error in certificate's notAfter field"},
    {18, "Connection was encrypted but self signed certificate"},
    {19,
     "Connection was encrypted but unable to get local issuer certificate "
     "(X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN)"},
    {20,
     "Connection was encrypted but unable to get local issuer certificate "
     "(X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY)"},
    {21, "Connection was encrypted but unable to verify the first certificate"},
    {24, "Connection was encrypted but invalid CA certificate"},
    {25, "Connection was encrypted but path length constraint exceeded"},
    {26, "Connection was encrypted but unsupported certificate purpose"},
    {27, "Connection was encrypted but certificate not trusted"},
    {28, "Connection was encrypted but certificate rejected"},
    {32, "Connection was encrypted but key usage does not include certificate signing"},
};

const char* tolerated_text(int code) {
  for (const ToleratedFailure& failure : kToleratedFailures)
    if (failure.code == code) return failure.text;
  return nullptr;
}

// The client context all connections of the process share; each backend
// environment holds one reference.
struct TlsLibrary {
  std::mutex lock;
  SSL_CTX* context = nullptr;
  size_t references = 0;
};

TlsLibrary& tls_library() {
  // Never destroyed: sessions may still be closed while the process exits.
  static TlsLibrary* library = new TlsLibrary;
  return *library;
}

SSL_CTX* make_client_context() {
  SSL_CTX* context = SSL_CTX_new(TLS_client_method());
  if (!context) return nullptr;
  SSL_CTX_set_options(context, SSL_OP_DONT_INSERT_EMPTY_FRAGMENTS);
  SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
  // Without a `cert` setting peers are checked against the system's trust store.
  SSL_CTX_set_default_verify_paths(context);
  ERR_clear_error();
  return context;
}

// A reference on the shared client context, or null when no environment made one.
SSL_CTX* acquire_client_context() {
  TlsLibrary& library = tls_library();
  std::lock_guard<std::mutex> guard(library.lock);
  if (library.references == 0 || !library.context) return nullptr;
  SSL_CTX_up_ref(library.context);
  return library.context;
}

// What the TLS session of a connection carries besides OpenSSL's object.
struct TlsSession {
  SSL* ssl = nullptr;
  bool accept_unverified = false;
  std::vector<int> accepted_failures;  // tolerated verification failures, in order seen
  int refused_failure = 0;             // the verification failure that ended the handshake
};

struct SslDeleter {
  void operator()(SSL* ssl) const { SSL_free(ssl); }
};
struct StoreDeleter {
  void operator()(X509_STORE* store) const { X509_STORE_free(store); }
};
struct ContextDeleter {
  void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};

// Keeps a write to a socket the peer closed from raising SIGPIPE in the host
// application: the signal is blocked in this thread for the call and a SIGPIPE
// it raised is taken back before the old mask returns.
class SigpipeGuard {
 public:
  SigpipeGuard() {
    sigemptyset(&pipe_only_);
    sigaddset(&pipe_only_, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    already_pending_ = sigismember(&pending, SIGPIPE) == 1;
    blocked_ = pthread_sigmask(SIG_BLOCK, &pipe_only_, &saved_) == 0;
  }
  ~SigpipeGuard() {
    if (!blocked_) return;
    if (!already_pending_) {
      sigset_t pending;
      sigpending(&pending);
      if (sigismember(&pending, SIGPIPE) == 1) {
        struct timespec no_wait {};
        int saved_errno = errno;
        while (sigtimedwait(&pipe_only_, nullptr, &no_wait) == -1 && errno == EINTR) {
        }
        errno = saved_errno;
      }
    }
    pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
  }
  SigpipeGuard(const SigpipeGuard&) = delete;
  SigpipeGuard& operator=(const SigpipeGuard&) = delete;

 private:
  sigset_t pipe_only_{};
  sigset_t saved_{};
  bool already_pending_ = false;
  bool blocked_ = false;
};

// Sets the connection's error text and logs it as an error record.
void post_failure(EthHttpContext* http, int line, const char* format, ...) {
  char text[kMessageSize];
  EthLogState& log = eth_log_of(http);
  va_list args;
  va_start(args, format);
  {
    // Another lane of the connection may be registering a secret meanwhile.
    std::lock_guard<std::mutex> guard(log.lock);
    eth_format_masked(text, sizeof text, log.secrets, std::size(log.secrets), format, args);
  }
  va_end(args);
  http->last_error = text;
  eth_log(http, kUnit, line, ETH_LOG_ERROR, "%s", text);
}

// Logs and empties this thread's OpenSSL error queue.
void drain_errors(EthHttpContext* http, int line) {
  for (unsigned long code = ERR_get_error(); code != 0; code = ERR_get_error()) {
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    eth_log(http, kUnit, line, ETH_LOG_ERROR, "SSL error '%s'", text);
  }
}

int counted(const std::string& text) {
  return text.size() > INT_MAX ? INT_MAX : static_cast<int>(text.size());
}

// Loads every certificate file of `directory` (ordinary names and hashed names alike);
// false when the directory cannot be read or holds no certificate.
bool load_certificate_directory(X509_STORE* store, const std::string& directory) {
  DIR* listing = opendir(directory.c_str());
  if (!listing) return false;
  size_t loaded = 0;
  while (const dirent* entry = readdir(listing)) {
    if (entry->d_name[0] == '.') continue;
    std::string file = directory + "/" + entry->d_name;
    struct stat info {};
    if (stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    // Files that hold no certificate (a README, a key) are passed over quietly.
    ERR_set_mark();
    if (X509_STORE_load_file(store, file.c_str()) == 1) ++loaded;
    ERR_pop_to_mark();
  }
  closedir(listing);
  return loaded > 0;
}

// The trust store made from the connection's `cert` setting, or null (failure posted).
std::unique_ptr<X509_STORE, StoreDeleter> load_trust_store(EthHttpContext* http) {
  const std::string& path = http->cert_path;
  eth_log(http, kUnit, __LINE__, ETH_LOG_DETAIL, "Loading Certificate file '%S'", counted(path),
          path.c_str());
  std::unique_ptr<X509_STORE, StoreDeleter> store(X509_STORE_new());
  bool loaded = false;
  struct stat info {};
  if (store) {
    if (stat(path.c_str(), &info) != 0) {
      eth_log(http, kUnit, __LINE__, ETH_LOG_CONTINUATION, "file not found, treating as file");
      loaded = X509_STORE_load_file(store.get(), path.c_str()) == 1;
    } else if (S_ISDIR(info.st_mode)) {
      eth_log(http, kUnit, __LINE__, ETH_LOG_CONTINUATION, "file found, treating as directory");
      loaded = load_certificate_directory(store.get(), path);
    } else {
      eth_log(http, kUnit, __LINE__, ETH_LOG_CONTINUATION, "file found, treating as file");
      loaded = X509_STORE_load_file(store.get(), path.c_str()) == 1;
    }
  }
  if (loaded) return store;
  post_failure(http, __LINE__, "Loading Certificate file '%S' failed", counted(path), path.c_str());
  drain_errors(http, __LINE__);
  return nullptr;
}

// Keeps going past a verification failure only when the connection tolerates it;
// every failure is noted on the session for the handshake's verdict.
int verify_peer(int preverified, X509_STORE_CTX* store_context) {
  if (preverified == 1) return 1;
  auto* ssl = static_cast<SSL*>(
      X509_STORE_CTX_get_ex_data(store_context, SSL_get_ex_data_X509_STORE_CTX_idx()));
  auto* session = ssl ? static_cast<TlsSession*>(SSL_get_app_data(ssl)) : nullptr;
  if (!session) return 0;
  int code = X509_STORE_CTX_get_error(store_context);
  if (session->accept_unverified && tolerated_text(code)) {
    std::vector<int>& accepted = session->accepted_failures;
    bool seen = false;
    for (int earlier : accepted) seen = seen || earlier == code;
    if (!seen) accepted.push_back(code);
    return 1;
  }
  if (session->refused_failure == 0) session->refused_failure = code;
  return 0;
}

// Names the peer must prove: the SNI name and the certificate's host name for a
// name, the certificate's IP address for an IP literal. False on failure.
bool expect_peer_name(SSL* ssl, const char* host) {
  std::string name = host;
  if (name.size() > 2 && name.front() == '[' && name.back() == ']')
    name = name.substr(1, name.size() - 2);
  unsigned char address[sizeof(struct in6_addr)];
  if (inet_pton(AF_INET, name.c_str(), address) == 1 ||
      inet_pton(AF_INET6, name.c_str(), address) == 1)
    return X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), name.c_str()) == 1;
  SSL_set_hostflags(ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
  return SSL_set_tlsext_host_name(ssl, name.c_str()) == 1 && SSL_set1_host(ssl, name.c_str()) == 1;
}

// Posts why SSL_connect returned `result`; `saved_errno` is errno right after it.
void post_connect_failure(EthHttpContext* http, SSL* ssl, const TlsSession& session, int result,
                          int saved_errno) {
  int status = SSL_get_error(ssl, result);
  if (result == 0) {
    eth_log(http, kUnit, __LINE__, ETH_LOG_DETAIL, "SSL Shutdown, reason %d", status);
  } else {
    eth_log(http, kUnit, __LINE__, ETH_LOG_DETAIL, "SSL connect status %d", status);
  }
  if (session.refused_failure != 0) {
    post_failure(http, __LINE__, "SSL connection failed, verify cert returned %d",
                 session.refused_failure);
  } else if (result == 0) {
    post_failure(http, __LINE__, "SSL Shutdown, reason %d", status);
  } else if (status == SSL_ERROR_SYSCALL) {
    if (saved_errno == ENOENT)
      post_failure(http, __LINE__,
                   "SSL connection failed in syscall (errno=%d, there may be no source of "
                   "entropy on this system, consult OpenSSL documentation)",
                   saved_errno);
    else
      post_failure(http, __LINE__, "SSL connection failed in syscall (errno=%d)", saved_errno);
    eth_log(http, kUnit, __LINE__, ETH_LOG_DETAIL, "Required SSL (unexpected status, syscall %d)",
            saved_errno);
  } else {
    post_failure(http, __LINE__, "SSL connection failed");
    eth_log(http, kUnit, __LINE__, ETH_LOG_DETAIL, "Required SSL (unexpected status)");
  }
  drain_errors(http, __LINE__);
}

// Waits for what OpenSSL asked for after a call that gave `status`: true when the call should
// be repeated, false when the status is a failure or a limit ended the wait.
bool wait_for_tls(EthHttpContext* http, int socket, int status) {
  if (status == SSL_ERROR_WANT_READ) return eth_wait_socket(http, socket, POLLIN);
  if (status == SSL_ERROR_WANT_WRITE) return eth_wait_socket(http, socket, POLLOUT);
  return false;
}

// Checks the finished handshake's verification verdict; false (failure posted) when the
// peer is not to be trusted.
bool accept_peer(EthHttpContext* http, SSL* ssl, const TlsSession& session) {
  long verdict = SSL_get_verify_result(ssl);
  if (!SSL_get0_peer_certificate(ssl)) verdict = X509_V_ERR_APPLICATION_VERIFICATION;
  bool tolerated = session.accept_unverified && tolerated_text(static_cast<int>(verdict));
  if (verdict != X509_V_OK && !tolerated) {
    post_failure(http, __LINE__, "SSL connection failed, verify cert returned %d",
                 static_cast<int>(verdict));
    return false;
  }
  for (int code : session.accepted_failures)
    eth_log(http, kUnit, __LINE__, ETH_LOG_DETAIL, "%s", tolerated_text(code));
  return true;
}

void log_cipher(EthHttpContext* http, SSL* ssl) {
  if (eth_log_of(http).mode == 0) return;
  char description[256] = "";
  if (const SSL_CIPHER* cipher = SSL_get_current_cipher(ssl))
    SSL_CIPHER_description(cipher, description, sizeof description);
  std::string printable;
  for (const char* p = description; *p != '\0'; ++p)
    if (*p >= 0x20 && *p < 0x7F) printable += *p;
  eth_log(http, kUnit, __LINE__, ETH_LOG_DETAIL, "SSL using cypher '%s'", printable.c_str());
}

void free_session(TlsSession* session) {
  if (!session) return;
  SSL_free(session->ssl);
  delete session;
}

// Keeps the session of `ssl` on `http` for the next connection to resume, when the server
// allows it (TLS 1.3 sends its tickets after the handshake, so this runs at the close).
void remember_session(EthHttpContext* http, SSL* ssl) {
  SSL_SESSION* kept = SSL_get1_session(ssl);
  if (!kept) return;
  if (!SSL_SESSION_is_resumable(kept)) {
    SSL_SESSION_free(kept);
    return;
  }
  http->tls_resume.reset(kept,
                         [](void* held) { SSL_SESSION_free(static_cast<SSL_SESSION*>(held)); });
}

TlsSession* session_of(EthHttpContext* http) {
  return http ? static_cast<TlsSession*>(http->tls_session) : nullptr;
}

int handshake(EthHttpContext* http, int socket, const char* host) {
  eth_log(http, kUnit, __LINE__, ETH_LOG_DETAIL, "Starting SSL handshake");
  // A session left from an earlier socket is dropped without a close notification:
  // its descriptor may already belong to someone else.
  free_session(session_of(http));
  http->tls_session = nullptr;

  std::unique_ptr<SSL_CTX, ContextDeleter> context(acquire_client_context());
  if (!context) {
    post_failure(http, __LINE__, "Required SSL (no ssl_info)");
    return ETH_SSL_FAILED;
  }
  std::unique_ptr<TlsSession> session(new (std::nothrow) TlsSession);
  if (!session) {
    post_failure(http, __LINE__, "failed to allocate ssl_info");
    return ETH_SSL_FAILED;
  }
  session->accept_unverified = http->accept_unverified;
  if (!host || host[0] == '\0') {
    post_failure(http, __LINE__, "Required SSL (no host name)");
    return ETH_SSL_FAILED;
  }

  std::unique_ptr<X509_STORE, StoreDeleter> trust;
  if (!http->cert_path.empty()) {
    trust = load_trust_store(http);
    if (!trust) return ETH_SSL_FAILED;
  }

  std::unique_ptr<SSL, SslDeleter> ssl(SSL_new(context.get()));
  if (!ssl) {
    post_failure(http, __LINE__, "Required SSL (failed to allocate SSL)");
    drain_errors(http, __LINE__);
    return ETH_SSL_FAILED;
  }
  if ((trust && SSL_set1_verify_cert_store(ssl.get(), trust.get()) != 1) ||
      !expect_peer_name(ssl.get(), host)) {
    post_failure(http, __LINE__, "SSL connection failed");
    drain_errors(http, __LINE__);
    return ETH_SSL_FAILED;
  }

  const std::string& entropy = http->entropy_file;
  if (!entropy.empty()) {
    eth_log(http, kUnit, __LINE__, ETH_LOG_DETAIL, "Loading entropy from '%S'", counted(entropy),
            entropy.c_str());
    // OpenSSL reads a directory as an empty source; it is no source of entropy at all.
    struct stat info {};
    bool directory = stat(entropy.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    int seeded = directory ? -1 : RAND_load_file(entropy.c_str(), -1);
    if (seeded < 0) {
      post_failure(http, __LINE__, "Loading entropy from '%S' failed", counted(entropy),
                   entropy.c_str());
      drain_errors(http, __LINE__);
      return ETH_SSL_FAILED;
    }
    eth_log(http, kUnit, __LINE__, ETH_LOG_DETAIL, "Entropy seeded with %d bytes", seeded);
  }

  SSL_set_app_data(ssl.get(), session.get());
  SSL_set_verify(ssl.get(), SSL_VERIFY_PEER, verify_peer);
  // The last connection's session is offered again, saving the new connection a full handshake;
  // it was made for the same endpoint, as one context only ever talks to one.
  if (http->tls_resume)
    SSL_set_session(ssl.get(), static_cast<SSL_SESSION*>(http->tls_resume.get()));
  if (SSL_set_fd(ssl.get(), socket) != 1) {
    post_failure(http, __LINE__, "SSL connection failed");
    drain_errors(http, __LINE__);
    return ETH_SSL_FAILED;
  }
  int result;
  int saved_errno;
  for (;;) {
    ERR_clear_error();
    {
      SigpipeGuard guard;
      errno = 0;
      result = SSL_connect(ssl.get());
      saved_errno = errno;
    }
    if (result == 1) break;
    int status = SSL_get_error(ssl.get(), result);
    if (wait_for_tls(http, socket, status)) continue;
    // A limit that ended the wait has already said so.
    if (http->clock.ended == EthWaitEnd::none)
      post_connect_failure(http, ssl.get(), *session, result, saved_errno);
    ERR_clear_error();
    return ETH_SSL_FAILED;
  }
  eth_log(http, kUnit, __LINE__, ETH_LOG_DETAIL, "Connected!!!");
  if (SSL_session_reused(ssl.get()))
    eth_log(http, kUnit, __LINE__, ETH_LOG_DETAIL, "TLS session resumed");
  if (!accept_peer(http, ssl.get(), *session)) return ETH_SSL_FAILED;
  log_cipher(http, ssl.get());
  session->ssl = ssl.release();
  http->tls_session = session.release();
  return 0;
}

// Logs and records a failed send or receive.
void post_io_failure(EthHttpContext* http, SSL* ssl, int result, const char* what) {
  int saved_errno = errno;
  int status = SSL_get_error(ssl, result);
  if (status == SSL_ERROR_SYSCALL && saved_errno != 0)
    post_failure(http, __LINE__, "SSL %s failed (status %d, errno=%d)", what, status, saved_errno);
  else
    post_failure(http, __LINE__, "SSL %s failed (status %d)", what, status);
  drain_errors(http, __LINE__);
}

}  // namespace

void* eth_ssl_library_create() {
  TlsLibrary& library = tls_library();
  std::lock_guard<std::mutex> guard(library.lock);
  // Built once per process: loading the system trust store is the dearest step of a
  // connect, and the context holds no per-connection state.
  if (!library.context) {
    library.context = make_client_context();
    if (!library.context) {
      ERR_clear_error();
      return nullptr;
    }
  }
  ++library.references;
  return &library;
}

void eth_ssl_library_free(void* handle) {
  TlsLibrary& library = tls_library();
  if (handle != &library) return;
  std::lock_guard<std::mutex> guard(library.lock);
  if (library.references > 0) --library.references;
}

int eth_ssl_connect(EthHttpContext* http, int socket, const char* host) {
  if (!http) return ETH_SSL_FAILED;
  try {
    return handshake(http, socket, host);
  } catch (...) {
    // Only allocation can throw here; the session holder was never kept.
    post_failure(http, __LINE__, "failed to allocate ssl_info");
    ERR_clear_error();
    return ETH_SSL_FAILED;
  }
}

long eth_ssl_write(EthHttpContext* http, const void* bytes, size_t length) {
  TlsSession* session = session_of(http);
  if (!session || (!bytes && length > 0)) return -1;
  if (length == 0) return 0;
  if (length > static_cast<size_t>(LONG_MAX)) length = LONG_MAX;
  SigpipeGuard guard;
  const auto* data = static_cast<const unsigned char*>(bytes);
  size_t sent = 0;
  while (sent < length) {
    if (!eth_clock_check(http)) return -1;
    ERR_clear_error();
    errno = 0;
    size_t written = 0;
    // A write that wants to wait is repeated with the same bytes, as OpenSSL requires.
    int result = SSL_write_ex(session->ssl, data + sent, length - sent, &written);
    if (result == 1) {
      sent += written;
      continue;
    }
    int status = SSL_get_error(session->ssl, result);
    if (wait_for_tls(http, SSL_get_fd(session->ssl), status)) continue;
    if (http->clock.ended == EthWaitEnd::none) post_io_failure(http, session->ssl, result, "write");
    return -1;
  }
  return static_cast<long>(sent);
}

long eth_ssl_read(EthHttpContext* http, void* buffer, size_t size) {
  TlsSession* session = session_of(http);
  if (!session || (!buffer && size > 0)) return -1;
  if (size == 0) return 0;
  if (size > static_cast<size_t>(LONG_MAX)) size = LONG_MAX;
  SigpipeGuard guard;
  for (;;) {
    ERR_clear_error();
    errno = 0;
    size_t received = 0;
    int result = SSL_read_ex(session->ssl, buffer, size, &received);
    if (result == 1) return static_cast<long>(received);
    int status = SSL_get_error(session->ssl, result);
    if (status == SSL_ERROR_ZERO_RETURN) return 0;
    if (wait_for_tls(http, SSL_get_fd(session->ssl), status)) continue;
    if (http->clock.ended == EthWaitEnd::none) post_io_failure(http, session->ssl, result, "read");
    return -1;
  }
}

void eth_ssl_shutdown(EthHttpContext* http) {
  TlsSession* session = session_of(http);
  if (!session) return;
  http->tls_session = nullptr;
  remember_session(http, session->ssl);
  // One close notification is sent, and only while the session's socket is still the
  // connection's: a closed descriptor's number may belong to someone else by now.
  if (http->socket >= 0 && SSL_get_fd(session->ssl) == http->socket) {
    SigpipeGuard guard;
    SSL_shutdown(session->ssl);
  }
  ERR_clear_error();
  free_session(session);
}
