// A sweep of every table of the Ethereum catalog against a seeded local node
// (anvil): each table is scanned through the data-access layer with its
// parameters taken from the seeded chain, and its rows are checked, column by
// column as text, against the node's own reply to the same call. Methods the
// node does not implement must come back as an error carrying its message.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <jansson.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "driver/dal/dal.h"
#include "driver/odbc/connect/backend_list.h"
#include "tests/odbc/dal_scan.h"
#include "tests/odbc/node_client.h"
#include "tests/odbc/odbc_select.h"
#include "driver/eth/eth_catalog.h"
#include "driver/eth/eth_query.h"
#include "driver/sql/exec.h"
#include "driver/sql/parser.h"
#include "driver/dal/sqi/restriction.h"
#include "driver/sql/validate.h"

namespace {

constexpr int kPollMillis = 5000;  // every wait on the node is bounded

struct JsonDeleter {
  void operator()(json_t* value) const { json_decref(value); }
};
using JsonPtr = std::unique_ptr<json_t, JsonDeleter>;

using Params = ScanParams;                       // column, `=` value text
using Row = std::map<std::string, std::string>;  // column -> text or "NULL"

// One scan's outcome: result code, rows as text, first diagnostic.
struct ScanResult {
  int rc = -1;
  std::vector<Row> rows;
  std::string message;
  int native = 0;
};

// An open data-access context on one endpoint with one iterator reused by every scan.
class Session {
 public:
  explicit Session(const std::string& uri) {
    pool_ = quill_mem_alloc_handle(nullptr);
    errors_ = CreateErrorHeader(pool_, nullptr);
    dal_ = dal_create(nullptr, errors_);
    ConnAttrSet attributes;
    init_con_str(&attributes, pool_);
    std::string text = "URI=" + uri;
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
  Dal* dal() const { return dal_; }
  ErrorHeader* errors() const { return errors_; }

  // Scans `table` with `=` restrictions and reads every column of every row as text.
  ScanResult scan(const char* table, const Params& params) {
    ScanResult out;
    out.rc = start(table, params);
    while (out.rc == SQI_OK && DALFetch(it_) == SQI_OK) {
      Row row;
      for (const DalColumn& column : columns_) {
        std::vector<char> buffer(1 << 16);
        SQLLEN indicator = 0;
        EXPECT_EQ(SQI_OK, DALGetData(it_, column.number, SQL_C_CHAR, buffer.data(),
                                     static_cast<SQLLEN>(buffer.size()), &indicator))
            << table << "." << column.name;
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
    }
    return out;
  }

 private:
  int start(const char* table, const Params& params) {
    return start_table_scan(errors_, dal_, it_, pool_, table, params, RESTRICT_EQUAL, &descriptor_,
                            &columns_);
  }

  MemPool* pool_ = nullptr;
  ErrorHeader* errors_ = nullptr;
  Dal* dal_ = nullptr;
  DalIterator* it_ = nullptr;
  DalTable descriptor_{};
  std::vector<DalColumn> columns_;
  bool open_ = false;
};

// The node's whole reply to a call, by a plain HTTP POST; null when it does not answer.
JsonPtr node_call(int port, const std::string& method, const std::string& params) {
  return JsonPtr(node_json_call(port, method, params, kPollMillis));
}

// The node's `result` when it is a string; "" otherwise.
std::string node_string(int port, const std::string& method, const std::string& params) {
  JsonPtr reply = node_call(port, method, params);
  const char* text = json_string_value(json_object_get(reply.get(), "result"));
  return text ? text : "";
}

// How a JSON value reads as text through SQL_C_CHAR; "NULL" for null, absent or [].
std::string as_text(json_t* value) {
  char buffer[64];
  switch (value ? json_typeof(value) : JSON_NULL) {
    case JSON_STRING:
      return std::string(json_string_value(value), json_string_length(value));
    case JSON_INTEGER:
      return std::to_string(static_cast<long long>(json_integer_value(value)));
    case JSON_REAL:
      std::snprintf(buffer, sizeof buffer, "%f", json_real_value(value));
      return buffer;
    case JSON_TRUE:
      return "True";
    case JSON_FALSE:
      return "False";
    case JSON_ARRAY:
    case JSON_OBJECT: {
      if (json_is_array(value) && json_array_size(value) == 0) return "NULL";
      char* text = json_dumps(value, JSON_PRESERVE_ORDER | JSON_ENCODE_ANY);
      std::string out = text ? text : "NULL";
      free(text);
      return out;
    }
    default:
      return "NULL";
  }
}

// The rows a table should show for the node's `result`, from the catalog's own description
// of where each column is read: the parameters as given, members of each result row, and
// for a child table one row per element of its array.
std::vector<Row> expected_rows(const EthCatalogTable& table, json_t* result, const Params& params) {
  std::vector<json_t*> results;
  JsonPtr scalar_row;
  if (table.flags & ETH_TABLE_SCALAR_RESULT) {
    scalar_row.reset(json_object());
    if (result) json_object_set(scalar_row.get(), "result", result);
    results.push_back(scalar_row.get());
  } else if (json_is_array(result)) {
    for (size_t i = 0; i < json_array_size(result); ++i)
      results.push_back(json_array_get(result, i));
  } else if (result && !json_is_null(result) &&
             !(json_is_object(result) && json_object_size(result) == 0)) {
    results.push_back(result);
  }
  std::vector<Row> rows;
  for (json_t* object : results) {
    json_t* array = table.expansion_path ? json_object_get(object, table.expansion_path) : nullptr;
    size_t elements = (table.flags & ETH_TABLE_CHILD) ? json_array_size(array) : 1;
    for (size_t e = 0; e < elements; ++e) {
      Row row;
      for (const EthCatalogColumn& column : eth_catalog_columns(table)) {
        std::string text = "NULL";
        if (column.flags & ETH_COLUMN_PARAM) {
          for (const auto& [name, value] : params)
            if (name == column.name) text = value;
        } else if (column.flags & ETH_COLUMN_ELEMENT) {
          json_t* element = json_array_get(array, e);
          if (!(column.flags & ETH_COLUMN_NESTED))
            text = as_text(element);
          else if (json_is_string(element))  // a list of hashes: the hash column reads each
            text = std::string("hash") == (column.element_field ? column.element_field : "")
                       ? as_text(element)
                       : "NULL";
          else if (column.element_field)
            text = as_text(json_object_get(element, column.element_field));
        } else if (json_is_string(object)) {  // a result that is a list of hashes
          text = std::string("result") == column.member ? as_text(object) : "NULL";
        } else {
          text = as_text(json_object_get(object, column.member));
        }
        row[column.name] = text;
      }
      rows.push_back(row);
    }
  }
  return rows;
}

// What a sweep row expects of its table.
enum class Outcome {
  kSameRows,    // the rows equal the node's reply to `node_params`, column for column
  kNodeError,   // the node does not serve the call: an error with the node's own message
  kNewFilterId  // a fresh filter id each call: one row holding a "0x..." id
};

// One catalog table with the parameters the sweep gives it.
struct SweepCase {
  const char* table;
  Params params;            // `=` restrictions on the parameter columns
  std::string node_params;  // params of the node's own call (a twin filter for changes)
  Outcome outcome;
  size_t rows;  // rows expected of a kSameRows scan, so an empty match cannot pass
};

// The seeded chain, as printed by the seed script.
struct Chain {
  std::vector<std::string> accounts;
  std::map<std::string, std::string> block_numbers, block_hashes, transactions;
  std::string contract, created_topic, stored_topic;
};

std::string get_string(json_t* object, const char* path1, const char* path2 = nullptr) {
  json_t* value = json_object_get(object, path1);
  if (path2) value = json_object_get(value, path2);
  const char* text = json_string_value(value);
  return text ? text : "";
}

bool parse_chain(const std::string& text, Chain* chain) {
  json_error_t error;
  JsonPtr summary(json_loads(text.c_str(), 0, &error));
  if (!summary) return false;
  json_t* accounts = json_object_get(summary.get(), "accounts");
  for (size_t i = 0; i < json_array_size(accounts); ++i)
    chain->accounts.push_back(json_string_value(json_array_get(accounts, i)));
  const char* name;
  json_t* value;
  json_object_foreach(json_object_get(summary.get(), "blocks"), name, value) {
    chain->block_numbers[name] = get_string(value, "number");
    chain->block_hashes[name] = get_string(value, "hash");
  }
  json_object_foreach(json_object_get(summary.get(), "transactions"), name, value) {
    chain->transactions[name] = json_string_value(value);
  }
  chain->contract = get_string(summary.get(), "contract");
  chain->created_topic = get_string(summary.get(), "topics", "created");
  chain->stored_topic = get_string(summary.get(), "topics", "stored");
  return chain->accounts.size() >= 4 && !chain->contract.empty() &&
         chain->transactions.count("call") && chain->block_numbers.count("call");
}

class EthSweep : public ::testing::Test {
 protected:
  static std::string servers(const std::string& file) {
    return std::string(QUILL_TEST_DATA_DIR "/../servers/") + file;
  }
  static std::string run(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
      char buffer[4096];
      size_t got;
      while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
      if (pclose(pipe) != 0) out.clear();
    }
    return out;
  }
  static void SetUpTestSuite() {
    char directory[] = "/tmp/quill_sweep_XXXXXX";
    if (!mkdtemp(directory)) return;
    dir_ = directory;
    port_ =
        std::atoi(run("bash " + servers("anvil.sh") + " start " + dir_ + " 2>/dev/null").c_str());
    if (port_ <= 0 || access("/usr/bin/python3", X_OK) != 0) {
      port_ = 0;
      return;
    }
    std::string summary = run("/usr/bin/python3 " + servers("seed_chain.py") + " " +
                              std::to_string(port_) + " 2>/dev/null");
    seeded_ = parse_chain(summary, &chain_);
  }
  static void TearDownTestSuite() {
    if (dir_.empty()) return;
    (void)std::system(("bash " + servers("anvil.sh") + " stop " + dir_).c_str());
    (void)std::system(("rm -rf " + dir_).c_str());
  }
  void SetUp() override {
    if (port_ <= 0) GTEST_SKIP() << "anvil could not be started";
    ASSERT_TRUE(seeded_) << "the seed script failed on a fresh node";
    session_ = std::make_unique<Session>("http://127.0.0.1:" + std::to_string(port_));
    ASSERT_TRUE(session_->open());
    odbc_ = std::make_unique<OdbcSession>("URI=http://127.0.0.1:" + std::to_string(port_));
    ASSERT_TRUE(odbc_->open());
    typed_ = std::make_unique<OdbcSession>("URI=http://127.0.0.1:" + std::to_string(port_) +
                                           ";typed_values=yes");
    ASSERT_TRUE(typed_->open());
  }

  static inline std::string dir_;
  static inline int port_ = 0;
  static inline bool seeded_ = false;
  static inline Chain chain_;
  std::unique_ptr<Session> session_;
  std::unique_ptr<OdbcSession> odbc_;
  std::unique_ptr<OdbcSession> typed_;  // the same node with typed_values=yes
};

// The typed text of a node's hex quantity: decimal digits (128 bits hold every value a
// NUMERIC(38,0) can), or for times "YYYY-MM-DD HH:MM:SS" in UTC.
std::string decoded(EthValueKind kind, const std::string& hex) {
  if (hex == "NULL") return hex;
  unsigned __int128 value = 0;
  for (size_t i = 2; i < hex.size(); ++i)
    value = value * 16 + static_cast<unsigned>(std::stoi(hex.substr(i, 1), nullptr, 16));
  if (kind == ETH_VALUE_TIMESTAMP) {
    time_t seconds = static_cast<time_t>(value);
    tm parts{};
    gmtime_r(&seconds, &parts);
    char text[32];
    strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
  }
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
    value /= 10;
  } while (value != 0);
  return digits;
}

// A text column's declared size with the default length settings.
int declared_size(const EthCatalogColumn& column) {
  switch (column.length) {
    case ETH_LENGTH_STRING:
      return 255;
    case ETH_LENGTH_BLOCK:
      return 24;
    case ETH_LENGTH_BYTES:
      return ETH_BYTES_LENGTH;
    default:
      return column.length;
  }
}

std::string in_quotes(const std::string& text) {
  return "\"" + text + "\"";
}

// SELECT * of `table` with its parameters as `=` restrictions.
std::string select_with(const char* table, const Params& params) {
  std::string sql = std::string("SELECT * FROM ") + table;
  const char* joiner = " WHERE ";
  for (const auto& [column, value] : params) {
    sql += joiner + column + " = '" + value + "'";
    joiner = " AND ";
  }
  return sql;
}

// Tables whose call consumes or changes node state: a second call sees something else.
bool consumes_state(const std::string& table) {
  return table.find("Filter") != std::string::npos || table == "sendRawTransaction";
}

TEST_F(EthSweep, EveryCatalogTableAgainstTheNode) {
  const Chain& c = chain_;
  const std::string block = c.block_numbers.at("call");  // two transactions, one log
  const std::string block_hash = c.block_hashes.at("call");
  const std::string call_tx = c.transactions.at("call");
  const std::string word0 = "0x" + std::string(64, '0');
  const std::string word1 = word0.substr(0, 65) + "1";
  const std::string call_object = R"({"from":")" + c.accounts[2] + R"(","to":")" + c.contract +
                                  R"(","data":")" + word0.substr(0, 65) + "7\"}";
  const std::string log_filter = R"({"fromBlock":"0x0","toBlock":")" + block + "\"}";
  const std::string storage_keys = "[" + in_quotes(word0) + "," + in_quotes(word1) + "]";

  // Filters live in the node: a table whose call consumes changes gets a twin for the
  // node's own call. Block filters see one block mined after they are made.
  auto new_filter = [&](const char* method, const std::string& params) {
    return node_string(port_, method, params);
  };
  const std::string log_params = "[" + log_filter + "]";
  std::string changes = new_filter("eth_newFilter", log_params);
  std::string changes_twin = new_filter("eth_newFilter", log_params);
  std::string topics = new_filter("eth_newFilter", log_params);
  std::string topics_twin = new_filter("eth_newFilter", log_params);
  std::string logs = new_filter("eth_newFilter", log_params);
  std::string blocks = new_filter("eth_newBlockFilter", "[]");
  std::string blocks_twin = new_filter("eth_newBlockFilter", "[]");
  std::string doomed = new_filter("eth_newBlockFilter", "[]");
  std::string doomed_twin = new_filter("eth_newBlockFilter", "[]");
  for (const std::string* id : {&changes, &changes_twin, &topics, &topics_twin, &logs, &blocks,
                                &blocks_twin, &doomed, &doomed_twin})
    ASSERT_EQ(0u, id->rfind("0x", 0)) << "the node made no filter";
  ASSERT_TRUE(node_call(port_, "evm_mine", "[]"));

  const Params fee{{"blockCount", "0x3"}, {"newestBlock", block}, {"arrayOfIntegers", "[25,75]"}};
  const std::string fee_node = R"(["0x3",")" + block + R"(",[25,75]])";
  const Params by_hash{{"hash", block_hash}, {"transactionDetailsFlag", "1"}};
  const std::string by_hash_node = "[" + in_quotes(block_hash) + ",true]";
  const Params by_number{{"blockNumber", block}, {"transactionDetailsFlag", "1"}};
  const std::string by_number_node = "[" + in_quotes(block) + ",true]";
  const Params proof{
      {"address", c.contract}, {"storageKeys", storage_keys}, {"blockParameter", block}};
  const std::string proof_node =
      "[" + in_quotes(c.contract) + "," + storage_keys + "," + in_quotes(block) + "]";
  const Params by_index{{"blockParameter", block}, {"transactionIndexPosition", "0x0"}};
  const std::string by_index_node = "[" + in_quotes(block) + ",\"0x0\"]";
  const Params uncle_hash{{"blockHash", block_hash}, {"uncleIndexPosition", "0x0"}};
  const std::string uncle_hash_node = "[" + in_quotes(block_hash) + ",\"0x0\"]";
  const Params uncle_number{{"blockNumber", block}, {"uncleIndexPosition", "0x0"}};
  const std::string uncle_number_node = "[" + in_quotes(block) + ",\"0x0\"]";
  const Params receipt{{"transactionHash", call_tx}};
  const std::string receipt_node = "[" + in_quotes(call_tx) + "]";
  const std::string block_node = "[" + in_quotes(block) + "]";
  const std::string hash32 = word0;

  using O = Outcome;
  const SweepCase cases[] = {
      {"blobBaseFee", {}, "[]", O::kSameRows, 1},
      {"blockNumber", {}, "[]", O::kSameRows, 1},
      {"chainId", {}, "[]", O::kSameRows, 1},
      {"createAccessList",
       {{"transactionCallObject", call_object}, {"blockNumber", block}},
       "[" + call_object + "," + in_quotes(block) + "]",
       O::kSameRows,
       1},
      {"estimateGas",
       {{"transactionCallObject", call_object}},
       "[" + call_object + "]",
       O::kSameRows,
       1},
      {"feeHistory", fee, fee_node, O::kSameRows, 1},
      {"feeHistory_blobGasUsedRatio", fee, fee_node, O::kSameRows, 3},
      {"feeHistory_baseFeePerGas", fee, fee_node, O::kSameRows, 4},
      {"feeHistory_baseFeePerBlobGas", fee, fee_node, O::kSameRows, 4},
      {"feeHistory_gasUsedRatio", fee, fee_node, O::kSameRows, 3},
      {"gasPrice", {}, "[]", O::kSameRows, 1},
      {"getBalance",
       {{"address", c.accounts[1]}, {"blockParameter", "0x2"}},
       "[" + in_quotes(c.accounts[1]) + ",\"0x2\"]",
       O::kSameRows,
       1},
      {"getBlockByHash", by_hash, by_hash_node, O::kSameRows, 1},
      {"getBlockByHash_transactions", by_hash, by_hash_node, O::kSameRows, 2},
      {"getBlockByNumber", by_number, by_number_node, O::kSameRows, 1},
      {"getBlockByNumber_transactions", by_number, by_number_node, O::kSameRows, 2},
      {"getBlockByNumber_withdrawals", by_number, by_number_node, O::kSameRows, 0},
      {"getBlockReceipts", {{"blockNumber", block}}, block_node, O::kSameRows, 2},
      {"getBlockReceipts_logs", {{"blockNumber", block}}, block_node, O::kSameRows, 1},
      {"getBlockTransactionCountByHash",
       {{"blockHash", block_hash}},
       "[" + in_quotes(block_hash) + "]",
       O::kSameRows,
       1},
      {"getBlockTransactionCountByNumber", {{"blockNumber", block}}, block_node, O::kSameRows, 1},
      {"getCode",
       {{"address", c.contract}, {"blockNumber", block}},
       "[" + in_quotes(c.contract) + "," + in_quotes(block) + "]",
       O::kSameRows,
       1},
      {"getLogs", {{"filter", log_filter}}, log_params, O::kSameRows, 2},
      {"getProof", proof, proof_node, O::kSameRows, 1},
      {"getProof_storageProof", proof, proof_node, O::kSameRows, 2},
      {"getProof_accountProof", proof, proof_node, O::kSameRows, 2},
      {"getStorageAt",
       {{"address", c.contract}, {"storagePosition", "0x1"}, {"blockParameter", block}},
       "[" + in_quotes(c.contract) + ",\"0x1\"," + in_quotes(block) + "]",
       O::kSameRows,
       1},
      {"getTransactionByBlockHashAndIndex",
       {{"blockHash", block_hash}, {"transactionIndexPosition", "0x1"}},
       "[" + in_quotes(block_hash) + ",\"0x1\"]",
       O::kSameRows,
       1},
      {"getTransactionByBlockNumberAndIndex", by_index, by_index_node, O::kSameRows, 1},
      {"getTransactionByBlockNumberAndIndex_AccessList", by_index, by_index_node, O::kSameRows, 1},
      {"getTransactionByHash",
       {{"transactionHash", c.transactions.at("deploy")}},
       "[" + in_quotes(c.transactions.at("deploy")) + "]",
       O::kSameRows,
       1},
      {"getTransactionCount",
       {{"address", c.accounts[0]}, {"blockParameter", block}},
       "[" + in_quotes(c.accounts[0]) + "," + in_quotes(block) + "]",
       O::kSameRows,
       1},
      {"getTransactionReceipt",
       {{"transactionHash", c.transactions.at("deploy")}},
       "[" + in_quotes(c.transactions.at("deploy")) + "]",
       O::kSameRows,
       1},
      {"getTransactionReceipt_Logs", receipt, receipt_node, O::kSameRows, 1},
      // A node without uncles answers null: no rows.
      {"getUncleByBlockHashAndIndex", uncle_hash, uncle_hash_node, O::kSameRows, 0},
      {"getUncleByBlockHashAndIndex_Uncles", uncle_hash, uncle_hash_node, O::kSameRows, 0},
      {"getUncleByBlockNumberAndIndex", uncle_number, uncle_number_node, O::kSameRows, 0},
      {"getUncleByBlockNumberAndIndex_Uncles", uncle_number, uncle_number_node, O::kSameRows, 0},
      {"getUncleCountByBlockHash",
       {{"blockHash", block_hash}},
       "[" + in_quotes(block_hash) + "]",
       O::kSameRows,
       1},
      {"getUncleCountByBlockNumber", {{"blockNumber", block}}, block_node, O::kSameRows, 1},
      // Proof-of-work methods: anvil has no miner to ask.
      {"getWork", {}, "[]", O::kNodeError, 0},
      {"hashrate", {}, "[]", O::kSameRows, 1},
      {"maxPriorityFeePerGas", {}, "[]", O::kSameRows, 1},
      {"mining", {}, "[]", O::kNodeError, 0},
      {"protocolVersion", {}, "[]", O::kSameRows, 1},
      // A body that is no transaction: the node's decoding error, nothing is sent on.
      {"sendRawTransaction", {{"transactionData", "0x00"}}, "[\"0x00\"]", O::kNodeError, 0},
      {"submitWork",
       {{"nonce", "0x0000000000000001"}, {"PoWHash", hash32}, {"digest", hash32}},
       "[\"0x0000000000000001\"," + in_quotes(hash32) + "," + in_quotes(hash32) + "]",
       O::kNodeError,
       0},
      {"syncing", {}, "[]", O::kSameRows, 1},
      {"newFilter", {{"filterObject", log_filter}}, log_params, O::kNewFilterId, 1},
      {"getFilterChanges",
       {{"filterID", changes}},
       "[" + in_quotes(changes_twin) + "]",
       O::kSameRows,
       2},
      {"getFilterChanges_Topics",
       {{"filterID", topics}},
       "[" + in_quotes(topics_twin) + "]",
       O::kSameRows,
       3},
      {"getFilterLogs", {{"filterID", logs}}, "[" + in_quotes(logs) + "]", O::kSameRows, 2},
      {"getFilterLogs_Topics", {{"filterID", logs}}, "[" + in_quotes(logs) + "]", O::kSameRows, 2},
      {"newBlockFilter", {}, "[]", O::kNewFilterId, 1},
      // One row per new block; the hashes come as bare strings, which have no member
      // `result`, so `logObject` reads NULL.
      {"getBlockFilterChanges",
       {{"filterID", blocks}},
       "[" + in_quotes(blocks_twin) + "]",
       O::kSameRows,
       1},
      {"uninstallFilter",
       {{"filterObject", doomed}},
       "[" + in_quotes(doomed_twin) + "]",
       O::kSameRows,
       1},
  };

  std::set<std::string> swept;
  for (const SweepCase& sweep : cases) {
    SCOPED_TRACE(sweep.table);
    const EthCatalogTable* table = nullptr;
    for (const EthCatalogTable& candidate : eth_catalog_tables())
      if (std::string(candidate.name) == sweep.table) table = &candidate;
    ASSERT_NE(nullptr, table) << "not a catalog table";
    EXPECT_TRUE(swept.insert(sweep.table).second) << "listed twice";

    ScanResult scan = session_->scan(sweep.table, sweep.params);
    // The same table through the ODBC API (statement, fetch, SQLGetData in pieces), except
    // where a second call would see other node state.
    OdbcResult through_odbc;
    bool via_odbc = !consumes_state(sweep.table);
    if (via_odbc) through_odbc = odbc_->select(select_with(sweep.table, sweep.params));
    JsonPtr reply = node_call(port_, table->method, sweep.node_params);
    ASSERT_TRUE(reply) << "the node did not answer " << table->method;
    json_t* error = json_object_get(reply.get(), "error");
    switch (sweep.outcome) {
      case Outcome::kNodeError: {
        ASSERT_TRUE(error) << "the node now serves " << table->method;
        EXPECT_EQ(SQI_ERROR, scan.rc);
        EXPECT_TRUE(scan.rows.empty());
        // The node's message first, then the table (and parameters) of the call.
        EXPECT_EQ(0u, scan.message.rfind(
                          std::string(json_string_value(json_object_get(error, "message"))) + " (" +
                              sweep.table,
                          0))
            << scan.message;
        EXPECT_EQ(json_integer_value(json_object_get(error, "code")), scan.native);
        if (via_odbc) {
          EXPECT_FALSE(SQL_SUCCEEDED(through_odbc.rc));
          EXPECT_EQ(scan.native, through_odbc.native) << through_odbc.message;
          EXPECT_NE(std::string::npos, through_odbc.message.find(scan.message))
              << through_odbc.message;
        }
        break;
      }
      case Outcome::kNewFilterId: {
        ASSERT_FALSE(error) << as_text(error);
        ASSERT_EQ(SQI_OK, scan.rc) << scan.message;
        ASSERT_EQ(1u, scan.rows.size());
        EXPECT_EQ(0u, scan.rows[0]["filterID"].rfind("0x", 0)) << scan.rows[0]["filterID"];
        EXPECT_NE(as_text(json_object_get(reply.get(), "result")), scan.rows[0]["filterID"]);
        break;
      }
      case Outcome::kSameRows: {
        ASSERT_FALSE(error) << as_text(error);
        ASSERT_EQ(SQI_OK, scan.rc) << scan.message;
        std::vector<Row> expected =
            expected_rows(*table, json_object_get(reply.get(), "result"), sweep.params);
        EXPECT_EQ(sweep.rows, expected.size()) << "the seeded chain changed";
        ASSERT_EQ(expected.size(), scan.rows.size());
        for (size_t r = 0; r < expected.size(); ++r)
          for (const auto& [column, text] : expected[r])
            EXPECT_EQ(text, scan.rows[r][column]) << "row " << r << " column " << column;
        if (!via_odbc) break;
        ASSERT_TRUE(SQL_SUCCEEDED(through_odbc.rc)) << through_odbc.message;
        ASSERT_EQ(expected.size(), through_odbc.rows.size());
        // BIT columns read as text through ODBC give "1" and "0".
        auto odbc_text = [](const std::string& text) {
          return text == "True" ? std::string("1") : text == "False" ? std::string("0") : text;
        };
        for (size_t r = 0; r < expected.size(); ++r)
          for (const auto& [column, text] : expected[r])
            EXPECT_EQ(odbc_text(text), through_odbc.rows[r][column])
                << "through ODBC, row " << r << " column " << column;
        // With typed values every quantity reads as the node's hex decoded, every other column
        // as before; and every text fits its column's declared size.
        OdbcResult typed = typed_->select(select_with(sweep.table, sweep.params));
        ASSERT_TRUE(SQL_SUCCEEDED(typed.rc)) << typed.message;
        ASSERT_EQ(expected.size(), typed.rows.size());
        for (const EthCatalogColumn& column : eth_catalog_columns(*table)) {
          const EthValueKind kind = eth_value_kind(*table, column);
          for (size_t r = 0; r < expected.size(); ++r) {
            const std::string& text = expected[r][column.name];
            EXPECT_EQ(kind == ETH_VALUE_TEXT ? odbc_text(text) : decoded(kind, text),
                      typed.rows[r][column.name])
                << "typed, row " << r << " column " << column.name;
            if (column.sql_type == SQL_VARCHAR && text != "NULL") {
              EXPECT_LE(text.size(), static_cast<size_t>(declared_size(column)))
                  << "longer than declared: " << column.name;
            }
          }
        }
        break;
      }
    }
  }
  for (const EthCatalogTable& table : eth_catalog_tables())
    EXPECT_TRUE(swept.count(table.name)) << table.name << " is not swept";
}

}  // namespace

