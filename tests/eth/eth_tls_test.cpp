// The TLS channel of the Ethereum backend against a TLS server on loopback
// serving the certificates tests/servers/tls_certs.sh makes: chain and host
// name verification, the accept_unverified setting, trust store and entropy
// errors, sending, receiving and a clean close.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <fcntl.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "driver/eth/eth_context.h"
#include "driver/eth/eth_options.h"
#include "driver/eth/eth_sqi.h"
#include "driver/eth/eth_ssl.h"
#include "support/connstr.h"
#include "support/memory.h"

namespace {

constexpr int kSocketTimeoutSeconds = 5;  // no exchange in these tests may wait longer

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

void set_timeouts(int fd) {
  timeval limit{kSocketTimeoutSeconds, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

// The certificates of tls_certs.sh, made once for the whole suite.
std::string g_certs;

// A one-connection TLS server on 127.0.0.1 serving `name`.pem with `name`.key.
class TlsServer {
 public:
  enum class Mode {
    echo,    // echoes one message, then waits for the client's close notification
    bye,     // sends "bye" and closes the channel
    silent,  // completes the handshake, then sends nothing until the client goes
  };

  TlsServer(const std::string& name, Mode mode) : mode_(mode) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener_, 1) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      return;
    port_ = ntohs(address.sin_port);
    context_ = SSL_CTX_new(TLS_server_method());
    if (!context_ ||
        SSL_CTX_use_certificate_chain_file(context_, (g_certs + name + ".pem").c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(context_, (g_certs + name + ".key").c_str(),
                                    SSL_FILETYPE_PEM) != 1) {
      port_ = 0;
      return;
    }
    thread_ = std::thread([this] { serve(); });
  }
  ~TlsServer() {
    if (thread_.joinable()) thread_.join();
    SSL_CTX_free(context_);
    if (listener_ >= 0) close(listener_);
  }
  int port() const { return port_; }
  // Waits for the server to finish; true when the client closed the channel cleanly.
  bool finished_cleanly() {
    if (thread_.joinable()) thread_.join();
    return clean_close_;
  }

 private:
  void serve() {
    // The client may hang up first; a write then must fail, not end the test program.
    sigset_t pipe_only;
    sigemptyset(&pipe_only);
    sigaddset(&pipe_only, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_only, nullptr);
    pollfd waiting{listener_, POLLIN, 0};
    if (poll(&waiting, 1, kSocketTimeoutSeconds * 1000) != 1) return;
    int fd = accept(listener_, nullptr, nullptr);
    if (fd < 0) return;
    set_timeouts(fd);
    SSL* ssl = SSL_new(context_);
    SSL_set_fd(ssl, fd);
    if (SSL_accept(ssl) == 1) {
      if (mode_ == Mode::echo) {
        char buffer[1024];
        int got = SSL_read(ssl, buffer, sizeof buffer);
        if (got > 0 && SSL_write(ssl, buffer, got) == got) {
          int end = SSL_read(ssl, buffer, sizeof buffer);
          clean_close_ = end <= 0 && SSL_get_error(ssl, end) == SSL_ERROR_ZERO_RETURN;
        }
      } else if (mode_ == Mode::bye) {
        SSL_write(ssl, "bye", 3);
        SSL_shutdown(ssl);
      } else {
        char buffer[64];
        SSL_read(ssl, buffer, sizeof buffer);
      }
    }
    SSL_free(ssl);
    ERR_clear_error();
    close(fd);
  }

  Mode mode_;
  int listener_ = -1;
  int port_ = 0;
  SSL_CTX* context_ = nullptr;
  std::thread thread_;
  std::atomic<bool> clean_close_{false};
};

int connect_loopback(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  set_timeouts(fd);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// An HTTP context logging into a file of its own, with a TLS library reference.
class EthTls : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string dir = ::testing::TempDir() + "quill_tls_" + std::to_string(getpid()) + "/";
    std::string command = std::string("sh '") + QUILL_TEST_DATA_DIR +
                          "/../servers/tls_certs.sh' '" + dir + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) == 0) g_certs = dir;
  }
  static void TearDownTestSuite() {
    if (!g_certs.empty()) std::filesystem::remove_all(g_certs);
    g_certs.clear();
  }
  void SetUp() override {
    if (g_certs.empty()) GTEST_SKIP() << "the openssl tool could not make the certificates";
    library_ = eth_ssl_library_create();
    ASSERT_NE(library_, nullptr);
    static int counter = 0;
    log_path_ = g_certs + "tls_" + std::to_string(++counter) + ".log";
    http_.log.file = log_path_;
    http_.log.mode = 31;
    http_.last_error.clear();
  }
  void TearDown() override {
    hang_up();
    eth_ssl_library_free(library_);
  }
  // Connects to `server` and runs the handshake for `host`.
  int handshake(const TlsServer& server, const char* host) {
    EXPECT_NE(server.port(), 0);
    http_.socket = connect_loopback(server.port());
    EXPECT_GE(http_.socket, 0);
    return eth_ssl_connect(&http_, http_.socket, host);
  }
  std::string log_text() const { return read_file(log_path_); }
  void hang_up() {
    eth_ssl_shutdown(&http_);
    if (http_.socket >= 0) close(http_.socket);
    http_.socket = -1;
  }

  void* library_ = nullptr;
  std::string log_path_;
  EthHttpContext http_;
};

