// Asynchronous execution through the Driver Manager against a node that answers
// slowly (a scripted JSON-RPC server in this process): polling returns
// SQL_STILL_EXECUTING while the scan waits, SQLCancel stops the execution, and
// freeing the statement ends its worker.
#include <arpa/inet.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace {

// Answers every JSON-RPC request with "0x2a" after `delay`; counts requests.
class SlowNode {
 public:
  explicit SlowNode(std::chrono::milliseconds delay) : delay_(delay) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener_, 8) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      return;
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~SlowNode() {
    stop_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    ::close(listener_);
    if (thread_.joinable()) thread_.join();
  }
  int port() const { return port_; }
  int requests() const { return requests_; }

 private:
  void serve() {
    while (!stop_) {
      int client = ::accept(listener_, nullptr, nullptr);
      if (client < 0) return;
      std::thread([this, client] { answer(client); }).detach();
    }
  }
  void answer(int client) {
    std::string request;
    char buffer[4096];
    for (;;) {
      size_t header_end = request.find("\r\n\r\n");
      if (header_end != std::string::npos) {
        size_t at = request.find("Content-Length:");
        if (at == std::string::npos) at = request.find("content-length:");
        size_t body = at == std::string::npos ? 0 : std::stoul(request.substr(at + 15));
        if (request.size() >= header_end + 4 + body) {
          ++requests_;
          std::string id = "1";
          size_t id_at = request.find("\"id\":", header_end);
          if (id_at != std::string::npos) {
            size_t start = id_at + 5, end = request.find_first_of(",}", start);
            id = request.substr(start, end - start);
          }
          std::this_thread::sleep_for(delay_);
          std::string reply = "{\"jsonrpc\":\"2.0\",\"id\":" + id + ",\"result\":\"0x2a\"}";
          std::string response =
              "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
              "Content-Length: " +
              std::to_string(reply.size()) + "\r\n\r\n" + reply;
          if (::send(client, response.data(), response.size(), MSG_NOSIGNAL) < 0) break;
          request.erase(0, header_end + 4 + body);
          continue;
        }
      }
      ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      request.append(buffer, static_cast<size_t>(n));
    }
    ::close(client);
  }
  std::chrono::milliseconds delay_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> requests_{0};
  std::thread thread_;
};

std::string state_of(SQLHSTMT stmt) {
  SQLCHAR state[6] = {0};
  SQLCHAR message[512];
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, state, &native, message, sizeof message, &length);
  return reinterpret_cast<char*>(state);
}

struct AsyncExecution : ::testing::Test {
  SlowNode node{std::chrono::milliseconds(700)};
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  void SetUp() override {
    ASSERT_GT(node.port(), 0);
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc));
    // Asynchronous execution is a connection attribute here; new statements take it over.
    ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_ASYNC_ENABLE,
                                             reinterpret_cast<SQLPOINTER>(SQL_ASYNC_ENABLE_ON), 0));
    std::string text =
        "DRIVER={Quillmoor Ethereum ODBC Driver};connect_probe=no;URI=http://127.0.0.1:" +
        std::to_string(node.port());
    ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)text.c_str(), SQL_NTS,
                                               nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
  }
  void TearDown() override {
    if (stmt) SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
  // Polls `call` until it stops returning SQL_STILL_EXECUTING; counts the polls.
  template <typename Call>
  SQLRETURN poll(Call call, int* polls) {
    SQLRETURN rc;
    while ((rc = call()) == SQL_STILL_EXECUTING) ++*polls;
    return rc;
  }
};

const char kQuery[] = "SELECT result FROM blockNumber";

TEST_F(AsyncExecution, PollingReportsStillExecutingUntilTheRowArrives) {
  int polls = 0;
  SQLRETURN rc = poll([&] { return SQLExecDirect(stmt, (SQLCHAR*)kQuery, SQL_NTS); }, &polls);
  ASSERT_EQ(SQL_SUCCESS, rc) << state_of(stmt);
  rc = poll([&] { return SQLFetch(stmt); }, &polls);
  ASSERT_EQ(SQL_SUCCESS, rc) << state_of(stmt);
  // The node takes 700 ms per answer and each poll waits at most 100 ms.
  EXPECT_GE(polls, 3);
  char value[32] = {0};
  SQLLEN length = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 1, SQL_C_CHAR, value, sizeof value, &length));
  EXPECT_STREQ("0x2a", value);
}

TEST_F(AsyncExecution, OtherFunctionsAreRefusedWhileExecuting) {
  ASSERT_EQ(SQL_STILL_EXECUTING, SQLExecDirect(stmt, (SQLCHAR*)kQuery, SQL_NTS));
  SQLSMALLINT columns = 0;
  EXPECT_EQ(SQL_ERROR, SQLNumResultCols(stmt, &columns));
  int polls = 0;
  EXPECT_TRUE(
      SQL_SUCCEEDED(poll([&] { return SQLExecDirect(stmt, (SQLCHAR*)kQuery, SQL_NTS); }, &polls)));
}

TEST_F(AsyncExecution, CancelStopsTheExecution) {
  ASSERT_EQ(SQL_STILL_EXECUTING, SQLExecDirect(stmt, (SQLCHAR*)kQuery, SQL_NTS));
  int polls = 0;
  SQLRETURN rc = poll([&] { return SQLExecDirect(stmt, (SQLCHAR*)kQuery, SQL_NTS); }, &polls);
  ASSERT_EQ(SQL_SUCCESS, rc);
  ASSERT_EQ(SQL_STILL_EXECUTING, SQLFetch(stmt));
  EXPECT_EQ(SQL_SUCCESS, SQLCancel(stmt));
  rc = poll([&] { return SQLFetch(stmt); }, &polls);
  // The scan sees the cancellation at its next row: either the row was already read, or the
  // fetch ends with HY008.
  if (rc == SQL_ERROR) {
    EXPECT_EQ("HY008", state_of(stmt));
  } else {
    EXPECT_EQ(SQL_SUCCESS, rc);
  }
}

// Threads of this process.
int thread_count() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(dir))
      if (entry->d_name[0] != '.') ++count;
    closedir(dir);
  }
  return count;
}

TEST_F(AsyncExecution, FreeingTheStatementEndsItsWorker) {
  int before = thread_count();
  int polls = 0;
  ASSERT_EQ(SQL_SUCCESS,
            poll([&] { return SQLExecDirect(stmt, (SQLCHAR*)kQuery, SQL_NTS); }, &polls));
  int with_worker = thread_count();
  EXPECT_GE(with_worker, before + 1);
  EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, stmt));
  stmt = SQL_NULL_HSTMT;
  // The scripted node's answering threads end on their own; give them a moment.
  for (int i = 0; i < 50 && thread_count() >= with_worker; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_LT(thread_count(), with_worker);
}

}  // namespace
