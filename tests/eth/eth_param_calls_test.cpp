// Parameters from lists, ranges, natural values and subqueries against a seeded local node
// (anvil), through a loopback relay that records every JSON-RPC call the driver makes: each
// short form returns what the same query written the long way (OR of `=`, UNION ALL) returns,
// makes one call per distinct value (none twice, none missing), and each limit fails with a
// message naming it.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <jansson.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/odbc/odbc_select.h"

namespace {

// Relays HTTP/1.1 requests from the driver to the node, one connection at a time, keeping the
// JSON-RPC calls of every request body ("method params", batches opened up).
class CallRelay {
 public:
  explicit CallRelay(int node_port) : node_port_(node_port) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 8) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      return;
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~CallRelay() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    close(listener_);
  }
  int port() const { return port_; }
  // The calls recorded since the last take, in order; clears them.
  std::vector<std::string> take() {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_ = 0;
    return std::move(calls_);
  }
  // HTTP requests relayed since the last take (a batch is one).
  int requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

 private:
  // Reads one HTTP message (headers and a Content-Length body) from `fd` into `out`.
  static bool read_message(int fd, std::string* out, std::string* body, bool* stop) {
    out->clear();
    size_t end = std::string::npos, need = 0;
    for (;;) {
      if (end == std::string::npos && (end = out->find("\r\n\r\n")) != std::string::npos) {
        std::string head = out->substr(0, end);
        for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        size_t at = head.find("content-length:");
        need = end + 4 +
               (at == std::string::npos ? 0 : std::strtoul(head.c_str() + at + 15, nullptr, 10));
      }
      if (end != std::string::npos && out->size() >= need) {
        *body = out->substr(end + 4, need - end - 4);
        return true;
      }
      pollfd p{fd, POLLIN, 0};
      int ready = poll(&p, 1, 100);
      if (*stop) return false;
      if (ready <= 0) continue;
      char buffer[65536];
      ssize_t got = recv(fd, buffer, sizeof buffer, 0);
      if (got <= 0) return false;
      out->append(buffer, static_cast<size_t>(got));
    }
  }

  void record(const std::string& body) {
    json_error_t error;
    json_t* request = json_loads(body.c_str(), 0, &error);
    std::lock_guard<std::mutex> lock(mutex_);
    ++requests_;
    auto keep = [&](json_t* call) {
      char* params = json_dumps(json_object_get(call, "params"), JSON_COMPACT | JSON_ENCODE_ANY);
      calls_.push_back(std::string(json_string_value(json_object_get(call, "method"))) + " " +
                       (params ? params : "null"));
      free(params);
    };
    if (json_is_array(request)) {
      for (size_t i = 0; i < json_array_size(request); ++i) keep(json_array_get(request, i));
    } else if (request) {
      keep(request);
    }
    json_decref(request);
  }

  void relay(int client) {
    int node = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(node_port_));
    bool stop = false;
    if (connect(node, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      std::string message, body;
      while (!stop_ && read_message(client, &message, &body, &stop)) {
        record(body);
        if (send(node, message.data(), message.size(), MSG_NOSIGNAL) < 0) break;
        if (!read_message(node, &message, &body, &stop)) break;
        if (send(client, message.data(), message.size(), MSG_NOSIGNAL) < 0) break;
      }
    }
    close(node);
    close(client);
  }

  void serve() {
    std::vector<std::thread> connections;
    while (!stop_) {
      pollfd p{listener_, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      int client = accept(listener_, nullptr, nullptr);
      if (client >= 0) connections.emplace_back([this, client] { relay(client); });
    }
    for (std::thread& connection : connections) connection.join();
  }

  int node_port_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::string> calls_;
  int requests_ = 0;
};

std::string run(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
    if (pclose(pipe) != 0) out.clear();
  }
  return out;
}

// The rows of a result as "a|b" lines, columns in `names` order.
std::vector<std::string> lines(const OdbcResult& result, const std::vector<std::string>& names) {
  std::vector<std::string> out;
  for (const auto& row : result.rows) {
    std::string line;
    for (const std::string& name : names) {
      auto found = row.find(name);
      line += (line.empty() ? "" : "|") + (found == row.end() ? "?" : found->second);
    }
    out.push_back(line);
  }
  return out;
}