// Rows of a SQL query run by the engine over the node ("a|b" per row), or "error ..." on
// failure.
std::vector<std::string> run_sql(Dal* dal, ErrorHeader* errors, const std::string& sql) {
  std::vector<std::string> rows;
  MemPool* pool = quill_mem_alloc_handle(nullptr);
  ParseContext* parse = parse_context_create(pool);
  std::string text = sql;
  StatementPlanList* plans = nullptr;
  ValidateTarget target{dal, errors, pool, nullptr, nullptr, 3};
  SetupErrorHeader(errors, 0);
  int rc = -1;
  if (sql_parse(parse, text.data()) == 0 &&
      validate_statements(target, parse_statements(parse), &plans) == 0) {
    ExecStatement* statement = exec_create(dal, errors, pool, plans, nullptr);
    rc = statement ? exec_statement(statement) : -1;
    while (rc >= 0 && (rc = exec_fetch(statement)) >= 0 && rc != 100) {
      std::string row;
      for (int c = 0; c < exec_column_count(statement); ++c) {
        const QuillValue* value = exec_column_value(statement, c);
        std::vector<char> cell(VALUE_TEXT_SIZE);
        if (value && !is_value_null(value)) value_as_text(value, cell.data());
        row += (c ? "|" : "") + std::string(value && !is_value_null(value) ? cell.data() : "NULL");
      }
      rows.push_back(row);
    }
    exec_free(statement);
  }
  if (rc < 0) {
    SQLCHAR state[6] = {0}, message[512] = {0};
    GetDiagRec(errors, 1, state, nullptr, message, sizeof message, nullptr);
    rows = {std::string("error ") + reinterpret_cast<char*>(state) + " " +
            reinterpret_cast<char*>(message)};
  }
  parse_context_free(parse);
  quill_mem_release_handle(pool);
  return rows;
}

