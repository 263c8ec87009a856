// The calls of one scan on the wire: JSON-RPC batches split at batch_size and matched by id in
// any order, a call of a batch failing alone, a batch refused (and remembered), ids missing or
// repeated; the kept-alive connection that carries them, reused, retried once after the server
// closed it, dropped after a broken response; SQLCancel's flag during a batch; and the same
// against a real node (anvil), counting the connections the transport opened.
#include <gtest/gtest.h>
#include <jansson.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "driver/eth/eth_query.h"
#include "driver/eth/eth_sqi.h"
#include "driver/eth/eth_tables.h"
#include "support/connstr.h"
#include "support/memory.h"
#include "tests/eth/script_server.h"

namespace {

std::string http_reply(const std::string& status, const std::string& body) {
  return "HTTP/1.1 " + status +
         "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}
// The reply object of call `id` for block `number`.
std::string block(int id, int number) {
  return R"({"jsonrpc":"2.0","id":)" + std::to_string(id) + R"(,"result":{"number":"0x)" +
         std::to_string(number) + R"("}})";
}
std::string single(int number) {
  return http_reply("200 OK", block(1, number));
}
std::string batch(const std::vector<std::string>& members) {
  std::string body = "[";
  for (const std::string& member : members) body += (body.size() > 1 ? "," : "") + member;
  return http_reply("200 OK", body + "]");
}

struct Posted {
  std::string sqlstate, message;
  int native = 0;
};
std::vector<Posted> g_posted;

int record_service(int code, void* parameters) {
  if (code != SQI_SERVICE_POST_ERROR) return -1;
  auto* record = static_cast<SqiPostError*>(parameters);
  g_posted.push_back({record->sqlstate, record->message, record->native_error});
  return 0;
}

// A connection of the backend and one statement on it, scanning getBlockByNumber with
// hand-made calls (the parameter rules that make them are tested elsewhere).
class Scan {
 public:
  explicit Scan(const std::string& options) {
    g_posted.clear();
    pool_ = quill_mem_alloc_handle(nullptr);
    init_con_str(&attributes_, pool_);
    open_ =
        eth_alloc_env(&target_, &env_, record_service, nullptr) == SQI_OK &&
        parse_connection_string(options.c_str(), nullptr, nullptr, SQL_NTS, &attributes_) == 0 &&
        eth_connect(env_, &attributes_, nullptr, nullptr, 0) == SQI_OK;
    if (open_) stmt_ = static_cast<EthStmt*>(eth_alloc_stmt(&target_, env_, nullptr, nullptr));
  }
  ~Scan() {
    if (stmt_) eth_free_stmt(stmt_);
    if (env_) eth_free_env(env_);
    quill_mem_release_handle(pool_);
  }
  Scan(const Scan&) = delete;
  Scan& operator=(const Scan&) = delete;

  bool open() const { return open_ && stmt_; }
  EthConnection* connection() { return static_cast<EthEnv*>(env_)->connection; }
  EthStmt* stmt() { return stmt_; }
  // Runs one call per block number; the block numbers of the rows, or -1 after an error.
  std::vector<int> run(int calls) {
    EthQuery query;
    query.table = eth_find_table(static_cast<EthEnv*>(env_), "getBlockByNumber");
    for (int i = 1; i <= calls; ++i) {
      EthCall call;
      char number[16];
      std::snprintf(number, sizeof number, "0x%x", i);
      call.params = json_pack("[sb]", number, 0);
      call.param_texts = {number, "0"};
      query.calls.push_back(call);
    }
    std::vector<int> numbers;
    if (eth_run_calls(stmt_, &query) != SQI_OK) {
      numbers.push_back(-1);
    } else {
      size_t index;
      json_t* row;
      json_array_foreach(query.rows, index, row) numbers.push_back(static_cast<int>(
          std::strtol(json_string_value(json_object_get(row, "number")) + 2, nullptr, 16)));
      EXPECT_EQ(query.calls.back().row_end, json_array_size(query.rows));
    }
    json_decref(query.rows);
    query.rows = nullptr;
    eth_free_calls(&query.calls);
    return numbers;
  }

 private:
  int target_ = 0;
  MemPool* pool_ = nullptr;
  ConnAttrSet attributes_{};
  SqiEnv env_ = nullptr;
  EthStmt* stmt_ = nullptr;
  bool open_ = false;
};

// The shape of each request body: "B<n>" for a batch of n calls, "S" for a single call.
std::string shapes(const std::vector<std::string>& bodies) {
  std::string out;
  for (const std::string& body : bodies) {
    if (!out.empty()) out += ",";
    if (body.empty() || body[0] != '[') {
      out += "S";
      continue;
    }
    size_t count = 0;
    for (size_t at = body.find("\"id\":"); at != std::string::npos;
         at = body.find("\"id\":", at + 1))
      ++count;
    out += "B" + std::to_string(count);
  }
  return out;
}