class EthParamCalls : public ::testing::Test {
 protected:
  static std::string servers(const std::string& file) {
    return std::string(QUILL_TEST_DATA_DIR "/../servers/") + file;
  }
  static void SetUpTestSuite() {
    char directory[] = "/tmp/quill_params_XXXXXX";
    if (!mkdtemp(directory)) return;
    dir_ = directory;
    port_ =
        std::atoi(run("bash " + servers("anvil.sh") + " start " + dir_ + " 2>/dev/null").c_str());
    if (port_ <= 0 || access("/usr/bin/python3", X_OK) != 0) {
      port_ = 0;
      return;
    }
    seeded_ = !run("/usr/bin/python3 " + servers("seed_chain.py") + " " + std::to_string(port_) +
                   " 2>/dev/null")
                   .empty();
  }
  static void TearDownTestSuite() {
    if (dir_.empty()) return;
    (void)std::system(("bash " + servers("anvil.sh") + " stop " + dir_).c_str());
    (void)std::system(("rm -rf " + dir_).c_str());
  }
  void SetUp() override {
    if (port_ <= 0) GTEST_SKIP() << "anvil could not be started";
    ASSERT_TRUE(seeded_) << "the seed script failed on a fresh node";
    relay_ = std::make_unique<CallRelay>(port_);
    ASSERT_GT(relay_->port(), 0);
  }
  // A session through the relay with `extra` connection keys.
  std::unique_ptr<OdbcSession> session(const std::string& extra = "") {
    auto made = std::make_unique<OdbcSession>(
        "URI=http://127.0.0.1:" + std::to_string(relay_->port()) + ";" + extra);
    EXPECT_TRUE(made->open());
    relay_->take();  // whatever connecting sent
    return made;
  }
  // The calls of `method` made since the last look, params only, in order.
  std::vector<std::string> calls_of(const std::string& method) {
    std::vector<std::string> out;
    for (const std::string& call : relay_->take())
      if (call.rfind(method + " ", 0) == 0) out.push_back(call.substr(method.size() + 1));
    return out;
  }

  static inline std::string dir_;
  static inline int port_ = 0;
  static inline bool seeded_ = false;
  std::unique_ptr<CallRelay> relay_;
};

const std::vector<std::string> kTransactionColumns{"blockNumber", "transactionsHash"};

TEST_F(EthParamCalls, RangesAndListsEqualTheLongFormAndCallEachBlockOnce) {
  auto odbc = session();
  const std::string from =
      "SELECT blockNumber, transactionsHash FROM getBlockByNumber_transactions WHERE ";
  OdbcResult long_form =
      odbc->select(from + "blockNumber = '1' AND transactionDetailsFlag = 1 UNION ALL " + from +
                   "blockNumber = '2' AND transactionDetailsFlag = 1 UNION ALL " + from +
                   "blockNumber = '3' AND transactionDetailsFlag = 1 UNION ALL " + from +
                   "blockNumber = '4' AND transactionDetailsFlag = 1");
  ASSERT_TRUE(SQL_SUCCEEDED(long_form.rc)) << long_form.message;
  std::vector<std::string> expected = lines(long_form, kTransactionColumns);
  ASSERT_GE(expected.size(), 4u);  // the seed's blocks 1 to 4 hold five transactions
  calls_of("");

  struct Case {
    std::string where;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"blockNumber BETWEEN 1 AND 4", {"1", "2", "3", "4"}},
      {"blockNumber >= 1 AND blockNumber < 5", {"1", "2", "3", "4"}},
      {"blockNumber IN ('4', '2', '1', '3', '2', '0x2')", {"1", "2", "3", "4"}},
      {"(blockNumber = '3' OR blockNumber = '1' OR blockNumber = '4' OR blockNumber = '2')",
       {"1", "2", "3", "4"}},
      // OR branches keep their ranges to tell later branches what they returned: the echoed
      // '0x2' is compared with '0x02' as a number, not as text.
      {"(blockNumber BETWEEN '0x1' AND '0x02' OR blockNumber BETWEEN '0x03' AND '0x04')",
       {"1", "2", "3", "4"}},
      // Each branch calls its own range; blocks 2 and 3 come once, from the first.
      {"(blockNumber BETWEEN '0x1' AND '0x03' OR blockNumber BETWEEN '2' AND '4')",
       {"1", "2", "3", "2", "3", "4"}},
  };
  for (const Case& c : cases) {
    OdbcResult got = odbc->select(from + c.where + " AND transactionDetailsFlag = 1");
    ASSERT_TRUE(SQL_SUCCEEDED(got.rc)) << c.where << ": " << got.message;
    std::vector<std::string> blocks;
    for (const std::string& call : calls_of("eth_getBlockByNumber")) blocks.push_back(call);
    std::vector<std::string> want;
    for (const std::string& block : c.calls)
      want.push_back("[\"0x" + block + "\",true]");  // decimal sent as hex, each once, in order
    EXPECT_EQ(want, blocks) << c.where;
    // Rows equal the long form's, block by block (the echoed parameter as the call's value).
    std::vector<std::string> hashes, expected_hashes;
    for (const std::string& line : lines(got, kTransactionColumns))
      hashes.push_back(line.substr(line.find('|')));
    for (const std::string& line : expected) expected_hashes.push_back(line.substr(line.find('|')));
    EXPECT_EQ(expected_hashes, hashes) << c.where;
  }
}

