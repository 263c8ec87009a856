// The Ethereum backend against hostile or broken peers, through the ODBC API: a node that
// never answers, answers late or one byte at a time, rate-limits for longer than the query may
// wait, cannot be connected to, answers in HTTP/1.0 without a length, or sends replies built to
// exhaust memory. Each ends with a correct result or a clear diagnostic, within the configured
// time-outs plus a margin measured here; the memory cases run in a fresh child process whose
// peak resident size (VmHWM) is checked against the bound the README documents.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/wait.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tests/eth/script_server.h"

extern char** environ;

namespace {

constexpr double kMarginSeconds = 3;  // what a wait may take beyond its configured time-out

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;  // resident sizes under a sanitizer say nothing of ours
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

std::string http_reply(const std::string& status, const std::string& body,
                       const std::string& extra = "") {
  return "HTTP/1.1 " + status + "\r\nContent-Type: application/json\r\n" + extra +
         "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}
std::string result_body(const std::string& result) {
  return "{\"jsonrpc\":\"2.0\",\"id\":1,\"result\":" + result + "}";
}
std::string result_reply(const std::string& result) {
  return http_reply("200 OK", result_body(result));
}

uint64_t fnv1a(const char* bytes, size_t count, uint64_t hash = 14695981039346656037u) {
  for (size_t i = 0; i < count; ++i)
    hash = (hash ^ static_cast<unsigned char>(bytes[i])) * 1099511628211u;
  return hash;
}

// The time-outs a query runs under (seconds, 0 none).
struct Timeouts {
  int query = 0;       // SQL_ATTR_QUERY_TIMEOUT
  int connection = 0;  // SQL_ATTR_CONNECTION_TIMEOUT
  int login = 0;       // SQL_ATTR_LOGIN_TIMEOUT
};

// What one query gave.
struct Outcome {
  bool ok = false;               // executed, and every row and value read
  std::string state, message;    // the first diagnostic
  size_t rows = 0;               // rows fetched
  size_t length = 0;             // bytes of the first column over all rows, read in pieces
  uint64_t hash = fnv1a("", 0);  // FNV-1a of those bytes
  bool told_remaining = true;    // each piece's length indicator gave what remained of the value
  double seconds = 0;            // wall time of execute, fetch and reading
};

void take_diagnostic(SQLSMALLINT type, SQLHANDLE handle, Outcome* out) {
  SQLCHAR state[6] = {0}, message[1024] = {0};
  SQLINTEGER native = 0;
  if (SQL_SUCCEEDED(
          SQLGetDiagRec(type, handle, 1, state, &native, message, sizeof message, nullptr))) {
    out->state = reinterpret_cast<char*>(state);
    out->message = reinterpret_cast<char*>(message);
  }
}

// Reads column 1 of the current row as `c_type` in pieces of about 64 KB into `out`.
SQLRETURN read_value(SQLHSTMT stmt, SQLSMALLINT c_type, Outcome* out) {
  const size_t unit = c_type == SQL_C_WCHAR ? sizeof(SQLWCHAR) : 1;
  std::vector<char> piece((64 << 10) + 2 * unit, '\0');
  SQLLEN total = -1;
  for (size_t read = 0;;) {
    SQLLEN indicator = 0;
    SQLRETURN rc =
        SQLGetData(stmt, 1, c_type, piece.data(), static_cast<SQLLEN>(piece.size()), &indicator);
    if (rc == SQL_NO_DATA || !SQL_SUCCEEDED(rc) || indicator == SQL_NULL_DATA) return rc;
    if (total < 0) total = indicator;
    out->told_remaining &= indicator == total - static_cast<SQLLEN>(read);
    size_t got = 0;  // up to the terminator: a piece never splits a character
    while (got + unit <= piece.size() && piece[got] + (unit == 2 ? piece[got + 1] : 0) != 0)
      got += unit;
    out->hash = fnv1a(piece.data(), got, out->hash);
    out->length += got;
    read += got;
    if (rc == SQL_SUCCESS) return rc;
  }
}

// Connects with `connection` under `limits`, runs `sql` and reads the first column of every
// row in pieces through SQLGetData.
Outcome run_query(const std::string& connection, const std::string& sql, const Timeouts& limits,
                  SQLSMALLINT c_type = SQL_C_CHAR) {
  Outcome out;
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(limits.login), 0);
  if (SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)connection.c_str(), SQL_NTS, nullptr,
                                     0, nullptr, SQL_DRIVER_NOPROMPT))) {
    SQLSetConnectAttr(dbc, SQL_ATTR_CONNECTION_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(limits.connection), 0);
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(limits.query), 0);
    auto start = std::chrono::steady_clock::now();
    SQLRETURN rc = SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS);
    while (SQL_SUCCEEDED(rc) && SQL_SUCCEEDED(rc = SQLFetch(stmt)) &&
           (++out.rows, rc = read_value(stmt, c_type, &out)) != SQL_ERROR) {
    }
    out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    out.ok = rc == SQL_NO_DATA;
    if (!out.ok) take_diagnostic(SQL_HANDLE_STMT, stmt, &out);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    SQLDisconnect(dbc);
  } else {
    take_diagnostic(SQL_HANDLE_DBC, dbc, &out);
  }
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  return out;
}

