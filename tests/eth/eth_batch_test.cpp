// The calls of one scan on the wire: JSON-RPC batches split at batch_size and matched by id in
// any order, a call of a batch failing alone, a batch refused (and remembered), ids missing or
// repeated; the kept-alive connection that carries them, reused, retried once after the server
// closed it, dropped after a broken response; SQLCancel's flag during a batch; requests in flight
// together on several lanes (rows in call order, the earliest failure reported, cancel, time-out
// and a 429 holding every lane); and the same against a real node (anvil), counting the
// connections the transport opened.
#include <gtest/gtest.h>
#include <jansson.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "driver/eth/eth_batch.h"
#include "driver/eth/eth_lanes.h"
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
  // Runs one call per block number; the block numbers of the rows, or -1 after an error. In
  // prefetch mode `failed` gets each call's mark.
  std::vector<int> run(int calls, EthRunMode mode = EthRunMode::report,
                       std::vector<bool>* failed = nullptr) {
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
    if (eth_run_calls(stmt_, &query, mode) != SQI_OK) {
      numbers.push_back(-1);
    } else {
      size_t index;
      json_t* row;
      json_array_foreach(query.rows, index, row) numbers.push_back(static_cast<int>(
          std::strtol(json_string_value(json_object_get(row, "number")) + 2, nullptr, 16)));
      EXPECT_EQ(query.calls.back().row_end, json_array_size(query.rows));
      if (failed) failed->clear();
      for (const EthCall& call : query.calls)
        if (failed) failed->push_back(call.failed);
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
    // One lane: the scripted server answers its connections one after another.
    Scan scan("uri=" + server.uri() +
              ";connect_probe=no;max_connections=1;batch_size=" + std::to_string(c.batch_size));
    ASSERT_TRUE(scan.open());
    EXPECT_EQ(scan.run(c.calls), counting(c.calls));
    EXPECT_TRUE(g_posted.empty()) << g_posted[0].message;
    EXPECT_EQ(scan.connection()->batches_refused.load(), c.refused);
    EXPECT_EQ(shapes(server.bodies()), c.shapes);
  }
}

// A batch's text is its calls' own texts joined, whatever the method and the params hold.
TEST(EthBatch, BatchTextIsTheCallTextsJoined) {
  json_t* first = json_pack("[s,b]", "0x1", 0);
  json_t* third = json_pack("[{s:s},s]", "to", "caf\xc3\xa9 \"q\"/\n", "latest");
  for (const std::string method : {"eth_getBlockByNumber", "odd \"name\"/\xc3\xa9"}) {
    const std::string expected = "[" + eth_call_body(method, first, 1) + "," +
                                 eth_call_body(method, nullptr, 2) + "," +
                                 eth_call_body(method, third, 3) + "]";
    EXPECT_EQ(expected, eth_batch_body(method, {first, nullptr, third}));
  }
  EXPECT_EQ("[]", eth_batch_body("eth_chainId", {}));
  json_decref(first);
  json_decref(third);
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
  Scan scan("uri=" + server.uri() + ";connect_probe=no;batch_size=1;max_connections=1");
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
    Scan scan("uri=" + server.uri() + ";connect_probe=no;batch_size=1;max_connections=1");
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
  Scan scan("uri=" + server.uri() +
            ";connect_probe=no;batch_size=1;max_connections=1;max_requests_per_second=20");
  ASSERT_TRUE(scan.open());
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(scan.run(5).size(), 5u);
  // Five requests 50 ms apart: the last starts 200 ms after the first, never sooner.
  EXPECT_GE(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 0.19);
  EXPECT_EQ(server.connections(), 1);
}

// One call a request body asks for: its id and block number.
struct Asked {
  int id = 0;
  int number = 0;
};
std::vector<Asked> asked(const std::string& body) {
  std::vector<Asked> out;
  json_t* request = json_loads(body.c_str(), 0, nullptr);
  auto take = [&out](json_t* call) {
    const char* number = json_string_value(json_array_get(json_object_get(call, "params"), 0));
    out.push_back({static_cast<int>(json_integer_value(json_object_get(call, "id"))),
                   number ? static_cast<int>(std::strtol(number + 2, nullptr, 16)) : 0});
  };
  if (json_is_array(request)) {
    size_t index;
    json_t* call;
    json_array_foreach(request, index, call) take(call);
  } else if (request) {
    take(request);
  }
  json_decref(request);
  return out;
}
// What a node answers to `body`: each call its block, or the node error `error_for` gives its
// block number ("" for none).
std::string node_answer(const std::string& body,
                        const std::function<std::string(int)>& error_for = nullptr) {
  std::vector<std::string> members;
  for (const Asked& call : asked(body)) {
    std::string error = error_for ? error_for(call.number) : "";
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%x", call.number);
    std::string id = std::to_string(call.id);
    members.push_back(error.empty()
                          ? R"({"jsonrpc":"2.0","id":)" + id + R"(,"result":{"number":")" + hex +
                                R"("}})"
                          : R"({"jsonrpc":"2.0","id":)" + id +
                                R"(,"error":{"code":-32000,"message":")" + error + R"("}})");
  }
  if (!body.empty() && body[0] == '[') return batch(members);
  return http_reply("200 OK", members.empty() ? "{}" : members[0]);
}
// The block number of the first call `body` asks for.
int first_number(const std::string& body) {
  std::vector<Asked> calls = asked(body);
  return calls.empty() ? 0 : calls[0].number;
}

