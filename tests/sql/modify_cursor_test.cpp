// Data modification through the driver's own entry points over the test backend: row counts
// of SQLRowCount, UPDATE and DELETE ... WHERE CURRENT OF a named cursor (and a row changed
// under it), the SQLSetPos row operations, COMMIT, and the replication file read at
// statement allocation.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <fstream>
#include <string>

#include "driver/dal/dal.h"
#include "driver/odbc/handles/handles.h"
#include "driver/odbc/positioned/stmt_setpos_rows.h"
#include "tests/sql/exec_harness.h"

namespace {

class ModifyCursor : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(
        harness.declare("T (A INTEGER, B VARCHAR(10)) keys A", {"1|a", "2|b", "3|c"}, &error))
        << error;
    ASSERT_TRUE(harness.declare("R (A INTEGER, B VARCHAR(10)) keys A", {}, &error)) << error;
  }
  void TearDown() override {
    for (SQLHSTMT* handle : {&stmt, &other})
      if (*handle) SQLFreeHandle(SQL_HANDLE_STMT, *handle);
    if (dbc) {
      SQLDisconnect(dbc);
      SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    }
    if (env) SQLFreeHandle(SQL_HANDLE_ENV, env);
    test_backend_use(nullptr);
  }
  // Connects over the harness's backend; `extra` is appended to the connection string.
  void connect(const std::string& extra = "") {
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
    ASSERT_EQ(SQL_SUCCESS, SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                                         reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc));
    test_backend_install(static_cast<QuillDbc*>(dbc)->dal, &harness.backend());
    std::string text = "URI=http://127.0.0.1:1;connect_probe=no;" + extra;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)text.c_str(), SQL_NTS,
                                               nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)));
  }
  void open_statements() {
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &other));
  }
  SQLRETURN exec(SQLHSTMT handle, const std::string& sql) {
    return SQLExecDirect(handle, (SQLCHAR*)sql.c_str(), SQL_NTS);
  }
  std::string diag(SQLSMALLINT type, SQLHANDLE handle) {
    SQLCHAR state[6] = {0};
    SQLCHAR text[512] = {0};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetDiagRec(type, handle, 1, state, &native, text, sizeof text, &length)))
      return "";
    return std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(text);
  }
  std::string diag(SQLHSTMT handle) { return diag(SQL_HANDLE_STMT, handle); }
  SQLLEN row_count(SQLHSTMT handle) {
    SQLLEN count = -5;
    EXPECT_EQ(SQL_SUCCESS, SQLRowCount(handle, &count));
    return count;
  }
  // Column B of the backend's row whose A is `a`, or "(none)".
  std::string b_of(const char* table, const std::string& a) {
    for (const auto& row : harness.backend().find(table)->rows)
      if (row[0] && *row[0] == a) return row[1] ? *row[1] : "NULL";
    return "(none)";
  }

  ExecHarness harness;
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  SQLHSTMT other = SQL_NULL_HSTMT;
};

