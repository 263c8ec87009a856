// Time to read one long text value through the driver, by its size: a loopback server answers
// `SELECT result FROM getCode ...` with a string of 1 to 64 MB, and the value is read through
// the ODBC API (linked in, no Driver Manager) with SQLGetData in pieces of 64 KB, as SQL_C_CHAR
// and as SQL_C_WCHAR. The baseline is the floor under any client: the same reply taken off a
// plain socket and parsed with Jansson. Reading stays linear when the seconds per MB stay flat
// as the value grows.
//
//   quill_long_bench [megabytes...]   (default 1 4 16 64)
#include <jansson.h>
#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/eth/script_server.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string reply_of(size_t bytes) {
  std::string text(bytes, 'a');
  for (size_t i = 0; i < bytes; ++i) text[i] = "0123456789abcdef"[(i * 7 + i / 4093) % 16];
  std::string body = "{\"jsonrpc\":\"2.0\",\"id\":1,\"result\":\"" + text + "\"}";
  return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

// The baseline: one POST on a plain socket, the reply read to the close and parsed. Bytes of
// the result string, or 0 on failure.
size_t fetch_plain(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    if (fd >= 0) ::close(fd);
    return 0;
  }
  const std::string request = "POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 2\r\n\r\n{}";
  send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string data;
  std::vector<char> buffer(1 << 16);
  for (ssize_t got; (got = recv(fd, buffer.data(), buffer.size(), 0)) > 0;)
    data.append(buffer.data(), static_cast<size_t>(got));
  ::close(fd);
  size_t start = data.find("\r\n\r\n");
  if (start == std::string::npos) return 0;
  json_error_t error;
  json_t* reply = json_loadb(data.data() + start + 4, data.size() - start - 4, 0, &error);
  size_t length = json_string_length(json_object_get(reply, "result"));
  json_decref(reply);
  return length;
}

// The driver: connect, execute, fetch and read the value in pieces as `c_type`. Bytes (or
// wide characters) of the value read, 0 on failure.
size_t fetch_driver(int port, SQLSMALLINT c_type) {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  std::string connection = "URI=http://127.0.0.1:" + std::to_string(port);
  size_t total = 0;
  if (SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)connection.c_str(), SQL_NTS, nullptr,
                                     0, nullptr, SQL_DRIVER_NOPROMPT))) {
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    const char* sql = "SELECT result FROM getCode WHERE address = '0x1' AND blockNumber = 'latest'";
    std::vector<char> piece((64 << 10) + 4);
    const size_t unit = c_type == SQL_C_WCHAR ? sizeof(SQLWCHAR) : 1;
    if (SQL_SUCCEEDED(SQLExecDirect(stmt, (SQLCHAR*)sql, SQL_NTS)) &&
        SQL_SUCCEEDED(SQLFetch(stmt))) {
      for (;;) {
        SQLLEN indicator = 0;
        SQLRETURN rc = SQLGetData(stmt, 1, c_type, piece.data(), static_cast<SQLLEN>(piece.size()),
                                  &indicator);
        if (!SQL_SUCCEEDED(rc) || indicator == SQL_NULL_DATA) break;
        // A cut piece fills the buffer but its terminator; the last one is the indicator.
        size_t got = rc == SQL_SUCCESS_WITH_INFO ? piece.size() / unit - 1
                                                 : static_cast<size_t>(indicator) / unit;
        total += got;
        if (rc == SQL_SUCCESS) break;
      }
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    SQLDisconnect(dbc);
  }
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<size_t> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::strtoul(argv[i], nullptr, 10));
  if (sizes.empty()) sizes = {1, 4, 16, 64};
  {
    // The first connection of the process pays for one-time set-up; keep it out of the figures.
    ScriptServer warm_up({plain_reply(reply_of(1 << 20))}, 1);
    fetch_driver(warm_up.port(), SQL_C_CHAR);
  }
  std::printf("%8s %14s %14s %14s   (seconds per MB; value read in 64 KB pieces)\n", "MB",
              "plain+jansson", "driver CHAR", "driver WCHAR");
  for (size_t megabytes : sizes) {
    const size_t bytes = megabytes << 20;
    ScriptServer server({plain_reply(reply_of(bytes))}, 3);
    if (!server.ok()) return 1;
    Clock::time_point start = Clock::now();
    bool right = fetch_plain(server.port()) == bytes;
    double plain = seconds_since(start);
    start = Clock::now();
    right = fetch_driver(server.port(), SQL_C_CHAR) == bytes && right;
    double narrow = seconds_since(start);
    start = Clock::now();
    right = fetch_driver(server.port(), SQL_C_WCHAR) == bytes && right;
    double wide = seconds_since(start);
    std::printf("%8zu %14.4f %14.4f %14.4f%s\n", megabytes, plain / megabytes, narrow / megabytes,
                wide / megabytes, right ? "" : "   (value read wrongly)");
  }
  return 0;
}
