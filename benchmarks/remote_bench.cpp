// Reading an Ethereum node that is far away: the driver through the unixODBC Driver Manager
// beside a libcurl client written for this benchmark, in the same run, against anvil (started
// here, 300 blocks of one transaction each) on loopback, through tests/servers/latency_proxy.py
// (10 ms each way), and through that proxy in front of nginx's HTTPS front (tests/servers/
// nginx.sh) when nginx is there.
//
// Work: 300 block headers; the transactions of those 300 blocks; their receipts through a join
// from the transactions to getTransactionReceipt and through getBlockReceipts. The baseline runs
// each in its best form (JSON-RPC batches of 100 on one kept-alive connection) and in its simple
// forms (a fresh connection per call, one kept-alive connection, 4 threads each on a kept-alive
// connection). Both sides read the same value of every row (the driver with SQLGetData as text,
// the baseline from the parsed reply into a buffer of the same size). Each figure is in
// seconds, the best of five runs for the driver and the best form, one run for the simple
// forms; the driver's ratio is to the baseline's best form.
//
//   quill_remote_bench [delay-ms] [loopback]   (default 10; "loopback": that endpoint only)
#include <curl/curl.h>
#include <dlfcn.h>
#include <jansson.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string kServers = QUILL_SERVERS_DIR "/";
constexpr int kBlocks = 300;
constexpr int kRuns = 5;
using Clock = std::chrono::steady_clock;

std::string first_line(const std::string& command) {
  std::string line;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256] = {0};
    if (fgets(buffer, sizeof buffer, pipe)) line = buffer;
    pclose(pipe);
  }
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

std::string hex(int n) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", n);
  return text;
}

// An endpoint: its URI and, for TLS, the CA file.
struct Endpoint {
  std::string name;
  std::string uri;
  std::string ca;  // "" for plain HTTP
};

// ---- the baseline: libcurl

size_t collect(char* data, size_t size, size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

// One libcurl client: a kept-alive easy handle (or a fresh connection per request).
class Curl {
 public:
  Curl(const Endpoint& endpoint, bool fresh) : endpoint_(endpoint), fresh_(fresh) {
    easy_ = curl_easy_init();
    headers_ = curl_slist_append(nullptr, "Content-Type: application/json");
  }
  ~Curl() {
    curl_slist_free_all(headers_);
    curl_easy_cleanup(easy_);
  }
  Curl(const Curl&) = delete;
  Curl& operator=(const Curl&) = delete;
  json_t* post(const std::string& body) {
    std::string reply;
    curl_easy_setopt(easy_, CURLOPT_URL, endpoint_.uri.c_str());
    curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headers_);
    curl_easy_setopt(easy_, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, &reply);
    curl_easy_setopt(easy_, CURLOPT_FRESH_CONNECT, fresh_ ? 1L : 0L);
    curl_easy_setopt(easy_, CURLOPT_FORBID_REUSE, fresh_ ? 1L : 0L);
    if (!endpoint_.ca.empty()) curl_easy_setopt(easy_, CURLOPT_CAINFO, endpoint_.ca.c_str());
    if (curl_easy_perform(easy_) != CURLE_OK) return nullptr;
    return json_loads(reply.c_str(), 0, nullptr);
  }

 private:
  Endpoint endpoint_;
  bool fresh_;
  CURL* easy_ = nullptr;
  curl_slist* headers_ = nullptr;
};

std::string call(const std::string& method, const std::string& params, int id) {
  return R"({"jsonrpc":"2.0","method":")" + method + R"(","params":)" + params + R"(,"id":)" +
         std::to_string(id) + "}";
}

// How the baseline sends a list of calls.
enum class Form { batches, fresh, kept_alive, threads };