TEST_F(ModifyCursor, RowCountOfEachStatement) {
  connect();
  open_statements();
  struct Case {
    const char* sql;
    SQLRETURN rc;
    SQLLEN count;
  } cases[] = {
      {"INSERT INTO T VALUES (4, 'd')", SQL_SUCCESS, 1},
      {"UPDATE T SET B = 'x' WHERE A > 2", SQL_SUCCESS, 2},
      {"UPDATE T SET B = 'y' WHERE A > 99", SQL_NO_DATA, 0},
      {"DELETE FROM T WHERE A = 1", SQL_SUCCESS, 1},
      {"INSERT INTO R SELECT A, B FROM T", SQL_SUCCESS, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(c.rc, exec(stmt, c.sql)) << diag(stmt);
    EXPECT_EQ(c.count, row_count(stmt));
  }
  EXPECT_EQ("x", b_of("R", "4"));
}

TEST_F(ModifyCursor, PositionedUpdateChangesTheCursorsRow) {
  connect();
  open_statements();
  ASSERT_EQ(SQL_SUCCESS, SQLSetCursorName(stmt, (SQLCHAR*)"C1", SQL_NTS));
  ASSERT_EQ(SQL_SUCCESS, exec(stmt, "SELECT A, B FROM T FOR UPDATE OF B")) << diag(stmt);
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
  ASSERT_EQ(SQL_SUCCESS, exec(other, "UPDATE T SET B = B || '!' WHERE CURRENT OF C1"))
      << diag(other);
  EXPECT_EQ(1, row_count(other));
  EXPECT_EQ("b!", b_of("T", "2"));
  EXPECT_EQ("a", b_of("T", "1"));

  // Someone changes the next row after it was fetched: the update is refused.
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
  harness.backend().find("T")->rows[2][1] = "changed";
  EXPECT_EQ(SQL_ERROR, exec(other, "UPDATE T SET B = 'z' WHERE CURRENT OF C1"));
  EXPECT_EQ("40001 Serialization failure", diag(other).substr(0, 27));
  EXPECT_EQ("changed", b_of("T", "3"));
}

// The cursor keeps the row as it is after a change made through it: changing the same row
// again is not mistaken for someone else's change, for result columns and for columns the
// cursor does not show.
TEST_F(ModifyCursor, PositionedUpdatesOfTheSameRowAgain) {
  connect();
  open_statements();
  ASSERT_EQ(SQL_SUCCESS, SQLSetCursorName(stmt, (SQLCHAR*)"C3", SQL_NTS));
  ASSERT_EQ(SQL_SUCCESS, exec(stmt, "SELECT A FROM T FOR UPDATE")) << diag(stmt);
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
  for (const char* sql :
       {"UPDATE T SET B = 'p' WHERE CURRENT OF C3", "UPDATE T SET B = B || 'q' WHERE CURRENT OF C3",
        "UPDATE T SET A = A + 10 WHERE CURRENT OF C3",
        "UPDATE T SET B = B || 'r' WHERE CURRENT OF C3"}) {
    SCOPED_TRACE(sql);
    EXPECT_EQ(SQL_SUCCESS, exec(other, sql)) << diag(other);
  }
  EXPECT_EQ("pqr", b_of("T", "11"));
  SQLINTEGER a = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 1, SQL_C_SLONG, &a, 0, nullptr));
  EXPECT_EQ(11, a);
}

TEST_F(ModifyCursor, PositionedDelete) {
  connect();
  open_statements();
  ASSERT_EQ(SQL_SUCCESS, SQLSetCursorName(stmt, (SQLCHAR*)"D1", SQL_NTS));
  ASSERT_EQ(SQL_SUCCESS, exec(stmt, "SELECT A, B FROM T FOR UPDATE")) << diag(stmt);
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
  ASSERT_EQ(SQL_SUCCESS, exec(other, "DELETE FROM T WHERE CURRENT OF D1")) << diag(other);
  EXPECT_EQ(1, row_count(other));
  EXPECT_EQ("(none)", b_of("T", "1"));

  // A row changed after it was fetched is not deleted.
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
  SQLINTEGER a = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 1, SQL_C_SLONG, &a, 0, nullptr));
  for (auto& row : harness.backend().find("T")->rows)
    if (row[0] && *row[0] == std::to_string(a)) row[1] = "changed";
  EXPECT_EQ(SQL_ERROR, exec(other, "DELETE FROM T WHERE CURRENT OF D1"));
  EXPECT_EQ("40001 Serialization failure", diag(other).substr(0, 27));
  EXPECT_EQ("changed", b_of("T", std::to_string(a)));

  struct Refusal {
    const char* sql;
    const char* error;
  } refusals[] = {
      {"DELETE FROM T WHERE CURRENT OF NOSUCH", "34000"},
      {"DELETE FROM R WHERE CURRENT OF D1", "HY000 Table name not in cursor"},
  };
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.sql);
    EXPECT_EQ(SQL_ERROR, exec(other, r.sql));
    EXPECT_EQ(r.error, diag(other).substr(0, std::strlen(r.error)));
  }

  // A cursor that cannot address its rows by key is read only.
  SQLFreeStmt(stmt, SQL_CLOSE);
  ASSERT_EQ(SQL_SUCCESS, exec(stmt, "SELECT A, B FROM T")) << diag(stmt);
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
  EXPECT_EQ(SQL_ERROR, exec(other, "DELETE FROM T WHERE CURRENT OF D1"));
  EXPECT_EQ("HY000 Current driver is read only, DELETE WHERE CURRENT not supported", diag(other));
  EXPECT_EQ(2u, harness.backend().find("T")->rows.size());
}

