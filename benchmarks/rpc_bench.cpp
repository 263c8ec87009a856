// Request rate of the Ethereum backend against a local node (anvil started
// here), beside libcurl making the same JSON-RPC POST in the same run: the
// driver through a `blockNumber` scan of the data-access layer (start, fetch,
// read) on its kept-alive connection, libcurl with one easy handle, and so a
// fresh connection, per request.
//
//   quill_rpc_bench [requests] [both|driver|sql|odbc|curl]   (default 1000 both)
//
// "sql" runs `SELECT result FROM blockNumber` through the SQL engine instead of the bare scan;
// "odbc" runs it through the unixODBC Driver Manager and libquilldrv.so (SQLExecDirect,
// SQLFetch, SQLGetData, SQLCloseCursor on one connection), as an application does.
//
// Prints requests per second for each and the driver's overhead in percent.
#include <curl/curl.h>
#include <dlfcn.h>
#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "driver/dal/dal.h"
#include "driver/odbc/connect/backend_list.h"
#include "driver/sql/exec.h"
#include "driver/sql/parser.h"
#include "driver/sql/validate.h"

namespace {

const std::string kServers = QUILL_SERVERS_DIR "/";
constexpr int kRounds = 10;  // the two sides alternate in this many blocks, so drift hits both
const char* const kBody = R"({"jsonrpc":"2.0","method":"eth_blockNumber","params":[],"id":1})";

using Clock = std::chrono::steady_clock;

// The first line a shell command prints ("" when none).
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

// A data-access context on the node with one iterator and the `blockNumber` table described.
class DriverSide {
 public:
  explicit DriverSide(int port) {
    pool_ = quill_mem_alloc_handle(nullptr);
    errors_ = CreateErrorHeader(pool_, nullptr);
    dal_ = dal_create(nullptr, errors_);
    ConnAttrSet attributes;
    init_con_str(&attributes, pool_);
    std::string text = "URI=http://127.0.0.1:" + std::to_string(port);
    ok_ = parse_connection_string(text.c_str(), nullptr, nullptr, SQL_NTS, &attributes) == 0 &&
          DALOpen(dal_, &attributes, nullptr) == SQI_OK;
    if (ok_) it_ = DALOpenIterator(errors_, dal_);
    ok_ = it_ && DALDescribeTable(errors_, dal_, "", "blockNumber", &table_) == SQI_OK;
  }
  ~DriverSide() {
    if (it_) DALCloseIterator(it_);
    dal_destroy(dal_);
    FreeErrorHeader(errors_);
    quill_mem_release_handle(pool_);
  }
  DriverSide(const DriverSide&) = delete;
  DriverSide& operator=(const DriverSide&) = delete;
  bool ok() const { return ok_; }

  // The statement `SELECT result FROM blockNumber` through the SQL engine: parse, validate,
  // execute, fetch, read. False on any failure.
  bool query() {
    SetupErrorHeader(errors_, 0);
    MemPool* pool = quill_mem_alloc_handle(pool_);
    ParseContext* parse = parse_context_create(pool);
    char text[] = "SELECT result FROM blockNumber";
    StatementPlanList* plans = nullptr;
    ValidateTarget target{dal_, errors_, pool, nullptr, nullptr, 3};
    bool ok = false;
    if (sql_parse(parse, text) == 0 &&
        validate_statements(target, parse_statements(parse), &plans) == 0) {
      ExecStatement* statement = exec_create(dal_, errors_, pool, plans, nullptr);
      if (statement && exec_statement(statement) >= 0 && exec_fetch(statement) == 0) {
        const QuillValue* value = exec_column_value(statement, 0);
        ok = value && value->kind == VALUE_CHARACTER && value->bytes.data &&
             std::strncmp(value->bytes.data, "0x", 2) == 0;
      }
      exec_free(statement);
    }
    parse_context_free(parse);
    quill_mem_release_handle(pool);
    return ok;
  }

  // One scan: start, fetch the row, read its result column. False on any failure.
  bool request() {
    SetupErrorHeader(errors_, 0);
    DALResetIterator(it_);
    if (DALStartScan(it_, &table_, nullptr, nullptr, 0, nullptr) != SQI_OK) return false;
    if (DALFetch(it_) != SQI_OK) return false;
    char buffer[128];
    SQLLEN indicator = 0;
    return DALGetData(it_, 1, SQL_C_CHAR, buffer, sizeof buffer, &indicator) == SQI_OK &&
           indicator > 0 && std::strncmp(buffer, "0x", 2) == 0;
  }