// Sends the calls in `form`; the results in call order (new references), empty on failure.
std::vector<json_t*> run_calls(const Endpoint& endpoint, Form form,
                               const std::vector<std::string>& calls) {
  std::vector<json_t*> results(calls.size(), nullptr);
  auto single = [&](Curl& curl, size_t i) {
    json_t* reply = curl.post(calls[i]);
    results[i] = json_incref(json_object_get(reply, "result"));
    json_decref(reply);
  };
  if (form == Form::batches) {
    Curl curl(endpoint, false);
    for (size_t first = 0; first < calls.size(); first += 100) {
      std::string body = "[";
      for (size_t i = first; i < std::min(calls.size(), first + 100); ++i)
        body += (i > first ? "," : "") + calls[i];
      json_t* reply = curl.post(body + "]");
      size_t index;
      json_t* member;
      json_array_foreach(reply, index, member) {
        size_t id = static_cast<size_t>(json_integer_value(json_object_get(member, "id")));
        if (id < results.size() && !results[id])
          results[id] = json_incref(json_object_get(member, "result"));
      }
      json_decref(reply);
    }
  } else if (form == Form::threads) {
    std::vector<std::thread> workers;
    for (size_t t = 0; t < 4; ++t)
      workers.emplace_back([&, t] {
        Curl curl(endpoint, false);
        for (size_t i = t; i < calls.size(); i += 4) single(curl, i);
      });
    for (std::thread& worker : workers) worker.join();
  } else {
    Curl curl(endpoint, form == Form::fresh);
    for (size_t i = 0; i < calls.size(); ++i) single(curl, i);
  }
  for (json_t* result : results)
    if (!result) {
      for (json_t* value : results) json_decref(value);
      return {};
    }
  return results;
}

// Copies the text member `name` of `object` out as the driver's caller does (a buffer of 256
// bytes): 1 when it is there, 0 otherwise.
long read_text(json_t* object, const char* name) {
  const char* text = json_string_value(json_object_get(object, name));
  if (!text) return 0;
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, "%s", text);
  return 1;
}

// The baseline's work items, reading the value the driver's query selects from every row: the
// count of values read, or -1 on failure.
long baseline(const Endpoint& endpoint, Form form, int item) {
  std::vector<std::string> calls;
  const bool full = item != 0 && item != 3;
  for (int n = 1; n <= kBlocks; ++n)
    calls.push_back(item == 3
                        ? call("eth_getBlockReceipts", "[\"" + hex(n) + "\"]", n - 1)
                        : call("eth_getBlockByNumber",
                               "[\"" + hex(n) + "\"," + (full ? "true" : "false") + "]", n - 1));
  std::vector<json_t*> results = run_calls(endpoint, form, calls);
  if (results.empty()) return -1;
  long count = 0;
  std::vector<std::string> receipts;
  for (json_t* result : results) {
    size_t index;
    if (item == 0) count += read_text(result, "hash");
    json_t* receipt;
    if (item == 3)
      json_array_foreach(result, index, receipt) count += read_text(receipt, "transactionHash");
    json_t* transaction;
    json_array_foreach(json_object_get(result, "transactions"), index, transaction) {
      if (item == 1) count += read_text(transaction, "hash");
      if (item == 2)
        receipts.push_back(call(
            "eth_getTransactionReceipt",
            "[\"" + std::string(json_string_value(json_object_get(transaction, "hash"))) + "\"]",
            static_cast<int>(receipts.size())));
    }
    json_decref(result);
  }
  if (item == 2) {
    std::vector<json_t*> found = run_calls(endpoint, form, receipts);
    if (found.empty()) return -1;
    for (json_t* value : found) {
      count += read_text(value, "status");
      json_decref(value);
    }
  }
  return count;
}

// ---- the driver: the Driver Manager loaded at run time