TEST_F(ModifyCursor, SetPosDeletesUpdatesAndAddsRows) {
  connect();
  open_statements();
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE,
                                        reinterpret_cast<SQLPOINTER>(SQL_CURSOR_STATIC), 0));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLSetStmtAttr(stmt, SQL_ATTR_CONCURRENCY,
                                           reinterpret_cast<SQLPOINTER>(SQL_CONCUR_LOCK), 0)));
  SQLINTEGER a = 0;
  char b[16] = {0};
  SQLLEN a_length = 0, b_length = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_SLONG, &a, 0, &a_length));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 2, SQL_C_CHAR, b, sizeof b, &b_length));
  ASSERT_EQ(SQL_SUCCESS, exec(stmt, "SELECT A, B FROM T")) << diag(stmt);
  // Every row is read into the cursor before the first change.
  ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_LAST, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0));
  auto* handle = static_cast<QuillStmt*>(stmt);

  EXPECT_EQ(SQL_SUCCESS, stmt_set_pos_rows(handle, 1, SQL_DELETE)) << diag(stmt);
  EXPECT_EQ(1, handle->row_count);
  EXPECT_EQ("(none)", b_of("T", "1"));

  ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0));
  std::strcpy(b, "new");
  b_length = SQL_NTS;
  EXPECT_EQ(SQL_SUCCESS, stmt_set_pos_rows(handle, 1, SQL_UPDATE)) << diag(stmt);
  EXPECT_EQ("new", b_of("T", "2"));
  // The cursor now holds the updated row: a second update of it goes through, and fetching
  // the row again shows the new value.
  std::strcpy(b, "newer");
  EXPECT_EQ(SQL_SUCCESS, stmt_set_pos_rows(handle, 1, SQL_UPDATE)) << diag(stmt);
  EXPECT_EQ("newer", b_of("T", "2"));
  ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, 2));
  EXPECT_STREQ("newer", b);

  a = 9;
  std::strcpy(b, "nine");
  a_length = 0;
  EXPECT_EQ(SQL_SUCCESS, stmt_set_pos_rows(handle, 1, SQL_ADD)) << diag(stmt);
  EXPECT_EQ("nine", b_of("T", "9"));
  EXPECT_EQ(1, handle->row_count);
}

TEST_F(ModifyCursor, SetPosRowZeroTakesEveryRowNotIgnored) {
  connect();
  open_statements();
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE,
                                        reinterpret_cast<SQLPOINTER>(SQL_CURSOR_STATIC), 0));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLSetStmtAttr(stmt, SQL_ATTR_CONCURRENCY,
                                           reinterpret_cast<SQLPOINTER>(SQL_CONCUR_LOCK), 0)));
  ASSERT_EQ(SQL_SUCCESS,
            SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(3), 0));
  SQLUSMALLINT operations[3] = {SQL_ROW_PROCEED, SQL_ROW_IGNORE, SQL_ROW_PROCEED};
  SQLUSMALLINT statuses[3] = {0, 0, 0};
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_OPERATION_PTR, operations, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, statuses, 0));
  SQLINTEGER a[3] = {0, 0, 0};
  SQLLEN a_length[3] = {0, 0, 0};
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_SLONG, a, 0, a_length));
  ASSERT_EQ(SQL_SUCCESS, exec(stmt, "SELECT A, B FROM T")) << diag(stmt);
  ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0));
  auto* handle = static_cast<QuillStmt*>(stmt);
  EXPECT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 0, SQL_DELETE, SQL_LOCK_NO_CHANGE)) << diag(stmt);
  EXPECT_EQ(2, handle->row_count);
  EXPECT_EQ(SQL_ROW_DELETED, statuses[0]);
  EXPECT_EQ(SQL_ROW_SUCCESS, statuses[1]);
  EXPECT_EQ(SQL_ROW_DELETED, statuses[2]);
  EXPECT_EQ("b", b_of("T", "2"));
  EXPECT_EQ(1u, harness.backend().find("T")->rows.size());
}

TEST_F(ModifyCursor, SetPosRefusals) {
  connect();
  open_statements();
  struct Case {
    SQLULEN concurrency;
    const char* sql;
    const char* error;
  } cases[] = {
      {SQL_CONCUR_READ_ONLY, "SELECT A, B FROM T", "HY092"},
      {SQL_CONCUR_LOCK, "SELECT A + 1, B FROM T",
       "21S02 Degree of derived table does not match column list"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    SQLFreeStmt(stmt, SQL_CLOSE);
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE,
                                          reinterpret_cast<SQLPOINTER>(SQL_CURSOR_STATIC), 0));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLSetStmtAttr(stmt, SQL_ATTR_CONCURRENCY,
                                             reinterpret_cast<SQLPOINTER>(c.concurrency), 0)));
    ASSERT_EQ(SQL_SUCCESS, exec(stmt, c.sql)) << diag(stmt);
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0));
    EXPECT_EQ(SQL_ERROR, stmt_set_pos_rows(static_cast<QuillStmt*>(stmt), 1, SQL_DELETE));
    EXPECT_EQ(c.error, diag(stmt).substr(0, std::strlen(c.error)));
  }
  EXPECT_EQ(3u, harness.backend().find("T")->rows.size());
}

