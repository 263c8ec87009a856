// Scans of the Ethereum backend through the data-access layer: against a real
// local node (anvil) where one can be started, and against a scripted loopback
// server for the answers a real node does not give (rate limits, HTTP errors,
// broken bodies), plus the parameter rules and the value conversions.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <jansson.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "driver/dal/dal.h"
#include "driver/eth/eth_connect.h"
#include "driver/odbc/connect/backend_list.h"
#include "tests/odbc/dal_scan.h"
#include "tests/odbc/node_client.h"
#include "tests/eth/script_server.h"
#include "driver/eth/eth_json_read.h"
#include "driver/eth/eth_query.h"
#include "driver/dal/sqi/restriction.h"

namespace {

constexpr int kPollMillis = 5000;  // every wait of the test server is bounded

std::string http_reply(const std::string& status, const std::string& content_type,
                       const std::string& body, const std::string& extra = "") {
  return "HTTP/1.1 " + status + "\r\nContent-Type: " + content_type + "\r\n" + extra +
         "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}
std::string json_reply(const std::string& body) {
  return http_reply("200 OK", "application/json", body);
}
std::string result_reply(const std::string& result) {
  return json_reply("{\"jsonrpc\":\"2.0\",\"id\":1,\"result\":" + result + "}");
}

// One scan's outcome: result code, rows as text ("NULL" for NULL), first diagnostic.
struct ScanResult {
  int rc = -1;
  std::vector<std::map<std::string, std::string>> rows;
  std::string message;
  int native = 0;
  std::string state;  // SQLSTATE of the first diagnostic
};

using Params = ScanParams;  // column, `=` value text

// An open data-access context on one endpoint with one iterator reused by every scan.
class Session {
 public:
  explicit Session(const std::string& uri) {
    pool_ = quill_mem_alloc_handle(nullptr);
    errors_ = CreateErrorHeader(pool_, nullptr);
    dal_ = dal_create(nullptr, errors_);
    ConnAttrSet attributes;
    init_con_str(&attributes, pool_);
    // Scripted servers answer each request from their script: no probe takes a reply.
    std::string text = "URI=" + uri + ";connect_probe=no";
    open_ = parse_connection_string(text.c_str(), nullptr, nullptr, SQL_NTS, &attributes) == 0 &&
            DALOpen(dal_, &attributes, nullptr) == SQI_OK;
    if (open_) it_ = DALOpenIterator(errors_, dal_);
  }
  ~Session() {
    if (it_) DALCloseIterator(it_);
    dal_destroy(dal_);
    FreeErrorHeader(errors_);
    quill_mem_release_handle(pool_);
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  bool open() const { return open_; }
  DalIterator* iterator() { return it_; }

  // Starts a scan of `table` with the restrictions (operator `op` on each); SqiResult.
  int start(const char* table, const Params& params = {}, int op = RESTRICT_EQUAL) {
    return start_table_scan(errors_, dal_, it_, pool_, table, params, op, &descriptor_, &columns_);
  }
  // 1-based number of a column of the last scanned table (0 when unknown).
  int column_number(const std::string& name) const {
    for (const DalColumn& column : columns_)
      if (name == column.name) return column.number;
    return 0;
  }
  // Scans and reads every column of every row as text.
  ScanResult scan(const char* table, const Params& params = {}, int op = RESTRICT_EQUAL) {
    ScanResult out;
    out.rc = start(table, params, op);
    while (out.rc == SQI_OK && DALFetch(it_) == SQI_OK) {
      std::map<std::string, std::string> row;
      for (const DalColumn& column : columns_) {
        std::vector<char> buffer(1 << 16);
        SQLLEN indicator = 0;
        EXPECT_EQ(SQI_OK, DALGetData(it_, column.number, SQL_C_CHAR, buffer.data(),
                                     static_cast<SQLLEN>(buffer.size()), &indicator));
        row[column.name] = indicator == SQL_NULL_DATA ? "NULL" : buffer.data();
      }
      out.rows.push_back(row);
    }
    SQLCHAR state[6] = {0};
    SQLCHAR message[1024] = {0};
    SQLINTEGER native = 0;
    if (GetDiagRec(errors_, 1, state, &native, message, sizeof message, nullptr) == SQL_SUCCESS) {
      out.message = reinterpret_cast<char*>(message);
      out.native = native;
      out.state = reinterpret_cast<char*>(state);
    }
    return out;
  }

 private:
  MemPool* pool_ = nullptr;
  ErrorHeader* errors_ = nullptr;
  Dal* dal_ = nullptr;
  DalIterator* it_ = nullptr;
  DalTable descriptor_{};
  std::vector<DalColumn> columns_;
  bool open_ = false;
};

}  // namespace

namespace {

// ---------------------------------------------------------------------------------------------
// A real node.

// The node's own reply to a call, by a plain HTTP POST; null when it does not answer.
json_t* node_call(int port, const std::string& method, const std::string& params) {
  return node_json_call(port, method, params, kPollMillis);
}

// The node's `result` as the driver shows it: a string's text, else its JSON text.
std::string node_result(int port, const std::string& method, const std::string& params) {
  json_t* reply = node_call(port, method, params);
  json_t* result = json_object_get(reply, "result");
  std::string text = "<none>";
  if (json_is_string(result)) {
    text = json_string_value(result);
  } else if (result) {
    char* dumped = json_dumps(result, JSON_ENCODE_ANY);
    text = dumped;
    free(dumped);
  }
  json_decref(reply);
  return text;
}

const char* const kAccount = "0xf39Fd6e51aad88F6F4ce6aB8827279cffFb92266";  // anvil account 0

class AnvilScan : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char directory[] = "/tmp/quill_anvil_XXXXXX";
    if (!mkdtemp(directory)) return;
    dir_ = directory;
    std::string command =
        "bash " QUILL_TEST_DATA_DIR "/../servers/anvil.sh start " + dir_ + " 2>/dev/null";
    if (FILE* pipe = popen(command.c_str(), "r")) {
      char line[64] = {0};
      if (fgets(line, sizeof line, pipe)) port_ = std::atoi(line);
      pclose(pipe);
    }
    if (port_ > 0 && node_result(port_, "eth_chainId", "[]") == "<none>") port_ = 0;
  }
  static void TearDownTestSuite() {
    if (dir_.empty()) return;
    std::string command = "bash " QUILL_TEST_DATA_DIR "/../servers/anvil.sh stop " + dir_;
    (void)std::system(command.c_str());
    (void)std::system(("rm -rf " + dir_).c_str());
  }
  void SetUp() override {
    if (port_ <= 0) GTEST_SKIP() << "anvil could not be started";
    session_ = std::make_unique<Session>("http://127.0.0.1:" + std::to_string(port_));
    ASSERT_TRUE(session_->open());
  }
  static inline std::string dir_;
  static inline int port_ = 0;
  std::unique_ptr<Session> session_;
};

TEST_F(AnvilScan, ScalarResultsMatchTheNode) {
  struct Case {
    const char* table;
    Params params;
    const char* column;
    const char* method;
    std::string node_params;
  };
  const Case cases[] = {
      {"blockNumber", {}, "result", "eth_blockNumber", "[]"},
      {"chainId", {}, "result", "eth_chainId", "[]"},
      {"gasPrice", {}, "result", "eth_gasPrice", "[]"},
      {"getBalance",
       {{"address", kAccount}, {"blockParameter", "latest"}},
       "result",
       "eth_getBalance",
       std::string("[\"") + kAccount + "\",\"latest\"]"},
      {"getCode",
       {{"address", kAccount}, {"blockNumber", "latest"}},
       "result",
       "eth_getCode",
       std::string("[\"") + kAccount + "\",\"latest\"]"},
      {"getStorageAt",
       {{"address", kAccount}, {"storagePosition", "0x0"}, {"blockParameter", "latest"}},
       "storageValue",
       "eth_getStorageAt",
       std::string("[\"") + kAccount + "\",\"0x0\",\"latest\"]"},
  };
  for (const Case& c : cases) {
    ScanResult result = session_->scan(c.table, c.params);
    ASSERT_EQ(SQI_OK, result.rc) << c.table << ": " << result.message;
    ASSERT_EQ(1u, result.rows.size()) << c.table;
    EXPECT_EQ(node_result(port_, c.method, c.node_params), result.rows[0][c.column]) << c.table;
    for (const auto& [column, value] : c.params)  // parameters read back as restricted
      EXPECT_EQ(value, result.rows[0][column]) << c.table << "." << column;
  }
  EXPECT_EQ("0x7a69", session_->scan("chainId").rows.at(0)["result"]);  // 31337
  // 10000 ETH: more than 64 bits of wei, returned exactly.
  EXPECT_EQ("0x21e19e0c9bab2400000",
            session_->scan("getBalance", {{"address", kAccount}, {"blockParameter", "0x0"}})
                .rows.at(0)["result"]);
}

TEST_F(AnvilScan, GenesisBlockAndItsEmptyTransactionList) {
  Params block0{{"blockNumber", "0x0"}, {"transactionDetailsFlag", "1"}};
  ScanResult block = session_->scan("getBlockByNumber", block0);
  ASSERT_EQ(SQI_OK, block.rc) << block.message;
  ASSERT_EQ(1u, block.rows.size());
  json_t* reply = node_call(port_, "eth_getBlockByNumber", R"(["0x0",true])");
  json_t* expected = json_object_get(reply, "result");
  for (const char* member : {"hash", "number", "timestamp", "stateRoot", "gasLimit", "miner"})
    EXPECT_EQ(json_string_value(json_object_get(expected, member)), block.rows[0][member])
        << member;
  json_decref(reply);
  EXPECT_EQ("NULL", block.rows[0]["transactions"]);  // an empty array reads as NULL
  ScanResult children = session_->scan("getBlockByNumber_transactions", block0);
  EXPECT_EQ(SQI_OK, children.rc);
  EXPECT_TRUE(children.rows.empty());
}

TEST_F(AnvilScan, MinedTransactionIsOneChildRowAndLongInputComesInPieces) {
  // 149 bytes of data: an "input" text of exactly 300 characters.
  std::string data = "0x" + std::string(298, 'a');
  std::string params = std::string(R"([{"from":")") + kAccount +
                       R"(","to":"0x70997970C51812dc3A010C7d01b50e0d17dc79C8","value":"0x1",)"
                       R"("data":")" +
                       data + R"("}])";
  std::string hash = node_result(port_, "eth_sendTransaction", params);
  ASSERT_EQ(66u, hash.size()) << hash;
  // The node mines the transaction right after answering; poll its receipt a bounded while.
  std::string block_number;
  for (int attempt = 0; attempt < 50 && block_number.empty(); ++attempt) {
    json_t* receipt = node_call(port_, "eth_getTransactionReceipt", "[\"" + hash + "\"]");
    const char* number =
        json_string_value(json_object_get(json_object_get(receipt, "result"), "blockNumber"));
    if (number) block_number = number;
    json_decref(receipt);
    if (block_number.empty()) usleep(100000);
  }
  ASSERT_FALSE(block_number.empty());

  Params block{{"blockNumber", block_number}, {"transactionDetailsFlag", "1"}};
  ScanResult children = session_->scan("getBlockByNumber_transactions", block);
  ASSERT_EQ(SQI_OK, children.rc) << children.message;
  ASSERT_EQ(1u, children.rows.size());
  EXPECT_EQ(hash, children.rows[0]["transactionsHash"]);
  EXPECT_EQ(data, children.rows[0]["transactionsInput"]);
  EXPECT_EQ(block_number, children.rows[0]["blockNumber"]);

  ScanResult by_hash = session_->scan("getTransactionByHash", {{"transactionHash", hash}});
  ASSERT_EQ(1u, by_hash.rows.size());
  EXPECT_EQ(data, by_hash.rows[0]["input"]);

  // Read `input` with a 100-byte buffer: 99, 99, 99, then the last 3 characters.
  ASSERT_EQ(SQI_OK, session_->start("getTransactionByHash", {{"transactionHash", hash}}));
  ASSERT_EQ(SQI_OK, DALFetch(session_->iterator()));
  int column = session_->column_number("input");
  std::string joined;
  const std::pair<int, SQLLEN> pieces[] = {
      {SQI_INFO, 99}, {SQI_INFO, 99}, {SQI_INFO, 99}, {SQI_OK, 3}};
  for (auto [rc, count] : pieces) {
    char buffer[100];
    SQLLEN indicator = 0;
    EXPECT_EQ(rc, DALGetData(session_->iterator(), column, SQL_C_CHAR, buffer, sizeof buffer,
                             &indicator));
    EXPECT_EQ(count, indicator);
    joined += buffer;
  }
  EXPECT_EQ(data, joined);
}