const char* const kBlockNumber = "SELECT result FROM blockNumber";
const char* const kCode =
    "SELECT result FROM getCode WHERE address = '0x1' AND blockNumber = 'latest'";  // LONG

// ---------------------------------------------------------------------------------------------
// Time: every wait ends with its limit's diagnostic, within the time-out plus the margin.

TEST(EthHostileTime, EachLimitEndsItsWait) {
  const std::string answer = result_reply("\"0x10\"");
  const std::string too_many = http_reply("429 Too Many Requests", "", "Retry-After: 5\r\n");
  const ScriptReply silent = silent_reply();
  const struct {
    const char* name;
    ScriptReply reply;
    Timeouts limits;
    const char* keys;     // further connection keys
    const char* state;    // expected SQLSTATE
    const char* message;  // expected part of the message
    double limit;         // the configured time-out that should end the query
  } cases[] = {
      {"silent, query time-out", silent, {2, 0, 0}, "", "HYT00", "Timeout expired", 2},
      {"late reply, query time-out",
       plain_reply(answer, 10000),
       {2, 0, 0},
       "",
       "HYT00",
       "Timeout expired",
       2},
      {"silent, connection time-out",
       silent,
       {0, 2, 0},
       "",
       "HYT01",
       "Connection timeout expired: no complete reply from 127.0.0.1:",
       2},
      // One byte every 2 s: each receive is quick, the exchange as a whole is not.
      {"slow drip, network_timeout",
       plain_reply(answer, 0, 2000),
       {0, 0, 0},
       ";network_timeout=3",
       "HYT01",
       "network_timeout",
       3},
      {"slow drip, query time-out",
       plain_reply(answer, 0, 2000),
       {3, 0, 0},
       "",
       "HYT00",
       "Timeout expired",
       3},
      // Waiting 5 s would pass the 3 s the query has: the rate limit is reported at once.
      {"long 429, query time-out",
       plain_reply(too_many),
       {3, 0, 0},
       "",
       "HY000",
       "return code 429",
       0},
      {"long 429, query_timeout key",
       plain_reply(too_many),
       {0, 0, 0},
       ";query_timeout=3",
       "HY000",
       "return code 429",
       0},
  };
  for (const auto& c : cases) {
    ScriptServer server({c.reply});
    ASSERT_TRUE(server.ok());
    Outcome out =
        run_query("URI=" + server.uri() + ";connect_probe=no" + c.keys, kBlockNumber, c.limits);
    EXPECT_FALSE(out.ok) << c.name;
    EXPECT_EQ(c.state, out.state) << c.name << ": " << out.message;
    EXPECT_NE(std::string::npos, out.message.find(c.message)) << c.name << ": " << out.message;
    EXPECT_LT(out.seconds, c.limit + kMarginSeconds) << c.name;
    std::printf("[ time     ] %s: %.2f s\n", c.name, out.seconds);
  }
}

