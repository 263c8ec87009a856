// Parameters in process, without a Driver Manager in between: the pieces a
// Driver Manager would refuse before the driver sees them (a NULL piece after
// data), long values beyond the in-memory limit of a long buffer, and the
// release of their work files when the statement runs again or closes.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>

namespace {

const std::string kOneRow = "SELECT x FROM (SELECT 1 AS x) d WHERE ";

int open_descriptors() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  if (!dir) return -1;
  while (readdir(dir)) ++count;
  closedir(dir);
  return count;
}

class ParamPieces : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_));
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(dbc_, nullptr,
                                               (SQLCHAR*)"URI=http://127.0.0.1:1;connect_probe=no",
                                               SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_));
  }
  void TearDown() override {
    SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }
  // The first diagnostic as "SQLSTATE message".
  std::string state() {
    SQLCHAR text[6] = {0};
    SQLCHAR message[512] = {0};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLGetDiagRec(SQL_HANDLE_STMT, stmt_, 1, text, &native, message, sizeof message, &length);
    return std::string(reinterpret_cast<char*>(text)) + " " + reinterpret_cast<char*>(message);
  }
  // Starts a data-at-execution run of `where` with parameter 1 of `sql_type`.
  void start(SQLSMALLINT sql_type, const std::string& where) {
    at_exec_ = SQL_DATA_AT_EXEC;
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_CHAR, sql_type, 0, 0,
                                            token_, 0, &at_exec_));
    ASSERT_EQ(SQL_NEED_DATA, SQLExecDirect(stmt_, (SQLCHAR*)(kOneRow + where).c_str(), SQL_NTS));
    SQLPOINTER token = nullptr;
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt_, &token));
  }
  // Rows of the query after the last piece.
  int finish() {
    SQLPOINTER token = nullptr;
    if (!SQL_SUCCEEDED(SQLParamData(stmt_, &token))) return -1;
    int rows = 0;
    while (SQL_SUCCEEDED(SQLFetch(stmt_))) ++rows;
    SQLFreeStmt(stmt_, SQL_CLOSE);
    return rows;
  }

  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
  char token_[8] = "token";
  SQLLEN at_exec_ = SQL_DATA_AT_EXEC;
};

TEST_F(ParamPieces, NullPieceAfterData) {
  for (SQLSMALLINT type : {SQL_LONGVARCHAR, SQL_VARCHAR, SQL_LONGVARBINARY}) {
    SCOPED_TRACE(type);
    start(type, "? IS NOT NULL");
    ASSERT_EQ(SQL_SUCCESS, SQLPutData(stmt_, (SQLPOINTER) "abc", 3));
    EXPECT_EQ(SQL_ERROR, SQLPutData(stmt_, nullptr, SQL_NULL_DATA));
    EXPECT_EQ("HY020 Attempt to concatenate a null value", state());
    ASSERT_EQ(SQL_SUCCESS, SQLCancel(stmt_));
  }
}

TEST_F(ParamPieces, LongValueBeyondMemory) {
  const std::string chunk(50000, 'q');
  int before = open_descriptors();
  for (int round = 0; round < 3; ++round) {
    start(SQL_LONGVARCHAR, "? LIKE 'q%q'");
    for (int piece = 0; piece < 3; ++piece)
      ASSERT_EQ(SQL_SUCCESS, SQLPutData(stmt_, (SQLPOINTER)chunk.data(), 50000)) << state();
    EXPECT_EQ(1, finish()) << state();
  }
  // A bound long value as large, through the buffer.
  std::string big(150000, 'z');
  SQLLEN length = static_cast<SQLLEN>(big.size());
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, 0,
                                          0, big.data(), length, &length));
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(SQL_SUCCESS,
              SQLExecDirect(stmt_, (SQLCHAR*)(kOneRow + "? LIKE 'z%z'").c_str(), SQL_NTS))
        << state();
    EXPECT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
    SQLFreeStmt(stmt_, SQL_CLOSE);
  }
  // Their work files are closed again.
  EXPECT_EQ(before, open_descriptors());
}

}  // namespace
