// The Ethereum transport behind a real web server: a local node (anvil) with
// nginx in front of it, once as a plain-HTTP server that gzips and chunks its
// replies and once as an HTTPS server with a certificate of the test CA. Scans
// through the front must give the rows the node gives directly; the TLS trust
// settings decide whether the HTTPS front is accepted.
#include <gtest/gtest.h>
#include <jansson.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "driver/dal/dal.h"
#include "driver/odbc/connect/backend_list.h"
#include "tests/odbc/dal_scan.h"
#include "driver/eth/eth_connect.h"
#include "driver/eth/eth_query.h"
#include "driver/eth/eth_ssl.h"
#include "driver/dal/sqi/restriction.h"

namespace {

const std::string kServers = QUILL_TEST_DATA_DIR "/../servers/";

using Params = ScanParams;  // column, `=` value text
using Row = std::map<std::string, std::string>;

// One scan's outcome: result code, rows as text ("NULL" for NULL), every diagnostic text.
struct ScanResult {
  int rc = -1;
  std::vector<Row> rows;
  std::vector<std::string> messages;
};

// A data-access context opened with `connection` (a connection string), one scan at a time.
class FrontSession {
 public:
  explicit FrontSession(const std::string& connection) {
    pool_ = quill_mem_alloc_handle(nullptr);
    errors_ = CreateErrorHeader(pool_, nullptr);
    dal_ = dal_create(nullptr, errors_);
    ConnAttrSet attributes;
    init_con_str(&attributes, pool_);
    open_ =
        parse_connection_string(connection.c_str(), nullptr, nullptr, SQL_NTS, &attributes) == 0 &&
        DALOpen(dal_, &attributes, nullptr) == SQI_OK;
    if (open_) it_ = DALOpenIterator(errors_, dal_);
  }
  ~FrontSession() {
    if (it_) DALCloseIterator(it_);
    dal_destroy(dal_);
    FreeErrorHeader(errors_);
    quill_mem_release_handle(pool_);
  }
  FrontSession(const FrontSession&) = delete;
  FrontSession& operator=(const FrontSession&) = delete;
  bool open() const { return open_ && it_; }

  // Scans `table` restricted by `params` (each with `=`) and reads every column as text.
  ScanResult scan(const char* table, const Params& params = {}) {
    ScanResult out;
    DalTable descriptor{};
    std::vector<DalColumn> columns;
    out.rc = start_table_scan(errors_, dal_, it_, pool_, table, params, RESTRICT_EQUAL, &descriptor,
                              &columns);
    if (out.rc == SQI_NOT_FOUND) out.rc = -1;
    while (out.rc == SQI_OK && DALFetch(it_) == SQI_OK) {
      Row row;
      for (const DalColumn& column : columns) {
        std::vector<char> buffer(1 << 16);
        SQLLEN indicator = 0;
        EXPECT_EQ(SQI_OK, DALGetData(it_, column.number, SQL_C_CHAR, buffer.data(),
                                     static_cast<SQLLEN>(buffer.size()), &indicator));
        row[column.name] = indicator == SQL_NULL_DATA ? "NULL" : buffer.data();
      }
      out.rows.push_back(row);
    }
    for (SQLSMALLINT record = 1;; ++record) {
      SQLCHAR state[6] = {0};
      SQLCHAR message[1024] = {0};
      SQLINTEGER native = 0;
      if (GetDiagRec(errors_, record, state, &native, message, sizeof message, nullptr) !=
          SQL_SUCCESS)
        break;
      out.messages.emplace_back(reinterpret_cast<char*>(message));
    }
    return out;
  }

 private:
  MemPool* pool_ = nullptr;
  ErrorHeader* errors_ = nullptr;
  Dal* dal_ = nullptr;
  DalIterator* it_ = nullptr;
  bool open_ = false;
};

// The first line a shell command prints ("" when it prints nothing or cannot run).
std::string first_line(const std::string& command) {
  std::string line;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[128] = {0};
    if (fgets(buffer, sizeof buffer, pipe)) line = buffer;
    pclose(pipe);
  }
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

bool contains(const std::vector<std::string>& texts, const std::string& wanted) {
  for (const std::string& text : texts)
    if (text == wanted) return true;
  return false;
}

// The scans compared through every front: the chain head and the genesis block.
struct ScanCase {
  const char* table;
  Params params;
};
const ScanCase kScans[] = {
    {"blockNumber", {}},
    {"getBlockByNumber", {{"blockNumber", "0x0"}, {"transactionDetailsFlag", "1"}}},
    {"getBlockByNumber", {{"blockNumber", "latest"}, {"transactionDetailsFlag", "0"}}},
};

class EthFront : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char directory[] = "/tmp/quill_front_XXXXXX";
    if (!mkdtemp(directory)) return;
    dir_ = directory;
    node_port_ = std::atoi(
        first_line("bash " + kServers + "anvil.sh start " + dir_ + "/anvil 2>/dev/null").c_str());
    if (node_port_ <= 0) return;
    std::string ports = first_line("bash " + kServers + "nginx.sh start " + dir_ + "/nginx " +
                                   std::to_string(node_port_) + " 2>/dev/null");
    if (std::sscanf(ports.c_str(), "%d %d", &http_port_, &https_port_) != 2) {
      http_port_ = https_port_ = 0;
      return;
    }
    ca_ = dir_ + "/nginx/certs/ca.pem";
    FrontSession direct("URI=http://127.0.0.1:" + std::to_string(node_port_));
    if (!direct.open()) return;
    for (const ScanCase& c : kScans) expected_.push_back(direct.scan(c.table, c.params));
  }
  static void TearDownTestSuite() {
    if (dir_.empty()) return;
    (void)std::system(("bash " + kServers + "nginx.sh stop " + dir_ + "/nginx").c_str());
    (void)std::system(("bash " + kServers + "anvil.sh stop " + dir_ + "/anvil").c_str());
    (void)std::system(("rm -rf " + dir_).c_str());
  }
  void SetUp() override {
    if (node_port_ <= 0) GTEST_SKIP() << "anvil could not be started";
    if (http_port_ <= 0) GTEST_SKIP() << "nginx could not be started";
    ASSERT_EQ(std::size(kScans), expected_.size());
    for (const ScanResult& direct : expected_) {
      ASSERT_EQ(SQI_OK, direct.rc);
      ASSERT_EQ(1u, direct.rows.size());
    }
  }

  static std::string http_front() { return "http://127.0.0.1:" + std::to_string(http_port_); }
  static std::string https_front() { return "https://127.0.0.1:" + std::to_string(https_port_); }

  // Every scan through `connection` gives exactly the node's own rows.
  static void expect_rows_as_direct(const std::string& connection) {
    FrontSession session(connection);
    ASSERT_TRUE(session.open()) << connection;
    for (size_t i = 0; i < std::size(kScans); ++i) {
      ScanResult through = session.scan(kScans[i].table, kScans[i].params);
      ASSERT_EQ(SQI_OK, through.rc)
          << kScans[i].table << ": " << (through.messages.empty() ? "" : through.messages[0]);
      EXPECT_EQ(expected_[i].rows, through.rows) << kScans[i].table;
    }
  }

  static inline std::string dir_;
  static inline std::string ca_;
  static inline int node_port_ = 0;
  static inline int http_port_ = 0;
  static inline int https_port_ = 0;
  static inline std::vector<ScanResult> expected_;
};