// A block's transactions joined with their receipts must run whichever way the FROM list is
// written: the receipts table needs the transaction hash, which only the transactions of
// the block can supply, so the transactions table has to be scanned first.
TEST_F(EthSweep, SqlJoinOfTransactionsAndReceiptsRunsEitherWay) {
  const std::string block = chain_.block_numbers.at("call");  // two transactions
  const std::string where = " WHERE r.transactionHash = t.transactionsHash AND t.blockNumber = '" +
                            block + "' AND t.transactionDetailsFlag = 'true'";
  const std::string transactions_first =
      "SELECT t.transactionsHash, r.status FROM getBlockByNumber_transactions t, "
      "getTransactionReceipt r" +
      where;
  const std::string receipts_first =
      "SELECT t.transactionsHash, r.status FROM getTransactionReceipt r, "
      "getBlockByNumber_transactions t" +
      where;
  std::vector<std::string> a = run_sql(session_->dal(), session_->errors(), transactions_first);
  std::vector<std::string> b = run_sql(session_->dal(), session_->errors(), receipts_first);
  ASSERT_EQ(a.size(), 2u) << (a.empty() ? "" : a[0]) << " / " << (b.empty() ? "" : b[0]);
  EXPECT_EQ(a, b);
  for (const std::string& row : a) EXPECT_NE(row.find("|0x1"), std::string::npos) << row;
  EXPECT_NE(a[0].find(chain_.transactions.at("call")), std::string::npos) << a[0];

  // A scalar function and a filter the node cannot take, evaluated by the engine.
  std::vector<std::string> balance =
      run_sql(session_->dal(), session_->errors(),
              "SELECT UCASE(result) FROM getBalance WHERE address = '" + chain_.accounts.at(0) +
                  "' AND blockParameter = 'latest' AND result LIKE '0x%'");
  ASSERT_EQ(balance.size(), 1u) << (balance.empty() ? "" : balance[0]);
  EXPECT_EQ(balance[0].rfind("0X", 0), 0u) << balance[0];
}