 private:
  MemPool* pool_ = nullptr;
  ErrorHeader* errors_ = nullptr;
  Dal* dal_ = nullptr;
  DalIterator* it_ = nullptr;
  DalTable table_{};
  bool ok_ = false;
};

// The Driver Manager, loaded at run time: this program carries the driver's own SQL* entry
// points (linked for the other modes), which must not stand in for the Driver Manager's.
class OdbcSide {
 public:
  OdbcSide(int port, const std::string& dir) {
    std::ofstream(dir + "/odbcinst.ini")
        << "[Quillmoor Ethereum ODBC Driver]\nDriver=" << QUILL_DRIVER_PATH << "\n";
    std::ofstream(dir + "/odbc.ini") << "";
    setenv("ODBCSYSINI", dir.c_str(), 1);
    setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);
    manager_ = dlopen("libodbc.so.2", RTLD_NOW | RTLD_LOCAL);
    if (!manager_ || !resolve()) return;
    std::string text =
        "DRIVER={Quillmoor Ethereum ODBC Driver};URI=http://127.0.0.1:" + std::to_string(port);
    ok_ = SQL_SUCCEEDED(alloc_(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_)) &&
          SQL_SUCCEEDED(set_env_(env_, SQL_ATTR_ODBC_VERSION,
                                 reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)) &&
          SQL_SUCCEEDED(alloc_(SQL_HANDLE_DBC, env_, &dbc_)) &&
          SQL_SUCCEEDED(connect_(dbc_, nullptr, (SQLCHAR*)text.c_str(), SQL_NTS, nullptr, 0,
                                 nullptr, SQL_DRIVER_NOPROMPT)) &&
          SQL_SUCCEEDED(alloc_(SQL_HANDLE_STMT, dbc_, &stmt_));
  }
  ~OdbcSide() {
    if (!manager_) return;
    if (free_ && stmt_) free_(SQL_HANDLE_STMT, stmt_);
    if (disconnect_ && dbc_) disconnect_(dbc_);
    if (free_ && dbc_) free_(SQL_HANDLE_DBC, dbc_);
    if (free_ && env_) free_(SQL_HANDLE_ENV, env_);
  }
  OdbcSide(const OdbcSide&) = delete;
  OdbcSide& operator=(const OdbcSide&) = delete;
  bool ok() const { return ok_; }

  // One `SELECT result FROM blockNumber` with its row read. False on any failure.
  bool query() {
    char buffer[128] = {0};
    SQLLEN length = 0;
    bool ok = SQL_SUCCEEDED(exec_(stmt_, (SQLCHAR*)"SELECT result FROM blockNumber", SQL_NTS)) &&
              fetch_(stmt_) == SQL_SUCCESS &&
              get_data_(stmt_, 1, SQL_C_CHAR, buffer, sizeof buffer, &length) == SQL_SUCCESS &&
              std::strncmp(buffer, "0x", 2) == 0;
    close_(stmt_);
    return ok;
  }

 private:
  template <typename F>
  bool load(F& function, const char* name) {
    function = reinterpret_cast<F>(dlsym(manager_, name));
    return function != nullptr;
  }
  bool resolve() {
    return load(alloc_, "SQLAllocHandle") && load(free_, "SQLFreeHandle") &&
           load(set_env_, "SQLSetEnvAttr") && load(connect_, "SQLDriverConnect") &&
           load(disconnect_, "SQLDisconnect") && load(exec_, "SQLExecDirect") &&
           load(fetch_, "SQLFetch") && load(get_data_, "SQLGetData") &&
           load(close_, "SQLCloseCursor");
  }

  void* manager_ = nullptr;
  decltype(&::SQLAllocHandle) alloc_ = nullptr;
  decltype(&::SQLFreeHandle) free_ = nullptr;
  decltype(&::SQLSetEnvAttr) set_env_ = nullptr;
  decltype(&::SQLDriverConnect) connect_ = nullptr;
  decltype(&::SQLDisconnect) disconnect_ = nullptr;
  decltype(&::SQLExecDirect) exec_ = nullptr;
  decltype(&::SQLFetch) fetch_ = nullptr;
  decltype(&::SQLGetData) get_data_ = nullptr;
  decltype(&::SQLCloseCursor) close_ = nullptr;
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
  bool ok_ = false;
};