TEST_F(AnvilScan, NodeErrorObjectCarriesItsCode) {
  ScanResult result =
      session_->scan("getBalance", {{"address", "x"}, {"blockParameter", "latest"}});
  EXPECT_EQ(SQI_ERROR, result.rc);
  json_t* reply = node_call(port_, "eth_getBalance", R"(["x","latest"])");
  json_t* error = json_object_get(reply, "error");
  EXPECT_EQ(json_integer_value(json_object_get(error, "code")), result.native);
  // The node's message first, then the table and the parameters the call was made with.
  EXPECT_EQ(std::string(json_string_value(json_object_get(error, "message"))) +
                " (getBalance, address 'x', blockParameter 'latest')",
            result.message);
  json_decref(reply);
}

}  // namespace

namespace {

// ---------------------------------------------------------------------------------------------
// Parameters, against a scripted server.

std::string endpoint(const ScriptServer& server) {
  return "http://127.0.0.1:" + std::to_string(server.port());
}

TEST(EthQueryParameters, MissingRequiredParametersAreNamedInCatalogOrder) {
  ScriptServer server({result_reply("\"0x1\"")});
  Session session(endpoint(server));
  ASSERT_TRUE(session.open());
  struct Case {
    const char* table;
    Params params;
    int op;
    const char* message;
  };
  const Case cases[] = {
      {"getBalance",
       {},
       RESTRICT_EQUAL,
       "The columns 'address' and 'blockParameter' must be specified in the query"},
      {"getBalance",
       {{"blockParameter", "latest"}},
       RESTRICT_EQUAL,
       "The column 'address' must be specified in the query"},
      {"getBalance",  // an operator that supplies nothing is named with the ones that do
       {{"address", "x"}, {"blockParameter", "latest"}},
       RESTRICT_GREATER,
       "address must be given with = or IN; got > (ranges are taken on block numbers only)"},
      {"getProof",
       {},
       RESTRICT_EQUAL,
       "The columns 'address', 'storageKeys' and 'blockParameter' must be specified in the "
       "query"},
      {"submitWork",
       {{"PoWHash", "h"}},
       RESTRICT_EQUAL,
       "The columns 'nonce' and 'digest' must be specified in the query"},
  };
  for (const Case& c : cases) {
    ScanResult result = session.scan(c.table, c.params, c.op);
    EXPECT_EQ(SQI_ERROR, result.rc) << c.table;
    EXPECT_EQ(c.message, result.message) << c.table;
  }
  EXPECT_TRUE(server.bodies().empty());  // nothing was sent
}

TEST(EthQueryParameters, RequestCarriesParametersInPositionOrder) {
  ScriptServer server(
      {result_reply("\"0x5\""), result_reply("null"), result_reply("null"), result_reply("[]")});
  Session session(endpoint(server));
  ASSERT_TRUE(session.open());
  ScanResult balance = session.scan("getBalance", {{"blockParameter", "latest"}, {"address", "x"}});
  ASSERT_EQ(1u, balance.rows.size());
  EXPECT_EQ("x", balance.rows[0]["address"]);
  EXPECT_EQ("latest", balance.rows[0]["blockParameter"]);
  EXPECT_EQ("0x5", balance.rows[0]["result"]);
  // An object result of null yields no rows; a BIT parameter is sent as true or false.
  EXPECT_TRUE(session.scan("getBlockByHash", {{"hash", "0xab"}, {"transactionDetailsFlag", "1"}})
                  .rows.empty());
  session.scan("getBlockByHash", {{"hash", "0xab"}, {"transactionDetailsFlag", "0"}});
  session.scan("getLogs", {{"filter", R"({"fromBlock": "0x1", "big": 123456789012345678901})"}});
  std::vector<std::string> bodies = server.bodies();
  ASSERT_EQ(4u, bodies.size());
  EXPECT_EQ(R"({"jsonrpc":"2.0","method":"eth_getBalance","params":["x","latest"],"id":1})",
            bodies[0]);
  EXPECT_NE(std::string::npos, bodies[1].find(R"("params":["0xab",true])"));
  EXPECT_NE(std::string::npos, bodies[2].find(R"("params":["0xab",false])"));
  EXPECT_NE(std::string::npos, bodies[3].find(R"("params":[{"fromBlock":"0x1")"));
}

TEST(EthQueryParameters, JsonParameterThatIsNotJsonFails) {
  ScriptServer server({result_reply("[]")});
  Session session(endpoint(server));
  ASSERT_TRUE(session.open());
  ScanResult result = session.scan("getLogs", {{"filter", "{oops"}});
  EXPECT_EQ(SQI_ERROR, result.rc);
  EXPECT_EQ(0u, result.message.rfind("Failed extracting JSON for 'filter':'", 0)) << result.message;
}

TEST(EthQueryParameters, TextThatIsNotUtf8FailsBeforeSending) {
  ScriptServer server({result_reply("\"0x1\"")});
  Session session(endpoint(server));
  ASSERT_TRUE(session.open());
  ScanResult result =
      session.scan("getBalance", {{"address", "0x\xff\xfe"}, {"blockParameter", "latest"}});
  EXPECT_EQ(SQI_ERROR, result.rc);
  EXPECT_EQ(0u, result.message.rfind("The value of 'address' is not valid UTF-8 text", 0))
      << result.message;
  EXPECT_TRUE(server.bodies().empty());
}

// ---------------------------------------------------------------------------------------------
// Responses a real node does not give.

struct ResponseCase {
  const char* name;
  std::vector<std::string> replies;
  int rc;
  size_t rows;
  const char* message;  // first diagnostic ("" = none expected), compared as a prefix
  size_t requests;      // requests the server saw
};

// A JSON array of `count` copies of the number `digits`.
std::string number_array(size_t count, const std::string& digits) {
  std::string text = "[";
  for (size_t i = 0; i < count; ++i) text += digits + ",";
  text.back() = ']';
  return text;
}

TEST(EthQueryResponses, EachStatusHasItsOutcome) {
  std::string too_many =
      http_reply("429 Too Many Requests", "text/plain", "slow", "Retry-After: 0\r\n");
  const ResponseCase cases[] = {
      {"204", {http_reply("204 No Content", "application/json", "")}, SQI_OK, 0, "", 1},
      {"404",
       {http_reply("404 Not Found", "text/html", "<html/>")},
       SQI_ERROR,
       0,
       "Error <return code 404: Not Found>",
       1},
      {"500 json",
       {http_reply("500 Internal", "application/json", R"({"errors":[{"message":"m1"}]})")},
       SQI_ERROR,
       0,
       "Error <error: m1>",
       1},
      {"500 json-rpc error",
       {http_reply("500 Internal", "application/json",
                   R"({"jsonrpc":"2.0","id":1,"error":{"code":-32000,"message":"boom"}})")},
       SQI_ERROR,
       0,
       "Error <error: boom>",
       1},
      {"malformed", {json_reply("{oops")}, SQI_ERROR, 0, "fails to decode reply", 1},
      {"rpc error",
       {json_reply(R"({"jsonrpc":"2.0","id":1,"error":{"code":-32602,"message":"bad"}})")},
       SQI_ERROR,
       0,
       "bad",
       1},
      {"rpc error without message",
       {json_reply(R"({"error":{"code":7}})")},
       SQI_ERROR,
       0,
       "Error without message",
       1},
      {"truncated",
       {"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 100\r\n\r\n{\"res"},
       SQI_ERROR,
       0,
       "",
       1},
      {"429 then 200",
       {http_reply("429 Too Many Requests", "text/plain", "", "Retry-After: 1\r\n"),
        result_reply("\"0x9\"")},
       SQI_OK,
       1,
       "",
       2},
      {"429 beyond the retry limit",
       {too_many},
       SQI_ERROR,
       0,
       "Error <return code 429: Too Many Requests>",
       1 + ETH_RATE_LIMIT_MAX_RETRIES},
      {"429 asking too long",
       {http_reply("429 Too Many Requests", "text/plain", "", "Retry-After: 61\r\n")},
       SQI_ERROR,
       0,
       "Error <return code 429: Too Many Requests>",
       1},
      {"big integer", {result_reply("123456789012345678901234567890")}, SQI_OK, 1, "", 1},
      // A million one-digit numbers would take 24 times their 2 MB once decoded.
      {"values too small for their cost",
       {result_reply(number_array(1000000, "1"))},
       SQI_ERROR,
       0,
       "The reply of 2000035 bytes would take about 46 MB of memory once decoded, more than "
       "the limit of 32 MB (8 times its size plus 16 MB, at most 1024 MB); ask for less data",
       1},
  };
  for (const ResponseCase& c : cases) {
    ScriptServer server(c.replies);
    Session session(endpoint(server));
    ASSERT_TRUE(session.open());
    ScanResult result = session.scan("blockNumber");
    EXPECT_EQ(c.rc, result.rc) << c.name;
    EXPECT_EQ(c.rows, result.rows.size()) << c.name;
    if (c.rc == SQI_ERROR) {
      EXPECT_FALSE(result.message.empty()) << c.name;
      EXPECT_EQ(0u, result.message.rfind(c.message, 0)) << c.name << ": " << result.message;
    }
    EXPECT_EQ(c.requests, server.bodies().size()) << c.name;
  }
}

TEST(EthQueryResponses, NativeErrorOfRpcErrorAndExactBigInteger) {
  ScriptServer server({json_reply(R"({"error":{"code":-32602,"message":"invalid"}})"),
                       result_reply("-123456789012345678901234567890")});
  Session session(endpoint(server));
  ASSERT_TRUE(session.open());
  ScanResult error = session.scan("blockNumber");
  EXPECT_EQ(-32602, error.native);
  EXPECT_EQ("invalid (blockNumber)", error.message);
  EXPECT_EQ("-123456789012345678901234567890", session.scan("blockNumber").rows.at(0)["result"]);
}

TEST(EthQueryResponses, ChildTableYieldsOneRowPerElement) {
  std::string block = R"({"hash":"0xb","transactions":[{"hash":"0x1","value":"0xa"},)"
                      R"({"hash":"0x2"}]})";
  ScriptServer server({result_reply(block), result_reply(R"({"hash":"0xc","transactions":[]})")});
  Session session(endpoint(server));
  ASSERT_TRUE(session.open());
  Params params{{"hash", "0xb"}, {"transactionDetailsFlag", "1"}};
  ScanResult rows = session.scan("getBlockByHash_transactions", params);
  ASSERT_EQ(2u, rows.rows.size());
  EXPECT_EQ("0x1", rows.rows[0]["transactionsHash"]);
  EXPECT_EQ("0xa", rows.rows[0]["transactionsValue"]);
  EXPECT_EQ("0x2", rows.rows[1]["transactionsHash"]);
  EXPECT_EQ("NULL", rows.rows[1]["transactionsValue"]);
  EXPECT_EQ("0xb", rows.rows[1]["hash"]);
  EXPECT_TRUE(session.scan("getBlockByHash_transactions", params).rows.empty());
}

// ---------------------------------------------------------------------------------------------
// The statement's cancel flag, raised from another thread, and statements of one connection
// on several threads.

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Raises `*flag` after `millis` on a thread of its own; joined on destruction.
class Canceller {
 public:
  Canceller(int* flag, int millis)
      : thread_([flag, millis] {
          std::this_thread::sleep_for(std::chrono::milliseconds(millis));
          __atomic_store_n(flag, 1, __ATOMIC_RELEASE);
        }) {}
  ~Canceller() { thread_.join(); }