TEST(EthInFlight, RowsKeepCallOrderWhenLaterCallsAnswerFirst) {
  const struct {
    const char* name;
    int max_connections;
    int batch_size;
    int calls;
  } cases[] = {
      {"single calls", 4, 1, 12},
      {"batches", 4, 2, 12},
      {"batches of uneven size", 4, 5, 13},
      {"more lanes than units", 16, 4, 10},
      {"one lane", 1, 1, 6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // The first calls are answered last, and the others wait for call 1 to arrive, so that the
    // requests are seen in flight together whatever the scheduling.
    std::mutex lock;
    std::condition_variable arrived;
    bool first_arrived = false;
    RoutedServer server([&](const std::string& body) {
      const int number = first_number(body);
      std::unique_lock<std::mutex> guard(lock);
      if (number == 1) {
        first_arrived = true;
        arrived.notify_all();
      } else {
        arrived.wait_for(guard, std::chrono::seconds(5), [&] { return first_arrived; });
      }
      return plain_reply(node_answer(body), number <= 3 ? 200 : 0);
    });
    Scan scan("uri=" + server.uri() + ";connect_probe=no;max_connections=" +
              std::to_string(c.max_connections) + ";batch_size=" + std::to_string(c.batch_size));
    ASSERT_TRUE(scan.open());
    EXPECT_EQ(scan.run(c.calls), counting(c.calls));
    EXPECT_TRUE(g_posted.empty()) << g_posted[0].message;
    const int units = (c.calls + c.batch_size - 1) / c.batch_size;
    const int lanes = std::min(c.max_connections, units);
    EXPECT_LE(server.most_in_flight(), lanes);
    EXPECT_GE(server.most_in_flight(), std::min(lanes, 2));  // the calls did overlap
    // The next scans go on the same kept-alive connections: one per lane at most, all told.
    EXPECT_EQ(scan.run(c.calls), counting(c.calls));
    EXPECT_EQ(scan.run(c.calls), counting(c.calls));
    EXPECT_LE(eth_connections_opened(scan.connection()), lanes);
    EXPECT_EQ(server.connections(), eth_connections_opened(scan.connection()));
  }
}

TEST(EthInFlight, TheEarliestFailingCallIsReported) {
  for (int batch_size : {1, 2}) {
    SCOPED_TRACE(batch_size);
    // Call 2 fails late and call 6 at once: one call after another, call 2's would come first.
    RoutedServer server([](const std::string& body) {
      auto error_for = [](int number) {
        return number == 2 || number == 6 ? "header " + std::to_string(number) + " not found"
                                          : std::string();
      };
      return plain_reply(node_answer(body, error_for), first_number(body) <= 2 ? 300 : 0);
    });
    Scan scan("uri=" + server.uri() +
              ";connect_probe=no;max_connections=4;batch_size=" + std::to_string(batch_size));
    ASSERT_TRUE(scan.open());
    EXPECT_EQ(scan.run(8), std::vector<int>{-1});
    ASSERT_EQ(g_posted.size(), 1u);
    EXPECT_EQ(g_posted[0].message.rfind("header 2 not found (getBlockByNumber, blockNumber '0x2', "
                                        "transactionDetailsFlag '0'; call 2 of 8",
                                        0),
              0u)
        << g_posted[0].message;
    EXPECT_EQ(g_posted[0].native, -32000);
  }
}

TEST(EthInFlight, PrefetchMarksFailedCallsAndPostsNothing) {
  RoutedServer server([](const std::string& body) {
    auto error_for = [](int number) {
      return number == 3 || number == 6 ? std::string("header not found") : std::string();
    };
    return plain_reply(node_answer(body, error_for));
  });
  Scan scan("uri=" + server.uri() + ";connect_probe=no;max_connections=4;batch_size=2");
  ASSERT_TRUE(scan.open());
  std::vector<bool> failed;
  EXPECT_EQ(scan.run(8, EthRunMode::prefetch, &failed), (std::vector<int>{1, 2, 4, 5, 7, 8}));
  EXPECT_EQ(failed, (std::vector<bool>{false, false, true, false, false, true, false, false}));
  EXPECT_TRUE(g_posted.empty());
  // A run the cancel ends leaves every call it did not answer failed, and posts nothing either.
  int flag = 1;
  scan.stmt()->wait.cancel_flag = &flag;
  EXPECT_EQ(scan.run(4, EthRunMode::prefetch, &failed), std::vector<int>{});
  EXPECT_EQ(failed, std::vector<bool>(4, true));
  EXPECT_TRUE(g_posted.empty());
}

TEST(EthInFlight, CancelAndTimeOutEndCallsInFlight) {
  std::atomic<bool> hold{true};
  RoutedServer server([&hold](const std::string& body) {
    return hold ? silent_reply() : plain_reply(node_answer(body));
  });
  Scan scan("uri=" + server.uri() + ";connect_probe=no;max_connections=4;batch_size=2");
  ASSERT_TRUE(scan.open());
  for (bool cancel : {true, false}) {
    SCOPED_TRACE(cancel ? "cancel" : "time-out");
    hold = true;
    g_posted.clear();
    int flag = 0;
    std::thread canceller;
    if (cancel) {
      scan.stmt()->wait.cancel_flag = &flag;
      canceller = std::thread([&flag] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        __atomic_store_n(&flag, 1, __ATOMIC_SEQ_CST);
      });
    } else {
      scan.stmt()->wait.deadline_ns = sqi_steady_now_ns() + 300 * 1000 * 1000;
    }
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(scan.run(8), std::vector<int>{-1});
    if (canceller.joinable()) canceller.join();
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
              0.3 + 3);
    ASSERT_EQ(g_posted.size(), 1u);
    EXPECT_EQ(g_posted[0].sqlstate, cancel ? "HY008" : "HYT00");
    EXPECT_GE(server.most_in_flight(), 2);
    // The connection serves the next statement.
    hold = false;
    g_posted.clear();
    scan.stmt()->wait = SqiWait{};
    EXPECT_EQ(scan.run(8), counting(8));
    EXPECT_TRUE(g_posted.empty());
  }
}