TEST_F(EthParamCalls, TagsResolveOncePerStatementAndHashListsReadTheirStrings) {
  auto odbc = session();
  OdbcResult details = odbc->select(
      "SELECT transactionsHash FROM getBlockByNumber_transactions WHERE blockNumber BETWEEN 3 "
      "AND 'latest' AND transactionDetailsFlag = 1");
  ASSERT_TRUE(SQL_SUCCEEDED(details.rc)) << details.message;
  EXPECT_EQ(1u, calls_of("eth_blockNumber").size());
  OdbcResult hashes = odbc->select(
      "SELECT transactionsHash FROM getBlockByNumber_transactions WHERE blockNumber BETWEEN 3 "
      "AND 'latest' AND transactionDetailsFlag = 0");
  ASSERT_TRUE(SQL_SUCCEEDED(hashes.rc)) << hashes.message;
  EXPECT_EQ(lines(details, {"transactionsHash"}), lines(hashes, {"transactionsHash"}));
  EXPECT_FALSE(details.rows.empty());
  for (const auto& row : hashes.rows) EXPECT_EQ(66u, row.at("transactionsHash").size());
}

TEST_F(EthParamCalls, NaturalValuesGoAsHexQuantities) {
  auto odbc = session();
  const std::string account = "'0xf39fd6e51aad88f6f4ce6ab8827279cfffb92266'";
  OdbcResult hex = odbc->select("SELECT result FROM getBalance WHERE address = " + account +
                                " AND blockParameter = '0x1'");
  ASSERT_TRUE(SQL_SUCCEEDED(hex.rc)) << hex.message;
  ASSERT_EQ(1u, hex.rows.size());
  for (const char* value : {"'1'", "1"}) {
    OdbcResult got =
        odbc->select("SELECT blockParameter, result FROM getBalance WHERE address = " + account +
                     " AND blockParameter = " + value);
    ASSERT_TRUE(SQL_SUCCEEDED(got.rc)) << value << ": " << got.message;
    ASSERT_EQ(1u, got.rows.size()) << value;
    EXPECT_EQ(hex.rows[0].at("result"), got.rows[0].at("result")) << value;
    EXPECT_EQ("1", got.rows[0].at("blockParameter")) << value;  // read back as written
  }
}