 private:
  std::thread thread_;
};

TEST(EthQueryCancel, RaisedFlagEndsTheWaitOnTheNodeAndTheRateLimitPause) {
  const ScriptReply silent = silent_reply();
  const std::pair<const char*, ScriptReply> cases[] = {
      {"silent node", silent},
      {"rate-limit pause",
       plain_reply(http_reply("429 Too Many Requests", "text/plain", "", "Retry-After: 30\r\n"))},
  };
  for (const auto& [name, reply] : cases) {
    ScriptServer server({reply});
    Session session(endpoint(server));
    ASSERT_TRUE(session.open());
    int flag = 0;
    DALSetWait(session.iterator(), SqiWait{0, &flag});
    Clock::time_point start = Clock::now();
    ScanResult result;
    {
      Canceller canceller(&flag, 300);
      result = session.scan("blockNumber");
    }
    EXPECT_EQ(SQI_ERROR, result.rc) << name;
    EXPECT_EQ("HY008", result.state) << name;
    EXPECT_EQ("Operation canceled", result.message) << name;
    double seconds = seconds_since(start);
    EXPECT_LT(seconds, 0.3 + 2) << name;  // within 100 ms in fact; generous here
    std::printf("[ cancel   ] %s: ended %.3f s after the flag\n", name, seconds - 0.3);
  }
}

// Open descriptors of this process.
size_t open_descriptors() {
  size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    (void)entry;
    ++count;
  }
  return count;
}

