// Call-layer behaviour that needs records posted from inside the driver:
// SQLError order and per-handle countdown, wide diagnostics with non-ASCII
// text, asynchronous statements, handles used by several threads (freeing,
// cancelling, settings, shared pools) and the trace lines.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/handles.h"
#include "driver/odbc/handles/states.h"
#include "support/log.h"

namespace {

struct Connection : ::testing::Test {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  void SetUp() override {
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandleStd(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc));
  }
  void TearDown() override {
    EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_DBC, dbc));
    EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_ENV, env));
  }
  SQLHSTMT statement_with(std::initializer_list<std::pair<const char*, const char*>> records) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
    ErrorHeader* header = static_cast<QuillStmt*>(stmt)->errors;
    SetReturnCode(header, -1);
    for (auto [state, text] : records)
      PostError(header, DIAG_LEVEL_CALL, 0, 0, 7, 0, "ISO 9075", state, "%s", text);
    return stmt;
  }
};

struct ErrorRead {
  SQLRETURN rc;
  std::string state;
  std::string message;
};

ErrorRead read_error(SQLHSTMT stmt) {
  SQLCHAR state[6] = {0};
  SQLCHAR message[128] = {0};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  SQLRETURN rc = SQLError(SQL_NULL_HENV, SQL_NULL_HDBC, stmt, state, &native, message,
                          sizeof message, &length);
  return {rc, reinterpret_cast<char*>(state), reinterpret_cast<char*>(message)};
}

TEST_F(Connection, SqlErrorReturnsRecordsLastFirst) {
  SQLHSTMT stmt = statement_with({{"HY010", "first"}, {"42000", "second"}, {"01004", "third"}});
  const ErrorRead expected[] = {
      {SQL_SUCCESS, "01004", "third"},
      {SQL_SUCCESS, "37000", "second"},
      {SQL_SUCCESS, "S1010", "first"},
      {SQL_NO_DATA, "00000", ""},
  };
  for (const auto& e : expected) {
    ErrorRead got = read_error(stmt);
    EXPECT_EQ(e.rc, got.rc);
    EXPECT_EQ(e.state, got.state);
    EXPECT_EQ(e.message, got.message);
  }
  // After the end the countdown starts again from the newest record.
  EXPECT_EQ("third", read_error(stmt).message);
  EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, stmt));
}

TEST_F(Connection, SqlErrorCountdownBelongsToEachHandle) {
  SQLHSTMT a = statement_with({{"HY000", "a1"}, {"HY000", "a2"}});
  SQLHSTMT b = statement_with({{"HY000", "b1"}, {"HY000", "b2"}});
  EXPECT_EQ("a2", read_error(a).message);
  EXPECT_EQ("b2", read_error(b).message);
  EXPECT_EQ("a1", read_error(a).message);
  EXPECT_EQ("b1", read_error(b).message);
  EXPECT_EQ(SQL_NO_DATA, read_error(a).rc);
  EXPECT_EQ(SQL_NO_DATA, read_error(b).rc);
  SQLFreeHandle(SQL_HANDLE_STMT, a);
  SQLFreeHandle(SQL_HANDLE_STMT, b);
}

TEST_F(Connection, SqlErrorMapsOdbc3StatesToOdbc2) {
  const std::pair<const char*, const char*> cases[] = {
      {"HY092", "S1009"}, {"07009", "S1002"}, {"HY010", "S1010"},
      {"42S02", "S0002"}, {"HYC00", "S1C00"}, {"42S01", "S0001"},
      {"07008", "S1000"}, {"22003", "22003"}, {"42000", "37000"},
  };
  for (auto [odbc3, odbc2] : cases) {
    SQLHSTMT stmt = statement_with({{odbc3, "x"}});
    EXPECT_EQ(odbc2, read_error(stmt).state) << odbc3;
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  }
}

// "Nœud: 𝄞 ünïcode" — two-, three- and four-byte characters.
const char kUtf8Message[] =
    "N\xC5\x93ud: \xF0\x9D\x84\x9E \xC3\xBCn\xC3\xAF"
    "code";
const std::u16string kUtf16Message = u"N\u0153ud: \U0001D11E \u00FCn\u00EFcode";