TEST_F(EthTls, VerificationVerdicts) {
  struct Case {
    const char* served;
    const char* cert;  // relative to the certificate directory; "" uses the system store
    const char* host;
    bool accept_unverified;
    const char* error;   // "" when the handshake succeeds
    const char* logged;  // a text the log must hold
  } cases[] = {
      {"server", "ca.pem", "127.0.0.1", false, "", "Connected!!!"},
      {"server", "ca.pem", "localhost", false, "", "file found, treating as file"},
      {"server", "ca_plain", "127.0.0.1", false, "", "file found, treating as directory"},
      {"server", "ca_hashed", "localhost", false, "", "SSL using cypher '"},
      {"server", "ca.pem", "[127.0.0.1]", false, "", "Connected!!!"},
      {"server", "", "localhost", false, "SSL connection failed, verify cert returned 20", ""},
      {"server", "ca.pem", "127.0.0.2", false, "SSL connection failed, verify cert returned 64",
       ""},
      {"other", "ca.pem", "localhost", false, "SSL connection failed, verify cert returned 62", ""},
      {"other", "ca.pem", "localhost", true, "SSL connection failed, verify cert returned 62", ""},
      {"self", "ca.pem", "localhost", false, "SSL connection failed, verify cert returned 18", ""},
      {"self", "", "localhost", true, "", "Connection was encrypted but self signed certificate"},
      {"self", "", "other.example", true, "SSL connection failed, verify cert returned 62", ""},
      {"expired", "ca.pem", "localhost", false, "SSL connection failed, verify cert returned 10",
       ""},
      {"expired", "ca_plain", "127.0.0.1", true, "",
       "Connection was encrypted but certificate has expired (X509_V_ERR_CERT_HAS_EXPIRED)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.served) + " trusting '" + c.cert + "' as " + c.host);
    TearDown();
    SetUp();
    http_.cert_path = *c.cert ? g_certs + c.cert : "";
    http_.accept_unverified = c.accept_unverified;
    TlsServer server(c.served, TlsServer::Mode::bye);
    int result = handshake(server, c.host);
    if (*c.error == '\0') {
      EXPECT_EQ(result, 0) << http_.last_error;
      EXPECT_NE(http_.tls_session, nullptr);
    } else {
      EXPECT_EQ(result, ETH_SSL_FAILED);
      EXPECT_EQ(http_.last_error, c.error);
      EXPECT_EQ(http_.tls_session, nullptr);
      EXPECT_NE(log_text().find(c.error), std::string::npos);
    }
    EXPECT_NE(log_text().find(c.logged), std::string::npos) << log_text();
    // Tolerated failures are only ever logged when the connection accepts them.
    if (!c.accept_unverified) {
      EXPECT_EQ(log_text().find("Connection was encrypted but"), std::string::npos);
    }
  }
}

TEST_F(EthTls, SetupFailuresAreReportedBeforeAnyTraffic) {
  std::string empty_dir = g_certs + "empty_dir";
  std::filesystem::create_directory(empty_dir);
  std::string seed = g_certs + "seed.bin";
  std::ofstream(seed, std::ios::binary) << std::string(64, 'x');
  struct Case {
    std::string cert;
    std::string entropy;
    const char* host;
    std::string error;  // "" when the handshake succeeds
    const char* logged;
  } cases[] = {
      {"/nonexistent/ca.pem", "", "localhost",
       "Loading Certificate file '/nonexistent/ca.pem' failed", "file not found, treating as file"},
      {empty_dir, "", "localhost", "Loading Certificate file '" + empty_dir + "' failed",
       "file found, treating as directory"},
      {g_certs + "server.key", "", "localhost",
       "Loading Certificate file '" + g_certs + "server.key' failed", "SSL error '"},
      {g_certs + "ca.pem", "/nonexistent/entropy", "localhost",
       "Loading entropy from '/nonexistent/entropy' failed",
       "Loading entropy from '/nonexistent/entropy'"},
      {g_certs + "ca.pem", empty_dir, "localhost",
       "Loading entropy from '" + empty_dir + "' failed", "Starting SSL handshake"},
      {g_certs + "ca.pem", "", "", "Required SSL (no host name)", "Starting SSL handshake"},
      {g_certs + "ca.pem", seed, "localhost", "", "Entropy seeded with 64 bytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cert + " / " + c.entropy + " / " + c.host);
    TearDown();
    SetUp();
    http_.cert_path = c.cert;
    http_.entropy_file = c.entropy;
    TlsServer server("server", TlsServer::Mode::bye);
    int result = handshake(server, c.host);
    EXPECT_EQ(result, c.error.empty() ? 0 : ETH_SSL_FAILED) << http_.last_error;
    if (!c.error.empty()) {
      EXPECT_EQ(http_.last_error, c.error);
    }
    EXPECT_NE(log_text().find(c.logged), std::string::npos) << log_text();
    hang_up();  // the server, still waiting for a handshake, sees the end at once
  }
}

TEST_F(EthTls, EchoAndCleanClose) {
  http_.cert_path = g_certs + "ca.pem";
  TlsServer server("server", TlsServer::Mode::echo);
  ASSERT_EQ(handshake(server, "localhost"), 0) << http_.last_error;
  EXPECT_EQ(eth_ssl_write(&http_, "ping", 4), 4);
  char buffer[16] = {};
  EXPECT_EQ(eth_ssl_read(&http_, buffer, sizeof buffer), 4);
  EXPECT_STREQ(buffer, "ping");
  eth_ssl_shutdown(&http_);
  EXPECT_EQ(http_.tls_session, nullptr);
  EXPECT_TRUE(server.finished_cleanly());
  // Without a session nothing is sent or received, and closing again is harmless.
  EXPECT_EQ(eth_ssl_write(&http_, "x", 1), -1);
  EXPECT_EQ(eth_ssl_read(&http_, buffer, sizeof buffer), -1);
  eth_ssl_shutdown(&http_);
}

TEST_F(EthTls, ReadGivesZeroWhenThePeerCloses) {
  http_.cert_path = g_certs + "ca_hashed";
  TlsServer server("server", TlsServer::Mode::bye);
  ASSERT_EQ(handshake(server, "127.0.0.1"), 0) << http_.last_error;
  char buffer[16] = {};
  EXPECT_EQ(eth_ssl_read(&http_, buffer, sizeof buffer), 3);
  EXPECT_STREQ(buffer, "bye");
  EXPECT_EQ(eth_ssl_read(&http_, buffer, sizeof buffer), 0);
  server.finished_cleanly();
  // The peer has gone: the write fails with an error instead of a SIGPIPE.
  long written = 0;
  for (int i = 0; i < 3 && written >= 0; ++i) written = eth_ssl_write(&http_, "late", 4);
  EXPECT_EQ(written, -1);
  EXPECT_FALSE(http_.last_error.empty());
}

TEST_F(EthTls, WaitsOnANonBlockingSocketEndAtTheExchangesLimits) {
  http_.cert_path = g_certs + "ca.pem";
  TlsServer server("server", TlsServer::Mode::silent);
  http_.socket = connect_loopback(server.port());
  ASSERT_GE(http_.socket, 0);
  fcntl(http_.socket, F_SETFL, fcntl(http_.socket, F_GETFL) | O_NONBLOCK);
  // The handshake itself waits for the server's answers on the non-blocking socket.
  ASSERT_EQ(eth_ssl_connect(&http_, http_.socket, "localhost"), 0) << http_.last_error;
  EthLimits limits;
  auto start = std::chrono::steady_clock::now();
  limits.statement_deadline_ns = sqi_steady_now_ns() + 1000000000;  // one second from now
  eth_clock_install(&http_, eth_clock_for(limits, sqi_steady_now_ns()));
  char byte = 0;
  EXPECT_EQ(eth_ssl_read(&http_, &byte, 1), -1);
  EXPECT_EQ(http_.clock.ended, EthWaitEnd::query_timeout);
  EXPECT_EQ(http_.last_error, "Timeout expired");
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 1 + 3);
  eth_clock_stop(&http_);
  hang_up();  // before the server waits for the client to go
}

TEST(EthTlsLibrary, HandshakeNeedsALibraryContext) {
  EthHttpContext http;
  EXPECT_EQ(eth_ssl_connect(&http, -1, "localhost"), ETH_SSL_FAILED);
  EXPECT_EQ(http.last_error, "Required SSL (no ssl_info)");
  EXPECT_EQ(eth_ssl_connect(nullptr, -1, "localhost"), ETH_SSL_FAILED);
  eth_ssl_library_free(nullptr);
  int unrelated = 0;
  eth_ssl_library_free(&unrelated);
}

TEST(EthTlsOption, AcceptUnverifiedReachesTheConnection) {
  struct Case {
    const char* text;
    bool accepted;
  } cases[] = {{"accept_unverified=yes;", true}, {"accept_unverified=TRUE;", true},
               {"accept_unverified=1;", true},   {"accept_unverified=2;", false},
               {"accept_unverified=no;", false}, {"", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    SqiEnv env = nullptr;
    ASSERT_EQ(eth_alloc_env(nullptr, &env, nullptr, nullptr), SQI_OK);
    EXPECT_NE(static_cast<EthEnv*>(env)->tls_library, nullptr);
    MemPool* pool = quill_mem_alloc_handle(nullptr);
    ConnAttrSet attributes{};
    init_con_str(&attributes, pool);
    std::string text = std::string(c.text) + "uri=https://127.0.0.1:1/;connect_probe=no;api_key=k";
    ASSERT_EQ(parse_connection_string(text.c_str(), nullptr, nullptr, SQL_NTS, &attributes), 0);
    ASSERT_EQ(eth_connect(env, &attributes, nullptr, nullptr, 0), SQI_OK);
    EXPECT_EQ(static_cast<EthEnv*>(env)->connection->http.accept_unverified, c.accepted);
    EXPECT_EQ(eth_free_env(env), SQI_OK);
    quill_mem_release_handle(pool);
  }
}

}  // namespace