std::vector<int> counting(int count) {
  std::vector<int> out;
  for (int i = 1; i <= count; ++i) out.push_back(i);
  return out;
}

TEST(EthBatch, RepliesAreMatchedByIdAndRefusalsFallBack) {
  const std::string refusal =
      R"({"jsonrpc":"2.0","id":null,"error":{"code":-32600,"message":"batch not allowed"}})";
  const struct {
    const char* name;
    int batch_size;
    int calls;
    std::vector<std::string> replies;
    const char* shapes;  // of the requests sent
    bool refused;        // the connection remembers a refusal
  } cases[] = {
      {"split, replies out of order",
       2,
       3,
       {batch({block(2, 2), block(1, 1)}), single(3)},
       "B2,S",
       false},
      {"error object for the array",
       3,
       3,
       {http_reply("200 OK", refusal), single(1), single(2), single(3)},
       "B3,S,S,S",
       true},
      {"HTTP error for the array",
       3,
       3,
       {http_reply("400 Bad Request", refusal), single(1), single(2), single(3)},
       "B3,S,S,S",
       true},
      {"refusal remembered for the next batches",
       2,
       4,
       {http_reply("200 OK", refusal), single(1), single(2), single(3), single(4)},
       "B2,S,S,S,S",
       true},
      {"id answered twice",
       3,
       3,
       {batch({block(1, 1), block(1, 1), block(2, 2)}), single(1), single(2), single(3)},
       "B3,S,S,S",
       true},
      {"id missing: that call alone",
       3,
       3,
       {batch({block(3, 3), block(1, 1)}), single(2)},
       "B3,S",
       false},
      {"batches off", 1, 2, {single(1), single(2)}, "S,S", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptServer server(c.replies, 20);
    Scan scan("uri=" + server.uri() +
              ";connect_probe=no;batch_size=" + std::to_string(c.batch_size));
    ASSERT_TRUE(scan.open());
    EXPECT_EQ(scan.run(c.calls), counting(c.calls));
    EXPECT_TRUE(g_posted.empty()) << g_posted[0].message;
    EXPECT_EQ(scan.connection()->batches_refused.load(), c.refused);
    EXPECT_EQ(shapes(server.bodies()), c.shapes);
  }
}

TEST(EthBatch, ACallFailingFailsTheScanNamingTheCall) {
  const std::string failed =
      R"({"jsonrpc":"2.0","id":2,"error":{"code":-32000,"message":"header not found"}})";
  ScriptServer server({batch({block(1, 1), failed, block(3, 3)})});
  Scan scan("uri=" + server.uri() + ";connect_probe=no");
  ASSERT_TRUE(scan.open());
  EXPECT_EQ(scan.run(3), std::vector<int>{-1});
  ASSERT_EQ(g_posted.size(), 1u);
  EXPECT_EQ(g_posted[0].message,
            R"(header not found (getBlockByNumber, blockNumber '0x2', )"
            R"(transactionDetailsFlag '0'; call 2 of 3, params ["0x2",false]))");
  EXPECT_EQ(g_posted[0].native, -32000);
  EXPECT_FALSE(scan.connection()->batches_refused.load());
}

TEST(EthKeepAlive, OneConnectionCarriesTheCallsWithTheHostPort) {
  ScriptServer server({single(1), single(2), single(3), single(4)}, 10, true);
  Scan scan("uri=" + server.uri() + ";connect_probe=no;batch_size=1");
  ASSERT_TRUE(scan.open());
  EXPECT_EQ(scan.run(4), counting(4));
  EXPECT_EQ(server.connections(), 1);
  std::vector<std::string> heads = server.heads();
  ASSERT_EQ(heads.size(), 4u);
  for (const std::string& head : heads) {
    EXPECT_NE(head.find("\r\nHost: 127.0.0.1:" + std::to_string(server.port()) + "\r\n"),
              std::string::npos)
        << head;
    EXPECT_EQ(head.find("Connection: close"), std::string::npos) << head;
  }
}

TEST(EthKeepAlive, ClosedByTheServerIsRetriedOnceAndBrokenIsDropped) {
  {  // The server hangs up on the second request: it is sent again on a new connection.
    ScriptServer server(
        {plain_reply(single(1)), hang_up_reply(), plain_reply(single(2)), plain_reply(single(3))},
        10, true);
    Scan scan("uri=" + server.uri() + ";connect_probe=no;batch_size=1");
    ASSERT_TRUE(scan.open());
    EXPECT_EQ(scan.run(3), counting(3));
    EXPECT_EQ(server.connections(), 2);
    EXPECT_EQ(shapes(server.bodies()), "S,S,S,S");
  }
  {  // A fresh connection that gives no answer is not retried.
    ScriptServer server(std::vector<ScriptReply>{hang_up_reply()}, 10, true);
    Scan scan("uri=" + server.uri() + ";connect_probe=no");
    ASSERT_TRUE(scan.open());
    EXPECT_EQ(scan.run(1), std::vector<int>{-1});
    EXPECT_EQ(server.connections(), 1);
  }
  {  // A response with broken framing ends its connection; the next call opens another.
    ScriptServer server({"HTTP/1.1 200 OK\r\nContent-Length: x\r\n\r\n{}", single(1)}, 10, true);
    Scan scan("uri=" + server.uri() + ";connect_probe=no");
    ASSERT_TRUE(scan.open());
    EXPECT_EQ(scan.run(1), std::vector<int>{-1});
    EXPECT_EQ(scan.run(1), counting(1));
    EXPECT_EQ(server.connections(), 2);
  }
}

TEST(EthBatch, CancelEndsTheWaitForABatch) {
  ScriptServer server(std::vector<ScriptReply>{silent_reply()});
  Scan scan("uri=" + server.uri() + ";connect_probe=no");
  ASSERT_TRUE(scan.open());
  int flag = 0;
  scan.stmt()->wait.cancel_flag = &flag;
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    __atomic_store_n(&flag, 1, __ATOMIC_SEQ_CST);
  });
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(scan.run(10), std::vector<int>{-1});
  canceller.join();
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
            0.3 + 3);
  ASSERT_FALSE(g_posted.empty());
  EXPECT_EQ(g_posted[0].sqlstate, "HY008");
  EXPECT_EQ(shapes(server.bodies()), "B10");
}

