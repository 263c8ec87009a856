// The Ethereum backend's environment and connection: URI splitting, option
// reading (attributes, then the data source's odbc.ini section), connect
// errors as posted through the service callback, information answers, catalog
// rows served by statements and the setup library's driver_test check.
#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "driver/dal/sqi/rowset.h"
#include "driver/eth/eth_sqi.h"
#include "driver/eth/eth_uri.h"
#include "support/connstr.h"
#include "support/memory.h"
#include "tests/eth/script_server.h"

extern "C" int driver_test(const char* dsn_record, char* message, int size);

namespace {

// unixODBC reads ODBCSYSINI once per process, so keep the system files away from
// /etc before any odbcinst call; a directory chosen by the caller is kept.
const bool g_system_ini_chosen = [] {
  const char* existing = std::getenv("ODBCSYSINI");
  if (existing && *existing) return true;
  static char dir[] = "/tmp/quill_eth_connect.XXXXXX";
  if (!mkdtemp(dir)) return false;
  setenv("ODBCSYSINI", dir, 1);
  std::atexit([] { std::filesystem::remove_all(dir); });
  return true;
}();

// What the backend posted through the service callback.
struct Posted {
  void* target;
  std::string origin;
  int native_error;
  std::string sqlstate;
  std::string message;
};

std::vector<Posted> g_posted;

int fake_service(int code, void* parameters) {
  if (code != SQI_SERVICE_POST_ERROR) return -1;
  auto* record = static_cast<SqiPostError*>(parameters);
  g_posted.push_back(
      {record->target, record->origin, record->native_error, record->sqlstate, record->message});
  return 0;
}

int g_target;  // stands for the call layer's connection handle

// An environment and a parsed attribute list, freed at the end of the test.
class EthConnectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_posted.clear();
    pool_ = quill_mem_alloc_handle(nullptr);
    ASSERT_NE(pool_, nullptr);
    init_con_str(&attributes_, pool_);
  }
  void TearDown() override {
    if (env_) {
      EXPECT_EQ(eth_free_env(env_), SQI_OK);
    }
    quill_mem_release_handle(pool_);
  }
  // Allocates the environment for `dsn` and connects with `text`; returns the result. No node
  // listens at these endpoints, so the probe is off unless `text` says otherwise.
  int connect(const char* text, const char* dsn = nullptr) {
    EXPECT_EQ(eth_alloc_env(&g_target, &env_, fake_service, dsn), SQI_OK);
    clear_con_str(&attributes_);
    std::string full = std::string(text);
    if (full.find("connect_probe") == std::string::npos)
      full += std::string(full.empty() ? "" : ";") + "connect_probe=no";
    EXPECT_EQ(parse_connection_string(full.c_str(), nullptr, nullptr, SQL_NTS, &attributes_), 0);
    char out[64] = "junk";
    int result = eth_connect(env_, &attributes_, nullptr, out, sizeof out);
    EXPECT_STREQ(out, "");
    return result;
  }
  EthEnv* env() { return static_cast<EthEnv*>(env_); }
  EthConnection* connection() { return env()->connection; }

  MemPool* pool_ = nullptr;
  ConnAttrSet attributes_{};
  SqiEnv env_ = nullptr;
};