class Odbc {
 public:
  Odbc(const std::string& dir, const Endpoint& endpoint) {
    std::ofstream(dir + "/odbcinst.ini")
        << "[Quillmoor Ethereum ODBC Driver]\nDriver=" << QUILL_DRIVER_PATH << "\n";
    std::ofstream(dir + "/odbc.ini") << "";
    setenv("ODBCSYSINI", dir.c_str(), 1);
    setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);
    std::string text = "DRIVER={Quillmoor Ethereum ODBC Driver};URI=" + endpoint.uri;
    if (!endpoint.ca.empty()) text += ";cert=" + endpoint.ca;
    ok_ = SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_)) &&
          SQL_SUCCEEDED(SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION,
                                      reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)) &&
          SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_)) &&
          SQL_SUCCEEDED(SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)text.c_str(), SQL_NTS, nullptr, 0,
                                         nullptr, SQL_DRIVER_NOPROMPT)) &&
          SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_));
    if (!ok_) diagnose(dbc_ ? SQL_HANDLE_DBC : SQL_HANDLE_ENV, dbc_ ? dbc_ : env_);
  }
  ~Odbc() {
    if (stmt_) SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    if (dbc_) SQLDisconnect(dbc_);
    if (dbc_) SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    if (env_) SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }
  Odbc(const Odbc&) = delete;
  Odbc& operator=(const Odbc&) = delete;
  bool ok() const { return ok_; }
  // Runs `sql` and reads column 1 of every row: the row count, or -1 on failure.
  long rows(const std::string& sql) {
    long count = 0;
    SQLRETURN rc = SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS);
    while (SQL_SUCCEEDED(rc) && SQL_SUCCEEDED(rc = SQLFetch(stmt_))) {
      char buffer[256];
      SQLLEN length = 0;
      SQLGetData(stmt_, 1, SQL_C_CHAR, buffer, sizeof buffer, &length);
      ++count;
    }
    if (rc != SQL_NO_DATA) {
      diagnose(SQL_HANDLE_STMT, stmt_);
      count = -1;
    }
    SQLCloseCursor(stmt_);
    return count;
  }

 private:
  static void diagnose(SQLSMALLINT type, SQLHANDLE handle) {
    SQLCHAR state[6] = {0}, message[512] = {0};
    SQLINTEGER native = 0;
    if (SQL_SUCCEEDED(
            SQLGetDiagRec(type, handle, 1, state, &native, message, sizeof message, nullptr)))
      std::fprintf(stderr, "  ODBC %s: %s\n", state, message);
  }
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
  bool ok_ = false;
};

std::string block_list() {
  std::string list;
  for (int n = 1; n <= kBlocks; ++n) list += (n > 1 ? ",'" : "'") + hex(n) + "'";
  return list;
}

const char* const kItems[] = {"300 block headers", "300 blocks' transactions",
                              "receipts by join to getTransactionReceipt",
                              "receipts by getBlockReceipts"};

std::string item_sql(int item) {
  const std::string in = " IN (" + block_list() + ")";
  switch (item) {
    case 0:
      return "SELECT hash FROM getBlockByNumber WHERE transactionDetailsFlag = 'false' AND "
             "blockNumber" +
             in;
    case 1:
      return "SELECT transactionsHash FROM getBlockByNumber_transactions WHERE "
             "transactionDetailsFlag = 'true' AND blockNumber" +
             in;
    case 2:
      return "SELECT r.status FROM getBlockByNumber_transactions t JOIN getTransactionReceipt r "
             "ON r.transactionHash = t.transactionsHash WHERE t.transactionDetailsFlag = 'true' "
             "AND "
             "t.blockNumber" +
             in;
    default:
      return "SELECT transactionHash FROM getBlockReceipts WHERE blockNumber" + in;
  }
}