TEST_F(ModifyCursor, ReplicationFileIsReadAtStatementAllocation) {
  std::string path = ::testing::TempDir() + "modify_cursor_replication.txt";
  std::ofstream(path) << "T = \"r\"\n";
  connect("replication_file=" + path);
  open_statements();
  ASSERT_EQ(SQL_SUCCESS, exec(stmt, "INSERT INTO T VALUES (7, 'g')")) << diag(stmt);
  EXPECT_EQ(1, row_count(stmt));
  EXPECT_EQ("g", b_of("R", "7"));
}

TEST_F(ModifyCursor, PositionedUpdateOfAReplicatedTableFails) {
  std::string path = ::testing::TempDir() + "modify_cursor_positioned.txt";
  std::ofstream(path) << "T = R\n";
  connect("replication_file=" + path);
  open_statements();
  ASSERT_EQ(SQL_SUCCESS, SQLSetCursorName(stmt, (SQLCHAR*)"C2", SQL_NTS));
  ASSERT_EQ(SQL_SUCCESS, exec(stmt, "SELECT A, B FROM T FOR UPDATE")) << diag(stmt);
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
  EXPECT_EQ(SQL_ERROR, exec(other, "UPDATE T SET B = 'p' WHERE CURRENT OF C2"));
  EXPECT_EQ("HY000 General error: Positioned update not supported with replication", diag(other));
  EXPECT_EQ(SQL_ERROR, exec(other, "DELETE FROM T WHERE CURRENT OF C2"));
  EXPECT_EQ("HY000 General error: Positioned delete not supported with replication", diag(other));
  EXPECT_EQ(0u, harness.backend().find("R")->rows.size());
}

// The entries belong to the connection that read them: after a disconnect, a connection
// without a replication file changes no replica.
TEST_F(ModifyCursor, ReplicationEndsWithTheConnection) {
  std::string path = ::testing::TempDir() + "modify_cursor_reconnect.txt";
  std::ofstream(path) << "T = R\n";
  connect("replication_file=" + path);
  open_statements();
  ASSERT_EQ(SQL_SUCCESS, exec(stmt, "INSERT INTO T VALUES (7, 'g')")) << diag(stmt);
  EXPECT_EQ("g", b_of("R", "7"));
  for (SQLHSTMT* handle : {&stmt, &other}) {
    SQLFreeHandle(SQL_HANDLE_STMT, *handle);
    *handle = SQL_NULL_HSTMT;
  }
  ASSERT_EQ(SQL_SUCCESS, SQLDisconnect(dbc));
  test_backend_install(static_cast<QuillDbc*>(dbc)->dal, &harness.backend());
  ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr,
                                             (SQLCHAR*)"URI=http://127.0.0.1:1;connect_probe=no;",
                                             SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)));
  open_statements();
  ASSERT_EQ(SQL_SUCCESS, exec(stmt, "INSERT INTO T VALUES (8, 'h')")) << diag(stmt);
  EXPECT_EQ("h", b_of("T", "8"));
  EXPECT_EQ("(none)", b_of("R", "8"));
}

// A transaction that a backend cannot end, without saying why, reports HY001.
TEST_F(ModifyCursor, CommitThatFailsSilently) {
  connect();
  open_statements();
  Dal* dal = static_cast<QuillDbc*>(dbc)->dal;
  SqiOperations failing{};
  const SqiOperations* kept = nullptr;
  for (DalEntry& entry : dal->entries) {
    if (!entry.present || !entry.ops || kept) continue;
    kept = entry.ops;
    failing = *entry.ops;
    failing.end_transaction = [](void*, SqiEnv, int) -> int { return SQI_ERROR; };
    entry.ops = &failing;
  }
  ASSERT_NE(nullptr, kept);
  dal->transaction_open = true;
  EXPECT_EQ(SQL_ERROR, exec(stmt, "COMMIT"));
  EXPECT_EQ("HY001 Memory allocation error", diag(stmt).substr(0, 29));
  for (DalEntry& entry : dal->entries)
    if (entry.ops == &failing) entry.ops = kept;
  dal->transaction_open = false;
}

TEST_F(ModifyCursor, MissingReplicationFileRefusesTheStatement) {
  std::string path = ::testing::TempDir() + "no-such-replication.txt";
  connect("replication_file=" + path);
  EXPECT_EQ(SQL_ERROR, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
  EXPECT_EQ(SQL_NULL_HSTMT, stmt);
  EXPECT_EQ("HY000 General error: Replication failed, unable to open \"" + path + "\"",
            diag(SQL_HANDLE_DBC, dbc));
}

}  // namespace