TEST(EthUriTest, SplitsEndpoints) {
  struct Case {
    const char* text;
    bool ok;
    const char* host;
    int port;
    bool tls;
    const char* path;
  };
  const Case cases[] = {
      {"https://h:8545/api/", true, "h", 8545, true, "api"},
      {"http://h", true, "h", 80, false, ""},
      {"https://mainnet.example.io/v3/key", true, "mainnet.example.io", 443, true, "v3/key"},
      {"HTTPS://h/", true, "h", 443, true, ""},
      {"http://h/a/b//", true, "h", 80, false, "a/b/"},
      {"http://[::1]:8545/rpc", true, "::1", 8545, false, "rpc"},
      {"https://[2001:db8::7]", true, "2001:db8::7", 443, true, ""},
      {"ftp://h", false, "", 0, false, ""},
      {"", false, "", 0, false, ""},
      {"https://", false, "", 0, false, ""},
      {"http://:80", false, "", 0, false, ""},
      {"h:8545", false, "", 0, false, ""},
      {"[::1]:8545", false, "", 0, false, ""},
      {"http://[::1", false, "", 0, false, ""},
      {"http://[::1]x", false, "", 0, false, ""},
      {"http://h:", false, "", 0, false, ""},
      {"http://h:65536/", false, "", 0, false, ""},
      {"http://h:12ab/", false, "", 0, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EthUri uri;
    uri.host = "stale";
    ASSERT_EQ(eth_parse_uri(c.text, &uri), c.ok);
    EXPECT_EQ(uri.host, c.host);
    EXPECT_EQ(uri.port, c.port);
    EXPECT_EQ(uri.tls, c.tls);
    EXPECT_EQ(uri.path, c.path);
  }
  EthUri uri;
  EXPECT_FALSE(eth_parse_uri(nullptr, &uri));
  ASSERT_TRUE(eth_parse_uri("https://proxy:3128/ignored/", &uri, false));
  EXPECT_EQ(uri.path, "");
  EXPECT_EQ(uri.port, 3128);
}

TEST_F(EthConnectTest, OptionsBecomeSettings) {
  struct Case {
    const char* options;
    int log_mode;
    int string_length;
    int id_length;
    int block_length;
    bool disguise_long;
    int query_timeout;
    int network_timeout = ETH_NETWORK_TIMEOUT_DEFAULT_SECONDS;
  };
  const Case cases[] = {
      {"", 0, 255, 16, 24, false, 0},
      {"logging=ONERROR;disguise_long=YES", 95, 255, 16, 24, true, 0},
      {"logging=0x10;disguise_long=2", 16, 255, 16, 24, false, 0},
      {"logging=off;disguise_long=1", 0, 255, 16, 24, true, 0},
      {"logging=yes;disguise_long=true", 31, 255, 16, 24, true, 0},
      {"logging=process;disguise_long=01", 63, 255, 16, 24, false, 0},
      {"string_length=0;id_length=abc;block_length=-4", 0, 255, 16, 24, false, 0},
      {"string_length=80;id_length=66;block_length=12", 0, 80, 66, 12, false, 0},
      {"string_length=99999999999;query_timeout=30", 0, 255, 16, 24, false, 30},
      {"query_timeout=-5", 0, 255, 16, 24, false, 0},
      {"network_timeout=7", 0, 255, 16, 24, false, 0, 7},
      {"network_timeout=0", 0, 255, 16, 24, false, 0, 0},  // no limit of its own
      {"network_timeout=-1", 0, 255, 16, 24, false, 0, ETH_NETWORK_TIMEOUT_DEFAULT_SECONDS},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    std::string text = std::string("uri=http://node:8545;") + c.options;
    if (env_) eth_free_env(env_);
    env_ = nullptr;
    ASSERT_EQ(connect(text.c_str()), SQI_OK);
    ASSERT_NE(connection(), nullptr);
    EXPECT_EQ(connection()->http.log.mode, c.log_mode);
    EXPECT_EQ(connection()->string_length, c.string_length);
    EXPECT_EQ(connection()->id_length, c.id_length);
    EXPECT_EQ(connection()->block_length, c.block_length);
    EXPECT_EQ(connection()->array_length, 2000);
    EXPECT_EQ(connection()->object_length, 2000);
    EXPECT_EQ(env()->disguise_long, c.disguise_long);
    EXPECT_EQ(env()->query_timeout, c.query_timeout);
    EXPECT_EQ(connection()->network_timeout, c.network_timeout);
    EXPECT_TRUE(g_posted.empty());
  }
}

TEST_F(EthConnectTest, EndpointProxyAndSecretsAreTakenOver) {
  ASSERT_EQ(connect("uri=https://node.example:8545/rpc/;api_key=K3y;proxy=http://px:3128/x;"
                    "proxy_user=bob;proxy_pass=s3cret;logfile=/tmp/eth.log;cert=/etc/ca;"
                    "entropy=/dev/urandom"),
            SQI_OK);
  EthConnection* c = connection();
  EXPECT_EQ(c->host, "node.example");
  EXPECT_EQ(c->port, 8545);
  EXPECT_TRUE(c->tls);
  EXPECT_EQ(c->path, "rpc");
  EXPECT_EQ(c->proxy_host, "px");
  EXPECT_EQ(c->proxy_port, 3128);
  EXPECT_FALSE(c->proxy_tls);
  EXPECT_EQ(c->proxy_user, "bob");
  EXPECT_EQ(c->proxy_password, "s3cret");
  EXPECT_EQ(c->api_key, "K3y");
  EXPECT_EQ(c->http.uri, "https://node.example:8545/rpc/");
  EXPECT_EQ(c->http.api_key, "K3y");
  EXPECT_EQ(c->http.log.file, "/tmp/eth.log");
  EXPECT_EQ(c->http.cert_path, "/etc/ca");
  EXPECT_EQ(c->http.entropy_file, "/dev/urandom");
  EXPECT_EQ(c->http.socket, -1);
  EXPECT_EQ(c->http.log.secrets[0], "K3y");
  EXPECT_EQ(c->http.log.secrets[1], "s3cret");
  EXPECT_EQ(eth_disconnect(env_), SQI_OK);
  EXPECT_EQ(env()->connection, nullptr);
  EXPECT_EQ(env()->tables, nullptr);

  // Every value is cut to 1023 bytes; a connect on a used environment starts afresh.
  std::string text = "uri=http://node;connect_probe=no;api_key=" + std::string(1500, 'k');
  clear_con_str(&attributes_);
  ASSERT_EQ(parse_connection_string(text.c_str(), nullptr, nullptr, SQL_NTS, &attributes_), 0);
  ASSERT_EQ(eth_connect(env_, &attributes_, nullptr, nullptr, 0), SQI_OK);
  EXPECT_EQ(connection()->api_key, std::string(1023, 'k'));
  EXPECT_EQ(connection()->proxy_host, "");
}

TEST_F(EthConnectTest, StatementsServeAttachedRows) {
  ASSERT_EQ(connect("uri=http://node"), SQI_OK);
  int stmt_target = 0;
  SqiStmt stmt = eth_alloc_stmt(&stmt_target, env_, nullptr, nullptr);
  ASSERT_NE(stmt, nullptr);
  SQLLEN indicator = 0;
  char text[8];
  EXPECT_EQ(eth_fetch(stmt), SQI_NO_DATA);
  EXPECT_EQ(eth_get_data(stmt, 1, SQL_C_CHAR, text, sizeof text, &indicator), SQI_ERROR);

  const RowSetColumn columns[] = {{"TABLE_NAME", SQL_VARCHAR}};
  RowSet* rows = rowset_create(columns, 1);
  ASSERT_TRUE(rows && rowset_add_row(rows) && rowset_set_text(rows, 1, "blocks"));
  static_cast<EthStmt*>(stmt)->rows = rows;
  EXPECT_EQ(eth_get_data(stmt, 1, SQL_C_CHAR, text, sizeof text, &indicator), SQI_ERROR);
  ASSERT_EQ(eth_fetch(stmt), SQI_OK);
  EXPECT_EQ(eth_get_data(stmt, 2, SQL_C_CHAR, text, sizeof text, &indicator), SQI_ERROR);
  EXPECT_EQ(eth_get_data(stmt, 1, SQL_C_CHAR, text, sizeof text, &indicator), SQI_OK);
  EXPECT_STREQ(text, "blocks");
  EXPECT_EQ(eth_fetch(stmt), SQI_NO_DATA);

  const char* expected[] = {"24000", "24000", "07009"};
  ASSERT_EQ(g_posted.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(g_posted[i].sqlstate, expected[i]);
    EXPECT_EQ(g_posted[i].target, &stmt_target);
  }
  EXPECT_EQ(eth_close_stmt(stmt), SQI_OK);
  EXPECT_EQ(static_cast<EthStmt*>(stmt)->rows, nullptr);
  EXPECT_EQ(eth_fetch(stmt), SQI_NO_DATA);
  EXPECT_EQ(eth_free_stmt(stmt), SQI_OK);
}

TEST_F(EthConnectTest, ConnectErrorsArePostedWithTheBackendOrigin) {
  struct Case {
    const char* options;
    const char* message;  // null: the connect succeeds
  };
  const Case cases[] = {
      {"api_key=abc", "URI must be provided"},
      {"", "URI must be provided"},
      {"api_key=abc;uri=ftp://node", "Unable to extract host from Api Domain"},
      {"uri=https://", "Unable to extract host from Api Domain"},
      {"uri=node:8545", "Unable to extract host from Api Domain"},
      {"uri=http://node;proxy=px:3128", "Unable to extract host from Proxy"},
      {"uri=http://node:8545", nullptr},  // the API key is optional
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    if (env_) eth_free_env(env_);
    env_ = nullptr;
    g_posted.clear();
    int result = connect(c.options);
    if (!c.message) {
      EXPECT_EQ(result, SQI_OK);
      EXPECT_TRUE(g_posted.empty());
      EXPECT_NE(connection(), nullptr);
      continue;
    }
    EXPECT_EQ(result, SQI_ERROR);
    EXPECT_EQ(connection(), nullptr);
    ASSERT_EQ(g_posted.size(), 1u);
    EXPECT_EQ(g_posted[0].target, &g_target);
    EXPECT_EQ(g_posted[0].origin, "Quillmoor Ethereum ODBC Driver");
    EXPECT_EQ(g_posted[0].native_error, 0);
    EXPECT_EQ(g_posted[0].sqlstate, "HY000");
    EXPECT_EQ(g_posted[0].message, c.message);
  }
}

TEST_F(EthConnectTest, DataSourceEntriesFillWhatTheAttributesLack) {
  ASSERT_TRUE(g_system_ini_chosen);
  char path[] = "/tmp/quill_eth_odbc.XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  std::ofstream(path) << "[QuillEthConnectTestDsn]\n"
                         "uri=http://fromdsn:8545/base/\n"
                         "api_key=dsnkey\n"
                         "string_length=77\n"
                         "id_length=40\n"
                         "logging=process\n"
                         "disguise_long=true\n";
  const char* saved = std::getenv("ODBCINI");
  std::string previous = saved ? saved : "";
  setenv("ODBCINI", path, 1);

  ASSERT_EQ(connect("id_length=12;api_key=", "QuillEthConnectTestDsn"), SQI_OK);
  EXPECT_EQ(connection()->host, "fromdsn");
  EXPECT_EQ(connection()->path, "base");
  EXPECT_EQ(connection()->string_length, 77);
  EXPECT_EQ(connection()->id_length, 12);  // the attribute wins
  EXPECT_EQ(connection()->api_key, "");    // an empty attribute still counts as given
  EXPECT_EQ(connection()->http.log.mode, 63);
  EXPECT_TRUE(env()->disguise_long);
  EXPECT_EQ(env()->query_timeout, 0);

  // A data source without entries leaves everything empty.
  eth_free_env(env_);
  env_ = nullptr;
  g_posted.clear();
  EXPECT_EQ(connect("", "QuillEthNoSuchDsn"), SQI_ERROR);
  ASSERT_EQ(g_posted.size(), 1u);
  EXPECT_EQ(g_posted[0].message, "URI must be provided");

  if (saved)
    setenv("ODBCINI", previous.c_str(), 1);
  else
    unsetenv("ODBCINI");
  std::remove(path);
}

TEST_F(EthConnectTest, InformationAndOptionAnswers) {
  ASSERT_EQ(eth_alloc_env(&g_target, &env_, fake_service, "SomeDsn"), SQI_OK);
  EXPECT_EQ(env()->dsn, "SomeDsn");
  EXPECT_EQ(env()->connection, nullptr);
  const struct {
    int code;
    int expected;
  } integers[] = {{1, 12}, {3, 0}, {7, 0}, {4, 1}, {5, 1}, {6, -7}, {0, -7}, {99, -7}};
  for (auto c : integers) {
    int value = -7;
    EXPECT_EQ(eth_get_info(env_, c.code, &value), SQI_OK);
    EXPECT_EQ(value, c.expected) << "code " << c.code;
  }
  double real = 0.0;
  EXPECT_EQ(eth_get_info(env_, 2, &real), SQI_OK);
  EXPECT_EQ(real, 1.0);
  EXPECT_EQ(eth_get_info(env_, 1, nullptr), SQI_OK);

  EXPECT_EQ(eth_set_option(env_, 0, 2), SQI_OK);
  EXPECT_EQ(env()->odbc_version, 2);
  EXPECT_EQ(eth_set_option(env_, 5, 9), SQI_OK);
  EXPECT_EQ(env()->odbc_version, 2);
  EXPECT_EQ(eth_disconnect(env_), SQI_OK);  // never connected
}

TEST(EthTimeZoneTest, OffsetFollowsTheLocalZone) {
  const char* saved = std::getenv("TZ");
  std::string previous = saved ? saved : "";
  const struct {
    const char* zone;
    int hours;
    int minutes;
  } cases[] = {{"UTC0", 0, 0}, {"IST-5:30", -5, 30}, {"NST3:30", 3, 30}, {"EST5", 5, 0}};
  for (auto c : cases) {
    setenv("TZ", c.zone, 1);
    tzset();
    int hours = 99, minutes = 99;
    eth_time_zone_offset(&hours, &minutes);
    EXPECT_EQ(hours, c.hours) << c.zone;
    EXPECT_EQ(minutes, c.minutes) << c.zone;
  }
  if (saved)
    setenv("TZ", previous.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

// The setup library's record: fixed 1024-byte fields.
std::vector<char> dsn_record(const char* uri, const char* api_key, const char* proxy = "") {
  std::vector<char> record(6148 + 1024, '\0');
  std::strcpy(record.data(), "TestDsn");
  std::strcpy(record.data() + 1024, proxy);
  std::strcpy(record.data() + 5124, uri);
  std::strcpy(record.data() + 6148, api_key);
  return record;
}

// A loopback port nothing listens on.
int dead_port() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), length);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

std::string reply_of(const std::string& status, const std::string& body) {
  return "HTTP/1.1 " + status +
         "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}

TEST_F(EthConnectTest, ProbeFailsConnectWhenNoNodeAnswers) {
  const struct {
    const char* name;
    std::string reply;    // what the endpoint answers; "" for nothing listening
    const char* options;  // further keys
    const char* problem;  // what the 08001 says after the endpoint, null: connected
  } cases[] = {
      {"nothing listens", "", "", ": OS Error: 'Connection refused'"},
      {"nothing listens, probe off", "", ";connect_probe=no", nullptr},
      {"not found", reply_of("404 Not Found", "nope"), "",
       " answered eth_chainId with HTTP status 404 Not Found"},
      {"no JSON-RPC", reply_of("200 OK", "<html></html>"), "",
       " did not answer eth_chainId with JSON-RPC"},
      {"refused",
       reply_of("200 OK", R"({"jsonrpc":"2.0","id":1,"error":{"code":-32601,)"
                          R"("message":"Method not found"}})"),
       "", " refused eth_chainId: Method not found"},
      {"a node", reply_of("200 OK", R"({"jsonrpc":"2.0","id":1,"result":"0x7a69"})"), "", nullptr},
      {"a busy node", reply_of("429 Too Many Requests", ""), "", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<ScriptServer> server;
    int port = dead_port();
    if (!c.reply.empty()) {
      server = std::make_unique<ScriptServer>(std::vector<std::string>{c.reply});
      port = server->port();
    }
    if (env_) eth_free_env(env_);
    env_ = nullptr;
    g_posted.clear();
    std::string text = "uri=http://127.0.0.1:" + std::to_string(port) + c.options +
                       (std::strlen(c.options) ? "" : ";connect_probe=yes");
    int result = connect(text.c_str());
    if (server) {
      std::vector<std::string> bodies = server->bodies();
      ASSERT_EQ(bodies.size(), 1u);
      EXPECT_NE(bodies[0].find("\"method\":\"eth_chainId\""), std::string::npos) << bodies[0];
    }
    if (!c.problem) {
      EXPECT_EQ(result, SQI_OK);
      EXPECT_TRUE(g_posted.empty());
      continue;
    }
    EXPECT_EQ(result, SQI_ERROR);
    EXPECT_EQ(env()->connection, nullptr);
    ASSERT_EQ(g_posted.size(), 1u);
    EXPECT_EQ(g_posted[0].sqlstate, "08001");
    const std::string peer = "127.0.0.1:" + std::to_string(port);
    EXPECT_EQ(g_posted[0].message.rfind(
                  (c.reply.empty() ? "Unable to reach the endpoint " : "The endpoint ") + peer +
                      c.problem,
                  0),
              0u)
        << g_posted[0].message;
    EXPECT_NE(g_posted[0].message.find("connect_probe=no"), std::string::npos);
  }
}

TEST(EthDriverTest, ReportsTheOutcome) {
  struct Case {
    const char* uri;
    const char* api_key;
    const char* proxy;
    int result;
    const char* message;
  };
  const Case cases[] = {
      // Test sends the probe: nothing answers at these endpoints.
      {"https://node:8545/", "key", "http://px:3128", 1,
       "Unable to reach the endpoint node:8545: Conection to proxy failed"},
      {"http://node", "", "", 1,
       "Unable to reach the endpoint node:80: Failed to find host address 'node'"},
      {"", "key", "", 1, "URI Token Server MUST be supplied"},
      {"", "", "", 1, "URI Token Server MUST be supplied"},
      {"ftp://node", "key", "", 1, "unable to extract host from URI"},
      {"http://:80", "key", "", 1, "unable to extract host from URI"},
      {"http://node", "", "socks://px", 1, "unable to extract host from proxy"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.uri);
    std::vector<char> record = dsn_record(c.uri, c.api_key, c.proxy);
    char message[256];
    std::memset(message, 'x', sizeof message);
    EXPECT_EQ(driver_test(record.data(), message, sizeof message), c.result);
    EXPECT_STREQ(message, c.message);
  }
}

TEST(EthDriverTest, MessageIsCutAndBadArgumentsAreSafe) {
  std::vector<char> record = dsn_record("http://node", "");
  char small[10];
  EXPECT_EQ(driver_test(record.data(), small, sizeof small), 1);
  EXPECT_STREQ(small, "Unable to");
  EXPECT_EQ(driver_test(record.data(), nullptr, 0), 1);
  char one[1] = {'x'};
  EXPECT_EQ(driver_test(record.data(), one, 1), 1);
  EXPECT_EQ(one[0], '\0');
  char message[64];
  EXPECT_EQ(driver_test(nullptr, message, sizeof message), 1);
  EXPECT_STREQ(message, "URI Token Server MUST be supplied");

  // A field that fills all its 1024 bytes is read without running into the next one.
  std::fill(record.begin() + 5124, record.begin() + 6148, 'u');
  EXPECT_EQ(driver_test(record.data(), message, sizeof message), 1);
  EXPECT_STREQ(message, "unable to extract host from URI");
}

TEST(EthDriverTest, LeavesNothingAllocated) {
  std::vector<char> record = dsn_record("https://node:8545/v3", "key", "http://px:3128");
  char message[64];
  driver_test(record.data(), message, sizeof message);  // first-use allocations settle
  size_t before = mallinfo2().uordblks;
  for (int i = 0; i < 200; ++i) driver_test(record.data(), message, sizeof message);
  // Under a sanitizer the allocator is replaced and the count stays 0; the leak
  // checker covers that build.
  EXPECT_LT(mallinfo2().uordblks, before + 1024);
}

}  // namespace