TEST(EthPace, RequestsKeepToTheRateSet) {
  ScriptServer server({single(1)}, 10, true);
  Scan scan("uri=" + server.uri() + ";connect_probe=no;batch_size=1;max_requests_per_second=20");
  ASSERT_TRUE(scan.open());
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(scan.run(5).size(), 5u);
  // Five requests 50 ms apart: the last starts 200 ms after the first, never sooner.
  EXPECT_GE(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 0.19);
  EXPECT_EQ(server.connections(), 1);
}

// A local node for the suite; skipped when anvil cannot be started.
class AnvilBatch : public ::testing::Test {
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
    // A few blocks to read.
    for (int i = 0; port_ > 0 && i < 3; ++i) {
      std::string mine =
          "curl -s -m 5 -H 'Content-Type: application/json' -d "
          "'{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"evm_mine\",\"params\":[]}' "
          "http://127.0.0.1:" +
          std::to_string(port_) + "/ >/dev/null";
      (void)std::system(mine.c_str());
    }
  }
  static void TearDownTestSuite() {
    if (dir_.empty()) return;
    (void)std::system(("bash " QUILL_TEST_DATA_DIR "/../servers/anvil.sh stop " + dir_).c_str());
    (void)std::system(("rm -rf " + dir_).c_str());
  }
  void SetUp() override {
    if (port_ <= 0) GTEST_SKIP() << "anvil could not be started";
  }
  std::string uri() const { return "uri=http://127.0.0.1:" + std::to_string(port_); }
  static inline std::string dir_;
  static inline int port_ = 0;
};

TEST_F(AnvilBatch, CallsShareOneKeptAliveConnection) {
  for (const char* batch_size : {"1", "2", "100"}) {
    SCOPED_TRACE(batch_size);
    Scan scan(uri() + ";batch_size=" + batch_size);  // the probe runs on the same connection
    ASSERT_TRUE(scan.open()) << (g_posted.empty() ? "" : g_posted[0].message);
    EXPECT_EQ(scan.run(3), counting(3));
    EXPECT_EQ(scan.run(3), counting(3));
    EXPECT_EQ(scan.connection()->http.connections_opened, 1);
    EXPECT_FALSE(scan.connection()->batches_refused.load());
  }
}

TEST_F(AnvilBatch, ConnectFailsOnADeadEndpointAndSucceedsOnTheNode) {
  Scan good(uri());
  EXPECT_TRUE(good.open());
  Scan dead("uri=http://127.0.0.1:1");
  EXPECT_FALSE(dead.open());
  ASSERT_EQ(g_posted.size(), 1u);
  EXPECT_EQ(g_posted[0].sqlstate, "08001");
  EXPECT_NE(g_posted[0].message.find("127.0.0.1:1"), std::string::npos) << g_posted[0].message;
}

}  // namespace