// The best of `runs` timings of `work`, in seconds; negative when it failed.
double best_of(const std::function<long()>& work, long* count, int runs = kRuns) {
  double best = 1e9;
  for (int run = 0; run < runs; ++run) {
    Clock::time_point start = Clock::now();
    *count = work();
    if (*count < 0) return -1;
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  return best;
}

void measure(const std::string& dir, const Endpoint& endpoint) {
  std::printf("\n%s (%s)\n", endpoint.name.c_str(), endpoint.uri.c_str());
  std::printf("%-44s %8s %8s %8s %8s %8s %8s %7s\n", "work", "rows", "driver", "batches", "fresh",
              "kept", "4 thr", "ratio");
  Odbc odbc(dir, endpoint);
  if (!odbc.ok()) {
    std::printf("  the driver could not connect\n");
    return;
  }
  for (int item = 0; item < 4; ++item) {
    long rows = 0, baseline_rows = 0;
    const std::string sql = item_sql(item);
    double driver = best_of([&] { return odbc.rows(sql); }, &rows);
    double forms[4];
    for (int form = 0; form < 4; ++form)
      forms[form] = best_of([&] { return baseline(endpoint, static_cast<Form>(form), item); },
                            &baseline_rows, form == 0 ? kRuns : 1);
    std::printf("%-44s %8ld %8.3f %8.3f %8.3f %8.3f %8.3f %6.2fx\n", kItems[item], rows, driver,
                forms[0], forms[1], forms[2], forms[3], driver > 0 ? driver / forms[0] : -1.0);
    if (rows != baseline_rows)
      std::printf("  the driver read %ld values, the baseline %ld\n", rows, baseline_rows);
    std::fflush(stdout);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int delay = argc > 1 ? std::atoi(argv[1]) : 10;
  const bool loopback_only = argc > 2 && std::strcmp(argv[2], "loopback") == 0;
  char directory[] = "/tmp/quill_remote_bench_XXXXXX";
  if (!mkdtemp(directory)) return 1;
  const std::string dir = directory;
  curl_global_init(CURL_GLOBAL_ALL);
  const std::string port = first_line("bash " + kServers + "anvil.sh start " + dir + "/anvil");
  if (port.empty()) {
    std::fprintf(stderr, "anvil could not be started\n");
    return 1;
  }
  // 300 transactions, each mined in its own block: the node mines on request only, as with
  // automatic mining a transaction sent while a block is being mined joins that block.
  Endpoint node{"loopback", "http://127.0.0.1:" + port, ""};
  {
    std::vector<std::string> sends = {call("evm_setAutomine", "[false]", 0)};
    for (int i = 0; i < kBlocks; ++i) {
      sends.push_back(call("eth_sendTransaction",
                           R"([{"from":"0xf39fd6e51aad88f6f4ce6ab8827279cfffb92266",)"
                           R"("to":"0x70997970c51812dc3a010c7d01b50e0d17dc79c8","value":"0x1"}])",
                           static_cast<int>(sends.size())));
      sends.push_back(call("evm_mine", "[]", static_cast<int>(sends.size())));
    }
    std::vector<json_t*> done = run_calls(node, Form::kept_alive, sends);
    if (done.empty()) std::fprintf(stderr, "the node did not take the transactions\n");
    for (json_t* value : done) json_decref(value);
  }
  auto start_proxy = [&](const std::string& target, const std::string& name) {
    return first_line("python3 " + kServers + "latency_proxy.py " + target + " --up-ms " +
                      std::to_string(delay) + " --down-ms " + std::to_string(delay) + " > " + dir +
                      "/" + name + ".port 2>/dev/null & echo $! > " + dir + "/" + name +
                      ".pid; for i in $(seq 100); do [ -s " + dir + "/" + name +
                      ".port ] && break; sleep 0.1; done; cat " + dir + "/" + name + ".port");
  };
  measure(dir, node);
  if (!loopback_only) {
    const std::string proxy = start_proxy(port, "proxy");
    measure(dir,
            {"proxy " + std::to_string(delay) + " ms each way", "http://127.0.0.1:" + proxy, ""});
    const std::string fronts = first_line("bash " + kServers + "nginx.sh start " + dir + "/nginx " +
                                          port + " 2>/dev/null");
    const size_t space = fronts.find(' ');
    if (space != std::string::npos) {
      const std::string tls = start_proxy(fronts.substr(space + 1), "tls");
      measure(dir, {"TLS (nginx) behind the proxy", "https://127.0.0.1:" + tls,
                    dir + "/nginx/certs/ca.pem"});
      (void)std::system(("kill $(cat " + dir + "/tls.pid)").c_str());
      (void)std::system(("bash " + kServers + "nginx.sh stop " + dir + "/nginx").c_str());
    }
    (void)std::system(("kill $(cat " + dir + "/proxy.pid)").c_str());
  }
  (void)std::system(("bash " + kServers + "anvil.sh stop " + dir + "/anvil").c_str());
  (void)std::system(("rm -rf " + dir).c_str());
  curl_global_cleanup();
  return 0;
}