TEST(EthInFlight, A429HoldsEveryLane) {
  using Clock = std::chrono::steady_clock;
  std::mutex lock;
  std::condition_variable arrived;
  int requests = 0;
  bool limited = false;
  Clock::time_point limited_at;
  std::vector<Clock::time_point> later;  // arrival of each request after the first four
  RoutedServer server([&](const std::string& body) {
    std::unique_lock<std::mutex> guard(lock);
    const int order = ++requests;
    arrived.notify_all();
    if (first_number(body) == 1 && !limited) {
      // The 429 goes out once every lane has a request in flight.
      arrived.wait_for(guard, std::chrono::seconds(5), [&] { return requests >= 4; });
      limited = true;
      limited_at = Clock::now();
      return plain_reply(
          "HTTP/1.1 429 Too Many Requests\r\nRetry-After: 1\r\nContent-Length: 0\r\n\r\n");
    }
    if (order <= 4) return plain_reply(node_answer(body), 500);  // in flight when the 429 comes
    later.push_back(Clock::now());
    return plain_reply(node_answer(body));
  });
  Scan scan("uri=" + server.uri() + ";connect_probe=no;max_connections=4;batch_size=1");
  ASSERT_TRUE(scan.open());
  EXPECT_EQ(scan.run(8), counting(8));
  EXPECT_TRUE(g_posted.empty()) << g_posted[0].message;
  std::lock_guard<std::mutex> guard(lock);
  ASSERT_TRUE(limited);
  EXPECT_EQ(later.size(), 5u);  // the retry of call 1 and calls 5 to 8
  for (Clock::time_point at : later)
    EXPECT_GE(std::chrono::duration<double>(at - limited_at).count(), 0.9);
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
    // Blocks to read: as many as the longest scan asks for.
    for (int i = 0; port_ > 0 && i < 20; ++i) {
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

TEST_F(AnvilBatch, CallsShareKeptAliveConnections) {
  const struct {
    const char* options;
    int calls;
    int most_opened;  // one per lane the calls need at most
  } cases[] = {
      {";batch_size=1;max_connections=1", 3, 1},
      {";batch_size=2;max_connections=1", 3, 1},
      {";batch_size=100", 3, 1},
      {";batch_size=1", 3, 3},
      {";batch_size=1;max_connections=4", 20, 4},
      {";batch_size=3;max_connections=16", 20, 7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    Scan scan(uri() + c.options);  // the probe runs on lane 0's connection
    ASSERT_TRUE(scan.open()) << (g_posted.empty() ? "" : g_posted[0].message);
    EXPECT_EQ(scan.run(c.calls), counting(c.calls));
    EXPECT_EQ(scan.run(c.calls), counting(c.calls));
    EXPECT_EQ(scan.run(c.calls), counting(c.calls));
    EXPECT_LE(eth_connections_opened(scan.connection()), c.most_opened);
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