TEST_F(Connection, WideDiagnosticsKeepNonAsciiText) {
  SQLHSTMT stmt = statement_with({{"HY000", kUtf8Message}});
  SQLWCHAR state[6] = {0};
  SQLWCHAR message[64] = {0};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  ASSERT_EQ(SQL_SUCCESS,
            SQLGetDiagRecW(SQL_HANDLE_STMT, stmt, 1, state, &native, message, 64, &length));
  EXPECT_EQ(u"HY000", std::u16string(reinterpret_cast<char16_t*>(state)));
  EXPECT_EQ(kUtf16Message, std::u16string(reinterpret_cast<char16_t*>(message)));
  EXPECT_EQ(static_cast<SQLSMALLINT>(kUtf16Message.size()), length);  // characters
  EXPECT_EQ(7, native);

  SQLWCHAR field[64] = {0};
  ASSERT_EQ(SQL_SUCCESS, SQLGetDiagFieldW(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_MESSAGE_TEXT, field,
                                          sizeof field, &length));
  EXPECT_EQ(kUtf16Message, std::u16string(reinterpret_cast<char16_t*>(field)));
  EXPECT_EQ(static_cast<SQLSMALLINT>(kUtf16Message.size() * 2), length);  // bytes

  // A buffer that ends inside the surrogate pair: cut before the pair, flagged as truncated.
  SQLWCHAR small[8];
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO,
            SQLGetDiagRecW(SQL_HANDLE_STMT, stmt, 1, nullptr, nullptr, small, 8, &length));
  EXPECT_EQ(u"N\u0153ud: ", std::u16string(reinterpret_cast<char16_t*>(small)));
  EXPECT_EQ(static_cast<SQLSMALLINT>(kUtf16Message.size()), length);
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO,
            SQLGetDiagFieldW(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_MESSAGE_TEXT, small, 8, &length));
  EXPECT_EQ(u"N\u0153u", std::u16string(reinterpret_cast<char16_t*>(small)));

  // Non-text fields pass through untouched.
  SQLINTEGER number = 0;
  EXPECT_EQ(SQL_SUCCESS,
            SQLGetDiagFieldW(SQL_HANDLE_STMT, stmt, 0, SQL_DIAG_NUMBER, &number, 0, nullptr));
  EXPECT_EQ(1, number);
  SQLWCHAR origin[32] = {0};
  ASSERT_EQ(SQL_SUCCESS, SQLGetDiagFieldW(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_CLASS_ORIGIN, origin,
                                          sizeof origin, &length));
  EXPECT_EQ(u"ISO 9075", std::u16string(reinterpret_cast<char16_t*>(origin)));
  EXPECT_EQ(16, length);
  EXPECT_EQ(SQL_NO_DATA,
            SQLGetDiagRecW(SQL_HANDLE_STMT, stmt, 2, state, &native, message, 64, &length));
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
}

TEST_F(Connection, AsynchronousStatementHidesItsDiagnostics) {
  SQLHSTMT stmt = statement_with({{"HY000", "pending"}});
  auto* record = static_cast<QuillStmt*>(stmt);
  record->async_function = SQL_API_SQLEXECDIRECT;  // a call runs on the worker
  SQLCHAR state[6];
  EXPECT_EQ(SQL_NO_DATA,
            SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, state, nullptr, nullptr, 0, nullptr));
  SQLRETURN code = 0;
  EXPECT_EQ(SQL_SUCCESS,
            SQLGetDiagField(SQL_HANDLE_STMT, stmt, 0, SQL_DIAG_RETURNCODE, &code, 0, nullptr));
  EXPECT_EQ(SQL_STILL_EXECUTING, code);
  SQLINTEGER number = -1;
  EXPECT_EQ(SQL_SUCCESS,
            SQLGetDiagField(SQL_HANDLE_STMT, stmt, 0, SQL_DIAG_NUMBER, &number, 0, nullptr));
  EXPECT_EQ(0, number);
  record->async_function = 0;
  EXPECT_EQ(SQL_SUCCESS,
            SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, state, nullptr, nullptr, 0, nullptr));
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
}

// Holds a handle's gate on a thread of its own, as a call running there would, until
// released.
class BusyCall {
 public:
  BusyCall(SQLSMALLINT type, SQLHANDLE handle)
      : thread_([this, type, handle] {
          HandleCall call(type, handle);
          entered_ = true;
          while (!released_) std::this_thread::yield();
        }) {
    while (!entered_) std::this_thread::yield();
  }
  ~BusyCall() { release(); }
  void release() {
    released_ = true;
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::atomic<bool> entered_{false};   // the gate is held
  std::atomic<bool> released_{false};  // the holder may leave
  std::thread thread_;
};

// Waits until `count` threads use the statement (inside or waiting at its gate).
void wait_for_users(SQLHSTMT stmt, int count) {
  while (static_cast<QuillStmt*>(stmt)->gate->users.load() < count) std::this_thread::yield();
}

std::string first_state(SQLSMALLINT type, SQLHANDLE handle) {
  SQLCHAR state[6] = {0};
  SQLGetDiagRec(type, handle, 1, state, nullptr, nullptr, 0, nullptr);
  return reinterpret_cast<char*>(state);
}

TEST_F(Connection, EnvironmentWithAConnectionIsNotFreed) {
  EXPECT_EQ(SQL_ERROR, SQLFreeHandle(SQL_HANDLE_ENV, env));
  EXPECT_EQ("HY010", first_state(SQL_HANDLE_ENV, env));
  // Nothing was freed: the connection still makes statements.
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
  EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, stmt));
}