TEST(EthHostileTime, LoginTimeOutBoundsEveryStepOfConnecting) {
  ScriptServer tls_peer({silent_reply()});  // never answers the TLS handshake
  ScriptServer proxy({silent_reply()});     // never answers the CONNECT
  StalledListener stalled;                  // never completes the TCP handshake
  ASSERT_TRUE(tls_peer.ok() && proxy.ok() && stalled.ok());
  const std::string tls_endpoint = "127.0.0.1:" + std::to_string(tls_peer.port());
  const std::string stalled_endpoint = "127.0.0.1:" + std::to_string(stalled.port());
  const struct {
    const char* name;
    std::string connection;
    std::string peer;  // what the message names
  } cases[] = {
      {"TLS handshake", "URI=https://" + tls_endpoint, tls_endpoint},
      {"proxy CONNECT", "URI=http://node.invalid:8545;PROXY=" + proxy.uri(),
       "node.invalid:8545 through the proxy 127.0.0.1:" + std::to_string(proxy.port())},
      {"TCP connect", "URI=http://" + stalled_endpoint, stalled_endpoint},
  };
  for (const auto& c : cases) {
    Outcome out = run_query(c.connection + ";connect_probe=no", kBlockNumber, {0, 0, 2});
    EXPECT_EQ("08001", out.state) << c.name << ": " << out.message;
    EXPECT_NE(std::string::npos, out.message.find("Unable to connect to " + c.peer +
                                                  " within the login time-out of 2 seconds"))
        << c.name << ": " << out.message;
    EXPECT_LT(out.seconds, 2 + kMarginSeconds) << c.name;
    std::printf("[ time     ] login, %s: %.2f s\n", c.name, out.seconds);
  }
}

TEST(EthHostileReplies, BodiesToTheCloseAndLongTextInPieces) {
  // 100,000 times "a", "ñ", "€" and a character outside the BMP: 1 MB of UTF-8 and 500,000
  // UTF-16 units, read in pieces that may not split a surrogate pair.
  std::string text;
  std::u16string wide;
  for (int i = 0; i < 100000; ++i) {
    text += "a\xC3\xB1\xE2\x82\xAC\xF0\x9D\x84\x9E";
    wide += u"a\u00F1\u20AC\U0001D11E";
  }
  const struct {
    const char* name;
    std::string reply;
    const char* sql;
    SQLSMALLINT c_type;
    std::string expected;  // the bytes read
  } cases[] = {
      // No Content-Length and no chunking: the close of the connection ends the body.
      {"HTTP/1.0 body up to the close",
       "HTTP/1.0 200 OK\r\nContent-Type: application/json\r\n\r\n" + result_body("\"0x2a\""),
       kBlockNumber, SQL_C_CHAR, "0x2a"},
      {"long text as UTF-8", result_reply("\"" + text + "\""), kCode, SQL_C_CHAR, text},
      {"long text as UTF-16", result_reply("\"" + text + "\""), kCode, SQL_C_WCHAR,
       std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2)},
  };
  for (const auto& c : cases) {
    ScriptServer server({plain_reply(c.reply)});
    Outcome out = run_query("URI=" + server.uri() + ";connect_probe=no", c.sql, {}, c.c_type);
    EXPECT_TRUE(out.ok) << c.name << ": " << out.state << " " << out.message;
    EXPECT_EQ(1u, out.rows) << c.name;
    EXPECT_EQ(c.expected.size(), out.length) << c.name;
    EXPECT_EQ(fnv1a(c.expected.data(), c.expected.size()), out.hash) << c.name;
    EXPECT_TRUE(out.told_remaining) << c.name;
  }
}

// ---------------------------------------------------------------------------------------------
// Memory: replies built to exhaust it, each read in a fresh child process.