TEST_F(EthParamCalls, SubqueriesSupplyParametersAndEachHashIsAskedOnce) {
  auto odbc = session();
  const std::string hashes =
      "SELECT transactionsHash FROM getBlockByNumber_transactions WHERE blockNumber BETWEEN 1 "
      "AND 4 AND transactionDetailsFlag = 1";
  OdbcResult joined = odbc->select(
      "SELECT r.transactionHash, r.status FROM getBlockByNumber_transactions t, "
      "getTransactionReceipt r WHERE r.transactionHash = t.transactionsHash AND t.blockNumber "
      "BETWEEN 1 AND 4 AND t.transactionDetailsFlag = 1 ORDER BY 1");
  ASSERT_TRUE(SQL_SUCCEEDED(joined.rc)) << joined.message;
  calls_of("");
  OdbcResult listed = odbc->select(
      "SELECT transactionHash, status FROM getTransactionReceipt WHERE transactionHash IN (" +
      hashes + ") ORDER BY 1");
  ASSERT_TRUE(SQL_SUCCEEDED(listed.rc)) << listed.message;
  EXPECT_EQ(lines(joined, {"transactionHash", "status"}),
            lines(listed, {"transactionHash", "status"}));
  std::vector<std::string> receipts = calls_of("eth_getTransactionReceipt");
  EXPECT_EQ(joined.rows.size(), receipts.size());
  std::sort(receipts.begin(), receipts.end());
  EXPECT_EQ(receipts.end(), std::adjacent_find(receipts.begin(), receipts.end()));

  OdbcResult latest = odbc->select(
      "SELECT number FROM getBlockByNumber WHERE blockNumber = (SELECT result FROM blockNumber) "
      "AND transactionDetailsFlag = 0");
  ASSERT_TRUE(SQL_SUCCEEDED(latest.rc)) << latest.message;
  ASSERT_EQ(1u, latest.rows.size());

  // The preserved side of an outer join takes its parameters from WHERE.
  OdbcResult outer = odbc->select(
      "SELECT b.number, t.transactionsHash FROM getBlockByNumber b LEFT JOIN "
      "getBlockByNumber_transactions t ON t.blockNumber = b.blockNumber AND "
      "t.transactionDetailsFlag = 1 WHERE b.blockNumber BETWEEN '0x0' AND '0x4' AND "
      "b.transactionDetailsFlag = 0");
  ASSERT_TRUE(SQL_SUCCEEDED(outer.rc)) << outer.message;
  EXPECT_EQ(joined.rows.size() + 1, outer.rows.size());  // block 0 has none: one NULL row
  EXPECT_EQ("0x0|NULL", lines(outer, {"number", "transactionsHash"}).at(0));
}

TEST_F(EthParamCalls, LimitsAndMissingParametersSayWhatToDo) {
  auto odbc = session("max_calls=3");
  struct Case {
    std::string where;
    std::string message;
  };
  const Case cases[] = {
      {"blockNumber BETWEEN 0 AND 4", "more calls than max_calls (3) allows"},
      {"blockNumber IN ('0x1', '0x2', '0x3', '0x4')", "more than max_calls (3) allows"},
      {"blockNumber > 2", "blockNumber must be given with =, IN or a range; got >"},
      {"blockNumber BETWEEN 1 AND 'nonsense'", "is no block number"},
      {"blockNumber BETWEEN '0x4000000000000001' AND '0x4000000000000002'",
       "beyond any block number"},
      {"(blockNumber BETWEEN 1 AND 'latest' OR blockNumber = '0x1')",
       "ends at the block tag 'latest', which cannot be compared across the OR branches"},
      {"(blockNumber BETWEEN '0x1' AND '0x2' OR blockNumber = 'latest')",
       "meets its value 'latest' in another condition, which cannot be compared"},
  };
  for (const Case& c : cases) {
    OdbcResult got = odbc->select("SELECT number FROM getBlockByNumber WHERE " + c.where +
                                  " AND transactionDetailsFlag = 0");
    EXPECT_FALSE(SQL_SUCCEEDED(got.rc)) << c.where;
    EXPECT_NE(std::string::npos, got.message.find(c.message)) << c.where << ": " << got.message;
  }
  EXPECT_TRUE(calls_of("eth_getBlockByNumber").empty());  // refused before any call
  OdbcResult within = odbc->select(
      "SELECT number FROM getBlockByNumber WHERE blockNumber BETWEEN 2 AND 4 AND "
      "transactionDetailsFlag = 0");
  EXPECT_TRUE(SQL_SUCCEEDED(within.rc)) << within.message;
  EXPECT_EQ(3u, within.rows.size());
  // The node's own error comes first, then the table and parameters of the call that failed.
  OdbcResult refused = odbc->select(
      "SELECT number FROM getBlockByNumber WHERE blockNumber = 'nonsense' AND "
      "transactionDetailsFlag = 0");
  EXPECT_FALSE(SQL_SUCCEEDED(refused.rc));
  EXPECT_NE(std::string::npos, refused.message.find("(getBlockByNumber, blockNumber 'nonsense', "
                                                    "transactionDetailsFlag '0')"))
      << refused.message;
}