size_t collect(char* data, size_t size, size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

// The same POST with libcurl on a fresh easy handle (and so a fresh connection).
bool curl_request(const std::string& url) {
  CURL* easy = curl_easy_init();
  if (!easy) return false;
  std::string reply;
  curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/json");
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(easy, CURLOPT_POSTFIELDS, kBody);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, collect);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &reply);
  long status = 0;
  bool ok = curl_easy_perform(easy) == CURLE_OK &&
            curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status == 200 &&
            reply.find("\"result\":\"0x") != std::string::npos;
  curl_slist_free_all(headers);
  curl_easy_cleanup(easy);
  return ok;
}

// Runs `count` requests of `one`; their wall time in seconds, negative on a failure.
template <typename Request>
double timed(int count, Request one) {
  Clock::time_point start = Clock::now();
  for (int i = 0; i < count; ++i)
    if (!one()) return -1;
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  int requests = argc > 1 ? std::atoi(argv[1]) : 1000;
  std::string mode = argc > 2 ? argv[2] : "both";
  bool sql = mode == "sql";
  bool odbc = mode == "odbc";
  if (sql || odbc) mode = "both";
  if (requests <= 0 || (mode != "both" && mode != "driver" && mode != "curl")) {
    std::fprintf(stderr, "usage: %s [requests] [both|driver|sql|odbc|curl]\n", argv[0]);
    return 2;
  }
  char directory[] = "/tmp/quill_rpc_bench_XXXXXX";
  if (!mkdtemp(directory)) return 1;
  std::string dir = directory;
  int port = std::atoi(first_line("bash " + kServers + "anvil.sh start " + dir).c_str());
  int rc = 0;
  if (port <= 0) {
    std::fprintf(stderr, "anvil could not be started\n");
    rc = 77;
  } else {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";
    {
      DriverSide driver(port);
      OdbcSide application(port, dir);
      auto driver_request = [&] {
        return odbc ? application.query() : sql ? driver.query() : driver.request();
      };
      bool run_driver = mode != "curl", run_curl = mode != "driver";
      // Warm both paths (first TLS-free connect, lazy tables, page faults) before timing.
      if (!driver.ok() || (odbc && !application.ok()) ||
          (run_driver && timed(10, driver_request) < 0) ||
          (run_curl && timed(10, [&] { return curl_request(url); }) < 0)) {
        std::fprintf(stderr, "warm-up request failed\n");
        rc = 1;
      }
      double driver_seconds = 0, curl_seconds = 0;
      int block = requests / kRounds, done = 0;
      for (int round = 0; rc == 0 && done < requests; ++round) {
        int count = round == kRounds - 1 || block == 0 ? requests - done : block;
        double d = run_driver ? timed(count, driver_request) : 0;
        double c = run_curl ? timed(count, [&] { return curl_request(url); }) : 0;
        if (d < 0 || c < 0) {
          std::fprintf(stderr, "a %s request failed\n", d < 0 ? "driver" : "libcurl");
          rc = 1;
        }
        driver_seconds += d;
        curl_seconds += c;
        done += count;
      }
      if (rc == 0) {
        if (run_driver)
          std::printf("driver  %s: %d in %.3f s, %.0f requests/s\n",
                      odbc  ? "SELECT through ODBC"
                      : sql ? "SELECT result FROM blockNumber"
                            : "blockNumber scans",
                      requests, driver_seconds, requests / driver_seconds);
        if (run_curl)
          std::printf("libcurl POSTs:             %d in %.3f s, %.0f requests/s\n", requests,
                      curl_seconds, requests / curl_seconds);
        if (run_driver && run_curl)
          std::printf("driver overhead over libcurl: %+.1f%%\n",
                      (driver_seconds / curl_seconds - 1) * 100);
      }
    }
    curl_global_cleanup();
  }
  (void)std::system(("bash " + kServers + "anvil.sh stop " + dir).c_str());
  (void)std::system(("rm -rf " + dir).c_str());
  return rc;
}