TEST_F(Connection, StatementInUseIsFreedOnlyAfterwards) {
  SQLHSTMT stmt = statement_with({});
  BusyCall busy(SQL_HANDLE_STMT, stmt);
  // The connection of a statement in use by another thread is kept, at once.
  EXPECT_EQ(SQL_ERROR, SQLFreeHandle(SQL_HANDLE_DBC, dbc));
  EXPECT_EQ("HY010", first_state(SQL_HANDLE_DBC, dbc));
  // Freeing the statement waits for the other thread's call, then refuses.
  SQLRETURN rc = SQL_SUCCESS;
  std::thread freeing([&] { rc = SQLFreeHandle(SQL_HANDLE_STMT, stmt); });
  wait_for_users(stmt, 2);
  busy.release();
  freeing.join();
  EXPECT_EQ(SQL_ERROR, rc);
  EXPECT_EQ("HY010", first_state(SQL_HANDLE_STMT, stmt));
  EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, stmt));
}

TEST_F(Connection, CancelFromAnotherThreadRaisesTheRunningCallsFlag) {
  SQLHSTMT stmt = statement_with({{"01000", "kept"}});
  auto* record = static_cast<QuillStmt*>(stmt);
  // No call in progress: nothing to stop, and the flag stays down.
  EXPECT_EQ(SQL_SUCCESS, SQLCancel(stmt));
  EXPECT_EQ(0, record->cancel_requested);
  {
    BusyCall busy(SQL_HANDLE_STMT, stmt);
    EXPECT_EQ(SQL_SUCCESS, SQLCancel(stmt));
    EXPECT_EQ(1, std::atomic_ref<int>(record->cancel_requested).load());
  }
  // The next call starts with the flag down.
  SQLULEN timeout = 1;
  EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT, &timeout, 0, nullptr));
  EXPECT_EQ(0, record->cancel_requested);
  EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, stmt));
}

TEST_F(Connection, SettingsAreReadThroughTheConnectionThatAsks) {
  SQLHDBC other = SQL_NULL_HDBC;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &other));  // the newest
  auto* first = static_cast<QuillDbc*>(dbc);
  auto* second = static_cast<QuillDbc*>(other);
  ASSERT_EQ(0, append_pair(&second->attributes, "work_dir_path", "/quill/second", second->pool));
  char buffer[128];
  ASSERT_GT(connection_default(second, "work_dir_path", buffer, sizeof buffer), 0);
  EXPECT_STREQ("/quill/second", buffer);
  ASSERT_GT(connection_default(first, "work_dir_path", buffer, sizeof buffer), 0);
  EXPECT_STRNE("/quill/second", buffer);  // the built-in default, not the newest connection's
  EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_DBC, other));
  ASSERT_GT(connection_default(first, "work_dir_path", buffer, sizeof buffer), 0);
  EXPECT_STRNE("/quill/second", buffer);
}

TEST(SharedPool, ThreadsAllocateFreeAndHangChildPoolsAtOnce) {
  long before = quill_mem_live_pools();
  MemPool* shared = quill_mem_alloc_shared_handle(nullptr);
  ASSERT_NE(nullptr, shared);
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([shared, t] {
      for (int i = 0; i < 2000; ++i) {
        void* block = quill_mem_alloc(shared, static_cast<size_t>(16 + t + i % 64));
        MemPool* child = quill_mem_alloc_handle(shared);
        quill_mem_alloc(child, 32);
        if (i % 3 == 0) quill_mem_release_handle(child);  // the rest go with the pool
        quill_mem_free(shared, block);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_GT(quill_mem_live_pools(), before + 1);
  quill_mem_release_handle(shared);
  EXPECT_EQ(before, quill_mem_live_pools());
}

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(Trace, EntryAndExitLinesOnlyWhileOn) {
  std::string path = ::testing::TempDir() + "quill_trace_test.log";
  std::remove(path.c_str());
  ASSERT_EQ(0, log_configure(path.c_str()));
  SQLHENV env = SQL_NULL_HENV;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
  EXPECT_EQ(SQL_ERROR, SQLAllocHandle(SQL_HANDLE_DBC, env, nullptr));
  ASSERT_EQ(0, log_configure(nullptr));
  SQLFreeHandle(SQL_HANDLE_ENV, env);

  std::string trace = read_file(path);
  EXPECT_NE(std::string::npos, trace.find("allochandle:"));
  EXPECT_NE(std::string::npos, trace.find("SQLAllocHandle( 1, NULL, 0x"));
  EXPECT_NE(std::string::npos,
            trace.find("SQLAllocHandle() returns SQL_SUCCESS, OutputHandlePtr = 0x"));
  EXPECT_NE(std::string::npos, trace.find("SQLAllocHandle() returns SQL_ERROR"));
  EXPECT_EQ(std::string::npos, trace.find("SQLFreeHandle"));  // written after tracing stopped
  std::remove(path.c_str());
}

}  // namespace