TEST_F(EthFront, GzipChunkedFrontIsDecodedOnTheWire) {
  // On the transport itself: the reply really came compressed and in chunks.
  EthConnection connection;
  connection.host = "127.0.0.1";
  connection.port = static_cast<uint16_t>(http_port_);
  connection.http.uri = http_front();
  ASSERT_EQ(0, eth_open_endpoint(&connection)) << connection.http.last_error;
  EthRequest request;
  eth_make_json_request(&connection.http, connection.host, connection.port,
                        R"({"jsonrpc":"2.0","method":"eth_getBlockByNumber",)"
                        R"("params":["0x0",true],"id":1})",
                        &request);
  EthResponse response;
  EXPECT_EQ(0, eth_exchange(&request, &response)) << connection.http.last_error;
  eth_close_connection(&connection.http);
  EXPECT_EQ(200, response.status_code);
  EXPECT_TRUE(response.gzip);
  EXPECT_TRUE(response.chunked);
  EXPECT_EQ(-1, response.content_length);
  EXPECT_EQ(ETH_CONTENT_JSON, response.content_kind);
  json_error_t error;
  json_t* reply = json_loads(response.body.c_str(), 0, &error);
  ASSERT_NE(nullptr, reply) << error.text;
  EXPECT_EQ(expected_[1].rows[0]["hash"],
            json_string_value(json_object_get(json_object_get(reply, "result"), "hash")));
  json_decref(reply);
}

TEST_F(EthFront, GzipChunkedFrontGivesTheDirectRows) {
  expect_rows_as_direct("URI=" + http_front());
}

TEST_F(EthFront, HttpsFrontTrustedThroughTheTestCa) {
  expect_rows_as_direct("URI=" + https_front() + ";cert=" + ca_);
}

TEST_F(EthFront, HttpsFrontOutsideTheTrustStoreIsRefused) {
  // The connect probe finds out at once; without it the first scan does.
  FrontSession probed("URI=" + https_front());
  EXPECT_FALSE(probed.open());
  FrontSession session("URI=" + https_front() + ";connect_probe=no");
  ASSERT_TRUE(session.open());
  ScanResult refused = session.scan("blockNumber");
  EXPECT_EQ(SQI_ERROR, refused.rc);
  EXPECT_TRUE(refused.rows.empty());
  EXPECT_TRUE(contains(refused.messages, "SSL connection failed, verify cert returned 20"))
      << (refused.messages.empty() ? "no diagnostic" : refused.messages[0]);
}

TEST_F(EthFront, AcceptUnverifiedTransportTakesTheHttpsFrontWithoutCa) {
  void* library = eth_ssl_library_create();  // what the backend environment holds
  ASSERT_NE(nullptr, library);
  EthConnection connection;
  connection.host = "127.0.0.1";
  connection.port = static_cast<uint16_t>(https_port_);
  connection.tls = true;
  connection.http.uri = https_front();
  for (bool accept : {false, true}) {
    connection.http.accept_unverified = accept;
    int rc = eth_open_endpoint(&connection);
    EXPECT_EQ(accept ? 0 : ETH_SSL_FAILED, rc) << connection.http.last_error;
    if (rc == 0) {
      EthRequest request;
      eth_make_json_request(&connection.http, connection.host, connection.port,
                            R"({"jsonrpc":"2.0","method":"eth_blockNumber","params":[],"id":1})",
                            &request);
      EthResponse response;
      EXPECT_EQ(0, eth_exchange(&request, &response)) << connection.http.last_error;
      EXPECT_EQ(200, response.status_code);
      EXPECT_NE(std::string::npos, response.body.find(expected_[0].rows[0]["result"]));
    }
    eth_close_connection(&connection.http);
  }
  eth_ssl_library_free(library);
}

TEST_F(EthFront, AcceptUnverifiedSettingTakesTheHttpsFrontWithoutCa) {
  expect_rows_as_direct("URI=" + https_front() + ";accept_unverified=yes");
}

}  // namespace