TEST(EthQueryConcurrency, StatementsOfOneConnectionTakeTurnsOnTheSocket) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 10;
  ScriptServer server({result_reply("\"0x7\"")}, kThreads * kRounds);
  EthConnection connection;
  connection.host = "127.0.0.1";
  connection.port = static_cast<uint16_t>(server.port());
  connection.http.uri = endpoint(server);
  const size_t descriptors = open_descriptors();
  std::atomic<int> answered{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&] {
      for (int round = 0; round < kRounds; ++round) {
        EthRequest request;
        EthResponse response;
        EthFailure failure;
        if (eth_round_trip(&connection, EthLimits{}, R"({"method":"eth_blockNumber"})", &request,
                           &response, &failure) == 0 &&
            response.body.find("\"0x7\"") != std::string::npos)
          ++answered;
      }
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(kThreads * kRounds, answered.load());
  EXPECT_EQ(static_cast<size_t>(kThreads * kRounds), server.bodies().size());
  // The kept-alive socket is the only one left; closing it leaves none behind.
  eth_close_connection(&connection.http);
  EXPECT_EQ(descriptors, open_descriptors());
}

TEST(EthQueryConcurrency, WaitingForTheConnectionsTurnEndsOnCancel) {
  const ScriptReply silent = silent_reply();
  ScriptServer server({silent});
  EthConnection connection;
  connection.host = "127.0.0.1";
  connection.port = static_cast<uint16_t>(server.port());
  connection.http.uri = endpoint(server);
  EthLimits holder;  // holds the connection for 1 s on a node that never answers
  holder.connection_seconds = 1;
  std::thread first([&] {
    EthRequest request;
    EthResponse response;
    EthFailure failure;
    EXPECT_NE(0, eth_round_trip(&connection, holder, "{}", &request, &response, &failure));
    EXPECT_STREQ("HYT01", failure.sqlstate);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  int flag = 0;
  EthLimits waiter;
  waiter.cancel_flag = &flag;
  EthRequest request;
  EthResponse response;
  EthFailure failure;
  Clock::time_point start = Clock::now();
  {
    Canceller canceller(&flag, 300);
    EXPECT_NE(0, eth_round_trip(&connection, waiter, "{}", &request, &response, &failure));
  }
  EXPECT_LT(seconds_since(start), 0.3 + 2);
  EXPECT_STREQ("HY008", failure.sqlstate);
  first.join();
}

// ---------------------------------------------------------------------------------------------
// Conversions of one value to each C type.

struct ConversionCase {
  const char* result;  // JSON text of the scalar result
  int c_type;
  std::string expected;  // printed value, "NULL", or "-" for no data
};

std::string read_as(DalIterator* it, int c_type) {
  union {
    char text[256];
    SQLINTEGER integer;
    SQLBIGINT bigint;
    SQLDOUBLE real;
    SQL_DATE_STRUCT date;
    SQL_TIME_STRUCT time;
    SQL_TIMESTAMP_STRUCT stamp;
  } buffer{};
  SQLLEN indicator = -99;
  if (DALGetData(it, 1, c_type, &buffer, sizeof buffer.text, &indicator) != SQI_OK) return "ERR";
  if (indicator == SQL_NULL_DATA) return "NULL";
  if (indicator == -99) return "-";
  char out[128];
  switch (c_type) {
    case SQL_C_CHAR:
      return buffer.text;
    case SQL_C_LONG:
      return std::to_string(buffer.integer);
    case SQL_C_SBIGINT:
      return std::to_string(buffer.bigint);
    case SQL_C_DOUBLE:
      std::snprintf(out, sizeof out, "%g", buffer.real);
      return out;
    case SQL_C_TYPE_DATE:
      std::snprintf(out, sizeof out, "%d-%d-%d", buffer.date.year, buffer.date.month,
                    buffer.date.day);
      return out;
    case SQL_C_TYPE_TIME:
      std::snprintf(out, sizeof out, "%d:%d:%d", buffer.time.hour, buffer.time.minute,
                    buffer.time.second);
      return out;
    default:
      std::snprintf(out, sizeof out, "%d-%d-%d %d:%d:%d", buffer.stamp.year, buffer.stamp.month,
                    buffer.stamp.day, buffer.stamp.hour, buffer.stamp.minute, buffer.stamp.second);
      return out;
  }
}

TEST(EthQueryConversions, JsonValuesToCTypes) {
  const ConversionCase cases[] = {
      {"\"42\"", SQL_C_LONG, "42"},
      {"\"0x1c9c380\"", SQL_C_LONG, "30000000"},  // node quantities are hexadecimal
      {"\"0x1c9c380\"", SQL_C_SBIGINT, "30000000"},
      {"\"0x1c9c380\"", SQL_C_DOUBLE, "3e+07"},
      {"\"0x21e19e0c9bab2400000\"", SQL_C_SBIGINT, "ERR"},  // beyond 64 bits
      {"42", SQL_C_CHAR, "42"},
      {"5000000000", SQL_C_CHAR, "5000000000"},
      {"5000000000", SQL_C_SBIGINT, "5000000000"},
      {"5000000000", SQL_C_LONG, "ERR"},  // out of range, never cut
      {"2.5", SQL_C_CHAR, "2.500000"},
      {"2.9", SQL_C_LONG, "2"},
      {"true", SQL_C_CHAR, "True"},
      {"false", SQL_C_LONG, "0"},
      {"true", SQL_C_DOUBLE, "NULL"},
      {"\"\"", SQL_C_DOUBLE, "NULL"},
      {"\"1.5\"", SQL_C_DOUBLE, "1.5"},
      {"[1,{\"a\":2}]", SQL_C_CHAR, "[1, {\"a\": 2}]"},
      {"[]", SQL_C_CHAR, "NULL"},
      {"{\"a\":1}", SQL_C_LONG, "NULL"},
      {"\"2024-03-05\"", SQL_C_TYPE_DATE, "2024-3-5"},
      {"\"2024-03\"", SQL_C_TYPE_DATE, "NULL"},
      {"\"10:20:30\"", SQL_C_TYPE_TIME, "10:20:30"},
      {"\"2024-03-05T10:20:30.5Z\"", SQL_C_TYPE_TIMESTAMP, "2024-3-5 10:20:30"},
      {"\"2024-03-05T10:20\"", SQL_C_TYPE_TIMESTAMP, "NULL"},
      {"\"x\"", SQL_C_BINARY, "-"},
      {"null", SQL_C_CHAR, "NULL"},
  };
  std::vector<std::string> replies;
  for (const ConversionCase& c : cases) replies.push_back(result_reply(c.result));
  ScriptServer server(replies, static_cast<int>(replies.size()));
  Session session(endpoint(server));
  ASSERT_TRUE(session.open());
  for (const ConversionCase& c : cases) {
    ASSERT_EQ(SQI_OK, session.start("blockNumber")) << c.result;
    ASSERT_EQ(SQI_OK, DALFetch(session.iterator())) << c.result;
    EXPECT_EQ(c.expected, read_as(session.iterator(), c.c_type)) << c.result << " " << c.c_type;
  }
}

TEST(EthQueryConversions, TimestampZoneOffsetsMoveTheTime) {
  struct Case {
    const char* text;
    int tz_hours, tz_minutes;
    const char* expected;
  };
  const Case cases[] = {
      {"2024-03-05T10:20:30Z", 5, 0, "2024-3-5 10:20:30"},
      {"2024-03-05T10:20:30+00:00", 5, 0, "2024-3-5 10:20:30"},
      {"2024-03-05T10:20:30+02:00", 0, 0, "2024-3-5 8:20:30"},
      {"2024-03-05T01:20:30+02:00", 0, 0, "2024-3-4 23:20:30"},
      {"2024-02-28T23:30:00-01:00", 0, 0, "2024-2-29 0:30:00"},
      {"2024-12-31T23:00:00-01:30", 0, 0, "2025-1-1 0:30:00"},
      {"2024-03-05T10:00:00+01:00", -2, 0, "2024-3-5 7:0:00"},
  };
  for (const Case& c : cases) {
    SQL_TIMESTAMP_STRUCT stamp{};
    eth_timestamp_from_text(c.text, c.tz_hours, c.tz_minutes, &stamp);
    char out[64];
    std::snprintf(out, sizeof out, "%d-%d-%d %d:%d:%02d", stamp.year, stamp.month, stamp.day,
                  stamp.hour, stamp.minute, stamp.second);
    EXPECT_STREQ(c.expected, out) << c.text;
    EXPECT_EQ(0u, stamp.fraction);
  }
}

TEST(EthQueryConversions, ExactLoaderQuotesOnlyOverlongIntegers) {
  const std::pair<const char*, const char*> cases[] = {
      {"9223372036854775807", "9223372036854775807"},
      {"9223372036854775808", "\"9223372036854775808\""},
      {"[-99999999999999999999, 1.5e300, \"123456789012345678901\"]",
       "[\"-99999999999999999999\", 1.5e300, \"123456789012345678901\"]"},
      {"{\"a\\\"1\": 100000000000000000000}", "{\"a\\\"1\": \"100000000000000000000\"}"},
  };
  for (auto [input, expected] : cases) {
    json_error_t error;
    json_t* value = eth_json_loads_exact(input, &error);
    ASSERT_NE(nullptr, value) << input << ": " << error.text;
    char* text = json_dumps(value, JSON_ENCODE_ANY | JSON_REAL_PRECISION(3));
    EXPECT_STREQ(expected, text) << input;
    free(text);
    json_decref(value);
  }
}

// The quick reader takes plain documents and builds what Jansson builds; everything else it
// leaves to Jansson, so the exact loader's values and error texts stay Jansson's own.
TEST(EthQueryConversions, QuickReaderAgreesWithJansson) {
  auto nested = [](int depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  const std::pair<std::string, bool> cases[] = {
      {R"({"jsonrpc":"2.0","id":1,"result":{"hash":"0xab","number":"0x1","uncles":[]}})", true},
      {R"([{"id":2,"result":null},{"id":1,"error":{"code":-32000,"message":"not found"}}])", true},
      {" \r\n\t[true, false, null, 0, -0, 9223372036854775807, -9223372036854775808] \n", true},
      {"{\"a\":1,\"a\":\"2\",\"b\":{},\"c\":[[]],\"\":\"~\x7f\"}", true},
      {R"("")", true},
      {"42", true},
      {nested(512), true},
      {nested(513), false},   // deeper than the quick reader goes; Jansson reads it
      {nested(3000), false},  // past Jansson's own limit: its message
      {R"({"message":"reverted: \"no\""})", false},  // escapes are Jansson's
      {"{\"name\":\"caf\xc3\xa9\"}", false},         // so are bytes above 0x7F
      {"[\"\xff\"]", false},
      {"[\"a\x01\"]", false},
      {"[1.5, 2e3, -0.0]", false},
      {"[01]", false},
      {"[-]", false},
      {"[1,]", false},
      {R"({"a":1,})", false},
      {R"({"a" 1})", false},
      {"{1:2}", false},
      {"[tru]", false},
      {"[1] x", false},
      {std::string("[1]\0", 4), false},
      {"", false},
      {"  ", false},
      {"[", false},
      {R"(["abc)", false},
      {R"({"a":)", false},
  };
  for (const auto& [text, plain] : cases) {
    const std::string shown = text.substr(0, 60);
    json_t* quick = eth_json_read_plain(text);
    EXPECT_EQ(plain, quick != nullptr) << shown;
    json_decref(quick);
    json_error_t exact_error;
    json_error_t jansson_error;
    json_t* exact = eth_json_loads_exact(text, &exact_error);
    json_t* jansson = json_loadb(text.data(), text.size(), JSON_DECODE_ANY, &jansson_error);
    ASSERT_EQ(jansson != nullptr, exact != nullptr) << shown;
    if (jansson == nullptr) {
      EXPECT_STREQ(jansson_error.text, exact_error.text) << shown;
      continue;
    }
    char* expected = json_dumps(jansson, JSON_ENCODE_ANY);
    char* got = json_dumps(exact, JSON_ENCODE_ANY);
    EXPECT_STREQ(expected, got) << shown;
    free(expected);
    free(got);
    json_decref(jansson);
    json_decref(exact);
  }
}

}  // namespace