// A gzip member of `repeat` copies of `unit` between `head` and `tail`, deflated as it is made.
std::string gzip_of_repeats(const std::string& head, const std::string& unit, size_t repeat,
                            const std::string& tail) {
  z_stream stream{};
  deflateInit2(&stream, 9, Z_DEFLATED, 16 + MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
  std::string out, block;
  for (size_t i = 0; i < 4096; ++i) block += unit;
  auto feed = [&](const std::string& data, int flush) {
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    char buffer[1 << 16];
    do {
      stream.next_out = reinterpret_cast<Bytef*>(buffer);
      stream.avail_out = sizeof buffer;
      deflate(&stream, flush);
      out.append(buffer, sizeof buffer - stream.avail_out);
    } while (stream.avail_out == 0);
  };
  feed(head, Z_NO_FLUSH);
  for (size_t done = 0; done < repeat; done += 4096) feed(block, Z_NO_FLUSH);
  feed(tail, Z_FINISH);
  deflateEnd(&stream);
  return out;
}

// The peak resident size of this process in kB (VmHWM), 0 when unknown.
long peak_kilobytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

// The child: runs the query the parent describes in the environment and writes the outcome.
TEST(EthHostileChild, RunsTheQueryItIsGiven) {
  const char* report = std::getenv("QUILL_HOSTILE_REPORT");
  if (!report) GTEST_SKIP() << "runs only in the child of EthHostileMemory";
  Outcome out = run_query(std::getenv("QUILL_HOSTILE_CONNECTION"), kCode, {});
  std::ofstream(report) << out.ok << " " << out.length << " " << out.hash << " " << peak_kilobytes()
                        << "\n"
                        << out.message << "\n";
}

// Runs `kCode` on `connection` in a fresh process of this test program, so that nothing read
// before counts in its peak, waiting at most `seconds`. False when it did not finish cleanly.
bool run_in_child(const std::string& connection, int seconds, Outcome* out, long* peak_kb) {
  char path[] = "/tmp/quill_hostile_XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) return false;
  ::close(fd);
  std::vector<std::string> settings = {"QUILL_HOSTILE_CONNECTION=" + connection,
                                       std::string("QUILL_HOSTILE_REPORT=") + path};
  std::vector<char*> env;
  for (std::string& setting : settings) env.push_back(setting.data());
  for (char** entry = environ; *entry; ++entry) env.push_back(*entry);
  env.push_back(nullptr);
  std::string self = "/proc/self/exe", filter = "--gtest_filter=EthHostileChild.*";
  char* argv[] = {self.data(), filter.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  int status = -1;
  if (posix_spawn(&child, self.c_str(), &actions, nullptr, argv, env.data()) == 0) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (waitpid(child, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) kill(child, SIGKILL);
      usleep(20000);
    }
  }
  posix_spawn_file_actions_destroy(&actions);
  std::ifstream file(path);
  std::string rest_of_line;
  bool read = status == 0 && (file >> out->ok >> out->length >> out->hash >> *peak_kb) &&
              std::getline(file, rest_of_line) && std::getline(file, out->message);
  unlink(path);
  return read;
}

TEST(EthHostileMemory, RepliesBuiltToExhaustMemoryStayBounded) {
  // 200 MB of "1," inflated from about 200 KB: under the body limit, refused by the memory its
  // values would take.
  const std::string bomb =
      gzip_of_repeats("{\"jsonrpc\":\"2.0\",\"id\":1,\"result\":[", "1,", 100u << 20, "1]}");
  std::string numbers = "[";
  for (int i = 0; i < 20000000; ++i) numbers += "1,";
  numbers.back() = ']';
  std::string text(64u << 20, '0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = "0123456789abcdef"[(i * 7 + i / 4093) % 16];
  const struct {
    const char* name;
    std::string reply;
    const char* message;  // expected part of the diagnostic ("" when the query must succeed)
    long bound_mb;        // documented bound on the child's peak resident size
  } cases[] = {
      {"gzip expanding 1,000 times", http_reply("200 OK", bomb, "Content-Encoding: gzip\r\n"),
       "would take about", 320},
      {"20 million numbers", result_reply(numbers), "would take about", 160},
      {"64 MB string", result_reply("\"" + text + "\""), "", 320},
  };
  for (const auto& c : cases) {
    ScriptServer server({plain_reply(c.reply)});
    ASSERT_TRUE(server.ok());
    Outcome out;
    long peak_kb = 0;
    ASSERT_TRUE(run_in_child("URI=" + server.uri() + ";connect_probe=no", 300, &out, &peak_kb))
        << c.name;
    if (*c.message) {
      EXPECT_FALSE(out.ok) << c.name;
      EXPECT_NE(std::string::npos, out.message.find(c.message)) << c.name << ": " << out.message;
    } else {
      EXPECT_TRUE(out.ok) << c.name << ": " << out.message;
      EXPECT_EQ(text.size(), out.length) << c.name;
      EXPECT_EQ(fnv1a(text.data(), text.size()), out.hash) << c.name;
    }
    std::printf("[ memory   ] %s: peak %ld MB\n", c.name, peak_kb >> 10);
    if (!kSanitized) {
      EXPECT_LT(peak_kb >> 10, c.bound_mb) << c.name;
    }
  }
}

}  // namespace