// A join's lookups for many outer rows go out together (one batch, not one request per row),
// returning the rows in the order one-at-a-time lookups give, and a lookup that fails reports
// what it reports alone.
TEST_F(EthParamCalls, JoinLookupsGoTogetherAndKeepTheirOrder) {
  const std::string join =
      "SELECT t.blockNumber, r.transactionHash, r.status FROM getBlockByNumber_transactions t, "
      "getTransactionReceipt r WHERE r.transactionHash = %s AND t.blockNumber BETWEEN 1 AND 4 "
      "AND t.transactionDetailsFlag = 1";
  auto with = [&](const std::string& value) {
    std::string text = join;
    return text.replace(text.find("%s"), 2, value);
  };
  const std::vector<std::string> columns{"blockNumber", "transactionHash", "status"};
  auto alone = session("batch_size=1;max_connections=1");
  OdbcResult plain = alone->select(with("t.transactionsHash"));
  ASSERT_TRUE(SQL_SUCCEEDED(plain.rc)) << plain.message;
  ASSERT_GE(plain.rows.size(), 4u);
  EXPECT_EQ(4 + static_cast<int>(plain.rows.size()), relay_->requests());
  OdbcResult plain_failed = alone->select(with("SUBSTRING(t.transactionsHash, 1, 65)"));
  // An outer join runs its other side again for every preserved row: after the first, a
  // block of them is got ready at once.
  const std::string outer =
      "SELECT b.number, t.transactionsHash FROM getBlockByNumber b LEFT JOIN "
      "getBlockByNumber_transactions t ON t.blockNumber = b.blockNumber AND "
      "t.transactionDetailsFlag = 1 WHERE b.blockNumber BETWEEN '0x0' AND '0x4' AND "
      "b.transactionDetailsFlag = 0";
  relay_->take();
  OdbcResult outer_plain = alone->select(outer);
  ASSERT_TRUE(SQL_SUCCEEDED(outer_plain.rc)) << outer_plain.message;
  EXPECT_EQ(10, relay_->requests());
  // So is a correlated subquery that supplies the parameter, after its first run.
  const std::string correlated =
      "SELECT t.transactionsHash, (SELECT status FROM getTransactionReceipt r WHERE "
      "r.transactionHash = t.transactionsHash) AS status FROM getBlockByNumber_transactions t "
      "WHERE t.blockNumber BETWEEN 1 AND 4 AND t.transactionDetailsFlag = 1";
  relay_->take();
  OdbcResult correlated_plain = alone->select(correlated);
  ASSERT_TRUE(SQL_SUCCEEDED(correlated_plain.rc)) << correlated_plain.message;
  EXPECT_EQ(4 + static_cast<int>(plain.rows.size()), relay_->requests());
  alone.reset();

  auto odbc = session();
  OdbcResult together = odbc->select(with("t.transactionsHash"));
  ASSERT_TRUE(SQL_SUCCEEDED(together.rc)) << together.message;
  EXPECT_EQ(lines(plain, columns), lines(together, columns));
  EXPECT_EQ(2, relay_->requests());  // the blocks' batch, then the receipts' batch
  std::vector<std::string> receipts = calls_of("eth_getTransactionReceipt");
  EXPECT_EQ(together.rows.size(), receipts.size());
  relay_->take();

  OdbcResult outer_together = odbc->select(outer);
  ASSERT_TRUE(SQL_SUCCEEDED(outer_together.rc)) << outer_together.message;
  EXPECT_EQ(lines(outer_plain, {"number", "transactionsHash"}),
            lines(outer_together, {"number", "transactionsHash"}));
  EXPECT_EQ(3, relay_->requests());  // the blocks, block 0's transactions, the other four's
  relay_->take();
  OdbcResult correlated_together = odbc->select(correlated);
  ASSERT_TRUE(SQL_SUCCEEDED(correlated_together.rc)) << correlated_together.message;
  EXPECT_EQ(lines(correlated_plain, {"transactionsHash", "status"}),
            lines(correlated_together, {"transactionsHash", "status"}));
  EXPECT_EQ(3, relay_->requests());  // the blocks, the first receipt, the others'

  OdbcResult failed = odbc->select(with("SUBSTRING(t.transactionsHash, 1, 65)"));
  EXPECT_FALSE(SQL_SUCCEEDED(plain_failed.rc));
  EXPECT_FALSE(SQL_SUCCEEDED(failed.rc));
  EXPECT_EQ(plain_failed.message, failed.message);
}

}  // namespace
